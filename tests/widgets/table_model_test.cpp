// The table model over Timers: Qt's own model checker follows every kind of edit, the cells
// show what the grid promises, and a painted row costs one record read.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include "boxdata/box_tables.h"
#include "widgets/date_formats.h"
#include "widgets/table_model.h"
#include "widgets/timer_grid.h"

namespace tivolo::widgets {
namespace {

namespace f = boxdata::fields;

class TableModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplyDateFormats(QLocale::c());
    LabelDayFields(tables_.timers, ApplyDayNames(QLocale::c()));
    tables_.Open();
  }
  void AddTimer(const std::string& name, double begin, int64_t mask = 0) {
    store::MemTable& t = tables_.timers;
    t.Append();
    t.FieldNamed(f::kName).SetAsString(name);
    t.FieldNamed(f::kBegin).SetAsDateTime(begin);
    t.FieldNamed(f::kEnd).SetAsDateTime(begin + 0.05);
    t.FieldNamed(f::kRepeatedOrg).SetAsLargeInt(mask);
    t.Post();
  }
  QString Cell(const TableModel& m, int row, int column, int role = Qt::DisplayRole) {
    return m.data(m.index(row, column), role).toString();
  }
  // The Name column top to bottom.
  std::string Names(const TableModel& m) {
    std::string out;
    for (int row = 0; row < m.rowCount(); ++row)
      out += (row ? "," : "") + Cell(m, row, 1).toStdString();
    return out;
  }
  boxdata::BoxTables tables_;
};

TEST_F(TableModelTest, FollowsEveryEditWithoutResetsUnderTheModelChecker) {
  for (int i = 0; i < 5; ++i)
    AddTimer("t" + std::to_string(i), 45000.0 + i);
  TableModel model(tables_.ds_timers, TimerGridColumns());
  QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
  QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
  store::MemTable& t = tables_.timers;

  t.Append();  // a pending row at the bottom, current
  EXPECT_EQ(model.rowCount(), 6);
  EXPECT_EQ(model.CurrentRow(), 5);
  t.FieldNamed(f::kName).SetAsString("new");
  t.FieldNamed(f::kBegin).SetAsDateTime(45001.5);
  EXPECT_EQ(Cell(model, 5, 1), "new");
  t.Post();  // takes its place in begin order
  EXPECT_EQ(Names(model), "t0,t1,new,t2,t3,t4");
  EXPECT_EQ(model.CurrentRow(), 2);
  model.MoveToRow(0);
  t.Edit();
  t.FieldNamed(f::kBegin).SetAsDateTime(45009.0);
  t.Post();
  EXPECT_EQ(Names(model), "t1,new,t2,t3,t4,t0");
  model.MoveToRow(3);
  t.Edit();
  t.FieldNamed(f::kName).SetAsString("renamed");
  EXPECT_EQ(Cell(model, 3, 1), "renamed");  // the pending value shows while editing
  t.Cancel();
  t.Append();
  t.Cancel();
  t.Delete();
  EXPECT_EQ(Names(model), "t1,new,t2,t4,t0");
  model.MoveToRow(4);
  t.Delete();  // the last row: the one before it becomes current
  EXPECT_EQ(Names(model), "t1,new,t2,t4");
  EXPECT_EQ(model.CurrentRow(), 3);
  EXPECT_EQ(resets.count(), 0);
  t.Close();
  EXPECT_EQ(model.rowCount(), 0);
  t.Open();
  EXPECT_EQ(model.rowCount(), 4);
}

TEST_F(TableModelTest, CellsShowTextTrueFalseAndTickedDays) {
  AddTimer("weekend", store::EncodeDateTime({2024, 11, 7, 20, 2}), 96);
  AddTimer("once", store::EncodeDateTime({2024, 11, 8, 6, 30}), 0);
  TableModel model(tables_.ds_timers, TimerGridColumns());
  std::vector<std::string> cells;
  for (int row = 0; row < 2; ++row) {
    std::string line;
    for (int c = 0; c < model.columnCount(); ++c) {
      const bool check = TimerGridColumns()[static_cast<size_t>(c)].kind == DisplayKind::kCheckBox;
      QVariant v = model.data(model.index(row, c), check ? Qt::CheckStateRole : Qt::DisplayRole);
      line += (c ? "|" : "") +
              (check ? std::string(v.value<Qt::CheckState>() == Qt::Checked ? "x" : "-")
                     : v.toString().toStdString());
    }
    cells.push_back(line);
  }
  EXPECT_EQ(cells, (std::vector<std::string>{
                       "|weekend|Thu 07-11-24  20:02|Thu 07-11-24  21:14|True|-|-|-|-|-|x|x|",
                       "|once|Fri 08-11-24  06:30|Fri 08-11-24  07:42|False|-|-|-|-|-|-|-|"}));
  std::string titles;
  for (int c = 0; c < model.columnCount(); ++c)
    titles += model.headerData(c, Qt::Horizontal).toString().toStdString() + " ";
  EXPECT_EQ(titles,
            "Channel Description Begin End Repeated Mon Tue Wed Thu Fri Sat Sun Afterevent ");
}

TEST_F(TableModelTest, APaintedRowIsReadOnceForAllItsCellsAndRoles) {
  for (int i = 0; i < 3; ++i)
    AddTimer("t" + std::to_string(i), 45000.0 + i, 31);
  TableModel model(tables_.ds_timers, TimerGridColumns());
  int calcs = 0;
  tables_.timers.OnCalcFields = [&calcs](store::MemTable& t) {
    ++calcs;
    boxdata::TimersCalcFields(t);
  };
  for (int c = 0; c < model.columnCount(); ++c) {
    for (int role : {Qt::DisplayRole, Qt::CheckStateRole, Qt::ToolTipRole, Qt::FontRole})
      model.data(model.index(1, c), role);
  }
  EXPECT_EQ(calcs, 1);
  // A change to the table is seen at once.
  tables_.timers.First();
  calcs = 0;
  tables_.timers.Edit();
  tables_.timers.FieldNamed(f::kName).SetAsString("changed");
  tables_.timers.Post();
  EXPECT_EQ(Cell(model, 0, 1), "changed");
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
}  // namespace tivolo::widgets
