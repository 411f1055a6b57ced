// The timer grid on screen (offscreen): it follows the table's cursor, a clicked or keyed row
// moves the cursor, Enter and double clicks do nothing, and a change elsewhere in the table
// keeps the selection and the scroll position.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QTest>

#include "boxdata/box_tables.h"
#include "widgets/date_formats.h"
#include "widgets/timer_grid.h"

namespace tivolo::widgets {
namespace {

namespace f = boxdata::fields;

class TimerGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplyDateFormats(QLocale::c());
    LabelDayFields(tables_.timers, ApplyDayNames(QLocale::c()));
    tables_.Open();
    for (int i = 0; i < 200; ++i) {
      tables_.timers.Append();
      tables_.timers.FieldNamed(f::kName).SetAsString("t" + std::to_string(i));
      tables_.timers.FieldNamed(f::kBegin).SetAsDateTime(45000.0 + i);
      tables_.timers.Post();
    }
    tables_.timers.First();
    grid_.resize(700, 300);
    grid_.Bind(tables_.ds_timers);
    grid_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid_));
  }
  int TableRow() const { return tables_.timers.ViewCurrentRow(); }
  int GridRow() const { return grid_.currentIndex().row(); }
  void ClickRow(int row) {
    QRect cell = grid_.visualRect(grid_.model()->index(row, 1));
    QTest::mouseClick(grid_.viewport(), Qt::LeftButton, {}, cell.center());
  }

  boxdata::BoxTables tables_;
  TimerGrid grid_;
};

TEST_F(TimerGridTest, TheCurrentRowAndTheTableCursorFollowEachOther) {
  EXPECT_EQ(GridRow(), 0);
  tables_.timers.ViewMoveToRow(3);
  EXPECT_EQ(GridRow(), 3);
  ClickRow(1);
  EXPECT_EQ(TableRow(), 1);
  QTest::keyClick(&grid_, Qt::Key_Down);
  EXPECT_EQ(TableRow(), 2);
  EXPECT_TRUE(grid_.selectionModel()->isRowSelected(2, {}));
  // Enter and a double click start nothing.
  QTest::keyClick(&grid_, Qt::Key_Return);
  QTest::mouseDClick(grid_.viewport(), Qt::LeftButton, {},
                     grid_.visualRect(grid_.model()->index(2, 1)).center());
  EXPECT_EQ(tables_.timers.State(), store::DatasetState::kBrowse);
  EXPECT_EQ(TableRow(), 2);
  // A table that will not move (inserting) keeps the grid on its pending row.
  tables_.timers.Append();
  EXPECT_EQ(GridRow(), 200);
  tables_.timers.Cancel();
  EXPECT_EQ(GridRow(), 2);
}

TEST_F(TimerGridTest, AChangeKeepsTheScrollPositionAndSelection) {
  tables_.timers.ViewMoveToRow(150);
  // Row 150 visible but not at an edge, where re-reading everything would not put it.
  grid_.verticalScrollBar()->setValue(grid_.verticalScrollBar()->value() + 3);
  const int scrolled = grid_.verticalScrollBar()->value();
  tables_.timers.Edit();
  tables_.timers.FieldNamed(f::kName).SetAsString("renamed");
  tables_.timers.Post();
  EXPECT_EQ(grid_.verticalScrollBar()->value(), scrolled);
  EXPECT_EQ(GridRow(), 150);
  EXPECT_EQ(grid_.model()->data(grid_.model()->index(150, 1)).toString(), "renamed");
}

TEST_F(TimerGridTest, ColumnsAreCharactersWideButNeverCutADateOrATitle) {
  grid_.resize(1400, 300);
  const int avg = grid_.fontMetrics().averageCharWidth();
  EXPECT_EQ(grid_.columnWidth(1) - grid_.columnWidth(0), 20 * avg);  // 40 and 20 characters
  // In the main window's width the description gives way, and nothing needs a scroll bar.
  grid_.resize(860, 300);
  int total = 0;
  for (int c = 0; c < grid_.model()->columnCount(); ++c)
    total += grid_.columnWidth(c);
  EXPECT_LE(total, grid_.viewport()->width());
  QAbstractItemModel* m = grid_.model();
  for (int c : {2, 3, 5, 11}) {  // Begin, End, Mon, Sun
    const int title = grid_.horizontalHeader()->fontMetrics().horizontalAdvance(
        m->headerData(c, Qt::Horizontal).toString());
    EXPECT_GT(grid_.columnWidth(c), title) << c;
    EXPECT_GE(grid_.columnWidth(c), grid_.ColumnPixels(2)) << c;
  }
  for (int r = 0; r < 7; ++r) {
    const QString begin = m->index(r, 2).data().toString();
    EXPECT_GT(grid_.columnWidth(2), grid_.fontMetrics().horizontalAdvance(begin))
        << begin.toStdString();
  }
}

}  // namespace
}  // namespace tivolo::widgets
