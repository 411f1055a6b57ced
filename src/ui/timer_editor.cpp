#include "ui/timer_editor.h"

#include <QAction>
#include <QCheckBox>
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

#include "store/date_format.h"
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

void SetRed(QWidget* picker, bool red) {
  QPalette p = picker->palette();
  p.setColor(QPalette::Base, red ? kRed : QPalette().color(QPalette::Base));
  picker->setPalette(p);
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

}  // namespace

TimerEditor::TimerEditor(QWidget* owner, TimerSession& session)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      session_(session) {
  setWindowTitle("Timer");  // replaced when the opening timer fires
  setModal(true);
  FormCreate();
}

TimerEditor::~TimerEditor() = default;

void TimerEditor::FormCreate() {
  auto* outer = new QVBoxLayout(this);
  outer->setContentsMargins(0, 0, 0, 0);
  auto* body = new QWidget(this);
  auto* grid = new QGridLayout(body);
  outer->addWidget(body);

  store::DataSource* ds = &session_.tables->ds_timers;
  edit_channel_ = new widgets::BoundEdit(body);
  edit_channel_->setObjectName("EditChannel");
  edit_channel_->setReadOnly(true);
  edit_channel_->setFocusPolicy(Qt::NoFocus);
  QPalette grey = edit_channel_->palette();
  grey.setColor(QPalette::Base, grey.color(QPalette::Window));
  edit_channel_->setPalette(grey);
  edit_channel_->Link().Bind(ds, fields::kZender);

  edit_name_ = new widgets::BoundEdit(body);
  edit_name_->setObjectName("EditName");
  edit_name_->Link().Bind(ds, fields::kName);

  grid->addWidget(new QLabel("Channel:", body), 0, 0);
  grid->addWidget(edit_channel_, 0, 1, 1, 3);
  grid->addWidget(new QLabel("Description:", body), 1, 0);
  grid->addWidget(edit_name_, 1, 1, 1, 3);
  grid->addWidget(BuildPickers(), 2, 0, 1, 3);
  grid->addWidget(BuildQuickButtons(), 2, 3);
  grid->addWidget(BuildRepetition(), 3, 0, 1, 4);

  combo_afterevent_ = new widgets::BoundComboBox(body);
  combo_afterevent_->setObjectName("ComboAfterevent");
  // A value the receiver knows beyond the two offered is kept as a third item, so that
  // opening and saving a timer never changes what the box does after the recording.
  combo_afterevent_->SetKnownValues({"standby", "auto"});
  combo_afterevent_->SetItems({"nothing", "deepstandby"});
  combo_afterevent_->Link().Bind(ds, fields::kAfterevent);
  grid->addWidget(new QLabel("Afterevent:", body), 4, 0);
  grid->addWidget(combo_afterevent_, 4, 1);
  grid->addWidget(BuildButtons(), 5, 0, 1, 4);

  auto* status = new QStatusBar(this);
  status->setSizeGripEnabled(false);
  outer->addWidget(status);

  setTabOrder(edit_name_, picker_begin_);
  setTabOrder(picker_begin_, picker_end_);
  setTabOrder(picker_end_, check_repeated_);
  QWidget* last = check_repeated_;
  for (QCheckBox* box : day_boxes_) {
    setTabOrder(last, box);
    last = box;
  }
  setTabOrder(last, combo_afterevent_);
  setTabOrder(combo_afterevent_, button_save_);
  setTabOrder(button_save_, button_cancel_);

  // Ctrl+S and Ctrl+C reach the dialog from every control, the text fields included.
  for (QWidget* w : findChildren<QWidget*>())
    w->installEventFilter(this);
  layout()->setSizeConstraint(QLayout::SetFixedSize);

  timer1_ = new QTimer(this);
  timer1_->setSingleShot(true);
  timer1_->setInterval(kOpeningDelayMs);
  connect(timer1_, &QTimer::timeout, this, [this] { session_.Guard([this] { Timer1Timer(); }); });
  timer1_->start();
  PickerChange();
}

QWidget* TimerEditor::BuildPickers() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  store::DataSource* ds = &session_.tables->ds_timers;
  picker_begin_ = new widgets::BoundDateTimeEdit(box);
  picker_begin_->setObjectName("PickerBegin");
  picker_end_ = new widgets::BoundDateTimeEdit(box);
  picker_end_->setObjectName("PickerEnd");
  int row = 0;
  for (auto [picker, field, caption, mark] :
       {std::tuple{picker_begin_, fields::kBegin, "Begin:", "+"},
        std::tuple{picker_end_, fields::kEnd, "End:", "<-"}}) {
    picker->Link().Bind(ds, field);
    connect(picker, &widgets::BoundDateTimeEdit::ValueShown, this,
            [this] { session_.Guard([this] { PickerChange(); }); });
    grid->addWidget(new QLabel(caption, box), row, 0);
    grid->addWidget(picker, row, 1);
    grid->addWidget(BigLabel(mark, box), row, 2);
    ++row;
  }
  return box;
}

