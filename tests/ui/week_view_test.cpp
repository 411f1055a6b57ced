// The week picture on screen (offscreen): bars on their tuner's row or the "no tuner" row,
// found as accessible children by their names, selection both ways, the keys, and the export.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "platform/error.h"
#include "support/test_files.h"
#include "ui/week_view.h"

namespace tivolo::ui {
namespace {

constexpr int64_t kMonday = 1797206400;  // 2026-12-14 00:00 UTC
constexpr int64_t kHour = 3600;

WeekBar Bar(int32_t id, int tuner, int64_t begin, int64_t hours, const char* text) {
  WeekBar bar;
  bar.record_id = id;
  bar.tuner = tuner;
  bar.begin = begin;
  bar.end = begin + hours * kHour;
  bar.text = text;
  bar.tooltip = QString(text) + " tip";
  return bar;
}

class WeekViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WeekPlan plan;
    plan.tuner_names = {"A", "B"};
    plan.bars = {Bar(11, 0, kMonday + 20 * kHour, 2, "Film"),
                 Bar(12, 1, kMonday + 20 * kHour, 1, "Quiz"),
                 Bar(13, kNoTuner, kMonday + 20 * kHour + 1800, 1, "Journaal"),
                 Bar(14, 0, kMonday + 21 * kHour, 1, "Same transponder")};
    view_.SetPlan(plan);
    view_.SetNow(kMonday + 8 * kHour);
    view_.resize(900, 300);
    view_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view_));
  }
  QString ChildName(int i) {
    return QAccessible::queryAccessibleInterface(&view_)->child(i)->text(QAccessible::Name);
  }
  WeekView view_;
};

TEST_F(WeekViewTest, BarsStandOnTheirRowsAndAreFoundByName) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&view_);
  ASSERT_EQ(a->childCount(), 4);
  EXPECT_EQ(ChildName(2), "Journaal");
  const QRect film = view_.BarRect(0), quiz = view_.BarRect(1), none = view_.BarRect(2);
  const QRect shared = view_.BarRect(3);
  EXPECT_LT(film.top(), quiz.top());
  EXPECT_LT(quiz.top(), none.top());  // the "no tuner" row comes last
  EXPECT_EQ(quiz.left(), film.left());
  EXPECT_GT(quiz.width(), 0);
  EXPECT_NEAR(film.width(), 2 * quiz.width(), 2);
  // Two timers on one tuner at once (one transponder) get a lane each, not one over the other.
  EXPECT_GT(shared.top(), film.top());
  EXPECT_LT(shared.top(), quiz.top());
}

TEST_F(WeekViewTest, SelectionFollowsClicksKeysAndTheGrid) {
  QSignalSpy selected(&view_, &WeekView::BarSelected);
  QSignalSpy activated(&view_, &WeekView::BarActivated);
  QTest::mouseClick(view_.viewport(), Qt::LeftButton, {}, view_.BarRect(1).center());
  ASSERT_EQ(selected.count(), 1);
  EXPECT_EQ(selected.takeFirst().at(0).toInt(), 12);
  QTest::keyClick(&view_, Qt::Key_Down);  // next in time: Film, as long as Quiz and longer
  EXPECT_EQ(view_.SelectedRecord(), 11);
  QTest::keyClick(&view_, Qt::Key_Down);  // then Journaal at 20:30
  EXPECT_EQ(view_.SelectedRecord(), 13);
  QTest::keyClick(&view_, Qt::Key_Return);
  ASSERT_EQ(activated.count(), 1);
  EXPECT_EQ(activated.takeFirst().at(0).toInt(), 13);
  QTest::mouseDClick(view_.viewport(), Qt::LeftButton, {}, view_.BarRect(0).center());
  EXPECT_EQ(activated.takeFirst().at(0).toInt(), 11);
  selected.clear();
  view_.SelectRecord(14);  // from the grid: no echo back
  EXPECT_EQ(view_.SelectedRecord(), 14);
  EXPECT_EQ(selected.count(), 0);
  EXPECT_TRUE(QAccessible::queryAccessibleInterface(&view_)->child(3)->state().selected);
}

TEST_F(WeekViewTest, ZoomAndScrollMoveTheBars) {
  const int week_width = view_.BarRect(0).width();
  QTest::keyClick(&view_, Qt::Key_Plus);
  EXPECT_EQ(view_.ZoomDays(), 3);
  EXPECT_GT(view_.BarRect(0).width(), 2 * week_width);
  view_.SetZoomDays(1);
  const QRect before = view_.BarRect(0);
  QTest::keyClick(&view_, Qt::Key_Right);
  EXPECT_LT(view_.BarRect(0).left(), before.left());
  QTest::keyClick(&view_, Qt::Key_PageDown);
  QTest::keyClick(&view_, Qt::Key_PageDown);
  EXPECT_TRUE(view_.BarRect(0).isEmpty());  // two days on: Monday's evening is out of view
}

TEST_F(WeekViewTest, ExportWritesAPictureOrSaysWhy) {
  testing::TempDir dir;
  const QString png = QString::fromStdString((dir / "week.png").string());
  view_.Export(png);
  QImage image(png);
  ASSERT_FALSE(image.isNull());
  EXPECT_GE(image.width(), 800);
  const QString pdf = QString::fromStdString((dir / "week.pdf").string());
  view_.Export(pdf);
  EXPECT_GT(QFileInfo(pdf).size(), 1000);
  EXPECT_THROW(view_.Export("/nonexistent/folder/week.png"), platform::Error);
}

}  // namespace
}  // namespace tivolo::ui
