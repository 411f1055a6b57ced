#include "ui/guide_list.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <algorithm>

#include "store/date_format.h"
#include "ui/fixed_dialog.h"

namespace tivolo::ui {
namespace {

// Room for the cell's margins and the grid line beside the characters themselves.
constexpr int kCellPadding = 8;
constexpr int kChannelChars = 18;

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

GuideListModel::GuideListModel(bool with_channel, QObject* parent)
    : QAbstractTableModel(parent), with_channel_(with_channel) {}

void GuideListModel::SetRows(std::vector<GuideRow> rows) {
  beginResetModel();
  rows_ = std::move(rows);
  endResetModel();
}

GuideListModel::Column GuideListModel::ColumnAt(int section) const {
  if (!with_channel_ && section >= kChannel) return static_cast<Column>(section + 1);
  return static_cast<Column>(section);
}

int GuideListModel::ColumnOf(Column column) const {
  if (!with_channel_ && column > kChannel) return column - 1;
  return column;
}

int GuideListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int GuideListModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return with_channel_ ? kColumns : kColumns - 1;
}

QVariant GuideListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const GuideRow& row = rows_[static_cast<size_t>(index.row())];
  if (role == Qt::FontRole && row.covered) {
    QFont bold = QApplication::font("QTableView");
    bold.setBold(true);
    return bold;
  }
  if (role == Qt::ToolTipRole && row.covered) return QString(kCoveredHint);
  if (role != Qt::DisplayRole) return {};
  switch (ColumnAt(index.column())) {
    case kMark:
      return row.covered ? QString(kCoveredMark) : QString();
    case kDay:
      return Text(row.day);
    case kTimes:
      return Text(row.times);
    case kChannel:
      return Text(row.channel);
    case kTitle:
      return Text(row.event.title);
    case kColumns:
      break;
  }
  return {};
}

QVariant GuideListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (ColumnAt(section)) {
    case kDay:
      return QString("Day");
    case kTimes:
      return QString("Time");
    case kChannel:
      return QString("Channel");
    case kTitle:
      return QString("Title");
    default:
      return QString();
  }
}

GuideList::GuideList(bool with_channel, QWidget* parent)
    : QTableView(parent), model_(new GuideListModel(with_channel, this)) {
  setModel(model_);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setTabKeyNavigation(false);
  setWordWrap(false);
  setShowGrid(false);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionsMovable(false);
  horizontalHeader()->setStretchLastSection(true);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { emit Chosen(index.row()); });
  ApplyColumnWidths();
}

void GuideList::SetRows(std::vector<GuideRow> rows) {
  model_->SetRows(std::move(rows));
  if (model_->rowCount() > 0) setCurrentIndex(model_->index(0, 0));
}

const GuideRow* GuideList::CurrentRow() const {
  const QModelIndex current = currentIndex();
  if (!current.isValid() || current.row() >= model_->rowCount()) return nullptr;
  return &model_->Rows()[static_cast<size_t>(current.row())];
}

void GuideList::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event->key()) && event->modifiers() == Qt::NoModifier) {
    if (currentIndex().isValid()) emit Chosen(currentIndex().row());
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

// The day column fits the widest day name of a week, the times "00:00-00:00"; the title takes
// the rest. Measured in bold: a programme a timer covers is shown so.
void GuideList::ApplyColumnWidths() {
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics metrics(bold);
  int day = 0;
  const store::DateTime monday = store::EncodeDateTime({2026, 12, 28, 20, 0});
  for (int d = 0; d < 7; ++d) {
    const std::string text = store::FormatDateTime(kGuideDayFormat, monday + d);
    day = std::max(day, metrics.horizontalAdvance(Text(text)));
  }
  setColumnWidth(model_->ColumnOf(GuideListModel::kMark),
                 metrics.horizontalAdvance(GuideListModel::kCoveredMark) + kCellPadding);
  setColumnWidth(model_->ColumnOf(GuideListModel::kDay), day + kCellPadding);
  setColumnWidth(model_->ColumnOf(GuideListModel::kTimes),
                 metrics.horizontalAdvance("00:00-00:00") + kCellPadding);
  if (model_->columnCount() == GuideListModel::kColumns)
    setColumnWidth(GuideListModel::kChannel,
                   kChannelChars * metrics.averageCharWidth() + kCellPadding);
}

}  // namespace tivolo::ui
