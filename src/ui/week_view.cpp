#include "ui/week_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QDateTime>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QPdfWriter>
#include <QScrollBar>
#include <QTimeZone>
#include <QToolTip>
#include <QWheelEvent>
#include <algorithm>
#include <map>

#include "platform/error.h"

namespace tivolo::ui {
namespace {

constexpr int64_t kDay = 86400;
constexpr int kZoomLevels[] = {1, 2, 3, 7};
constexpr int kPadding = 4;
const QColor kRecordColour(52, 101, 164);
const QColor kZapColour(196, 214, 236);
const QColor kDisabledColour(186, 189, 182);
const QColor kNoTunerRow(255, 226, 226);
const QColor kNoTunerText(190, 0, 0);
const QColor kNowLine(220, 0, 0);

int64_t FloorDay(int64_t local) {
  return local - ((local % kDay) + kDay) % kDay;
}

QDateTime AsUtc(int64_t local) {
  return QDateTime::fromSecsSinceEpoch(local, QTimeZone::utc());
}

// The same (begin, end) on the same row, whichever order the bars came in.
std::vector<size_t> BeginOrder(const std::vector<WeekBar>& bars) {
  std::vector<size_t> order(bars.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return std::pair(bars[a].begin, bars[a].end) < std::pair(bars[b].begin, bars[b].end);
  });
  return order;
}

}  // namespace

// Bars as the accessible children of the view, named by their text and times.
class WeekBarAccessible : public QAccessibleInterface {
 public:
  WeekBarAccessible(WeekView* view, size_t index) : view_(view), index_(index) {}
  bool isValid() const override { return view_ && index_ < view_->Plan().bars.size(); }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return view_->window()->windowHandle(); }
  QAccessibleInterface* parent() const override {
    return QAccessible::queryAccessibleInterface(view_);
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QString text(QAccessible::Text t) const override {
    if (!isValid()) return {};
    const WeekBar& bar = view_->Plan().bars[index_];
    return t == QAccessible::Name ? bar.text : t == QAccessible::Description ? bar.tooltip : "";
  }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override {
    const QRect r = view_->BarRect(index_);
    return r.isEmpty() ? QRect() : QRect(view_->viewport()->mapToGlobal(r.topLeft()), r.size());
  }
  QAccessible::Role role() const override { return QAccessible::ListItem; }
  QAccessible::State state() const override {
    QAccessible::State s;
    s.selectable = true;
    s.selected = isValid() && view_->Plan().bars[index_].record_id == view_->SelectedRecord();
    s.invisible = view_->BarRect(index_).isEmpty();
    return s;
  }

 private:
  WeekView* view_;
  size_t index_;
};

class WeekViewAccessible : public QAccessibleWidget {
 public:
  explicit WeekViewAccessible(WeekView* view) : QAccessibleWidget(view, QAccessible::List) {}
  ~WeekViewAccessible() override { Forget(); }
  int childCount() const override { return static_cast<int>(View()->Plan().bars.size()); }
  QAccessibleInterface* child(int index) const override {
    if (index < 0 || index >= childCount()) return nullptr;
    auto it = ids_.find(index);
    if (it == ids_.end()) {
      auto* bar = new WeekBarAccessible(View(), static_cast<size_t>(index));
      it = ids_.emplace(index, QAccessible::registerAccessibleInterface(bar)).first;
    }
    return QAccessible::accessibleInterface(it->second);
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    for (const auto& [index, id] : ids_)
      if (QAccessible::accessibleInterface(id) == child) return index;
    return -1;
  }
  // The bars changed: the children's interfaces are made again when asked.
  void Forget() {
    for (const auto& [index, id] : ids_)
      QAccessible::deleteAccessibleInterface(id);
    ids_.clear();
  }

 private:
  WeekView* View() const { return static_cast<WeekView*>(widget()); }
  mutable std::map<int, QAccessible::Id> ids_;
};

