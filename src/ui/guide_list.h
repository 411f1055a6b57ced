// The list of programmes in the channel picker and the find window: a mark for a programme a
// timer already covers, day, begin-end, the channel (find window only) and the title. A double
// click or Enter on a row chooses it.
#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <vector>

#include "ui/guide_rows.h"

namespace tivolo::ui {

class GuideListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kMark, kDay, kTimes, kChannel, kTitle, kColumns };
  // The mark of a covered programme, and its explanation.
  static constexpr const char* kCoveredMark = "\u25CF";
  static constexpr const char* kCoveredHint = "A timer already records this programme";

  explicit GuideListModel(bool with_channel, QObject* parent = nullptr);

  void SetRows(std::vector<GuideRow> rows);
  const std::vector<GuideRow>& Rows() const { return rows_; }
  // The model's column of what a row shows.
  int ColumnOf(Column column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  Column ColumnAt(int section) const;

  bool with_channel_;
  std::vector<GuideRow> rows_;
};

class GuideList : public QTableView {
  Q_OBJECT

 public:
  explicit GuideList(bool with_channel, QWidget* parent = nullptr);

  // Replaces the rows; the first row becomes current.
  void SetRows(std::vector<GuideRow> rows);
  const std::vector<GuideRow>& Rows() const { return model_->Rows(); }
  GuideListModel* Model() const { return model_; }
  // The current row, or null for an empty list.
  const GuideRow* CurrentRow() const;

 signals:
  // A row was chosen by a double click or Enter.
  void Chosen(int row);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyColumnWidths();

  GuideListModel* model_;
};

}  // namespace tivolo::ui
