// The timer list's model and its view order. TimerTableModel shows each timer's state at a
// glance on top of the table model: a switched-off timer grey and italic with "(off)" before
// its description, an ended one grey, a running one with a red dot in "Type", one a series
// rule made with a blue square beside its name, and a tooltip
// that tells the rest. TimerListProxy is the view's order and choice of rows: sorted by any
// column (stable, so that equal values keep the begin order) and filtered on the channel and
// the description, case and accents ignored; the table itself is never reordered.
#pragma once

#include <QIcon>
#include <QSortFilterProxyModel>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "ui/timer_state.h"
#include "widgets/table_model.h"

namespace tivolo::ui {

class TimerTableModel : public widgets::TableModel {
  Q_OBJECT

 public:
  // now: the clock settings and the moment the states are taken at.
  TimerTableModel(store::DataSource& ds_timers, std::vector<widgets::Column> columns,
                  std::function<ClockNow()> now, QObject* parent = nullptr);

  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

  // Time has passed: running and ended are taken again.
  void RefreshStates();
  // A column's texts have changed without a change of the table: shown and sorted anew.
  void RefreshColumn(int column);
  // The tooltip of a marked record ends with its mark's text.
  void SetConflictMarks(std::shared_ptr<const std::unordered_map<int32_t, std::string>> marks) {
    conflict_marks_ = std::move(marks);
  }

 private:
  const TimerState& StateOfRow(int row, const store::RecordBuffer& record) const;
  void ForgetStates() const { state_row_ = -1; }

  std::function<ClockNow()> now_;
  std::optional<TimerStateFields> fields_;  // none while the source has no table
  std::array<std::string, 7> day_names_;    // Monday first, for the tooltip
  int name_column_ = -1;
  int type_column_ = -1;
  std::shared_ptr<const std::unordered_map<int32_t, std::string>> conflict_marks_;
  QIcon running_mark_;
  QIcon idle_mark_;
  QIcon rule_mark_;  // beside the name of a timer a series rule made
  // The state of the row last asked for, as the record buffer is kept.
  mutable int state_row_ = -1;
  mutable TimerState state_;
};

class TimerListProxy : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  // The columns whose text the filter looks in.
  TimerListProxy(std::vector<int> filter_columns, QObject* parent = nullptr);

  void setSourceModel(QAbstractItemModel* source) override;
  // Keeps the rows whose filter columns contain the text, case and accents ignored; all rows
  // when it is empty.
  void SetFilterText(const QString& text);
  bool Filtering() const { return !folded_filter_.empty() || marked_column_ >= 0; }
  // Keeps only the rows whose text in column holds mark as well; -1 for every row.
  void SetOnlyMarked(int column, const QString& mark);
  bool OnlyMarked() const { return marked_column_ >= 0; }

 protected:
  bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  // A sort value ready to compare: a number, or a folded text; none sorts first.
  struct SortKey {
    bool known = false;  // computed since the row last changed
    bool null = true;
    bool is_text = false;
    double number = 0;
    std::string text;
  };
  struct FilterKey {
    bool known = false;
    std::string text;  // the filter columns' texts, folded, one a line
  };
  const SortKey& SortKeyOf(int row, int column) const;
  const FilterKey& FilterKeyOf(int row) const;
  void ForgetRows(int first, int last) const;
  void ForgetAll() const;

  std::vector<int> filter_columns_;
  std::string folded_filter_;
  int marked_column_ = -1;
  QString mark_;
  std::vector<QMetaObject::Connection> source_connections_;
  mutable std::vector<SortKey> sort_keys_;
  mutable int sort_keys_column_ = -1;
  mutable std::vector<FilterKey> filter_keys_;
};

}  // namespace tivolo::ui
