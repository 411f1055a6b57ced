#include "widgets/table_model.h"

#include <stdexcept>

#include "store/field.h"

namespace tivolo::widgets {

class TableModel::Link : public store::DataLink {
 public:
  explicit Link(TableModel& model) : model_(model) {}
  void StateChanged() override { model_.StateChanged(); }
  void DataSetChanged() override { model_.Reset(); }
  void DataSetScrolled() override {
    model_.ForgetRow();
    model_.CursorMoved();
  }
  void RecordChanged() override { model_.Changed(model_.CurrentRow()); }
  void FieldChanged(store::Field&) override { model_.Changed(model_.CurrentRow()); }
  void DataSetDetached() override { model_.Reset(); }
  void RowAboutToBeInserted(int row) override { model_.Begin({RowChange::kInsert, row, row}); }
  void RowInserted(int row) override { model_.End({RowChange::kInsert, row, row}); }
  void RowAboutToBeRemoved(int row) override { model_.Begin({RowChange::kRemove, row, row}); }
  void RowRemoved(int row) override { model_.End({RowChange::kRemove, row, row}); }
  void RowAboutToBeMoved(int from, int to) override { model_.Begin({RowChange::kMove, from, to}); }
  void RowMoved(int from, int to) override { model_.End({RowChange::kMove, from, to}); }
  void RowChanged(int row) override { model_.Changed(row); }

 private:
  TableModel& model_;
};

struct TableModel::ChangeScope {
  explicit ChangeScope(TableModel& m) : model(m) { ++model.changing_; }
  ~ChangeScope() { --model.changing_; }
  TableModel& model;
};

TableModel::TableModel(store::DataSource& source, std::vector<Column> columns, QObject* parent)
    : QAbstractTableModel(parent),
      columns_(std::move(columns)),
      link_(std::make_unique<Link>(*this)) {
  source.Attach(*link_);
  store::MemTable* table = Table();
  active_ = table && table->Active();
  row_count_ = active_ ? table->ViewRowCount() : 0;
  ResolveFields();
}

TableModel::~TableModel() = default;

store::MemTable* TableModel::Table() const {
  return link_->DataSet();
}

int TableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : row_count_;
}

int TableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

Qt::ItemFlags TableModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant TableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.parent().isValid() || index.row() >= row_count_ ||
      index.column() >= columnCount()) {
    return {};
  }
  const int column_number = index.column();
  const Column& column = columns_[static_cast<size_t>(column_number)];
  const bool wanted =
      role == kSortRole || (column.kind == DisplayKind::kCheckBox ? role == Qt::CheckStateRole
                                                                  : role == Qt::DisplayRole);
  if (!wanted) return {};
  store::Field* field = FieldOf(column_number);
  const store::RecordBuffer* row = field ? RowBuffer(index.row()) : nullptr;
  if (!row) return {};
  if (role == kSortRole) return SortValue(*row, column_number);
  if (column.kind == DisplayKind::kCheckBox)
    return row->AsBoolean(*field) ? Qt::Checked : Qt::Unchecked;
  return CellText(*row, column_number);
}

QString TableModel::CellText(const store::RecordBuffer& row, int column_number) const {
  const Column& column = columns_[static_cast<size_t>(column_number)];
  const store::Field& field = *FieldOf(column_number);
  switch (column.kind) {
    case DisplayKind::kCheckBox:
      return {};
    case DisplayKind::kTrueFalse:
      return QStringLiteral("%1").arg(row.AsBoolean(field) ? "True" : "False");
    case DisplayKind::kText:
      break;
  }
  return QString::fromStdString(column.text ? column.text(row, field) : row.DisplayText(field));
}

QVariant TableModel::SortValue(const store::RecordBuffer& row, int column_number) const {
  const Column& column = columns_[static_cast<size_t>(column_number)];
  const store::Field& field = *FieldOf(column_number);
  if (column.kind != DisplayKind::kText) return row.AsBoolean(field) ? 1 : 0;
  if (column.text) return QString::fromStdString(column.text(row, field));
  if (row.IsNull(field)) return {};
  switch (field.DataType()) {
    case store::FieldType::kString:
      return QString::fromStdString(row.AsString(field));
    case store::FieldType::kDateTime:
      return row.AsDateTime(field);
    case store::FieldType::kBoolean:
      return row.AsBoolean(field) ? 1 : 0;
    default:
      return static_cast<qlonglong>(row.AsLargeInt(field));
  }
}

QVariant TableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= columnCount()) {
    return {};
  }
  const Column& column = columns_[static_cast<size_t>(section)];
  if (!column.title.empty()) return QString::fromStdString(column.title);
  store::Field* field = fields_[static_cast<size_t>(section)];
  return QString::fromStdString(field ? field->DisplayLabel() : column.field);
}

