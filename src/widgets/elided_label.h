// A one-line label that gives way when its row is narrow: the text is cut with "…" rather
// than pushing its neighbours (or the window's edge) away, and the whole text shows in a tooltip
// while it is cut. For the status bar, whose parts share the width of the smallest window.
#pragma once

#include <QLabel>

namespace tivolo::widgets {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidedLabel(QWidget* parent = nullptr);

  QSize minimumSizeHint() const override;
  // Whether the text is wider than the label: it is shown cut, the tooltip holds it all.
  bool Elided() const;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace tivolo::widgets
