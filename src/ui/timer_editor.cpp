#include "ui/timer_editor.h"

#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QDateTimeEdit>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "platform/clock.h"
#include "store/date_format.h"
#include "ui/timer_conflicts.h"
#include "ui/timer_state.h"
#include "widgets/bound_controls.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

constexpr int kQuickButtonWidth = 32;
constexpr int kQuickButtonHeight = 24;
constexpr int kQuickColumns = 4;
constexpr int kQuarterMinutes = 15;
constexpr int kDayBoxWidth = 33;
constexpr int kDayBoxPitch = 38;
constexpr int kDayBoxLeft = 4;
constexpr int kHourMinutes = 60;

const QColor kRed(Qt::red);
const QColor kWarningColour(0xb0, 0x50, 0x00);  // dark orange: a warning, not a refusal

void ShowRed(QDateTimeEdit* picker, bool red) {
  QPalette p = picker->palette();
  p.setColor(QPalette::Base, red ? kRed : QPalette().color(QPalette::Base));
  picker->setPalette(p);
  // The calendar that drops down is the picker's child: it keeps the normal colours.
  if (QCalendarWidget* calendar = picker->calendarWidget()) {
    QPalette normal = calendar->palette();
    normal.setColor(QPalette::Base, QPalette().color(QPalette::Base));
    calendar->setPalette(normal);
  }
}

QString QuickButtonHint(int minutes) {
  if (minutes == 0) return "End = Begin";
  const int hours = minutes / 60;
  const int rest = minutes % 60;
  QString span;
  if (hours > 0) span = QString::number(hours) + " h";
  if (rest > 0) span += (span.isEmpty() ? "" : " ") + QString::number(rest) + " min";
  return "End = Begin + " + span;
}

QLabel* BigLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  QFont f = label->font();
  f.setBold(true);
  f.setPointSize(f.pointSize() * 2);
  label->setFont(f);
  return label;
}

bool IsMinusKey(int key) {
  return key == Qt::Key_Minus;
}
// The main keyboard's plus sign shares its key with "=" on many layouts.
bool IsPlusKey(int key) {
  return key == Qt::Key_Plus || key == Qt::Key_Equal;
}

QString IndexedName(const char* stem, int index) {
  return QString(stem) + QString::number(index);
}

const char kNoChannelMessage[] =
    "This timer has no channel, so the box could not record it, and it cannot be saved. The "
    "box's channel lists hold no channel to choose; cancel the timer.";

constexpr int kRuleWarningMargin = 8;

}  // namespace

