#include "ui/picker_guide.h"

#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

#include "boxdata/box_tables.h"
#include "store/data_source.h"
#include "ui/guide_list.h"

namespace tivolo::ui {

namespace fields = boxdata::fields;

namespace {
constexpr const char* kAsking = "Asking the box for this channel's programmes ...";
constexpr const char* kNoAnswer = "The box's web interface did not answer";
}  // namespace

// Follows the channel grid's table: every move and every new set of channels (another
// bouquet) shows the new channel's programmes, once the table has settled.
class PickerGuide::ChannelLink : public store::DataLink {
 public:
  explicit ChannelLink(QTimer& follow) : follow_(follow) {}
  void DataSetChanged() override { follow_.start(); }
  void DataSetScrolled() override { follow_.start(); }

 private:
  QTimer& follow_;
};

bool PickerGuide::Available(const TimerSession& session) {
  return session.guide && (session.guide->HasGuide() || session.web_guide);
}

PickerGuide::PickerGuide(TimerSession& session, QWidget* parent)
    : QWidget(parent), session_(session), state_(session.guide) {
  setObjectName("PickerGuide");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  note_ = new QLabel(this);
  note_->setObjectName("GuideNote");
  list_ = new GuideList(false, this);
  list_->setObjectName("GuideList");
  layout->addWidget(note_);
  layout->addWidget(list_, 1);
  connect(list_, &GuideList::Chosen, this,
          [this](int row) { session_.Guard([this, row] { ChooseRow(row); }); });

  follow_timer_ = new QTimer(this);
  follow_timer_->setSingleShot(true);
  follow_timer_->setInterval(0);
  connect(follow_timer_, &QTimer::timeout, this,
          [this] { session_.Guard([this] { ShowChannel(); }); });
  web_timer_ = new QTimer(this);
  web_timer_->setSingleShot(true);
  web_timer_->setInterval(kWebDelayMs);
  connect(web_timer_, &QTimer::timeout, this,
          [this] { session_.Guard([this] { AskWebInterface(); }); });

  const ClockNow now = session_.Now();
  timers_ = TimerSpans(session_.tables->timers, now);
  use_web_ = session_.web_guide && GuideFileStale(state_.get(), platform::DateTimeToEpoch(now.utc));
  link_ = std::make_unique<ChannelLink>(*follow_timer_);
  session_.tables->ds_zenders.Attach(*link_);
  ShowChannel();
}

PickerGuide::~PickerGuide() = default;

void PickerGuide::ShowChannel() {
  store::MemTable& zenders = session_.tables->zenders;
  const bool has_channel = zenders.Active() && zenders.RecordCount() > 0;
  zender_ = has_channel ? zenders.FieldNamed(fields::kZender).AsString() : "";
  service_ = has_channel ? zenders.FieldNamed(fields::kService).AsString() : "";
  ++web_request_;  // an answer for the channel before is not shown
  std::vector<GuideRow> rows;
  if (state_->HasGuide()) rows = ChannelRows(*state_, service_, timers_, session_.Now());
  const bool empty = rows.empty();
  list_->SetRows(std::move(rows));
  SetNote(state_->age_text, empty);
  if (!use_web_ || !has_channel) return;
  if (!state_->HasGuide()) note_->setText(kAsking);
  web_timer_->start();
}

void PickerGuide::AskWebInterface() {
  const int request = ++web_request_;
  QPointer<PickerGuide> self(this);
  session_.web_guide(service_, platform::DateTimeToEpoch(session_.Now().utc),
                     [self, request](std::optional<std::vector<boxdata::ProgrammeEvent>> events) {
                       if (self && request == self->web_request_)
                         self->ShowWebRows(std::move(events));
                     });
}

void PickerGuide::ShowWebRows(std::optional<std::vector<boxdata::ProgrammeEvent>> events) {
  if (!events) {
    // The guide file's programmes stay, if there are any.
    if (!state_->HasGuide()) note_->setText(kNoAnswer);
    return;
  }
  std::vector<GuideRow> rows = WebRows(std::move(*events), service_, timers_, session_.Now());
  const bool empty = rows.empty();
  list_->SetRows(std::move(rows));
  SetNote("The box's guide now", empty);
}

void PickerGuide::SetNote(const std::string& source, bool empty) {
  std::string note = source.empty() ? std::string("The box has no guide") : source;
  if (empty) note += ": no programmes of this channel";
  note_->setText(QString::fromStdString(note));
}

void PickerGuide::ChooseRow(int row) {
  if (row < 0 || static_cast<size_t>(row) >= list_->Rows().size()) return;
  const boxdata::ProgrammeEvent event =
      ProgrammeOfRow(*state_, list_->Rows()[static_cast<size_t>(row)]);
  const ClockNow now = session_.Now();
  // A programme on now: the rest of it.
  emit Chosen(FromNowOn(boxdata::TimerForEvent(event, state_->settings, now.clock), now));
}

}  // namespace tivolo::ui
