// The week picture: one row per tuner as the tuner model hands out the tuners, and a red row
// "no tuner" for the timers that get none; each timer a bar across the days and hours, with a
// ruler of days and hours above, a line at now, and zoom between a day and a week.
//
// Keys: Left/Right scroll by an hour (a quarter day in the wider zooms), Page Up/Page Down by
// the span shown, Home to now, + and - zoom, Up/Down select the bar before or after the
// selected one in time, Enter edits it. The wheel scrolls, Ctrl with the wheel zooms. A click
// selects a bar (BarSelected), a double click edits it (BarActivated). Each bar is an
// accessible child named by its text, so that screen readers (and tests) find them.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

namespace tivolo::ui {

inline constexpr int kNoTuner = -1;

struct WeekBar {
  int32_t record_id = 0;  // the timer's record, to select it in the grid
  int tuner = kNoTuner;   // index in WeekPlan::tuner_names, or kNoTuner
  int64_t begin = 0;      // seconds since the epoch
  int64_t end = 0;
  QString text;     // on the bar: the timer's name
  QString tooltip;  // channel, times, and the timers it collides with
  bool disabled = false;
  bool zap = false;
};

struct WeekPlan {
  QStringList tuner_names;  // "A (DVB-S2)", ...
  std::vector<WeekBar> bars;
};

class WeekView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // to_local: a moment as the box's local time, in seconds counted as if it were UTC (the
  // ruler's days and hours); the identity when empty.
  explicit WeekView(std::function<int64_t(int64_t)> to_local = {}, QWidget* parent = nullptr);

  void SetPlan(WeekPlan plan);
  const WeekPlan& Plan() const { return plan_; }
  // The moment of the line at now; the view opens there.
  void SetNow(int64_t now);
  // Selects the bar of this record (none: 0) and scrolls to it, without BarSelected.
  void SelectRecord(int32_t record_id);
  int32_t SelectedRecord() const { return selected_; }
  // Days across the view: 1, 2, 3 or 7.
  void SetZoomDays(int days);
  int ZoomDays() const { return zoom_days_; }
  // Writes what the view shows as a PNG or, for a name ending in ".pdf", a landscape A4 PDF;
  // raises platform::Error when the file cannot be written.
  void Export(const QString& file_name) const;

  // Where a bar stands in the viewport (empty when it is not laid out).
  QRect BarRect(size_t index) const;
  int BarAt(const QPoint& viewport_pos) const;

 signals:
  void BarSelected(int32_t record_id);
  void BarActivated(int32_t record_id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void Relayout();
  void UpdateScrollRange();
  int RowCount() const { return static_cast<int>(lanes_in_row_.size()); }
  int RowOf(const WeekBar& bar) const;
  int RowsHeight() const;
  // Painting into any device: width and height of the area, dy the rows' scroll.
  void Paint(QPainter& painter, int width, int height, int dy) const;
  void PaintRuler(QPainter& painter, int width, int height) const;
  void PaintRows(QPainter& painter, int width, int dy) const;
  void PaintBar(QPainter& painter, size_t index, const QRect& rect) const;
  QRect BarRectIn(size_t index, int width, int dy) const;
  int64_t FirstShown() const;  // local seconds at the left edge of the time area
  double PixelsPerSecond(int width) const;
  int RowTop(int row, int dy) const;
  void ScrollToLocal(int64_t local);
  void SelectBar(int index, bool notify);
  void StepSelection(int step);

  std::function<int64_t(int64_t)> to_local_;
  WeekPlan plan_;
  std::vector<int> lane_;          // per bar: its lane within its row
  std::vector<int> lanes_in_row_;  // per row (tuners, then "no tuner")
  std::vector<size_t> by_begin_;   // bar indexes in begin order
  int64_t plan_first_ = 0;         // local seconds: the first midnight the scroll range holds
  int64_t plan_last_ = 0;
  int64_t now_ = 0;
  int zoom_days_ = 7;
  int32_t selected_ = 0;
  int label_width_ = 0;
  int ruler_height_ = 0;
  int lane_height_ = 0;
};

}  // namespace tivolo::ui