TimerEditor::TimerEditor(QWidget* owner, TimerSession& session)
    : FixedDialog(owner), session_(session) {
  setWindowTitle("Timer");  // replaced when the opening timer fires
  const store::MemTable& timers = session_.tables->timers;
  opened_begin_ = timers.FieldNamed(fields::kBegin).AsDateTime();
  opened_end_ = timers.FieldNamed(fields::kEnd).AsDateTime();
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* body = new QWidget(this);
  auto* grid = new QGridLayout(body);
  outer->addWidget(body);
  SetupChannelAndName(grid, body);
  grid->addWidget(SetupPickers(), 2, 0, 1, 3);
  grid->addWidget(SetupQuickButtons(), 2, 3);
  grid->addWidget(SetupConflictLine(body), 3, 0, 1, 4);
  grid->addWidget(SetupRepetition(), 4, 0, 1, 4);
  SetupAfterevent(grid, body);
  grid->addWidget(SetupButtons(), 6, 0, 1, 4);
  SetupRuleWarning(outer);
  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  outer->addWidget(status);
  SetupTabOrder();
  // Ctrl+S and Ctrl+C reach the dialog from every control, the text fields included.
  for (QWidget* w : findChildren<QWidget*>())
    w->installEventFilter(this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  SetupOpeningTimer();
  PickerChange();
}

TimerEditor::~TimerEditor() = default;

void TimerEditor::SetupRuleWarning(QVBoxLayout* outer) {
  // Only a timer a rule made gets the line: every other keeps the editor's size.
  const std::string origin =
      RuleOriginText(session_.tables->timers.FieldNamed(fields::kExtraAttributes).AsString());
  if (origin.empty()) return;
  auto* warning = new QLabel(
      QString::fromStdString(origin + ": at its next run the rule may undo changes made here. "
                                      "To keep them, change the rule (Series rules)."),
      this);
  warning->setObjectName("RuleWarning");
  warning->setWordWrap(true);
  warning->setContentsMargins(kRuleWarningMargin, 0, kRuleWarningMargin, 0);
  outer->addWidget(warning);
}

void TimerEditor::SetIsNew(bool is_new) {
  is_new_ = is_new;
  PickerChange();  // a new timer's begin counts as changed
}

void TimerEditor::SetConflictCheck(ConflictCheck check) {
  conflict_check_ = std::move(check);
  ShowConflict();
}

void TimerEditor::SetupChannelAndName(QGridLayout* grid, QWidget* body) {
  store::DataSource* ds = &session_.tables->ds_timers;
  channel_edit_ = new widgets::BoundEdit(body);
  channel_edit_->setObjectName("EditChannel");
  channel_edit_->setReadOnly(true);
  channel_edit_->setFocusPolicy(Qt::NoFocus);
  QPalette grey = channel_edit_->palette();
  grey.setColor(QPalette::Base, grey.color(QPalette::Window));
  channel_edit_->setPalette(grey);
  channel_edit_->Link().Bind(ds, fields::kZender);

  name_edit_ = new widgets::BoundEdit(body);
  name_edit_->setObjectName("EditName");
  name_edit_->Link().Bind(ds, fields::kName);
  connect(name_edit_, &QLineEdit::textChanged, this,
          [this] { session_.Guard([this] { PickerChange(); }); });

  grid->addWidget(new QLabel("Channel:", body), 0, 0);
  grid->addWidget(channel_edit_, 0, 1, 1, 3);
  grid->addWidget(new QLabel("Description:", body), 1, 0);
  grid->addWidget(name_edit_, 1, 1, 1, 3);
}

QWidget* TimerEditor::SetupPickers() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  store::DataSource* ds = &session_.tables->ds_timers;
  begin_picker_ = new widgets::BoundDateTimeEdit(box);
  begin_picker_->setObjectName("PickerBegin");
  end_picker_ = new widgets::BoundDateTimeEdit(box);
  end_picker_->setObjectName("PickerEnd");
  int row = 0;
  for (auto [picker, field, caption, mark] :
       {std::tuple{begin_picker_, fields::kBegin, "Begin:", "+"},
        std::tuple{end_picker_, fields::kEnd, "End:", "<-"}}) {
    picker->Link().Bind(ds, field);
    connect(picker, &widgets::BoundDateTimeEdit::ValueShown, this,
            [this] { session_.Guard([this] { PickerChange(); }); });
    grid->addWidget(new QLabel(caption, box), row, 0);
    grid->addWidget(picker, row, 1);
    grid->addWidget(BigLabel(mark, box), row, 2);
    ++row;
  }
  // Always there, empty while Save would take the timer, so that the dialog keeps its size.
  reason_line_ = new QLabel(box);
  reason_line_->setObjectName("ReasonLine");
  QPalette red_text = reason_line_->palette();
  red_text.setColor(QPalette::WindowText, Qt::red);
  reason_line_->setPalette(red_text);
  reason_line_->setMinimumHeight(reason_line_->fontMetrics().height());
  grid->addWidget(reason_line_, row, 0, 1, 3);
  return box;
}

QLabel* TimerEditor::SetupConflictLine(QWidget* body) {
  // Shown only while the timer would find no tuner: a warning, Save still takes the timer. A
  // hidden row takes no room, so the dialog keeps its size without a conflict; the line wraps
  // within the width the other rows give the dialog rather than widening it.
  conflict_line_ = new QLabel(body);
  conflict_line_->setObjectName("ConflictLine");
  conflict_line_->setWordWrap(true);
  conflict_line_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  QPalette warning = conflict_line_->palette();
  warning.setColor(QPalette::WindowText, kWarningColour);
  conflict_line_->setPalette(warning);
  conflict_line_->hide();
  return conflict_line_;
}

QWidget* TimerEditor::SetupQuickButtons() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  const char* quarters[kQuickColumns] = {nullptr, "1/4", "1/2", "3/4"};
  for (int hour = 0; hour < 3; ++hour) {
    for (int q = 0; q < kQuickColumns; ++q) {
      const int minutes = hour * kHourMinutes + q * kQuarterMinutes;
      auto* b = new QPushButton(q == 0 ? QString::number(hour) : QString(quarters[q]), box);
      b->setObjectName(IndexedName("QuickButton", minutes));
      b->setFixedSize(kQuickButtonWidth, kQuickButtonHeight);
      b->setFocusPolicy(Qt::NoFocus);
      b->setAutoDefault(false);
      b->setToolTip(QuickButtonHint(minutes));
      if (q == 0) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setStyleSheet("color: yellow;");
      }
      connect(b, &QPushButton::clicked, this,
              [this, minutes] { session_.Guard([this, minutes] { Button15Click(minutes); }); });
      grid->addWidget(b, hour, q);
    }
  }
  return box;
}

