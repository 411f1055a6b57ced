#include "ui/find_in_guide.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "ui/guide_list.h"

namespace tivolo::ui {

FindInGuide::FindInGuide(QWidget* owner, TimerSession& session, boxdata::ChannelNames channels,
                         AddTimer add_timer)
    : FixedDialog(owner),
      session_(session),
      state_(session.guide),
      channels_(std::move(channels)),
      add_timer_(std::move(add_timer)) {
  setWindowTitle("Find in guide");
  setFixedSize(kWidth, kHeight);
  channel_of_service_ = ChannelOfServices(state_->guide, channels_);
  MarkCovered();

  auto* v = new QVBoxLayout(this);
  auto* search = new QHBoxLayout;
  auto* label = new QLabel("&Title:", this);
  text_ = new QLineEdit(this);
  text_->setObjectName("SearchText");
  text_->installEventFilter(this);
  label->setBuddy(text_);
  search->addWidget(label);
  search->addWidget(text_, 1);
  v->addLayout(search);
  list_ = new GuideList(true, this);
  list_->setObjectName("FoundList");
  v->addWidget(list_, 1);

  auto* bottom = new QHBoxLayout;
  count_ = new QLabel(QString::fromStdString(state_->age_text), this);
  count_->setObjectName("FoundCount");
  bottom->addWidget(count_, 1);
  auto make = [this, bottom](const QString& text, const char* name,
                             void (FindInGuide::*handler)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this,
            [this, handler] { session_.Guard([this, handler] { (this->*handler)(); }); });
    bottom->addWidget(b);
  };
  make("&Add timer", "ButtonAdd", &FindInGuide::AddExecute);
  make("&Close", "ButtonClose", &FindInGuide::CloseExecute);
  v->addLayout(bottom);

  typing_timer_ = new QTimer(this);
  typing_timer_->setSingleShot(true);
  typing_timer_->setInterval(kTypingDelayMs);
  connect(typing_timer_, &QTimer::timeout, this, [this] { session_.Guard([this] { Search(); }); });
  connect(text_, &QLineEdit::textChanged, typing_timer_, qOverload<>(&QTimer::start));
  connect(list_, &GuideList::Chosen, this, [this] { session_.Guard([this] { AddExecute(); }); });
  text_->setFocus(Qt::OtherFocusReason);
}

FindInGuide::~FindInGuide() = default;

void FindInGuide::MarkCovered() {
  covered_ =
      boxdata::CoveredEvents(state_->guide, TimerSpans(session_.tables->timers, session_.Now()));
}

void FindInGuide::Search() {
  typing_timer_->stop();
  const std::string text = text_->text().toStdString();
  FoundRows found =
      FindRows(*state_, text, channel_of_service_, channels_, covered_, session_.Now(), kMaxRows);
  const size_t count = found.rows.size();
  list_->SetRows(std::move(found.rows));
  std::string note;
  if (text.empty()) {
    note = state_->age_text;
  } else if (found.cut) {
    note = "The first " + std::to_string(count) + " programmes";
  } else {
    note = std::to_string(count) + (count == 1 ? " programme" : " programmes");
  }
  count_->setText(QString::fromStdString(note));
}

void FindInGuide::AddExecute() {
  const GuideRow* row = list_->CurrentRow();
  if (!row) return;
  const GuideRow chosen = *row;
  const boxdata::ProgrammeEvent event = ProgrammeOfRow(*state_, chosen);
  const ClockNow now = session_.Now();
  // A programme on now: the rest of it.
  add_timer_(chosen.channel, chosen.service,
             FromNowOn(boxdata::TimerForEvent(event, state_->settings, now.clock), now));
  // The new timer (if it was saved) marks its programme.
  MarkCovered();
  const int at = list_->currentIndex().row();
  Search();
  if (at >= 0 && at < list_->Model()->rowCount()) list_->selectRow(at);
  list_->setFocus(Qt::OtherFocusReason);
}

void FindInGuide::CloseExecute() {
  accept();
}

bool FindInGuide::eventFilter(QObject* watched, QEvent* event) {
  // Enter or the down arrow in the text goes on to the programmes found.
  if (watched == text_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (IsEnterKey(key) || key == Qt::Key_Down) {
      Search();
      list_->setFocus(Qt::OtherFocusReason);
      return true;
    }
  }
  return FixedDialog::eventFilter(watched, event);
}

}  // namespace tivolo::ui
