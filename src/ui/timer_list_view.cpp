#include "ui/timer_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include "ui/timer_list_model.h"

namespace tivolo::ui {
namespace {

// Running and ended are read off the clock: a timer that starts shows its dot within this.
constexpr int kStatesRefreshMs = 30'000;
const QString kLayoutGroup = QStringLiteral("TimerList");

}  // namespace

TimerListView::TimerListView(QWidget* parent)
    : QWidget(parent), filter_(new QLineEdit(this)), grid_(new TimerGrid(this)) {
  setObjectName("TimerListView");
  filter_->setObjectName("FilterEdit");
  filter_->setPlaceholderText("Filter on channel or description (Ctrl+L)");
  filter_->setClearButtonEnabled(true);
  filter_->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(filter_);
  layout->addWidget(grid_, 1);
  states_timer_.setInterval(kStatesRefreshMs);
  connect(&states_timer_, &QTimer::timeout, this, &TimerListView::RefreshStates);
}

void TimerListView::Bind(store::DataSource& ds_timers, std::function<ClockNow()> now) {
  grid_->Bind(ds_timers, std::move(now));
  TimerListProxy* view = grid_->View();
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved}) {
    connect(view, signal, this, &TimerListView::CountsChanged);
  }
  connect(view, &QAbstractItemModel::modelReset, this, &TimerListView::CountsChanged);
  connect(view, &QAbstractItemModel::layoutChanged, this, &TimerListView::CountsChanged);
  connect(filter_, &QLineEdit::textChanged, this, [this, view](const QString& text) {
    // The timer chosen stays the current one when the rows shown change around it (a
    // filter cleared shows it among all the others).
    widgets::TableModel* model = grid_->Model();
    const int current = model ? model->CurrentRow() : -1;
    view->SetFilterText(text);
    store::MemTable* table = model ? model->Table() : nullptr;
    if (table && current >= 0 && model->CurrentRow() != current &&
        table->State() == store::DatasetState::kBrowse && grid_->ViewRow(current) >= 0)
      table->ViewMoveToRow(current);
    grid_->ShowCurrent();
    emit CountsChanged();
    emit FilterChanged();
  });
  states_timer_.start();
}

void TimerListView::FocusFilter() {
  filter_->setFocus(Qt::ShortcutFocusReason);
  filter_->selectAll();
}

QString TimerListView::Caption() const {
  TimerListProxy* view = grid_->View();
  if (!view || !view->Filtering()) return QStringLiteral("Timers: ");
  return QStringLiteral("Timers: %1 of %2").arg(view->rowCount()).arg(grid_->Model()->rowCount());
}

bool TimerListView::CurrentShown() const {
  const widgets::TableModel* model = grid_->Model();
  return model && grid_->ViewRow(model->CurrentRow()) >= 0;
}

void TimerListView::Settle() {
  widgets::TableModel* model = grid_->Model();
  store::MemTable* table = model ? model->Table() : nullptr;
  if (!table || !table->Active() || table->State() != store::DatasetState::kBrowse) return;
  if (CurrentShown()) return;
  const int first = grid_->TableRow(0);
  if (first >= 0) table->ViewMoveToRow(first);
}

void TimerListView::RefreshStates() {
  if (TimerTableModel* timers = grid_->Timers()) timers->RefreshStates();
}

bool TimerListView::eventFilter(QObject* watched, QEvent* event) {
  if (watched != filter_ || event->type() != QEvent::KeyPress)
    return QWidget::eventFilter(watched, event);
  const int key = static_cast<QKeyEvent*>(event)->key();
  if (key == Qt::Key_Escape && !filter_->text().isEmpty()) {
    filter_->clear();
    return true;
  }
  // Down the list from the line, or Escape on an empty line: back to the timers.
  if (key == Qt::Key_Escape || key == Qt::Key_Down || key == Qt::Key_Return ||
      key == Qt::Key_Enter) {
    grid_->setFocus(Qt::OtherFocusReason);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

// Columns are named by their title, or by their field where the title is the day's name.
QString TimerListView::ColumnKey(int column) const {
  const widgets::Column& c = grid_->Model()->Columns()[static_cast<size_t>(column)];
  return QString::fromStdString(c.title.empty() ? c.field : c.title);
}

void TimerListView::SaveLayout(QSettings& settings) const {
  if (!grid_->Model()) return;
  settings.beginGroup(kLayoutGroup);
  settings.remove(QString());
  for (int i = 0; i < grid_->Model()->columnCount(); ++i) {
    if (const int width = grid_->KeptWidth(i); width > 0)
      settings.setValue("Width/" + ColumnKey(i), width);
  }
  const QHeaderView* header = grid_->horizontalHeader();
  const int sorted = header->sortIndicatorSection();
  if (sorted >= 0 && sorted < grid_->Model()->columnCount()) {
    settings.setValue("SortColumn", ColumnKey(sorted));
    settings.setValue("SortOrder", header->sortIndicatorOrder() == Qt::DescendingOrder
                                       ? QStringLiteral("descending")
                                       : QStringLiteral("ascending"));
  }
  settings.endGroup();
}

// A column the settings do not know keeps its fitted width; one they name that is gone is
// passed over.
void TimerListView::RestoreLayout(QSettings& settings) {
  if (!grid_->Model()) return;
  settings.beginGroup(kLayoutGroup);
  const QString sort_key = settings.value("SortColumn").toString();
  const Qt::SortOrder order = settings.value("SortOrder").toString() == "descending"
                                  ? Qt::DescendingOrder
                                  : Qt::AscendingOrder;
  for (int i = 0; i < grid_->Model()->columnCount(); ++i) {
    bool ok = false;
    const int width = settings.value("Width/" + ColumnKey(i)).toInt(&ok);
    if (ok && width > 0) grid_->KeepWidth(i, width);
    if (!sort_key.isEmpty() && ColumnKey(i) == sort_key)
      grid_->horizontalHeader()->setSortIndicator(i, order);
  }
  settings.endGroup();
}

}  // namespace tivolo::ui