namespace {

QAccessibleInterface* WeekViewAccessibleFactory(const QString& class_name, QObject* object) {
  if (class_name == QLatin1String("tivolo::ui::WeekView") && object && object->isWidgetType())
    return new WeekViewAccessible(static_cast<WeekView*>(object));
  return nullptr;
}

}  // namespace

WeekView::WeekView(std::function<int64_t(int64_t)> to_local, QWidget* parent)
    : QAbstractScrollArea(parent), to_local_(std::move(to_local)) {
  static const bool installed = [] {
    QAccessible::installFactory(WeekViewAccessibleFactory);
    return true;
  }();
  (void)installed;
  if (!to_local_) to_local_ = [](int64_t t) { return t; };
  setObjectName("weekView");
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  viewport()->setMouseTracking(false);
  const QFontMetrics fm(font());
  lane_height_ = fm.height() + 2 * kPadding;
  ruler_height_ = 2 * fm.height() + 2 * kPadding;
  SetPlan({});
}

void WeekView::SetPlan(WeekPlan plan) {
  // A new plan after an edit keeps the view where the user had it.
  const int64_t first = FirstShown();
  plan_ = std::move(plan);
  if (auto* a = dynamic_cast<WeekViewAccessible*>(QAccessible::queryAccessibleInterface(this)))
    a->Forget();
  Relayout();
  if (now_ != 0) ScrollToLocal(first);
  viewport()->update();
}

void WeekView::Relayout() {
  const int rows = static_cast<int>(plan_.tuner_names.size()) + 1;
  lanes_in_row_.assign(static_cast<size_t>(rows), 1);
  lane_.assign(plan_.bars.size(), 0);
  by_begin_ = BeginOrder(plan_.bars);
  std::vector<std::vector<int64_t>> lane_ends(static_cast<size_t>(rows));
  plan_first_ = FloorDay(to_local_(now_));
  plan_last_ = plan_first_ + kDay;
  for (size_t i : by_begin_) {
    const WeekBar& bar = plan_.bars[i];
    const int row = RowOf(bar);
    auto& ends = lane_ends[static_cast<size_t>(row)];
    auto free = std::find_if(ends.begin(), ends.end(), [&](int64_t e) { return e <= bar.begin; });
    if (free == ends.end()) free = ends.insert(ends.end(), 0);
    *free = bar.end;
    lane_[i] = static_cast<int>(free - ends.begin());
    lanes_in_row_[static_cast<size_t>(row)] = std::max<int>(1, static_cast<int>(ends.size()));
    plan_first_ = std::min(plan_first_, FloorDay(to_local_(bar.begin)));
    plan_last_ = std::max(plan_last_, FloorDay(to_local_(bar.end)) + kDay);
  }
  QFontMetrics fm(font());
  label_width_ = fm.horizontalAdvance(tr("no tuner")) + 2 * kPadding;
  for (const QString& name : plan_.tuner_names)
    label_width_ = std::max(label_width_, fm.horizontalAdvance(name) + 2 * kPadding);
  UpdateScrollRange();
}

void WeekView::UpdateScrollRange() {
  const int64_t span_minutes = zoom_days_ * kDay / 60;
  const int64_t total_minutes = (plan_last_ + 7 * kDay - plan_first_) / 60;
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, static_cast<int>(std::max<int64_t>(0, total_minutes - span_minutes)));
  h->setPageStep(static_cast<int>(span_minutes));
  h->setSingleStep(zoom_days_ == 1 ? 60 : 360);
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, std::max(0, RowsHeight() - (viewport()->height() - ruler_height_)));
  v->setPageStep(viewport()->height());
  v->setSingleStep(lane_height_);
}

void WeekView::SetNow(int64_t now) {
  const bool first = now_ == 0;
  now_ = now;
  Relayout();
  if (first) ScrollToLocal(to_local_(now_) - 3600);
  viewport()->update();
}

void WeekView::SetZoomDays(int days) {
  // The left edge stays, so that zooming from now keeps now in view.
  const int64_t first = FirstShown();
  zoom_days_ = std::clamp(days, 1, 7);
  UpdateScrollRange();
  ScrollToLocal(first);
  viewport()->update();
}

