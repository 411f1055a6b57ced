// The table model over Timers: Qt's own model checker follows every kind of edit, persistent
// indexes (and a sorting proxy's) stay on their records through every move, and a painted row
// costs one record read.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <map>
#include <random>

#include "boxdata/box_tables.h"
#include "widgets/date_formats.h"
#include "widgets/table_model.h"

namespace tivolo::widgets {
namespace {

namespace f = boxdata::fields;

// A column of every display kind, Name second.
std::vector<Column> TimerColumns() {
  return {{f::kZender, "Channel", 20, DisplayKind::kText},
          {f::kName, "Description", 40, DisplayKind::kText},
          {f::kBegin, "Begin", 18, DisplayKind::kText},
          {f::kRepeated, "Repeated", 5, DisplayKind::kTrueFalse},
          {f::kDays[1], "", 2, DisplayKind::kCheckBox}};
}

class TableModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ApplyDateFormats(QLocale::c());
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
  TableModel model(tables_.ds_timers, TimerColumns());
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

// The model checker sees nothing wrong with a move reported a row off; a persistent index does.
TEST_F(TableModelTest, PersistentIndexesFollowTheirRecordsThroughPostsThatMoveThem) {
  for (int i = 0; i < 5; ++i)
    AddTimer("t" + std::to_string(i), 45000.0 + i);
  TableModel model(tables_.ds_timers, TimerColumns());
  std::vector<QPersistentModelIndex> held;
  for (int row = 0; row < model.rowCount(); ++row)
    held.emplace_back(model.index(row, 1));
  auto all_held_in_place = [&] {
    for (size_t i = 0; i < held.size(); ++i)
      EXPECT_EQ(held[i].data().toString().toStdString(), "t" + std::to_string(i));
  };
  store::MemTable& t = tables_.timers;

  t.Append();
  t.FieldNamed(f::kName).SetAsString("new");
  t.FieldNamed(f::kBegin).SetAsDateTime(45001.5);
  const QPersistentModelIndex pending(model.index(5, 1));
  t.Post();  // up from the bottom into begin order
  EXPECT_EQ(pending.row(), 2);
  EXPECT_EQ(pending.data().toString(), "new");
  all_held_in_place();

  model.MoveToRow(0);
  t.Edit();
  t.FieldNamed(f::kBegin).SetAsDateTime(45003.5);
  t.Post();  // t0 down past t1, new, t2 and t3
  EXPECT_EQ(Names(model), "t1,new,t2,t3,t0,t4");
  EXPECT_EQ(held[0].row(), 4);
  EXPECT_EQ(pending.row(), 1);
  all_held_in_place();
}

// Random edits under a sorting proxy, each checked against the table, with a persistent index
// on every record, in the model and in the proxy.
TEST_F(TableModelTest, RandomEditsKeepAProxyAndEveryPersistentIndexOnItsRecord) {
  TableModel model(tables_.ds_timers, TimerColumns());
  QSortFilterProxyModel proxy;
  proxy.setSourceModel(&model);
  proxy.sort(1);
  QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::Fatal);
  std::map<std::string, std::pair<QPersistentModelIndex, QPersistentModelIndex>> held;
  store::MemTable& t = tables_.timers;
  std::mt19937 rng(19);
  int next_name = 0;
  auto begin = [&] { return 45000.0 + static_cast<double>(rng() % 20); };
  for (int step = 0; step < 400; ++step) {
    const unsigned op = rng() % 6;
    if (op <= 1 || t.RecordCount() == 0) {
      const std::string name = "r" + std::to_string(next_name++);
      t.Append();
      t.FieldNamed(f::kName).SetAsString(name);
      t.FieldNamed(f::kBegin).SetAsDateTime(begin());
      const QModelIndex at = model.index(model.rowCount() - 1, 1);
      held[name] = {QPersistentModelIndex(at), QPersistentModelIndex(proxy.mapFromSource(at))};
      if (op == 1) {
        t.Cancel();
        held.erase(name);
      } else {
        t.Post();
      }
    } else {
      model.MoveToRow(static_cast<int>(rng() % static_cast<unsigned>(t.RecordCount())));
      if (op == 2) {
        held.erase(t.FieldNamed(f::kName).AsString());
        t.Delete();
      } else {
        t.Edit();
        t.FieldNamed(f::kBegin).SetAsDateTime(begin());
        op == 5 ? t.Cancel() : t.Post();
      }
    }
    ASSERT_EQ(model.rowCount(), t.ViewRowCount()) << step;
    for (int row = 0; row < model.rowCount(); ++row) {
      ASSERT_EQ(Cell(model, row, 1).toStdString(),
                t.ViewRecordAt(row).AsString(t.FieldNamed(f::kName)))
          << step;
    }
    for (const auto& [name, indexes] : held) {
      ASSERT_EQ(indexes.first.data().toString().toStdString(), name) << step;
      ASSERT_EQ(indexes.second.data().toString().toStdString(), name) << step;
    }
  }
}

TEST_F(TableModelTest, APaintedRowIsReadOnceForAllItsCellsAndRoles) {
  for (int i = 0; i < 3; ++i)
    AddTimer("t" + std::to_string(i), 45000.0 + i, 31);
  TableModel model(tables_.ds_timers, TimerColumns());
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

}  // namespace
}  // namespace tivolo::widgets
