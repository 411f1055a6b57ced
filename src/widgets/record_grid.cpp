#include "widgets/record_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <algorithm>

namespace tivolo::widgets {
namespace {
// Room for the cell's margins and the grid line beside the characters themselves.
constexpr int kCellPadding = 6;
}  // namespace

RecordGrid::RecordGrid(QWidget* parent) : QTableView(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(false);
  setWordWrap(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setMinimumSectionSize(fontMetrics().averageCharWidth());
}

RecordGrid::~RecordGrid() = default;

void RecordGrid::Bind(store::DataSource& source, std::vector<Column> columns) {
  TableModel* old = model_;
  model_ = new TableModel(source, std::move(columns), this);
  setModel(model_);
  delete old;
  connect(model_, &TableModel::CurrentRowChanged, this, &RecordGrid::FollowTable);
  connect(model_, &QAbstractItemModel::modelReset, this, &RecordGrid::ApplyColumnWidths);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { RowChosen(current); });
  ApplyColumnWidths();
  FollowTable(model_->CurrentRow());
}

int RecordGrid::ColumnPixels(int chars) const {
  return chars * fontMetrics().averageCharWidth() + kCellPadding;
}

void RecordGrid::ApplyColumnWidths() {
  if (!model_) return;
  const auto& columns = model_->Columns();
  for (size_t i = 0; i < columns.size(); ++i)
    setColumnWidth(static_cast<int>(i), ColumnPixels(columns[i].width_chars));
}

void RecordGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    ApplyColumnWidths();
  }
}

void RecordGrid::FollowTable(int row) {
  if (!model_ || !selectionModel()) return;
  following_ = true;
  if (row < 0 || row >= model_->rowCount()) {
    selectionModel()->clear();
  } else {
    const QModelIndex at = model_->index(row, std::max(currentIndex().column(), 0));
    if (currentIndex().row() != row || !selectionModel()->isRowSelected(row, {})) {
      selectionModel()->setCurrentIndex(
          at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    scrollTo(at, QAbstractItemView::EnsureVisible);
  }
  following_ = false;
}

void RecordGrid::RowChosen(const QModelIndex& current) {
  if (following_ || !model_ || model_->Changing() || !current.isValid()) return;
  if (current.row() == model_->CurrentRow()) return;
  model_->MoveToRow(current.row());
}

}  // namespace tivolo::widgets
