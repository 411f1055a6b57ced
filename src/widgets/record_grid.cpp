#include "widgets/record_grid.h"

#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <algorithm>
#include <limits>
#include <utility>

#include "store/date_format.h"
#include "store/field.h"

namespace tivolo::widgets {
namespace {
// Room for the cell's margins and the grid line beside the characters themselves.
constexpr int kCellPadding = 6;
constexpr int kAllRows = std::numeric_limits<int>::max();
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
  connect(horizontalHeader(), &QHeaderView::sectionResized, this,
          [this](int section, int, int new_size) { SectionResized(section, new_size); });
  measure_timer_.setSingleShot(true);
  measure_timer_.setInterval(0);
  connect(&measure_timer_, &QTimer::timeout, this, &RecordGrid::MeasurePending);
}

RecordGrid::~RecordGrid() = default;

void RecordGrid::Bind(store::DataSource& source, std::vector<Column> columns) {
  Bind(new TableModel(source, std::move(columns), this), nullptr);
}

void RecordGrid::Bind(TableModel* model, QSortFilterProxyModel* proxy) {
  TableModel* old_model = model_;
  QSortFilterProxyModel* old_proxy = proxy_;
  model_ = model;
  proxy_ = proxy;
  model_->setParent(this);
  if (proxy_) {
    proxy_->setParent(this);
    proxy_->setSourceModel(model_);
    setModel(proxy_);
  } else {
    setModel(model_);
  }
  delete old_proxy;
  delete old_model;
  content_.assign(static_cast<size_t>(model_->columnCount()), 0);
  kept_.assign(content_.size(), 0);
  connect(model_, &TableModel::CurrentRowChanged, this, &RecordGrid::FollowTable);
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    MeasureLater(0, kAllRows, true);
    ApplyColumnWidths();
  });
  connect(model_, &QAbstractItemModel::headerDataChanged, this, &RecordGrid::ApplyColumnWidths);
  connect(model_, &QAbstractItemModel::rowsInserted, this,
          [this] { MeasureLater(0, kAllRows, false); });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
            // A change of colour or mark alone leaves every text as wide as it was.
            if (roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::FontRole))
              MeasureLater(from.row(), to.row(), false);
          });
  // A view whose rows are the proxy's maps them back: a sort or a filter moves the view's rows
  // under the table's current record, which stays where it is.
  connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { RowChosen(current); });
  if (fill_column_ >= 0) {
    SetFillColumn(fill_column_);  // the new header's sections
  } else {
    ApplyColumnWidths();
  }
  FollowTable(model_->CurrentRow());
}

int RecordGrid::ViewRow(int table_row) const {
  if (!model_ || table_row < 0 || table_row >= model_->rowCount()) return -1;
  if (!proxy_) return table_row;
  return proxy_->mapFromSource(model_->index(table_row, 0)).row();
}

int RecordGrid::TableRow(int view_row) const {
  if (!model() || view_row < 0 || view_row >= model()->rowCount()) return -1;
  if (!proxy_) return view_row;
  return proxy_->mapToSource(proxy_->index(view_row, 0)).row();
}

void RecordGrid::SetFillColumn(int column) {
  fill_column_ = column;
  QHeaderView* header = horizontalHeader();
  header->setStretchLastSection(false);
  // Not Qt's stretching: a stretched column cannot be dragged, and gives itself up entirely to
  // the others.
  for (int i = 0; i < header->count(); ++i)
    header->setSectionResizeMode(i, QHeaderView::Interactive);
  MeasureLater(0, kAllRows, true);
  ApplyColumnWidths();
}

void RecordGrid::KeepWidth(int column, int pixels) {
  if (column < 0 || static_cast<size_t>(column) >= kept_.size()) return;
  kept_[static_cast<size_t>(column)] = std::max(pixels, 0);
  ApplyColumnWidths();
}

void RecordGrid::SetColumnShown(int column, bool shown) {
  if (isColumnHidden(column) != shown) return;
  applying_ = true;
  setColumnHidden(column, !shown);
  applying_ = false;
  ApplyColumnWidths();
}

int RecordGrid::KeptWidth(int column) const {
  if (column < 0 || static_cast<size_t>(column) >= kept_.size()) return 0;
  return kept_[static_cast<size_t>(column)];
}

