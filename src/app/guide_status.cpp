#include "app/guide_status.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <algorithm>

#include "widgets/elided_label.h"

namespace tivolo::app {
namespace {

constexpr int kBarWidth = 90;
constexpr int kBarHeight = 12;
constexpr int kPermille = 1000;

}  // namespace

GuideStatus::GuideStatus(QWidget* parent) : GuideStatus(parent, Names()) {}

GuideStatus::GuideStatus(QWidget* parent, const Names& names)
    : QWidget(parent), step_prefix_(names.step_prefix) {
  const QString stem(names.stem);
  setObjectName(stem + "Status");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  text_ = new widgets::ElidedLabel(this);
  text_->setObjectName(stem + "StatusText");
  bar_ = new QProgressBar(this);
  bar_->setObjectName(stem + "Progress");
  bar_->setRange(0, kPermille);
  bar_->setTextVisible(false);
  bar_->setFixedSize(kBarWidth, kBarHeight);
  cancel_ = new QToolButton(this);
  cancel_->setObjectName(stem + "Cancel");
  cancel_->setText("Cancel");
  cancel_->setToolTip(names.cancel_tip);
  cancel_->setAutoRaise(true);
  // The text beside its bar and button, the three at the right of the status bar.
  layout->addStretch(1);
  layout->addWidget(text_);
  layout->addWidget(bar_);
  layout->addWidget(cancel_);
  bar_->hide();
  cancel_->hide();
  connect(cancel_, &QToolButton::clicked, this, &GuideStatus::CancelRequested);
}

void GuideStatus::ShowStep(const std::string& file, int index, int count) {
  text_->setText(step_prefix_ +
                 QString("%1 (%2 of %3)").arg(QString::fromStdString(file)).arg(index).arg(count));
  bar_->setValue(0);
  bar_->show();
  cancel_->show();
}

void GuideStatus::ShowReceived(int64_t bytes, int64_t total) {
  if (total <= 0) return;
  bar_->setValue(static_cast<int>(std::clamp<int64_t>(bytes * kPermille / total, 0, kPermille)));
}

void GuideStatus::ShowReading() {
  text_->setText("Reading the guide ...");
  bar_->hide();
  cancel_->hide();
}

void GuideStatus::ShowResult(const std::string& text) {
  text_->setText(QString::fromStdString(text));
  bar_->hide();
  cancel_->hide();
}

std::string GuideStatus::Text() const {
  return text_->text().toStdString();
}

bool GuideStatus::CancelOffered() const {
  return !cancel_->isHidden();
}

}  // namespace tivolo::app