int64_t WeekView::FirstShown() const {
  return plan_first_ + int64_t{horizontalScrollBar()->value()} * 60;
}

double WeekView::PixelsPerSecond(int width) const {
  return std::max(1, width - label_width_) / double(zoom_days_ * kDay);
}

void WeekView::ScrollToLocal(int64_t local) {
  horizontalScrollBar()->setValue(static_cast<int>((local - plan_first_) / 60));
}

int WeekView::RowsHeight() const {
  int height = 0;
  for (int lanes : lanes_in_row_)
    height += lanes * lane_height_;
  return height;
}

int WeekView::RowOf(const WeekBar& bar) const {
  return bar.tuner == kNoTuner ? RowCount() - 1 : std::clamp(bar.tuner, 0, RowCount() - 2);
}

int WeekView::RowTop(int row, int dy) const {
  int top = ruler_height_ - dy;
  for (int r = 0; r < row; ++r)
    top += lanes_in_row_[static_cast<size_t>(r)] * lane_height_;
  return top;
}

QRect WeekView::BarRect(size_t index) const {
  return BarRectIn(index, viewport()->width(), verticalScrollBar()->value());
}

QRect WeekView::BarRectIn(size_t index, int width, int dy) const {
  if (index >= plan_.bars.size()) return {};
  const WeekBar& bar = plan_.bars[index];
  const double pps = PixelsPerSecond(width);
  const int64_t first = FirstShown();
  const double x0 = label_width_ + (to_local_(bar.begin) - first) * pps;
  const double x1 = label_width_ + (to_local_(bar.end) - first) * pps;
  if (x1 < label_width_ || x0 > width) return {};
  const int left = std::max(label_width_, static_cast<int>(x0));
  const int right = std::min(width, std::max(left + 3, static_cast<int>(x1)));
  const int top = RowTop(RowOf(bar), dy) + lane_[index] * lane_height_ + 1;
  return QRect(left, top, right - left, lane_height_ - 2);
}

int WeekView::BarAt(const QPoint& pos) const {
  for (size_t i = 0; i < plan_.bars.size(); ++i)
    if (BarRect(i).contains(pos)) return static_cast<int>(i);
  return -1;
}

void WeekView::Paint(QPainter& painter, int width, int height, int dy) const {
  painter.fillRect(0, 0, width, height, palette().base());
  PaintRows(painter, width, dy);
  painter.save();
  painter.setClipRect(label_width_, ruler_height_, width - label_width_, height - ruler_height_);
  for (size_t i = 0; i < plan_.bars.size(); ++i) {
    const QRect r = BarRectIn(i, width, dy);
    if (!r.isEmpty() && r.bottom() >= ruler_height_ && r.top() <= height) PaintBar(painter, i, r);
  }
  const double pps = PixelsPerSecond(width);
  const int now_x = label_width_ + static_cast<int>((to_local_(now_) - FirstShown()) * pps);
  painter.setPen(QPen(kNowLine, 2));
  painter.drawLine(now_x, ruler_height_, now_x, height);
  painter.restore();
  PaintRuler(painter, width, height);
}

void WeekView::PaintRows(QPainter& painter, int width, int dy) const {
  const QFontMetrics fm(font());
  for (int row = 0; row < RowCount(); ++row) {
    const bool none = row == RowCount() - 1;
    const int top = RowTop(row, dy);
    const int h = lanes_in_row_[static_cast<size_t>(row)] * lane_height_;
    if (none)
      painter.fillRect(0, top, width, h, kNoTunerRow);
    else if (row % 2)
      painter.fillRect(0, top, width, h, palette().alternateBase());
    painter.setPen(none ? kNoTunerText : palette().text().color());
    const QString name = none ? tr("no tuner") : plan_.tuner_names[row];
    painter.drawText(QRect(kPadding, top, label_width_ - kPadding, lane_height_),
                     Qt::AlignVCenter | Qt::AlignLeft, name);
    painter.setPen(palette().mid().color());
    painter.drawLine(0, top + h - 1, width, top + h - 1);
  }
}