QWidget* TimerEditor::SetupRepetition() {
  auto* row = new QWidget(this);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  repeated_box_ = new QCheckBox("Repeated:", row);
  repeated_box_->setObjectName("CheckBoxRepeated");
  repeated_box_->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
  connect(repeated_box_, &QCheckBox::clicked, this,
          [this] { session_.Guard([this] { CheckBoxRepeatedExit(); }); });
  connect(repeated_box_, &QCheckBox::toggled, this,
          [this] { session_.Guard([this] { ShowConflict(); }); });
  day_panel_ = new QWidget(row);
  day_panel_->setObjectName("Panel1");
  const auto& names = store::DefaultFormatSettings().short_day_names;  // Sunday first
  // 33 pixels at a pitch of 38, widened when this font's day name and box need more, so
  // that no name is cut.
  int width = kDayBoxWidth;
  int height = 0;
  for (int i = 0; i < kDayBoxes; ++i) {
    auto* box =
        new QCheckBox(QString::fromStdString(names[static_cast<size_t>((i + 1) % 7)]), day_panel_);
    box->setObjectName(IndexedName("DayBox", i));
    box->setLayoutDirection(Qt::RightToLeft);
    connect(box, &QCheckBox::toggled, this, [this] { session_.Guard([this] { ShowConflict(); }); });
    width = std::max(width, box->sizeHint().width());
    height = std::max(height, box->sizeHint().height());
    day_boxes_[static_cast<size_t>(i)] = box;
  }
  const int pitch = width + (kDayBoxPitch - kDayBoxWidth);
  for (int i = 0; i < kDayBoxes; ++i) {
    day_boxes_[static_cast<size_t>(i)]->setGeometry(kDayBoxLeft + pitch * i, 0, width, height);
  }
  day_panel_->setFixedSize(kDayBoxLeft + pitch * kDayBoxes, height);
  h->addWidget(repeated_box_);
  h->addWidget(day_panel_);
  h->addStretch();
  return row;
}

void TimerEditor::SetupAfterevent(QGridLayout* grid, QWidget* body) {
  afterevent_combo_ = new widgets::BoundComboBox(body);
  afterevent_combo_->setObjectName("ComboAfterevent");
  // A value the receiver knows beyond the two offered is kept as a third item, so that
  // opening and saving a timer never changes what the box does after the recording.
  afterevent_combo_->SetKnownValues({"standby", "auto"});
  afterevent_combo_->SetItems({"nothing", "deepstandby"});
  afterevent_combo_->Link().Bind(&session_.tables->ds_timers, fields::kAfterevent);
  grid->addWidget(new QLabel("Afterevent:", body), 5, 0);
  grid->addWidget(afterevent_combo_, 5, 1);
}

QWidget* TimerEditor::SetupButtons() {
  auto* row = new QWidget(this);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  auto make_action = [this](const QString& text, const QKeySequence& keys, auto handler) {
    auto* a = new QAction(text, this);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this,
            [this, handler] { session_.Guard([this, handler] { (this->*handler)(); }); });
    addAction(a);
    return a;
  };
  save_action_ =
      make_action("&Save", QKeySequence(Qt::CTRL | Qt::Key_S), &TimerEditor::OpslaanExecute);
  cancel_action_ =
      make_action("&Cancel", QKeySequence(Qt::CTRL | Qt::Key_C), &TimerEditor::CancelExecute);
  QAction* plus =
      make_action("&+", QKeySequence(Qt::ALT | Qt::Key_Plus), &TimerEditor::PlusExecute);
  QAction* min = make_action("&-", QKeySequence(Qt::ALT | Qt::Key_Minus), &TimerEditor::MinExecute);

  auto make_button = [row, h](QAction* action, const QString& text, const char* name) {
    auto* b = new QPushButton(text, row);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, action, &QAction::trigger);
    h->addWidget(b);
    return b;
  };
  save_button_ = make_button(save_action_, save_action_->text(), "ButtonSave");
  cancel_button_ = make_button(cancel_action_, cancel_action_->text(), "ButtonCancel");
  // The hidden buttons only carry the Alt accelerators, which the actions themselves hold:
  // their captions have no mnemonic, so no shortcut is registered twice.
  for (QPushButton* b :
       {make_button(plus, "+", "ButtonPlus"), make_button(min, "-", "ButtonMin")}) {
    b->setFixedSize(1, 1);
    b->setFocusPolicy(Qt::NoFocus);
  }
  h->addStretch();
  return row;
}

