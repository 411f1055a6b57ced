// A Qt item model over a record table's view: one row per visible record (and the pending
// record while inserting), one column per configured field. It listens to the table's data
// source, which announces each row insert, removal and move before it happens and reports it
// after, and passes them on as Qt's begin and end signals, so that a view keeps its selection
// and scroll position and persistent indexes follow their records.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/data_source.h"
#include "store/mem_table.h"
#include "store/record.h"

namespace tivolo::widgets {

// How a column shows its field's value.
enum class DisplayKind {
  kText,       // the field's display text (its display format for date-times)
  kCheckBox,   // ticked when the field is true; a field without value is unticked
  kTrueFalse,  // "True" or "False"
};

struct Column {
  std::string field;
  std::string title;  // empty: the field's display label at the time the header is shown
  int width_chars = 10;
  DisplayKind kind = DisplayKind::kText;
  // A text column's text made from the row instead of the field's display text (the field's
  // value still given); also what the column sorts by.
  std::function<std::string(const store::RecordBuffer& row, const store::Field& field)> text = {};
};

class TableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // A cell's value to sort by: the number of a number or a date-time, the truth value of a
  // check box, the text of a text (a column's own text when it has one).
  static constexpr int kSortRole = Qt::UserRole + 1;

  TableModel(store::DataSource& source, std::vector<Column> columns, QObject* parent = nullptr);
  ~TableModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const std::vector<Column>& Columns() const { return columns_; }
  // The column's field in the bound table, null when there is none.
  store::Field* ColumnField(int column) const;
  store::MemTable* Table() const;  // null while the source has no table
  // The table's current row (-1 for none), as the view should show it.
  int CurrentRow() const;
  // Makes the row's record current (the table's move rule); a row it refuses changes nothing.
  void MoveToRow(int row);
  // True while the model tells its views about a change the table makes: what a view does
  // meanwhile (moving its current row off a removed one) is not the user's choice.
  bool Changing() const { return changing_ > 0 || open_.kind != RowChange::kNone; }
  // Field labels may change after binding (the day names); tells the views to repaint.
  void RefreshHeaders();

 signals:
  // After every notification that may have moved the table's cursor.
  void CurrentRowChanged(int row);

 protected:
  // The row's record, read once for all the cells and roles asked of it in a row; null for a
  // row the table does not have.
  const store::RecordBuffer* RowBuffer(int row) const;
  store::Field* FieldOf(int column) const { return fields_[static_cast<size_t>(column)]; }
  // The cell's text as the column shows it.
  QString CellText(const store::RecordBuffer& row, int column) const;

 private:
  class Link;
  // A row change the table announced and has not yet reported done.
  struct RowChange {
    enum Kind { kNone, kInsert, kRemove, kMove } kind = kNone;
    int from = -1, to = -1;
    bool operator==(const RowChange&) const = default;
  };
  struct ChangeScope;

  void StateChanged();
  void Reset();
  bool Expect(int rows_after) const;
  void Begin(RowChange change);
  bool BeginInQt(const RowChange& change);
  void End(RowChange change);
  void FinishOpen();  // ends the announced change in Qt's terms, whatever the table did
  void Changed(int row);
  void CursorMoved();
  void ResolveFields();
  QVariant SortValue(const store::RecordBuffer& row, int column) const;
  void ForgetRow() const { cached_row_ = -1; }

  std::vector<Column> columns_;
  std::vector<store::Field*> fields_;  // per column; null when the table lacks the field
  std::unique_ptr<Link> link_;
  int changing_ = 0;
  bool active_ = false;
  int row_count_ = 0;
  RowChange open_;           // announced by the table, not yet reported done
  bool open_in_qt_ = false;  // begun in Qt (not a move onto its own row, which Qt refuses)
  // The row being painted: read once for all its cells and roles.
  mutable int cached_row_ = -1;
  mutable store::RecordBuffer cached_;
};

}  // namespace tivolo::widgets