void WeekView::PaintRuler(QPainter& painter, int width, int height) const {
  painter.fillRect(0, 0, width, ruler_height_, palette().window());
  const QFontMetrics fm(font());
  const double pps = PixelsPerSecond(width);
  const int64_t first = FirstShown();
  const int64_t hour_step = zoom_days_ <= 2 ? 3600 : zoom_days_ <= 3 ? 3 * 3600 : 6 * 3600;
  const int line = fm.height() + kPadding;
  painter.setClipRect(label_width_, 0, width - label_width_, height);
  for (int64_t t = first - first % hour_step; t < first + zoom_days_ * kDay; t += hour_step) {
    const int x = label_width_ + static_cast<int>((t - first) * pps);
    const bool midnight = t % kDay == 0;
    painter.setPen(midnight ? palette().text().color() : palette().mid().color());
    painter.drawLine(x, midnight ? 0 : line, x, midnight ? height : ruler_height_);
    painter.drawText(x + 2, line + fm.ascent(), AsUtc(t).toString("hh"));
    if (midnight || t == first - first % hour_step)
      painter.drawText(x + 2, kPadding + fm.ascent(),
                       QLocale().toString(AsUtc(std::max(t, first)), "ddd dd-MM"));
  }
  painter.setClipping(false);
  painter.setPen(palette().mid().color());
  painter.drawLine(0, ruler_height_ - 1, width, ruler_height_ - 1);
  painter.drawLine(label_width_ - 1, 0, label_width_ - 1, height);
}

void WeekView::PaintBar(QPainter& painter, size_t index, const QRect& r) const {
  const WeekBar& bar = plan_.bars[index];
  QColor fill = bar.disabled ? kDisabledColour : bar.zap ? kZapColour : kRecordColour;
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  painter.drawRect(r);
  if (bar.disabled) {
    painter.setBrush(QBrush(palette().mid().color(), Qt::BDiagPattern));
    painter.drawRect(r);
  }
  const bool selected = bar.record_id != 0 && bar.record_id == selected_;
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(selected ? palette().highlight().color() : fill.darker(150), selected ? 3 : 1,
                      bar.zap ? Qt::DashLine : Qt::SolidLine));
  painter.drawRect(r.adjusted(0, 0, -1, -1));
  painter.setPen(bar.disabled || bar.zap ? QColor(Qt::black) : QColor(Qt::white));
  const QRect text = r.adjusted(3, 0, -3, 0);
  painter.drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                   painter.fontMetrics().elidedText(bar.text, Qt::ElideRight, text.width()));
}

void WeekView::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  Paint(painter, viewport()->width(), viewport()->height(), verticalScrollBar()->value());
}

void WeekView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}

void WeekView::scrollContentsBy(int, int) {
  viewport()->update();
}

void WeekView::SelectBar(int index, bool notify) {
  if (index < 0 || static_cast<size_t>(index) >= plan_.bars.size()) return;
  const WeekBar& bar = plan_.bars[static_cast<size_t>(index)];
  selected_ = bar.record_id;
  const int64_t begin = to_local_(bar.begin);
  const int64_t first = FirstShown();
  if (begin < first || begin >= first + zoom_days_ * kDay) ScrollToLocal(begin - 3600);
  viewport()->update();
  if (notify) emit BarSelected(selected_);
}

void WeekView::SelectRecord(int32_t record_id) {
  for (size_t i = 0; i < plan_.bars.size(); ++i)
    if (plan_.bars[i].record_id == record_id) return SelectBar(static_cast<int>(i), false);
  selected_ = 0;
  viewport()->update();
}