store::Field* TableModel::ColumnField(int column) const {
  return column >= 0 && column < columnCount() ? fields_[static_cast<size_t>(column)] : nullptr;
}

int TableModel::CurrentRow() const {
  store::MemTable* table = Table();
  return table && table->Active() ? table->ViewCurrentRow() : -1;
}

void TableModel::MoveToRow(int row) {
  store::MemTable* table = Table();
  if (!table || !table->Active()) return;
  table->ViewMoveToRow(row);
  // A refused move leaves the cursor where it was; the view goes back there.
  if (CurrentRow() != row) emit CurrentRowChanged(CurrentRow());
}

void TableModel::RefreshHeaders() {
  if (!columns_.empty()) emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
}

void TableModel::ResolveFields() {
  store::MemTable* table = Table();
  fields_.assign(columns_.size(), nullptr);
  if (!table) return;
  for (size_t i = 0; i < columns_.size(); ++i)
    fields_[i] = table->FindField(columns_[i].field);
}

void TableModel::StateChanged() {
  ForgetRow();
  store::MemTable* table = Table();
  // Editing states are followed by the row notifications; opening and closing are not.
  if ((table && table->Active()) != active_) Reset();
}

void TableModel::Reset() {
  FinishOpen();
  ChangeScope scope(*this);
  beginResetModel();
  ForgetRow();
  store::MemTable* table = Table();
  active_ = table && table->Active();
  row_count_ = active_ ? table->ViewRowCount() : 0;
  ResolveFields();
  endResetModel();
  CursorMoved();
}

// After each change the table's rows must be what the view now has; anything else (a handler
// that changed more inside the notification) becomes a reset.
bool TableModel::Expect(int rows_after) const {
  store::MemTable* table = Table();
  return table && table->Active() && table->ViewRowCount() == rows_after;
}

// A change announced inside another one (a handler posting the record being inserted) ends the
// earlier one first: Qt takes one change at a time.
void TableModel::Begin(RowChange change) {
  FinishOpen();
  if (!active_ || !Expect(row_count_)) return;  // left unopened: its end becomes a reset
  ChangeScope scope(*this);
  open_in_qt_ = BeginInQt(change);
  if (open_in_qt_ || (change.kind == RowChange::kMove && change.from == change.to)) {
    open_ = change;
  }
}

// Qt names the row a moved one is put before, counted before the move.
bool TableModel::BeginInQt(const RowChange& change) {
  const int from = change.from, to = change.to;
  switch (change.kind) {
    case RowChange::kInsert:
      if (from < 0 || from > row_count_) return false;
      beginInsertRows({}, from, from);
      return true;
    case RowChange::kRemove:
      if (from < 0 || from >= row_count_) return false;
      beginRemoveRows({}, from, from);
      return true;
    case RowChange::kMove:
      if (from < 0 || from >= row_count_ || to < 0 || to >= row_count_ || from == to) return false;
      return beginMoveRows({}, from, from, {}, to > from ? to + 1 : to);
    case RowChange::kNone:
      break;
  }
  return false;
}

void TableModel::End(RowChange change) {
  if (open_ != change) return Reset();
  FinishOpen();
  if (!Expect(row_count_)) return Reset();
  if (change.kind == RowChange::kMove) Changed(change.to);
  CursorMoved();
}

void TableModel::FinishOpen() {
  const RowChange change = open_;
  const bool in_qt = open_in_qt_;
  open_ = {};
  open_in_qt_ = false;
  ForgetRow();
  if (!in_qt) return;
  ChangeScope scope(*this);
  switch (change.kind) {
    case RowChange::kInsert:
      ++row_count_;
      endInsertRows();
      break;
    case RowChange::kRemove:
      --row_count_;
      endRemoveRows();
      break;
    case RowChange::kMove:
      endMoveRows();
      break;
    case RowChange::kNone:
      break;
  }
}

// Not while a change is open: Qt takes no other signal then, and reads the rows afresh after.
void TableModel::Changed(int row) {
  ForgetRow();
  if (open_in_qt_ || row < 0 || row >= row_count_ || columns_.empty()) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void TableModel::CursorMoved() {
  emit CurrentRowChanged(CurrentRow());
}

const store::RecordBuffer* TableModel::RowBuffer(int row) const {
  store::MemTable* table = Table();
  if (!table || !table->Active() || row < 0 || row >= table->ViewRowCount()) return nullptr;
  if (row != cached_row_) {
    try {
      cached_ = table->ViewRecordAt(row);
    } catch (const std::exception&) {
      cached_row_ = -1;
      return nullptr;
    }
    cached_row_ = row;
  }
  return &cached_;
}

}  // namespace tivolo::widgets
