#include "ui/channel_picker.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/picker_guide.h"
#include "ui/timer_rules.h"
#include "widgets/record_grid.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

constexpr int kColumnChars = 30;

}  // namespace

int ChannelPicker::BouquetGridHeight(int bouquets) const {
  // The grid fits its column to its width, so no horizontal scroll bar takes from the rows.
  const int rows = std::clamp(bouquets, 0, kMaxBouquetRows);
  return rows * bouquet_grid_->verticalHeader()->defaultSectionSize() +
         bouquet_grid_->horizontalHeader()->sizeHint().height() + 2 * bouquet_grid_->frameWidth();
}

ChannelPicker::ChannelPicker(QWidget* owner, TimerSession& session)
    : FixedDialog(owner), session_(session) {
  setWindowTitle("Select channel");
  setFixedSize(kWidth, kHeight);
  auto* v = new QVBoxLayout(this);

  boxdata::BoxTables& t = *session_.tables;
  bouquet_grid_ = new widgets::RecordGrid(this);
  bouquet_grid_->setObjectName("BouquetGrid");
  bouquet_grid_->Bind(t.ds_bouquet, {{fields::kBouquet, "Bouquet", kColumnChars}});
  channel_grid_ = new widgets::RecordGrid(this);
  channel_grid_->setObjectName("ChannelGrid");
  channel_grid_->Bind(t.ds_zenders, {{fields::kZender, "Channel", kColumnChars}});
  channel_grid_->installEventFilter(this);
  // A double click anywhere on a row selects its channel.
  connect(channel_grid_, &QAbstractItemView::doubleClicked, this,
          [this] { session_.Guard([this] { SelectExecute(); }); });
  v->addWidget(bouquet_grid_);
  v->addWidget(channel_grid_, 1);
  if (PickerGuide::Available(session_)) {
    auto* guide = new PickerGuide(session_, this);
    connect(guide, &PickerGuide::Chosen, this, [this, guide](const boxdata::TimerFromEvent& e) {
      EventChosen(guide->Channel(), guide->Service(), e);
    });
    v->addWidget(guide, 1);
    setFixedSize(kGuideWidth, kGuideHeight);
    // The wider window: the names take the width the guide's titles need.
    bouquet_grid_->horizontalHeader()->setStretchLastSection(true);
    channel_grid_->horizontalHeader()->setStretchLastSection(true);
  }

  auto* buttons = new QHBoxLayout;
  auto make = [this, buttons](const QString& text, const char* name,
                              void (ChannelPicker::*handler)()) {
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this,
            [this, handler] { session_.Guard([this, handler] { (this->*handler)(); }); });
    auto* b = new QPushButton(text, this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, action, &QAction::trigger);
    buttons->addWidget(b);
    return b;
  };
  make("&Select", "ButtonSelect", &ChannelPicker::SelectExecute);
  make("&Cancel", "ButtonCancel", &ChannelPicker::CancelExecute);
  v->addLayout(buttons);
  bouquet_grid_->setFixedHeight(
      BouquetGridHeight(t.bouquet.Active() ? t.bouquet.RecordCount() : 0));

  opening_timer_ = new QTimer(this);
  opening_timer_->setSingleShot(true);
  opening_timer_->setInterval(kOpeningDelayMs);
  connect(opening_timer_, &QTimer::timeout, this,
          [this] { session_.Guard([this] { Timer1Timer(); }); });
  opening_timer_->start();
}

ChannelPicker::~ChannelPicker() = default;

void ChannelPicker::Timer1Timer() {
  opening_timer_->stop();
  channel_grid_->setFocus(Qt::OtherFocusReason);
}

void ChannelPicker::SelectExecute() {
  boxdata::BoxTables& t = *session_.tables;
  if (dialog_cancelled_) *dialog_cancelled_ = false;
  // An empty channel list still gives a timer, without channel; the editor will not save it.
  const bool has_channel = t.zenders.Active() && t.zenders.RecordCount() > 0;
  const std::string zender = has_channel ? t.zenders.FieldNamed(fields::kZender).AsString() : "";
  const std::string service = has_channel ? t.zenders.FieldNamed(fields::kService).AsString() : "";
  FillNewTimer(t.timers, zender, service, session_.Now(), session_.last_saved_end);
  accept();
}

void ChannelPicker::EventChosen(const std::string& zender, const std::string& service,
                                const boxdata::TimerFromEvent& timer) {
  if (dialog_cancelled_) *dialog_cancelled_ = false;
  FillTimerForEvent(session_.tables->timers, zender, service, timer);
  accept();
}

void ChannelPicker::CancelExecute() {
  if (dialog_cancelled_) *dialog_cancelled_ = true;
  reject();
}

bool ChannelPicker::eventFilter(QObject* watched, QEvent* event) {
  // Enter selects in the channel grid only; elsewhere it does nothing, like Escape.
  if (watched == channel_grid_ && event->type() == QEvent::KeyPress &&
      IsEnterKey(static_cast<QKeyEvent*>(event)->key())) {
    session_.Guard([this] { SelectExecute(); });
    return true;
  }
  return FixedDialog::eventFilter(watched, event);
}

}  // namespace tivolo::ui
