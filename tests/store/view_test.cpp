// The view for bound controls: rows, records with their calculated fields, moves.
#include <gtest/gtest.h>

#include "boxdata/box_tables.h"
#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::Recorder;
using testing::TraceEvents;

class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.Open();
    for (int i = 0; i < 4; ++i) {
      t_.Append();
      t_.FieldNamed("Name").SetAsString("t" + std::to_string(i));
      t_.FieldNamed("Begin").SetAsDateTime(45000.0 + i);
      t_.FieldNamed("RepeatedOrg").SetAsInteger(i == 2 ? 96 : 0);
      t_.Post();
    }
  }
  boxdata::BoxTables tables_;
  MemTable& t_ = tables_.timers;
  DataSource& ds_ = tables_.ds_timers;
  BoundView view_{t_};
};

TEST_F(ViewTest, RowsAreTheVisibleRecordsWithCalculatedFieldsComputed) {
  ASSERT_EQ(view_.RowCount(), 4);
  int calcs = 0;
  auto handler = t_.OnCalcFields;
  t_.OnCalcFields = [&](MemTable& t) {
    ++calcs;
    handler(t);
  };
  RecordBuffer row = view_.RecordAt(2);
  EXPECT_EQ(calcs, 1);  // each record read is computed
  EXPECT_EQ(row.AsString(t_.FieldNamed("Name")), "t2");
  EXPECT_TRUE(row.AsBoolean(t_.FieldNamed("d6")));
  EXPECT_TRUE(row.AsBoolean(t_.FieldNamed("d0")));
  EXPECT_EQ(row.DisplayText(t_.FieldNamed("d1")), "");
  EXPECT_EQ(row.DisplayText(t_.FieldNamed("Repeated")), "True");
  EXPECT_EQ(view_.RecordAt(1).DisplayText(t_.FieldNamed("Repeated")), "False");
  EXPECT_EQ(view_.CurrentRow(), 3);  // the last posted
  // Reading rows leaves the current record alone.
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "t3");
  EXPECT_THROW(view_.RecordAt(4), std::out_of_range);
}

TEST_F(ViewTest, APendingRecordShowsAsItIsBeingEdited) {
  t_.Append();
  EXPECT_EQ(view_.RowCount(), 5);
  EXPECT_EQ(view_.CurrentRow(), 4);
  t_.FieldNamed("Name").SetAsString("new");
  EXPECT_EQ(view_.RecordAt(4).AsString(t_.FieldNamed("Name")), "new");
  t_.Cancel();
  EXPECT_EQ(view_.RowCount(), 4);
  view_.MoveToRow(1);
  t_.Edit();
  t_.FieldNamed("Name").SetAsString("edited");
  EXPECT_EQ(view_.RecordAt(1).AsString(t_.FieldNamed("Name")), "edited");
  EXPECT_EQ(view_.RecordAt(0).AsString(t_.FieldNamed("Name")), "t0");
}

TEST_F(ViewTest, MakingARowCurrentIsAMove) {
  std::vector<std::string> trace;
  Recorder rec(trace, "ds");
  ds_.Attach(rec);
  TraceEvents(t_, trace, "T");
  t_.Edit();
  t_.FieldNamed("Name").SetAsString("changed");
  trace.clear();
  view_.MoveToRow(0);  // ends the pending change by posting it, then moves
  EXPECT_EQ(trace,
            (std::vector<std::string>{"ds:endpending", "ds:update", "ds:update", "ds:endpending",
                                      "T.BeforePost", "ds:state 1", "ds:dataset", "T.AfterPost",
                                      "T.BeforeScroll", "ds:scroll", "T.AfterScroll"}));
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "t0");
  EXPECT_EQ(view_.CurrentRow(), 0);
  EXPECT_EQ(view_.RecordAt(3).AsString(t_.FieldNamed("Name")), "changed");
  trace.clear();
  view_.MoveToRow(9);  // no such row: nothing happens
  EXPECT_TRUE(trace.empty());
  EXPECT_EQ(view_.CurrentRow(), 0);
}

// The current record is read from storage as its fields are asked for; what a caller keeps of
// it must not follow later changes, and a handler writing to it must not reach the storage.
TEST_F(ViewTest, TheCurrentRecordKeptByACallerIsASnapshot) {
  Field& name = t_.FieldNamed("Name");
  t_.First();
  RecordBuffer kept = t_.ActiveBuffer();
  RecordBuffer assigned;
  assigned = t_.ActiveBuffer();
  t_.Edit();
  name.SetAsString("changed");
  t_.Post();
  EXPECT_EQ(name.AsString(), "changed");
  t_.First();
  t_.Delete();  // frees the stored record the copies came from
  EXPECT_EQ(name.AsString(), "t1");
  EXPECT_EQ(kept.AsString(name) + " " + assigned.AsString(name), "t0 t0");
  EXPECT_EQ(RecordBuffer(std::move(kept)).AsString(name), "t0");
}

TEST_F(ViewTest, AHandlerWritingADataFieldWhileARecordIsReadLeavesTheStoredValue) {
  auto handler = t_.OnCalcFields;
  t_.OnCalcFields = [&](MemTable& t) {
    handler(t);
    t.FieldNamed("Name").SetAsString("seen " + t.FieldNamed("Name").AsString());
  };
  t_.First();
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "seen t0");
  EXPECT_EQ(view_.RecordAt(1).AsString(t_.FieldNamed("Name")), "seen t1");
  t_.OnCalcFields = handler;
  t_.Next();
  t_.First();
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "t0");
}