QWidget* TimerEditor::BuildQuickButtons() {
  auto* box = new QWidget(this);
  auto* grid = new QGridLayout(box);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  const char* quarters[kQuickColumns] = {nullptr, "1/4", "1/2", "3/4"};
  for (int hour = 0; hour < 3; ++hour) {
    for (int q = 0; q < kQuickColumns; ++q) {
      const int minutes = hour * kHourMinutes + q * kQuarterMinutes;
      auto* b = new QPushButton(q == 0 ? QString::number(hour) : QString(quarters[q]), box);
      b->setFixedSize(kQuickButtonWidth, kQuickButtonHeight);
      b->setFocusPolicy(Qt::NoFocus);
      b->setAutoDefault(false);
      b->setProperty("minutes", minutes);
      if (q == 0) {
        QFont f = b->font();
        f.setBold(true);
        b->setFont(f);
        b->setStyleSheet("color: yellow;");
      }
      connect(b, &QPushButton::clicked, this,
              [this, minutes] { session_.Guard([this, minutes] { Button15Click(minutes); }); });
      grid->addWidget(b, hour, q);
      quick_buttons_.push_back(b);
    }
  }
  return box;
}

QWidget* TimerEditor::BuildRepetition() {
  auto* row = new QWidget(this);
  auto* h = new QHBoxLayout(row);
  h->setContentsMargins(0, 0, 0, 0);
  check_repeated_ = new QCheckBox("Repeated:", row);
  check_repeated_->setObjectName("CheckBoxRepeated");
  check_repeated_->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
  connect(check_repeated_, &QCheckBox::clicked, this,
          [this] { session_.Guard([this] { CheckBoxRepeatedExit(); }); });
  panel1_ = new QWidget(row);
  panel1_->setObjectName("Panel1");
  const auto& names = store::DefaultFormatSettings().short_day_names;  // Sunday first
  // 33 pixels at a pitch of 38, widened when this font's day name and box need more, so
  // that no name is cut.
  int width = kDayBoxWidth;
  int height = 0;
  for (int i = 0; i < kDayBoxes; ++i) {
    auto* box =
        new QCheckBox(QString::fromStdString(names[static_cast<size_t>((i + 1) % 7)]), panel1_);
    box->setLayoutDirection(Qt::RightToLeft);
    width = std::max(width, box->sizeHint().width());
    height = std::max(height, box->sizeHint().height());
    day_boxes_[static_cast<size_t>(i)] = box;
  }
  const int pitch = width + (kDayBoxPitch - kDayBoxWidth);
  for (int i = 0; i < kDayBoxes; ++i) {
    day_boxes_[static_cast<size_t>(i)]->setGeometry(kDayBoxLeft + pitch * i, 0, width, height);
  }
  panel1_->setFixedSize(kDayBoxLeft + pitch * kDayBoxes, height);
  h->addWidget(check_repeated_);
  h->addWidget(panel1_);
  h->addStretch();
  return row;
}

QWidget* TimerEditor::BuildButtons() {
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
  opslaan_ = make_action("&Save", QKeySequence(Qt::CTRL | Qt::Key_S), &TimerEditor::OpslaanExecute);
  cancel_ = make_action("&Cancel", QKeySequence(Qt::CTRL | Qt::Key_C), &TimerEditor::CancelExecute);
  plus_ = make_action("&+", QKeySequence(Qt::ALT | Qt::Key_Plus), &TimerEditor::PlusExecute);
  min_ = make_action("&-", QKeySequence(Qt::ALT | Qt::Key_Minus), &TimerEditor::MinExecute);

  auto make_button = [row, h](QAction* action, const QString& text) {
    auto* b = new QPushButton(text, row);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, action, &QAction::trigger);
    h->addWidget(b);
    return b;
  };
  button_save_ = make_button(opslaan_, opslaan_->text());
  button_cancel_ = make_button(cancel_, cancel_->text());
  // The hidden buttons only carry the Alt accelerators, which the actions themselves hold:
  // their captions have no mnemonic, so no shortcut is registered twice.
  button_plus_ = make_button(plus_, "+");
  button_min_ = make_button(min_, "-");
  for (QPushButton* b : {button_plus_, button_min_}) {
    b->setFixedSize(1, 1);
    b->setFocusPolicy(Qt::NoFocus);
  }
  h->addStretch();
  return row;
}