void RecordGrid::SectionResized(int column, int new_size) {
  if (applying_ || column < 0 || static_cast<size_t>(column) >= kept_.size()) return;
  kept_[static_cast<size_t>(column)] = new_size;
  // Another column dragged: the fill column takes up what is left, or gives it back.
  if (column != fill_column_) FillRest();
}

int RecordGrid::FillLeast() const {
  const int kept = KeptWidth(fill_column_);
  if (kept > 0) return kept;
  const QString title = model_->headerData(fill_column_, Qt::Horizontal).toString();
  const int title_margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  return BaseWidth(fill_column_,
                   horizontalHeader()->fontMetrics().horizontalAdvance(title) + title_margin);
}

void RecordGrid::FillRest() {
  if (!model_ || fill_column_ < 0 || fill_column_ >= model_->columnCount()) return;
  int others = 0;
  for (int i = 0; i < model_->columnCount(); ++i) {
    if (i != fill_column_ && !isColumnHidden(i)) others += columnWidth(i);
  }
  const int width = std::max(FillLeast(), viewport()->width() - others);
  if (width == columnWidth(fill_column_)) return;
  applying_ = true;
  setColumnWidth(fill_column_, width);
  applying_ = false;
}

int RecordGrid::WidthForAllColumns() {
  if (!model_) return 0;
  if (!held_ && pending_.last >= 0) {
    measure_timer_.stop();
    MeasurePending();
  }
  int total = 0;
  for (int i = 0; i < model_->columnCount(); ++i) {
    if (!isColumnHidden(i)) total += i == fill_column_ ? FillLeast() : columnWidth(i);
  }
  return total + 2 * frameWidth() + verticalScrollBar()->sizeHint().width();
}

void RecordGrid::HoldWidths(bool hold) {
  held_ = hold;
  if (!held_ && pending_.last >= 0) measure_timer_.start();
}

void RecordGrid::ShowCurrent() {
  if (model_) FollowTable(model_->CurrentRow());
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

// A column is as wide as its characters (or, fitted, its values), but never narrower than its
// title, its check box or the dates its field's format shows: a font whose digits are wider
// than its average character would cut every date otherwise.
int RecordGrid::BaseWidth(int i, int title_width) const {
  const Column& column = model_->Columns()[static_cast<size_t>(i)];
  // A fitted column is as wide as its widest value: the room goes to the fill column.
  if (fill_column_ >= 0 && MeasuredColumn(i))
    return std::max(title_width, content_[static_cast<size_t>(i)] + kCellPadding +
                                     fontMetrics().averageCharWidth());
  int width = std::max(ColumnPixels(column.width_chars), title_width);
  if (column.kind == DisplayKind::kCheckBox) {
    width = std::max(width,
                     style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) + kCellPadding);
  }
  const store::Field* field = model_->ColumnField(i);
  if (field && field->DataType() == store::FieldType::kDateTime &&
      !field->DisplayFormat().empty()) {
    width = std::max(width, DatePixels(field->DisplayFormat()));
  }
  return width;
}

void RecordGrid::ApplyColumnWidths() {
  if (!model_) return;
  const int title_margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
  const QFontMetrics title_metrics = horizontalHeader()->fontMetrics();
  std::vector<int> widths;
  std::vector<int> titles;
  for (int i = 0; i < model_->columnCount(); ++i) {
    const QString title = model_->headerData(i, Qt::Horizontal).toString();
    titles.push_back(title_metrics.horizontalAdvance(title) + title_margin);
    const int kept = KeptWidth(i);
    widths.push_back(kept > 0 ? kept : BaseWidth(i, titles.back()));
  }
  if (fill_column_ < 0) FitWidths(widths, titles);
  applying_ = true;
  for (int i = 0; i < model_->columnCount(); ++i) {
    if (i != fill_column_) setColumnWidth(i, widths[static_cast<size_t>(i)]);
  }
  applying_ = false;
  FillRest();
}

bool RecordGrid::MeasuredColumn(int i) const {
  if (i == fill_column_ || static_cast<size_t>(i) >= content_.size()) return false;
  const store::Field* field = model_->ColumnField(i);
  return model_->Columns()[static_cast<size_t>(i)].kind == DisplayKind::kText && field &&
         field->DataType() != store::FieldType::kDateTime;
}