void TimerEditor::SetupTabOrder() {
  setTabOrder(name_edit_, begin_picker_);
  setTabOrder(begin_picker_, end_picker_);
  setTabOrder(end_picker_, repeated_box_);
  QWidget* last = repeated_box_;
  for (QCheckBox* box : day_boxes_) {
    setTabOrder(last, box);
    last = box;
  }
  setTabOrder(last, afterevent_combo_);
  setTabOrder(afterevent_combo_, save_button_);
  setTabOrder(save_button_, cancel_button_);
}

void TimerEditor::SetupOpeningTimer() {
  opening_timer_ = new QTimer(this);
  opening_timer_->setSingleShot(true);
  opening_timer_->setInterval(kOpeningDelayMs);
  connect(opening_timer_, &QTimer::timeout, this,
          [this] { session_.Guard([this] { Timer1Timer(); }); });
  opening_timer_->start();
}

void TimerEditor::Timer1Timer() {
  opening_timer_->stop();
  setWindowTitle(is_new_ ? "New Timer" : "Edit Timer");
  store::Field* org = session_.tables->timers.FindField(fields::kRepeatedOrg);
  const int32_t mask = org ? org->AsInteger() : 0;
  const Repetition r = RepetitionOnOpening(mask, RecordBegin());
  if (!r.repeated) {
    day_panel_->hide();
    return;
  }
  repeated_box_->setChecked(true);
  day_panel_->show();
  SetDays(r.days);
}

void TimerEditor::Button15Click(int minutes) {
  end_picker_->SetValue(WallTimeAfter(Instants().begin, minutes, session_.Now().clock));
}

void TimerEditor::PickerChange() {
  if (!begin_picker_ || !end_picker_) return;
  KeepWholeMinutes();
  const store::MemTable& timers = session_.tables->timers;
  const store::RecordBuffer& record = timers.ActiveBuffer();
  const bool begin_changed =
      is_new_ || record.AsDateTime(timers.FieldNamed(fields::kBegin)) != opened_begin_;
  validity_ = CheckTimer(record, boxdata::TimerTimeFields(timers),
                         record.AsString(timers.FieldNamed(fields::kServiceref)), begin_changed,
                         session_.Now());
  // The text typed, not yet the record's while the field is being edited.
  validity_.name_missing =
      session_.NamesRequired() && name_edit_ && name_edit_->text().trimmed().isEmpty();
  ShowValidity();
  ShowConflict();
}

void TimerEditor::KeepWholeMinutes() {
  // Only what the user enters here: once the dialog has closed, its pickers still follow the
  // table, and a value written then would start an edit of whatever record is current.
  const store::DatasetState state = session_.tables->timers.State();
  if (!isVisible() ||
      (state != store::DatasetState::kEdit && state != store::DatasetState::kInsert)) {
    return;
  }
  for (auto [picker, opened] :
       {std::pair{begin_picker_, opened_begin_}, std::pair{end_picker_, opened_end_}}) {
    const DateTime shown = picker->Value();
    const DateTime kept = EnteredValue(shown, opened);
    if (kept != shown) picker->SetValue(kept);  // runs PickerChange again, with it kept
  }
}

void TimerEditor::ShowValidity() {
  ShowRed(begin_picker_, validity_.begin_red);
  ShowRed(end_picker_, validity_.end_red);
  if (reason_line_) reason_line_->setText(QString::fromStdString(RefusalReason(validity_)));
}

void TimerEditor::ShowConflict() {
  if (!conflict_line_) return;
  std::string line;
  if (conflict_check_) {
    const store::MemTable& timers = session_.tables->timers;
    const ClockNow now = session_.Now();
    plan::PlanTimer candidate = PlanTimerOf(timers.ActiveBuffer(), TimerStateFields(timers),
                                            now.clock, platform::DateTimeToEpoch(now.utc));
    // The days as ticked, once the opening has set the boxes from the record.
    if (!opening_timer_ || !opening_timer_->isActive())
      candidate.repeated = MaskFromBoxes(repeated_box_->isChecked(), CheckedDays()) & 0x7f;
    line = conflict_check_(candidate, timers.ActiveBuffer().RecordId());
  }
  conflict_line_->setText(QString::fromStdString(line));
  conflict_line_->setToolTip(conflict_line_->text());
  conflict_line_->setVisible(!line.empty());
}

