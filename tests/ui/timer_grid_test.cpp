// The timer grid on screen (offscreen): it follows the table's cursor, a clicked or keyed row
// moves the cursor, Enter and double clicks do nothing, and a change elsewhere in the table
// keeps the selection and the scroll position. Its cells, each timer's state at a glance, and
// the day names of its titles.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "boxdata/box_tables.h"
#include "ui/timer_grid.h"
#include "ui/timer_list_model.h"
#include "widgets/date_formats.h"

namespace tivolo::ui {
namespace {

namespace f = boxdata::fields;
using widgets::ApplyDateFormats;

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
  // Enter and a double click on a row ask for Edit, the Delete key for Delete; the grid itself
  // changes nothing.
  QSignalSpy edit(&grid_, &TimerGrid::EditRequested);
  QSignalSpy del(&grid_, &TimerGrid::DeleteRequested);
  QTest::keyClick(&grid_, Qt::Key_Return);
  QTest::keyClick(&grid_, Qt::Key_Enter, Qt::KeypadModifier);
  QTest::mouseDClick(grid_.viewport(), Qt::LeftButton, {},
                     grid_.visualRect(grid_.model()->index(2, 1)).center());
  EXPECT_EQ(edit.count(), 3);
  EXPECT_EQ(del.count(), 0);
  QTest::keyClick(&grid_, Qt::Key_Delete);
  EXPECT_EQ(del.count(), 1);
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

TEST_F(TimerGridTest, TheDescriptionTakesTheRoomAndNoOtherColumnCutsItsValues) {
  tables_.timers.Edit();
  tables_.timers.FieldNamed(f::kAfterevent).SetAsString("deepstandby");
  tables_.timers.Post();
  grid_.resize(1400, 300);
  const int wide = grid_.columnWidth(1);
  const int channel = grid_.columnWidth(0);
  // The description takes whatever the window gives; the others keep their widths.
  grid_.resize(1000, 300);
  EXPECT_EQ(wide - grid_.columnWidth(1), 400);
  EXPECT_EQ(grid_.columnWidth(0), channel);
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
  // As wide as their values once measured (when the changes of the moment are done): the
  // after-event's longest, and Type with its mark.
  QCoreApplication::processEvents();
  const int after = grid_.fontMetrics().horizontalAdvance("deepstandby");
  EXPECT_GT(grid_.columnWidth(12), after);
  EXPECT_GT(grid_.columnWidth(13), grid_.fontMetrics().horizontalAdvance("Record") + 12);
  // A width the user chose stays, whatever the values.
  grid_.KeepWidth(12, 20);
  tables_.timers.Edit();
  tables_.timers.FieldNamed(f::kAfterevent).SetAsString("deepstandby, then more");
  tables_.timers.Post();
  QCoreApplication::processEvents();
  EXPECT_EQ(grid_.columnWidth(12), 20);

  // Narrower than the columns: the description keeps its 40 characters and a scroll bar shows,
  // also when another column is dragged wider; its own border can be dragged as well.
  grid_.resize(500, 300);
  QCoreApplication::processEvents();
  EXPECT_GE(grid_.columnWidth(1), grid_.ColumnPixels(40));
  EXPECT_GT(grid_.horizontalScrollBar()->maximum(), 0);
  grid_.horizontalHeader()->resizeSection(0, grid_.columnWidth(0) + 300);
  EXPECT_GE(grid_.columnWidth(1), grid_.ColumnPixels(40));
  grid_.horizontalHeader()->resizeSection(1, grid_.ColumnPixels(60));
  grid_.resize(520, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(grid_.columnWidth(1), grid_.ColumnPixels(60));
}

TEST(TimerGridCells, ShowTextTrueFalseAndTickedDays) {
  ApplyDateFormats(QLocale::c());
  boxdata::BoxTables tables;
  LabelDayFields(tables.timers, ApplyDayNames(QLocale::c()));
  tables.Open();
  store::MemTable& t = tables.timers;
  for (auto [name, begin, mask] :
       {std::tuple{"weekend", store::EncodeDateTime({2024, 11, 7, 20, 2}), 96},
        std::tuple{"once", store::EncodeDateTime({2024, 11, 8, 6, 30}), 0}}) {
    t.Append();
    t.FieldNamed(f::kName).SetAsString(name);
    t.FieldNamed(f::kBegin).SetAsDateTime(begin);
    t.FieldNamed(f::kEnd).SetAsDateTime(begin + 0.05);
    t.FieldNamed(f::kRepeatedOrg).SetAsLargeInt(mask);
    t.Post();
  }
  widgets::TableModel model(tables.ds_timers, TimerGridColumns());
  std::vector<std::string> cells;
  for (int row = 0; row < 2; ++row) {
    std::string line;
    for (int c = 0; c < model.columnCount(); ++c) {
      const bool check =
          TimerGridColumns()[static_cast<size_t>(c)].kind == widgets::DisplayKind::kCheckBox;
      QVariant v = model.data(model.index(row, c), check ? Qt::CheckStateRole : Qt::DisplayRole);
      line += (c ? "|" : "") +
              (check ? std::string(v.value<Qt::CheckState>() == Qt::Checked ? "x" : "-")
                     : v.toString().toStdString());
    }
    cells.push_back(line);
  }
  EXPECT_EQ(cells,
            (std::vector<std::string>{
                "|weekend|Thu 07-11-24  20:02|Thu 07-11-24  21:14|True|-|-|-|-|-|x|x||Record",
                "|once|Fri 08-11-24  06:30|Fri 08-11-24  07:42|False|-|-|-|-|-|-|-||Record"}));
  std::string titles;
  for (int c = 0; c < model.columnCount(); ++c)
    titles += model.headerData(c, Qt::Horizontal).toString().toStdString() + " ";
  EXPECT_EQ(titles,
            "Channel Description Begin End Repeated Mon Tue Wed Thu Fri Sat Sun Afterevent Type ");
}

TEST(TimerGridStates, OffZapRunningAndEndedShowAtAGlance) {
  ApplyDateFormats(QLocale::c());
  boxdata::BoxTables tables;
  tables.Open();
  store::MemTable& t = tables.timers;
  const store::DateTime now = store::EncodeDateTime({2024, 11, 7, 20, 0});
  struct Row {
    const char* name;
    double begin_hours;  // from now
    int64_t disabled, justplay, repeated;
  };
  // In begin order, as the grid lists them. A repeated timer's stored run is only its next:
  // one in the past has not ended.
  const Row rows[] = {
      {"weekdays past", -48, 0, 0, 31}, {"ended", -3, 0, 0, 0}, {"running", -1, 0, 0, 0},
      {"off", -0.5, 1, 0, 0},           {"zap", 1, 0, 1, 0},    {"weekdays", 2, 0, 0, 31}};
  for (const Row& r : rows) {
    t.Append();
    t.FieldNamed(f::kName).SetAsString(r.name);
    t.FieldNamed(f::kBegin).SetAsDateTime(now + r.begin_hours / 24);
    t.FieldNamed(f::kEnd).SetAsDateTime(now + (r.begin_hours + 2) / 24);
    t.FieldNamed(f::kDisabled).SetAsLargeInt(r.disabled);
    t.FieldNamed(f::kJustplay).SetAsLargeInt(r.justplay);
    t.FieldNamed(f::kRepeatedOrg).SetAsLargeInt(r.repeated);
    t.FieldNamed(f::kServiceref).SetAsString("1:0:19:2B66:3F3:1:C00000:0:0:0:");
    t.FieldNamed(f::kAfterevent).SetAsString("deepstandby");
    t.Post();
  }
  TimerGrid grid;
  platform::ClockSettings utc;
  utc.utc_auto = false;
  grid.Bind(tables.ds_timers, [&] { return ClockNow{utc, now}; });
  const QAbstractItemModel* m = grid.model();
  auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
    return m->index(row, column).data(role);
  };
  auto mark = [&](int row) { return cell(row, 13, Qt::DecorationRole).value<QIcon>().cacheKey(); };
  std::string lines;
  for (int row = 0; row < m->rowCount(); ++row) {
    lines += cell(row, 1).toString().toStdString() + " " + cell(row, 13).toString().toStdString() +
             (cell(row, 0, Qt::ForegroundRole).isValid() ? " grey" : "") +
             (cell(row, 0, Qt::FontRole).value<QFont>().italic() ? " italic" : "") +
             (mark(row) == mark(0) ? "" : " dot") + "\n";
  }
  EXPECT_EQ(lines,
            "weekdays past Record\n"
            "ended Record grey\n"
            "running Record dot\n"
            "(off) off Record grey italic\n"
            "zap Zap\n"
            "weekdays Record\n");
  EXPECT_EQ(cell(5, 2, Qt::ToolTipRole).toString().toStdString(),
            "weekdays\nService reference: 1:0:19:2B66:3F3:1:C00000:0:0:0:\nRepeats on Monday, "
            "Tuesday, Wednesday, Thursday and Friday\nAfter the event: deepstandby");
  // By Type, descending: the zap timer first.
  grid.sortByColumn(13, Qt::DescendingOrder);
  EXPECT_EQ(cell(0, 1).toString(), "zap");
  // Then by Description: that column's values decide, nothing kept of the sort by Type.
  grid.sortByColumn(1, Qt::AscendingOrder);
  std::string names;
  for (int row = 0; row < m->rowCount(); ++row)
    names += cell(row, 1).toString().toStdString() + "; ";
  EXPECT_EQ(names, "ended; (off) off; running; weekdays; weekdays past; zap; ");
}

TEST(DayNames, FirstLetterUpperTheRestLowerAtMostTenCharacters) {
  EXPECT_EQ(ProgramDayName("ZO"), "Zo");
  EXPECT_EQ(ProgramDayName("mittwochabend"), "Mittwochab");
  EXPECT_EQ(ProgramDayName(QString::fromUtf8("ÇARŞ")), "Çarş");
  std::array<std::string, 7> dutch = ApplyDayNames(QLocale(QLocale::Dutch, QLocale::Netherlands));
  EXPECT_EQ(dutch[0] + dutch[1] + dutch[6], "ZoMaZa");
  // Every later "ddd" shows the prepared names.
  EXPECT_EQ(store::FormatDateTime("ddd", store::EncodeDateTime({2024, 11, 11})), "Ma");
  ApplyDayNames(QLocale::c());
}

}  // namespace
}  // namespace tivolo::ui