// Rows are measured once the changes of the moment are done: a timer list read record by
// record, each field set on its own, would otherwise measure every row a score of times.
void RecordGrid::MeasureLater(int first, int last, bool afresh) {
  if (fill_column_ < 0 || !model_) return;
  pending_.first = std::min(pending_.first, first);
  pending_.last = std::max(pending_.last, last);
  pending_.afresh = pending_.afresh || afresh;
  measure_timer_.start();
}

void RecordGrid::MeasurePending() {
  if (held_) return;  // measured when released
  const PendingMeasure pending = std::exchange(pending_, PendingMeasure{});
  if (fill_column_ < 0 || !model_ || pending.last < 0) return;
  if (MeasureRows(pending.first, pending.last, pending.afresh) || pending.afresh)
    ApplyColumnWidths();
}

// A value is measured in the font it is painted in (an italic row is wider), with the room of
// the mark painted before it. Most values recur (channels, after-events): each distinct text is
// measured once.
bool RecordGrid::MeasureRows(int first, int last, bool afresh) {
  if (afresh) content_.assign(static_cast<size_t>(model_->columnCount()), 0);
  std::vector<int> columns;
  for (int i = 0; i < model_->columnCount(); ++i) {
    if (MeasuredColumn(i)) columns.push_back(i);
  }
  const int mark = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this) + kCellPadding;
  // Per font (by its key; the grid's own under the empty one): each text's width.
  QHash<QString, QHash<QString, int>> measured;
  auto advance = [&](const QVariant& font, const QString& text) {
    const QFont used = font.isValid() ? font.value<QFont>().resolve(this->font()) : this->font();
    QHash<QString, int>& widths = measured[font.isValid() ? used.key() : QString()];
    auto known = widths.constFind(text);
    if (known == widths.cend())
      known = widths.insert(text, QFontMetrics(used).horizontalAdvance(text));
    return *known;
  };
  bool wider = false;
  for (int row = std::max(first, 0); row <= last && row < model_->rowCount(); ++row) {
    for (int i : columns) {
      const QModelIndex at = model_->index(row, i);
      int width = advance(model_->data(at, Qt::FontRole), model_->data(at).toString());
      if (model_->data(at, Qt::DecorationRole).isValid()) width += mark;
      int& widest = content_[static_cast<size_t>(i)];
      if (width > widest) {
        widest = width;
        wider = true;
      }
    }
  }
  return wider;
}

// Without a column to fill, the grid's size is fixed: rather than a horizontal scroll bar, the
// column of the most characters (a description, elided anyway) gives up what the others need,
// down to its title.
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

void RecordGrid::showEvent(QShowEvent* event) {
  QTableView::showEvent(event);
  if (model_) FollowTable(model_->CurrentRow());
}

void RecordGrid::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  if (fill_column_ < 0) {
    ApplyColumnWidths();
  } else {
    FillRest();
  }
}

void RecordGrid::changeEvent(QEvent* event) {
  QTableView::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    MeasureLater(0, kAllRows, true);
    ApplyColumnWidths();
  }
}

// A hidden grid follows when it is shown: a list read record by record would move it for each.
void RecordGrid::FollowTable(int row) {
  if (!model_ || !selectionModel() || !isVisible()) return;
  following_ = true;
  const int view_row = ViewRow(row);
  if (view_row < 0) {
    // Not shown (no record, or one the filter hides): nothing is selected.
    selectionModel()->clear();
  } else {
    const QModelIndex at = model()->index(view_row, std::max(currentIndex().column(), 0));
    if (currentIndex().row() != view_row || !selectionModel()->isRowSelected(view_row, {})) {
      selectionModel()->setCurrentIndex(
          at, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }
    scrollTo(at, QAbstractItemView::EnsureVisible);
  }
  following_ = false;
}

// A pending change is ended by its dialog, never by a row the view moves to: a proxy moves the
// rows under an inserted record as its fields are filled in.
void RecordGrid::RowChosen(const QModelIndex& current) {
  if (following_ || !model_ || model_->Changing() || !current.isValid()) return;
  store::MemTable* table = model_->Table();
  if (!table || table->State() != store::DatasetState::kBrowse) return;
  const int row = TableRow(current.row());
  if (row < 0 || row == model_->CurrentRow()) return;
  model_->MoveToRow(row);
}

}  // namespace tivolo::widgets