// Row-level notifications: what a grid needs to keep its selection instead of re-reading all.
class RowRecorder : public DataLink {
 public:
  explicit RowRecorder(std::vector<std::string>& trace) : trace_(trace) {}
  void DataSetChanged() override { trace_.push_back("dataset"); }
  void RowInserted(int row) override { trace_.push_back("inserted " + std::to_string(row)); }
  void RowRemoved(int row) override { trace_.push_back("removed " + std::to_string(row)); }
  void RowMoved(int from, int to) override {
    trace_.push_back("moved " + std::to_string(from) + " " + std::to_string(to));
  }
  void RowChanged(int row) override { trace_.push_back("changed " + std::to_string(row)); }

 private:
  std::vector<std::string>& trace_;
};

TEST_F(ViewTest, EditsNameTheRowsTheyChange) {
  std::vector<std::string> trace;
  RowRecorder rec(trace);
  ds_.Attach(rec);
  Field& begin = t_.FieldNamed("Begin");
  t_.Append();  // the pending row after the four stored ones
  begin.SetAsDateTime(45001.5);
  t_.Post();  // takes its place between t1 and t2
  view_.MoveToRow(0);
  t_.Edit();
  begin.SetAsDateTime(45010.0);
  t_.Post();  // t0 moves to the end
  t_.Edit();
  t_.FieldNamed("Name").SetAsString("same place");
  t_.Post();
  t_.Edit();
  t_.FieldNamed("Name").SetAsString("dropped");
  t_.Cancel();
  t_.Append();
  t_.Cancel();
  view_.MoveToRow(1);
  t_.Delete();
  EXPECT_EQ(trace, (std::vector<std::string>{"inserted 4", "moved 4 2", "moved 0 4", "moved 4 4",
                                             "changed 4", "inserted 5", "removed 5", "removed 1"}));
  EXPECT_EQ(view_.RowCount(), 4);
}

// Looks at the view when a change is announced and again when it is reported: each row named,
// "-" for none, and the number of rows.
class ChangeWatcher : public DataLink {
 public:
  ChangeWatcher(std::vector<std::string>& trace, BoundView& view) : trace_(trace), view_(view) {}
  void RowAboutToBeInserted(int row) override { Look("about to insert", row); }
  void RowInserted(int row) override { Look("inserted", row); }
  void RowAboutToBeRemoved(int row) override { Look("about to remove", row); }
  void RowRemoved(int row) override { Look("removed", row); }
  void RowAboutToBeMoved(int from, int) override { Look("about to move", from); }
  void RowMoved(int, int to) override { Look("moved", to); }

 private:
  void Look(const std::string& what, int row) {
    MemTable& t = view_.Table();
    const std::string name = row < view_.RowCount()
                                 ? "'" + view_.RecordAt(row).AsString(t.FieldNamed("Name")) + "'"
                                 : "-";
    trace_.push_back(what + " " + std::to_string(row) + ": " + name + " of " +
                     std::to_string(view_.RowCount()));
  }
  std::vector<std::string>& trace_;
  BoundView& view_;
};

TEST_F(ViewTest, ChangesAreAnnouncedBeforeTheViewChangesAndReportedAfter) {
  std::vector<std::string> trace;
  ChangeWatcher watcher(trace, view_);
  ds_.Attach(watcher);
  t_.Append();
  t_.FieldNamed("Name").SetAsString("new");
  t_.FieldNamed("Begin").SetAsDateTime(45001.5);
  t_.Post();
  view_.MoveToRow(0);
  t_.Delete();
  t_.Append();
  t_.Cancel();
  EXPECT_EQ(trace, (std::vector<std::string>{"about to insert 4: - of 4", "inserted 4: '' of 5",
                                             "about to move 4: 'new' of 5", "moved 2: 'new' of 5",
                                             "about to remove 0: 't0' of 5", "removed 0: 't1' of 4",
                                             "about to insert 4: - of 4", "inserted 4: '' of 5",
                                             "about to remove 4: '' of 5", "removed 4: - of 4"}));
}

TEST(RowNotifications, ARecordPostedOutOfTheDetailRangeLeavesTheView) {
  boxdata::BoxTables tables;
  MemTable& bouquet = tables.bouquet;
  MemTable& zenders = tables.zenders;
  DataSource& ds_zenders = tables.ds_zenders;
  tables.Open();
  for (const char* name : {"one", "two"}) {
    bouquet.Append();
    bouquet.FieldNamed("Bouquet").SetAsString(name);
    bouquet.Post();
    for (int i = 0; i < 2; ++i) {
      zenders.Append();
      zenders.FieldNamed("Zender").SetAsString(std::string(name) + std::to_string(i));
      zenders.Post();
    }
  }
  std::vector<std::string> trace;
  RowRecorder rec(trace);
  ds_zenders.Attach(rec);
  zenders.First();
  zenders.Edit();
  zenders.FieldNamed("Id").SetAsInteger(0);  // no bouquet of that number: outside this range
  zenders.Post();
  EXPECT_EQ(trace, (std::vector<std::string>{"dataset", "removed 0"}));
  EXPECT_EQ(zenders.ViewRowCount(), 1);
}

}  // namespace
}  // namespace tivolo::store
