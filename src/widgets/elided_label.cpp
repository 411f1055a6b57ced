#include "widgets/elided_label.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace tivolo::widgets {
namespace {
// Enough to see that something is written there.
constexpr int kMinimumChars = 8;
}  // namespace

ElidedLabel::ElidedLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setWordWrap(false);
}

QSize ElidedLabel::minimumSizeHint() const {
  const QSize full = QLabel::minimumSizeHint();
  return {std::min(full.width(), kMinimumChars * fontMetrics().averageCharWidth()), full.height()};
}

bool ElidedLabel::Elided() const {
  return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

bool ElidedLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip && toolTip().isEmpty()) {
    auto* help = static_cast<QHelpEvent*>(event);
    if (Elided()) {
      QToolTip::showText(help->globalPos(), text(), this);
    } else {
      QToolTip::hideText();
    }
    return true;
  }
  return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect area = contentsRect();
  const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, area.width());
  style()->drawItemText(&painter, area, QStyle::visualAlignment(layoutDirection(), alignment()),
                        palette(), isEnabled(), shown, foregroundRole());
}

}  // namespace tivolo::widgets
