#include "ui/timer_list_model.h"

#include <QFont>
#include <QGuiApplication>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include "boxdata/box_tables.h"
#include "boxdata/search_fold.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;
using widgets::TableModel;

constexpr int kMarkPixels = 12;
constexpr int kMarkMargin = 2;

// A red dot: the recording light of a receiver's front panel. Not running: the same room,
// empty, so that every Type reads from the same place.
// A timer a series rule made: a small blue square beside its name.
QIcon RuleMark() {
  QPixmap pixmap(kMarkPixels, kMarkPixels);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x30, 0x60, 0xc0));
  painter.drawRect(kMarkMargin, kMarkMargin, kMarkPixels - 2 * kMarkMargin,
                   kMarkPixels - 2 * kMarkMargin);
  return QIcon(pixmap);
}

QIcon Mark(bool lit) {
  QPixmap pixmap(kMarkPixels, kMarkPixels);
  pixmap.fill(Qt::transparent);
  if (lit) {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xd0, 0x10, 0x10));
    painter.drawEllipse(kMarkMargin, kMarkMargin, kMarkPixels - 2 * kMarkMargin,
                        kMarkPixels - 2 * kMarkMargin);
  }
  return QIcon(pixmap);
}

int ColumnOf(const std::vector<widgets::Column>& columns, const char* field) {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (columns[i].field == field) return static_cast<int>(i);
  }
  return -1;
}

// Whether a change of these roles can change a cell's text (an empty list: any role).
bool TouchesText(const QList<int>& roles) {
  return roles.isEmpty() || roles.contains(Qt::DisplayRole) ||
         roles.contains(TableModel::kSortRole);
}

}  // namespace

TimerTableModel::TimerTableModel(store::DataSource& ds_timers, std::vector<widgets::Column> columns,
                                 std::function<ClockNow()> now, QObject* parent)
    : TableModel(ds_timers, std::move(columns), parent), now_(std::move(now)) {
  if (store::MemTable* timers = Table()) fields_.emplace(*timers);
  const QLocale locale = QLocale::system();
  for (int day = 1; day <= 7; ++day)  // Qt counts Monday 1 to Sunday 7
    day_names_[static_cast<size_t>(day - 1)] = locale.dayName(day).toStdString();
  name_column_ = ColumnOf(Columns(), fields::kName);
  type_column_ = ColumnOf(Columns(), fields::kJustplay);
  running_mark_ = Mark(true);
  idle_mark_ = Mark(false);
  rule_mark_ = RuleMark();
  // The state kept of one row goes with the record buffer: whenever a row may have changed.
  for (auto signal :
       {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
        &QAbstractItemModel::rowsAboutToBeInserted, &QAbstractItemModel::rowsAboutToBeRemoved}) {
    connect(this, signal, this, [this] { ForgetStates(); });
  }
  connect(this, &QAbstractItemModel::rowsMoved, this, [this] { ForgetStates(); });
  connect(this, &QAbstractItemModel::modelReset, this, [this] { ForgetStates(); });
  connect(this, &QAbstractItemModel::dataChanged, this, [this] { ForgetStates(); });
}

const TimerState& TimerTableModel::StateOfRow(int row, const store::RecordBuffer& record) const {
  if (row != state_row_) {
    state_ = StateOf(record, *fields_, now_ ? now_() : ClockNow{});
    state_row_ = row;
  }
  return state_;
}

QVariant TimerTableModel::data(const QModelIndex& index, int role) const {
  const bool ours = role == Qt::DisplayRole || role == Qt::ForegroundRole || role == Qt::FontRole ||
                    role == Qt::DecorationRole || role == Qt::ToolTipRole;
  if (!ours || !fields_ || !index.isValid() || index.row() >= rowCount()) {
    return TableModel::data(index, role);
  }
  const store::RecordBuffer* record = RowBuffer(index.row());
  if (!record) return TableModel::data(index, role);
  const TimerState& state = StateOfRow(index.row(), *record);
  switch (role) {
    case Qt::DisplayRole: {
      const QVariant text = TableModel::data(index, role);
      if (index.column() != name_column_ || !state.disabled) return text;
      return QStringLiteral("(off) ") + text.toString();
    }
    case Qt::ForegroundRole:
      if (!state.disabled && state.phase != TimerPhase::kEnded) return {};
      return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    case Qt::FontRole: {
      if (!state.disabled) return {};
      QFont italic;
      italic.setItalic(true);
      return italic;
    }
    case Qt::DecorationRole:
      if (index.column() == name_column_)
        return RuleOriginText(record->AsString(fields_->extra_attributes)).empty() ? QVariant()
                                                                                   : rule_mark_;
      if (index.column() != type_column_) return {};
      return state.phase == TimerPhase::kRunning ? running_mark_ : idle_mark_;
    default: {
      QStringList lines;
      for (const std::string& line : TooltipLines(*record, *fields_, state, day_names_))
        lines << QString::fromStdString(line);
      if (conflict_marks_) {
        const auto mark = conflict_marks_->find(record->RecordId());
        if (mark != conflict_marks_->end()) lines << QString::fromStdString(mark->second);
      }
      return lines.join('\n');
    }
  }
}

void TimerTableModel::RefreshStates() {
  ForgetStates();
  if (rowCount() == 0 || columnCount() == 0) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1),
                   {Qt::ForegroundRole, Qt::DecorationRole, Qt::ToolTipRole});
}

