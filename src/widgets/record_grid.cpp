#include "widgets/record_grid.h"

#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyle>
#include <algorithm>

#include "store/date_format.h"
#include "store/field.h"

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
  connect(model_, &QAbstractItemModel::headerDataChanged, this, &RecordGrid::ApplyColumnWidths);
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { RowChosen(current); });
  ApplyColumnWidths();
  FollowTable(model_->CurrentRow());
}

int RecordGrid::ColumnPixels(int chars) const {
  return chars * fontMetrics().averageCharWidth() + kCellPadding;
}

// The widest text a date-time format gives over one week (every day name), such as
// "Wed 28-12-26  20:00".
int RecordGrid::DatePixels(const std::string& format) const {
  int widest = 0;
  const store::DateTime monday = store::EncodeDateTime({2026, 12, 28, 20, 58});
  for (int day = 0; day < 7; ++day) {
    const QString text = QString::fromStdString(store::FormatDateTime(format, monday + day));
    widest = std::max(widest, fontMetrics().horizontalAdvance(text));
  }
  // One character to spare: the painted text also loses the grid line and the style's focus
  // margins, and a date cut to "09:..." is worse than a narrower description.
  return widest + kCellPadding + fontMetrics().averageCharWidth();
}

// A column is as wide as its characters, but never narrower than its title, its check box or
// the dates its field's format shows: a font whose digits are wider than its average character
// would cut every date otherwise.
void RecordGrid::ApplyColumnWidths() {
  if (!model_) return;
  const int title_margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  const QFontMetrics title_metrics = horizontalHeader()->fontMetrics();
  const int indicator = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
  std::vector<int> widths;
  std::vector<int> titles;
  for (int i = 0; i < model_->columnCount(); ++i) {
    int width = ColumnPixels(model_->Columns()[static_cast<size_t>(i)].width_chars);
    const QString title = model_->headerData(i, Qt::Horizontal).toString();
    width = std::max(width, title_metrics.horizontalAdvance(title) + title_margin);
    if (model_->Columns()[static_cast<size_t>(i)].kind == DisplayKind::kCheckBox) {
      width = std::max(width, indicator + kCellPadding);
    }
    const store::Field* field = model_->ColumnField(i);
    if (field && field->DataType() == store::FieldType::kDateTime &&
        !field->DisplayFormat().empty()) {
      width = std::max(width, DatePixels(field->DisplayFormat()));
    }
    widths.push_back(width);
    titles.push_back(title_metrics.horizontalAdvance(title) + title_margin);
  }
  FitWidths(widths, titles);
  for (int i = 0; i < model_->columnCount(); ++i)
    setColumnWidth(i, widths[static_cast<size_t>(i)]);
}

// The window's size is fixed: rather than a horizontal scroll bar, the column of the most
// characters (a description, elided anyway) gives up what the others need, down to its title.
void RecordGrid::FitWidths(std::vector<int>& widths, const std::vector<int>& titles) const {
  const int available = viewport()->width();
  if (available <= 0 || widths.empty()) return;
  int total = 0;
  for (int w : widths)
    total += w;
  if (total <= available) return;
  const auto& columns = model_->Columns();
  size_t widest = 0;
  for (size_t i = 1; i < columns.size(); ++i) {
    if (columns[i].width_chars > columns[widest].width_chars) widest = i;
  }
  widths[widest] = std::max(titles[widest], widths[widest] - (total - available));
}

void RecordGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  ApplyColumnWidths();
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