TimerInstants TimerEditor::Instants() const {
  const store::MemTable& timers = session_.tables->timers;
  return InstantsOf(timers.ActiveBuffer(), boxdata::TimerTimeFields(timers), session_.Now());
}

bool TimerEditor::PickerKeyDown(widgets::BoundDateTimeEdit* picker, const QKeyEvent& key) {
  if (!(key.modifiers() & Qt::ControlModifier)) return false;
  if (IsMinusKey(key.key())) {
    StepPicker(picker, -kHourStepMinutes);
  } else if (IsPlusKey(key.key())) {
    StepPicker(picker, kHourStepMinutes);
  } else {
    return false;
  }
  return true;
}

void TimerEditor::StepPicker(widgets::BoundDateTimeEdit* picker, int minutes) {
  const TimerInstants t = Instants();
  const int section = picker->currentSectionIndex();
  picker->SetValue(
      WallTimeAfter(picker == begin_picker_ ? t.begin : t.end, minutes, session_.Now().clock));
  picker->setCurrentSectionIndex(section);
}

void TimerEditor::StepFocusedPicker(int minutes) {
  for (widgets::BoundDateTimeEdit* picker : {begin_picker_, end_picker_}) {
    if (picker->hasFocus()) {
      StepPicker(picker, minutes);
      return;
    }
  }
}

void TimerEditor::CheckBoxRepeatedExit() {
  DayBoxes days = CheckedDays();
  const bool show = ApplyRepetitionRule(repeated_box_->isChecked(), days, RecordBegin());
  day_panel_->setVisible(show);
  SetDays(days);
}

void TimerEditor::OpslaanExecute() {
  if (validity_.begin_red || validity_.end_red) {
    (validity_.begin_red ? begin_picker_ : end_picker_)->setFocus(Qt::OtherFocusReason);
    session_.Beep();
    return;
  }
  if (validity_.name_missing) {
    name_edit_->setFocus(Qt::OtherFocusReason);
    session_.Beep();
    return;
  }
  if (validity_.no_channel) {
    session_.Message(kNoChannelMessage);
    return;
  }
  const int32_t mask = MaskFromBoxes(repeated_box_->isChecked(), CheckedDays());
  session_.tables->timers.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(mask);
  session_.last_saved_end = end_picker_->Value();
  session_.Log(std::to_string(mask));
  if (dialog_cancelled_) *dialog_cancelled_ = false;
  accept();
}

void TimerEditor::CancelExecute() {
  if (dialog_cancelled_) *dialog_cancelled_ = true;
  reject();
}

bool TimerEditor::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // A text field would take Ctrl+C as copy (and Ctrl+S is no use to it): leave both to the
    // dialog's actions.
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    if (pressed == save_action_->shortcut() || pressed == cancel_action_->shortcut()) {
      event->ignore();
      return true;
    }
  } else if (event->type() == QEvent::KeyPress &&
             (watched == begin_picker_ || watched == end_picker_)) {
    // Ctrl with plus or minus is the hour step and nothing else: passed on, the picker would
    // take the minus for a separator and move the focus on.
    auto* picker = static_cast<widgets::BoundDateTimeEdit*>(watched);
    const auto* key = static_cast<QKeyEvent*>(event);
    bool stepped = false;
    session_.Guard([&] { stepped = PickerKeyDown(picker, *key); });
    if (stepped) return true;
  } else if (event->type() == QEvent::FocusOut && watched == repeated_box_) {
    session_.Guard([this] { CheckBoxRepeatedExit(); });
  }
  return FixedDialog::eventFilter(watched, event);
}

void TimerEditor::keyPressEvent(QKeyEvent* event) {
  if (IsEnterKey(event->key()) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
    event->accept();
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
      return;
    }
    session_.Guard([this] { OpslaanExecute(); });
    return;
  }
  FixedDialog::keyPressEvent(event);
}

DayBoxes TimerEditor::CheckedDays() const {
  DayBoxes days{};
  for (int i = 0; i < kDayBoxes; ++i)
    days[static_cast<size_t>(i)] = day_boxes_[static_cast<size_t>(i)]->isChecked();
  return days;
}

void TimerEditor::SetDays(const DayBoxes& days) {
  // Boxes are only ticked here; the user unticks them.
  for (int i = 0; i < kDayBoxes; ++i) {
    if (days[static_cast<size_t>(i)]) day_boxes_[static_cast<size_t>(i)]->setChecked(true);
  }
}

DateTime TimerEditor::RecordBegin() const {
  store::Field* begin = session_.tables->timers.FindField(fields::kBegin);
  return begin ? begin->AsDateTime() : 0;
}

}  // namespace tivolo::ui
