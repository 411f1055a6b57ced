#include "ui/channel_picker.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/timer_rules.h"
#include "widgets/record_grid.h"

namespace tivolo::ui {
namespace {

namespace fields = boxdata::fields;

constexpr int kRowPixels = 17;
constexpr int kTitlePixels = 21;
constexpr int kMaxBouquetRows = 6;
constexpr int kColumnChars = 30;

bool IsEnter(const QKeyEvent& key) {
  return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter;
}

}  // namespace

int ChannelPicker::BouquetGridHeight(int bouquets) {
  return kRowPixels * std::clamp(bouquets, 0, kMaxBouquetRows) + kTitlePixels;
}

ChannelPicker::ChannelPicker(QWidget* owner, TimerSession& session)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      session_(session) {
  setWindowTitle("Select channel");
  setModal(true);
  setFixedSize(kWidth, kHeight);
  auto* v = new QVBoxLayout(this);

  boxdata::BoxTables& t = *session_.tables;
  bouquet_grid_ = new widgets::RecordGrid(this);
  bouquet_grid_->setObjectName("BouquetGrid");
  bouquet_grid_->Bind(t.ds_bouquet, {{fields::kBouquet, "Bouquet", kColumnChars}});
  bouquet_grid_->setFixedHeight(
      BouquetGridHeight(t.bouquet.Active() ? t.bouquet.RecordCount() : 0));
  channel_grid_ = new widgets::RecordGrid(this);
  channel_grid_->setObjectName("ChannelGrid");
  channel_grid_->Bind(t.ds_zenders, {{fields::kZender, "Channel", kColumnChars}});
  channel_grid_->installEventFilter(this);
  // A double click anywhere on a row selects its channel.
  connect(channel_grid_, &QAbstractItemView::doubleClicked, this,
          [this] { session_.Guard([this] { SelectExecute(); }); });
  v->addWidget(bouquet_grid_);
  v->addWidget(channel_grid_, 1);

  auto* buttons = new QHBoxLayout;
  auto make = [this, buttons](const QString& text, void (ChannelPicker::*handler)()) {
    auto* action = new QAction(text, this);
    connect(action, &QAction::triggered, this,
            [this, handler] { session_.Guard([this, handler] { (this->*handler)(); }); });
    auto* b = new QPushButton(text, this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, action, &QAction::trigger);
    buttons->addWidget(b);
    return b;
  };
  button_select_ = make("&Select", &ChannelPicker::SelectExecute);
  button_cancel_ = make("&Cancel", &ChannelPicker::CancelExecute);
  v->addLayout(buttons);

  timer1_ = new QTimer(this);
  timer1_->setSingleShot(true);
  timer1_->setInterval(kOpeningDelayMs);
  connect(timer1_, &QTimer::timeout, this, [this] { session_.Guard([this] { Timer1Timer(); }); });
  timer1_->start();
}

ChannelPicker::~ChannelPicker() = default;

void ChannelPicker::Timer1Timer() {
  timer1_->stop();
  channel_grid_->setFocus(Qt::OtherFocusReason);
}

void ChannelPicker::SelectExecute() {
  boxdata::BoxTables& t = *session_.tables;
  const DateTime begin = DefaultBegin(session_.NowLocal(), session_.LastSavedEnd());
  if (dialog_cancelled_) *dialog_cancelled_ = false;
  // An empty channel list still gives a timer, without channel.
  const bool has_channel = t.zenders.Active() && t.zenders.RecordCount() > 0;
  const std::string zender = has_channel ? t.zenders.FieldNamed(fields::kZender).AsString() : "";
  const std::string service = has_channel ? t.zenders.FieldNamed(fields::kService).AsString() : "";
  store::MemTable& timers = t.timers;
  timers.FieldNamed(fields::kZender).SetAsString(zender);
  timers.FieldNamed(fields::kServiceref).SetAsString(service);
  timers.FieldNamed(fields::kBegin).SetAsDateTime(begin);
  timers.FieldNamed(fields::kEnd).SetAsDateTime(DefaultEnd(begin));
  timers.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(0);
  timers.FieldNamed(fields::kAfterevent).SetAsString("nothing");
  timers.FieldNamed(fields::kJustplay).SetAsLargeInt(0);
  timers.FieldNamed(fields::kDisabled).SetAsLargeInt(0);
  timers.FieldNamed(fields::kEit).SetAsLargeInt(kEit);
  accept();
}

void ChannelPicker::CancelExecute() {
  if (dialog_cancelled_) *dialog_cancelled_ = true;
  reject();
}

bool ChannelPicker::eventFilter(QObject* watched, QEvent* event) {
  if (watched == channel_grid_ && event->type() == QEvent::KeyPress &&
      IsEnter(*static_cast<QKeyEvent*>(event))) {
    session_.Guard([this] { SelectExecute(); });
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

void ChannelPicker::keyPressEvent(QKeyEvent* event) {
  // Enter outside the channel grid and Escape are not bound.
  if (IsEnter(*event) || event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tivolo::ui