void TimerTableModel::RefreshColumn(int column) {
  if (rowCount() == 0 || column < 0 || column >= columnCount()) return;
  emit dataChanged(index(0, column), index(rowCount() - 1, column),
                   {Qt::DisplayRole, TableModel::kSortRole});
}

// ---- TimerListProxy ----

TimerListProxy::TimerListProxy(std::vector<int> filter_columns, QObject* parent)
    : QSortFilterProxyModel(parent), filter_columns_(std::move(filter_columns)) {
  setSortRole(TableModel::kSortRole);
  setDynamicSortFilter(true);
}

// Connected before the proxy's own handlers, so that a key is forgotten before the proxy
// sorts or filters the changed rows again.
void TimerListProxy::setSourceModel(QAbstractItemModel* source) {
  for (const QMetaObject::Connection& c : source_connections_)
    disconnect(c);
  source_connections_.clear();
  ForgetAll();
  if (source) {
    source_connections_ = {
        connect(source, &QAbstractItemModel::dataChanged, this,
                [this](const QModelIndex& from, const QModelIndex& to, const QList<int>& roles) {
                  if (TouchesText(roles)) ForgetRows(from.row(), to.row());
                }),
        connect(source, &QAbstractItemModel::rowsInserted, this, [this] { ForgetAll(); }),
        connect(source, &QAbstractItemModel::rowsRemoved, this, [this] { ForgetAll(); }),
        connect(source, &QAbstractItemModel::rowsMoved, this, [this] { ForgetAll(); }),
        connect(source, &QAbstractItemModel::modelReset, this, [this] { ForgetAll(); }),
        connect(source, &QAbstractItemModel::layoutChanged, this, [this] { ForgetAll(); })};
  }
  QSortFilterProxyModel::setSourceModel(source);
}

void TimerListProxy::SetFilterText(const QString& text) {
  std::string folded = boxdata::SearchFolded(text.trimmed().toStdString());
  if (folded == folded_filter_) return;
  folded_filter_ = std::move(folded);
  invalidateFilter();
}

void TimerListProxy::ForgetRows(int first, int last) const {
  for (int row = std::max(first, 0); row <= last; ++row) {
    if (static_cast<size_t>(row) < sort_keys_.size()) sort_keys_[static_cast<size_t>(row)] = {};
    if (static_cast<size_t>(row) < filter_keys_.size()) filter_keys_[static_cast<size_t>(row)] = {};
  }
}

void TimerListProxy::ForgetAll() const {
  sort_keys_.clear();
  filter_keys_.clear();
}

const TimerListProxy::SortKey& TimerListProxy::SortKeyOf(int row, int column) const {
  if (column != sort_keys_column_) {
    sort_keys_.clear();
    sort_keys_column_ = column;
  }
  const auto rows = static_cast<size_t>(sourceModel()->rowCount());
  if (sort_keys_.size() < rows) sort_keys_.resize(rows);
  SortKey& key = sort_keys_[static_cast<size_t>(row)];
  if (key.known) return key;
  key.known = true;
  const QVariant value = sourceModel()->index(row, column).data(TableModel::kSortRole);
  key.null = !value.isValid();
  key.is_text = value.typeId() == QMetaType::QString;
  if (key.is_text) {
    key.text = boxdata::SearchFolded(value.toString().toStdString());
  } else {
    key.number = value.toDouble();
  }
  return key;
}

const TimerListProxy::FilterKey& TimerListProxy::FilterKeyOf(int row) const {
  const auto rows = static_cast<size_t>(sourceModel()->rowCount());
  if (filter_keys_.size() < rows) filter_keys_.resize(rows);
  FilterKey& key = filter_keys_[static_cast<size_t>(row)];
  if (key.known) return key;
  key.known = true;
  key.text.clear();
  // The texts as stored, not as shown: "(off)" is not part of a description.
  for (int column : filter_columns_) {
    const QVariant value = sourceModel()->index(row, column).data(TableModel::kSortRole);
    boxdata::AppendSearchFolded(value.toString().toStdString(), key.text);
    key.text += '\n';
  }
  return key;
}

void TimerListProxy::SetOnlyMarked(int column, const QString& mark) {
  marked_column_ = column;
  mark_ = mark;
  invalidateFilter();
}

bool TimerListProxy::filterAcceptsRow(int source_row, const QModelIndex& source_parent) const {
  if (source_parent.isValid()) return true;
  if (marked_column_ >= 0 &&
      !sourceModel()->index(source_row, marked_column_).data().toString().contains(mark_))
    return false;
  return folded_filter_.empty() ||
         FilterKeyOf(source_row).text.find(folded_filter_) != std::string::npos;
}

// Empty values first, numbers before texts. The proxy's sort is stable both ways, so equal
// values keep the table's begin order.
bool TimerListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  // The first call sizes the keys for every row: the second leaves the first's key in place.
  const SortKey& a = SortKeyOf(left.row(), left.column());
  const SortKey& b = SortKeyOf(right.row(), right.column());
  if (a.null != b.null) return a.null;
  if (a.null) return false;
  if (a.is_text != b.is_text) return !a.is_text;
  return a.is_text ? a.text < b.text : a.number < b.number;
}

}  // namespace tivolo::ui