QPushButton* TimerEditor::QuickButton(int minutes) const {
  for (QPushButton* b : quick_buttons_) {
    if (b->property("minutes").toInt() == minutes) return b;
  }
  return nullptr;
}

bool TimerEditor::IsRed(const QWidget* picker) {
  return picker->palette().color(QPalette::Base) == kRed;
}

void TimerEditor::Timer1Timer() {
  timer1_->stop();
  setWindowTitle(is_new_ ? "New Timer" : "Edit Timer");
  store::Field* org = session_.tables->timers.FindField(fields::kRepeatedOrg);
  const int32_t mask = org ? org->AsInteger() : 0;
  const Repetition r = RepetitionOnOpening(mask, RecordBegin());
  if (!r.repeated) {
    panel1_->hide();
    return;
  }
  check_repeated_->setChecked(true);
  panel1_->show();
  SetDays(r.days);
}

void TimerEditor::Button15Click(int minutes) {
  store::Field& begin = session_.tables->timers.FieldNamed(fields::kBegin);
  picker_end_->SetValue(EndAfter(begin.AsDateTime(), minutes));
}

void TimerEditor::PickerChange() {
  if (!picker_begin_ || !picker_end_) return;
  const PickerColours c =
      ColourRule(picker_begin_->Value(), picker_end_->Value(), session_.NowLocal());
  SetRed(picker_begin_, c.begin_red);
  SetRed(picker_end_, c.end_red);
}

bool TimerEditor::PickerKeyDown(widgets::BoundDateTimeEdit* picker, const QKeyEvent& key) {
  if (!(key.modifiers() & Qt::ControlModifier)) return false;
  if (IsMinusKey(key.key())) {
    picker->SetValue(platform::AddHours(picker->Value(), -1));
  } else if (IsPlusKey(key.key())) {
    picker->SetValue(platform::AddHours(picker->Value(), 1));
  }
  return false;  // the picker still sees the key
}

void TimerEditor::StepFocusedPicker(int minutes) {
  for (widgets::BoundDateTimeEdit* picker : {picker_begin_, picker_end_}) {
    if (picker->hasFocus()) {
      picker->SetValue(platform::AddMinutes(picker->Value(), minutes));
      return;
    }
  }
}

void TimerEditor::CheckBoxRepeatedExit() {
  DayBoxes days = CheckedDays();
  const bool show = ApplyRepetitionRule(check_repeated_->isChecked(), days, RecordBegin());
  panel1_->setVisible(show);
  SetDays(days);
}

void TimerEditor::OpslaanExecute() {
  const bool begin_red = IsRed(picker_begin_);
  if (begin_red || IsRed(picker_end_)) {
    (begin_red ? picker_begin_ : picker_end_)->setFocus(Qt::OtherFocusReason);
    if (session_.beep) session_.beep();
    return;
  }
  const int32_t mask = MaskFromBoxes(check_repeated_->isChecked(), CheckedDays());
  session_.tables->timers.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(mask);
  session_.SetLastSavedEnd(picker_end_->Value());
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
    if (pressed == opslaan_->shortcut() || pressed == cancel_->shortcut()) {
      event->ignore();
      return true;
    }
  } else if (event->type() == QEvent::KeyPress) {
    if (watched == picker_begin_ || watched == picker_end_) {
      auto* picker = static_cast<widgets::BoundDateTimeEdit*>(watched);
      const auto* key = static_cast<QKeyEvent*>(event);
      session_.Guard([this, picker, key] { PickerKeyDown(picker, *key); });
    }
  } else if (event->type() == QEvent::FocusOut && watched == check_repeated_) {
    session_.Guard([this] { CheckBoxRepeatedExit(); });
  }
  return QDialog::eventFilter(watched, event);
}

void TimerEditor::keyPressEvent(QKeyEvent* event) {
  // Neither Enter nor Escape closes the editor.
  switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      event->ignore();
      return;
    default:
      QDialog::keyPressEvent(event);
  }
}

DayBoxes TimerEditor::CheckedDays() const {
  DayBoxes days{};
  for (int i = 0; i < kDayBoxes; ++i)
    days[static_cast<size_t>(i)] = DayBox(i)->isChecked();
  return days;
}

void TimerEditor::SetDays(const DayBoxes& days) {
  // Boxes are only ticked here; the user unticks them.
  for (int i = 0; i < kDayBoxes; ++i) {
    if (days[static_cast<size_t>(i)]) DayBox(i)->setChecked(true);
  }
}

DateTime TimerEditor::RecordBegin() const {
  store::Field* begin = session_.tables->timers.FindField(fields::kBegin);
  return begin ? begin->AsDateTime() : 0;
}

}  // namespace tivolo::ui