void WeekView::StepSelection(int step) {
  if (by_begin_.empty()) return;
  auto at = std::find_if(by_begin_.begin(), by_begin_.end(),
                         [&](size_t i) { return plan_.bars[i].record_id == selected_; });
  long pos = at == by_begin_.end() ? (step > 0 ? -1 : static_cast<long>(by_begin_.size()))
                                   : at - by_begin_.begin();
  pos = std::clamp<long>(pos + step, 0, static_cast<long>(by_begin_.size()) - 1);
  SelectBar(static_cast<int>(by_begin_[static_cast<size_t>(pos)]), true);
}

void WeekView::keyPressEvent(QKeyEvent* event) {
  QScrollBar* h = horizontalScrollBar();
  switch (event->key()) {
    case Qt::Key_Left:
      h->triggerAction(QAbstractSlider::SliderSingleStepSub);
      break;
    case Qt::Key_Right:
      h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
      break;
    case Qt::Key_PageUp:
      h->triggerAction(QAbstractSlider::SliderPageStepSub);
      break;
    case Qt::Key_PageDown:
      h->triggerAction(QAbstractSlider::SliderPageStepAdd);
      break;
    case Qt::Key_Home:
      ScrollToLocal(to_local_(now_) - 3600);
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: {
      auto it = std::find(std::rbegin(kZoomLevels), std::rend(kZoomLevels), zoom_days_);
      if (it != std::rend(kZoomLevels) && std::next(it) != std::rend(kZoomLevels))
        SetZoomDays(*std::next(it));
      break;
    }
    case Qt::Key_Minus: {
      auto it = std::find(std::begin(kZoomLevels), std::end(kZoomLevels), zoom_days_);
      if (it != std::end(kZoomLevels) && std::next(it) != std::end(kZoomLevels))
        SetZoomDays(*std::next(it));
      break;
    }
    case Qt::Key_Up:
      StepSelection(-1);
      break;
    case Qt::Key_Down:
      StepSelection(1);
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (selected_ != 0) emit BarActivated(selected_);
      break;
    default:
      QAbstractScrollArea::keyPressEvent(event);
      return;
  }
  event->accept();
}

void WeekView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (event->modifiers() & Qt::ControlModifier) {
    for (int i = 0; i < std::abs(steps); ++i) {
      QKeyEvent key(QEvent::KeyPress, steps > 0 ? Qt::Key_Plus : Qt::Key_Minus, Qt::NoModifier);
      keyPressEvent(&key);
    }
  } else {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() -
                                    steps * horizontalScrollBar()->singleStep());
  }
  event->accept();
}

void WeekView::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  SelectBar(BarAt(event->pos()), true);
}

void WeekView::mouseDoubleClickEvent(QMouseEvent* event) {
  const int index = BarAt(event->pos());
  if (index < 0) return;
  SelectBar(index, true);
  emit BarActivated(plan_.bars[static_cast<size_t>(index)].record_id);
}

bool WeekView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const int index = BarAt(help->pos());
    if (index >= 0)
      QToolTip::showText(help->globalPos(), plan_.bars[index].tooltip, viewport());
    else
      QToolTip::hideText();
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

void WeekView::Export(const QString& file_name) const {
  const int width = std::max(viewport()->width(), 800);
  const int height = ruler_height_ + RowsHeight();
  bool written = false;
  if (file_name.endsWith(".pdf", Qt::CaseInsensitive)) {
    QPdfWriter pdf(file_name);
    pdf.setPageOrientation(QPageLayout::Landscape);
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setResolution(96);
    QPainter painter;
    if ((written = painter.begin(&pdf))) {
      const QRect page = pdf.pageLayout().paintRectPixels(96);
      painter.scale(double(page.width()) / width, double(page.width()) / width);
      Paint(painter, width, height, 0);
      written = painter.end();
    }
  } else {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    Paint(painter, width, height, 0);
    painter.end();
    written = image.save(file_name, "PNG");
  }
  if (!written)
    throw platform::Error("Cannot write the week picture to " + file_name.toStdString() +
                          ". Choose a folder you can write to.");
}

}  // namespace tivolo::ui
