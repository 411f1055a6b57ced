#include "ui/timer_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "boxdata/box_tables.h"
#include "store/date_format.h"
#include "ui/timer_list_model.h"

namespace tivolo::ui {
namespace {

constexpr qsizetype kDayNameChars = 10;
constexpr int kChannelColumn = 0;
constexpr int kDescriptionColumn = 1;
constexpr int kTypeColumn = 13;
// After the program's own columns: Channel to Type.
constexpr int kBoxColumn = 14;

}  // namespace

std::string ProgramDayName(const QString& locale_name) {
  if (locale_name.isEmpty()) return {};
  QString name = locale_name.left(1).toUpper() + locale_name.mid(1, kDayNameChars - 1).toLower();
  return name.toStdString();
}

std::array<std::string, 7> ApplyDayNames(const QLocale& locale) {
  std::array<std::string, 7> names;
  for (int day = 0; day < 7; ++day) {
    // Qt counts Monday 1 to Sunday 7.
    names[static_cast<size_t>(day)] =
        ProgramDayName(locale.dayName(day == 0 ? 7 : day, QLocale::ShortFormat));
  }
  store::DefaultFormatSettings().short_day_names = names;
  return names;
}

void LabelDayFields(store::MemTable& timers, const std::array<std::string, 7>& names) {
  for (size_t day = 0; day < names.size(); ++day) {
    if (store::Field* f = timers.FindField(boxdata::fields::kDays[day])) {
      f->SetDisplayLabel(names[day]);
    }
  }
}

std::vector<widgets::Column> TimerGridColumns(std::shared_ptr<const BoxStates> box_states,
                                              std::shared_ptr<const ConflictMarks> conflicts) {
  using widgets::DisplayKind;
  namespace f = boxdata::fields;
  std::vector<widgets::Column> columns = {
      {f::kZender, "Channel", 20, DisplayKind::kText},
      {f::kName, "Description", 40, DisplayKind::kText},
      {f::kBegin, "Begin", 18, DisplayKind::kText},
      {f::kEnd, "End", 18, DisplayKind::kText},
      {f::kRepeated, "Repeated", 5, DisplayKind::kTrueFalse},
  };
  // Monday to Saturday, then Sunday; titled with the labels the start-up gives the fields.
  for (int day : {1, 2, 3, 4, 5, 6, 0})
    columns.push_back({f::kDays[static_cast<size_t>(day)], "", 2, DisplayKind::kCheckBox});
  columns.push_back({f::kAfterevent, "Afterevent", 10, DisplayKind::kText});
  columns.push_back({f::kJustplay, "Type", 6, DisplayKind::kText,
                     [conflicts](const store::RecordBuffer& row, const store::Field& justplay) {
                       std::string type = row.AsLargeInt(justplay) != 0 ? "Zap" : "Record";
                       if (conflicts && conflicts->count(row.RecordId()))
                         type += std::string(" ") + kConflictMark;
                       return type;
                     }});
  if (!box_states) return columns;
  // The field is only the column's anchor: the text is the box's, by the record.
  columns.push_back({f::kServiceref, "Box", 8, DisplayKind::kText,
                     [box_states](const store::RecordBuffer& row, const store::Field&) {
                       const auto it = box_states->find(row.RecordId());
                       return it == box_states->end() ? std::string() : it->second;
                     }});
  return columns;
}

TimerGrid::TimerGrid(QWidget* parent) : RecordGrid(parent) {
  setObjectName("TimerGrid");
}

void TimerGrid::Bind(store::DataSource& ds_timers, std::function<ClockNow()> now) {
  if (!now) now = [] { return ClockNow{{}, platform::NowUtc()}; };
  auto* model =
      new TimerTableModel(ds_timers, TimerGridColumns(box_states_, conflicts_), std::move(now));
  model->SetConflictMarks(conflicts_);
  RecordGrid::Bind(model, new TimerListProxy({kChannelColumn, kDescriptionColumn}));
  SetColumnShown(kBoxColumn, !box_states_->empty());
  SetFillColumn(kDescriptionColumn);
  // No column chosen: the table's own begin order. A third click on a title comes back to it.
  horizontalHeader()->setSortIndicatorClearable(true);
  horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  setSortingEnabled(true);
}

TimerTableModel* TimerGrid::Timers() const {
  return static_cast<TimerTableModel*>(Model());
}

TimerListProxy* TimerGrid::View() const {
  return static_cast<TimerListProxy*>(Proxy());
}

void TimerGrid::ShowBoxStates(BoxStates states) {
  *box_states_ = std::move(states);
  SetColumnShown(kBoxColumn, true);
  Timers()->RefreshColumn(kBoxColumn);
}

void TimerGrid::HideBoxStates() {
  box_states_->clear();
  SetColumnShown(kBoxColumn, false);
  Timers()->RefreshColumn(kBoxColumn);
}

void TimerGrid::ShowConflicts(ConflictMarks marks) {
  if (marks == *conflicts_) return;
  *conflicts_ = std::move(marks);
  Timers()->RefreshColumn(kTypeColumn);
  Timers()->RefreshStates();  // the tooltips
  if (View()->OnlyMarked()) View()->SetOnlyMarked(kTypeColumn, kConflictMark);
}

void TimerGrid::ShowOnlyConflicts(bool only) {
  View()->SetOnlyMarked(only ? kTypeColumn : -1, kConflictMark);
}

void TimerGrid::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && mods == Qt::NoModifier) {
    event->accept();
    emit EditRequested();
    return;
  }
  if (event->key() == Qt::Key_Delete && mods == Qt::NoModifier) {
    event->accept();
    emit DeleteRequested();
    return;
  }
  RecordGrid::keyPressEvent(event);
}

void TimerGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  // The press that began it has chosen the row already; below the last row nothing happens.
  event->accept();
  if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
    emit EditRequested();
}

}  // namespace tivolo::ui
