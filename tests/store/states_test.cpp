// Editing states, events, autoincrement numbering, cursor and the table-wide error texts.
#include <gtest/gtest.h>

#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::DefineBouquet;
using testing::ErrorOf;
using testing::Recorder;
using testing::Scan;
using testing::TraceEvents;

class StatesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DefineBouquet(t_);
    t_.Open();
  }
  void AddBouquet(const std::string& name) {
    t_.Append();
    t_.FieldNamed("Bouquet").SetAsString(name);
    t_.Post();
  }
  MemTable t_{"Bouquet"};
  DataSource ds_{"Ds_Bouquet", &t_};
};

TEST_F(StatesTest, StateCodesFollowTheOperations) {
  EXPECT_EQ(static_cast<int>(t_.State()), 1);
  EXPECT_EQ(static_cast<int>(ds_.State()), 1);
  t_.Append();
  EXPECT_EQ(static_cast<int>(ds_.State()), 3);
  t_.FieldNamed("Bouquet").SetAsString("A");
  EXPECT_TRUE(t_.Modified());
  t_.Post();
  EXPECT_FALSE(t_.Modified());
  t_.Edit();
  EXPECT_EQ(static_cast<int>(ds_.State()), 2);
  t_.Cancel();
  EXPECT_EQ(static_cast<int>(ds_.State()), 1);
  t_.Close();
  EXPECT_EQ(static_cast<int>(ds_.State()), 0);
  EXPECT_EQ(t_.RecordCount(), 0);
  t_.Open();  // the records stay with the table
  EXPECT_EQ(t_.RecordCount(), 1);
}

TEST_F(StatesTest, AutoincrementLeavesGapsAndNeverReusesNumbers) {
  AddBouquet("A");  // 1
  t_.Append();      // 2, cancelled
  t_.Cancel();
  t_.Append();  // 3, never assigned: dropped by the next Append
  t_.Append();  // 4
  t_.FieldNamed("Bouquet").SetAsString("B");
  t_.Post();
  t_.Append();  // 5, never assigned: dropped when First ends the pending change
  t_.Edit();    // nothing while inserting
  EXPECT_EQ(t_.State(), DatasetState::kInsert);
  t_.First();
  t_.Edit();
  EXPECT_EQ(t_.State(), DatasetState::kEdit);
  t_.Cancel();
  t_.Last();
  t_.Delete();  // deletes B (4); the next record still gets 6, not 4
  AddBouquet("C");
  EXPECT_EQ(Scan(t_, "Id"), "1,6");
  EXPECT_EQ(Scan(t_, "Bouquet"), "A,C");
}

TEST_F(StatesTest, RecordSlotsAreReusedOnlyAtTheTop) {
  AddBouquet("A");
  AddBouquet("B");
  AddBouquet("C");
  auto ids = [&] {
    std::string out;
    for (int r = 0; r < t_.ViewRowCount(); ++r) {
      out += std::to_string(t_.ViewRecordAt(r).RecordId()) +
             t_.ViewRecordAt(r).AsString(t_.FieldNamed("Bouquet")) + " ";
    }
    return out;
  };
  EXPECT_EQ(ids(), "0A 1B 2C ");
  t_.Last();
  t_.Delete();  // highest slot freed: the next record takes it again
  AddBouquet("D");
  EXPECT_EQ(ids(), "0A 1B 2D ");
  t_.First();
  t_.Delete();  // slot 0 stays free while the table holds records
  AddBouquet("E");
  EXPECT_EQ(ids(), "1B 2D 3E ");
  while (t_.RecordCount())
    t_.Delete();
  AddBouquet("F");  // an emptied table numbers its slots from 0 again
  EXPECT_EQ(ids(), "0F ");
}

TEST_F(StatesTest, DeleteCursorAndEmptyTableRules) {
  EXPECT_EQ(ErrorOf([&] { t_.Delete(); }),
            "Bouquet: Cannot perform this operation on an empty dataset");
  t_.Append();
  EXPECT_EQ(ErrorOf([&] { t_.Delete(); }), "");  // discards the new record
  EXPECT_EQ(t_.State(), DatasetState::kBrowse);
  EXPECT_EQ(t_.RecordCount(), 0);
  AddBouquet("A");
  AddBouquet("B");
  AddBouquet("C");
  t_.First();
  t_.Next();
  t_.Delete();  // B: the following record becomes current
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "C");
  t_.Delete();  // C was last: the one before it
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "A");
  EXPECT_FALSE(t_.Eof());
  t_.Delete();
  EXPECT_TRUE(t_.Eof());
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "");
  // Edit on an empty table starts an insert: AfterInsert fires, AfterEdit does not.
  std::vector<std::string> trace;
  t_.AfterInsert = [&](MemTable&) { trace.push_back("AfterInsert"); };
  t_.AfterEdit = [&](MemTable&) { trace.push_back("AfterEdit"); };
  t_.Edit();
  EXPECT_EQ(t_.State(), DatasetState::kInsert);
  EXPECT_EQ(trace, std::vector<std::string>{"AfterInsert"});
}

TEST_F(StatesTest, AppendKeepsEofAndCountUntilPosted) {
  AddBouquet("A");
  t_.Append();
  EXPECT_TRUE(t_.Eof());
  EXPECT_EQ(t_.RecordCount(), 1);
  t_.FieldNamed("Bouquet").SetAsString("B");
  t_.Post();
  EXPECT_FALSE(t_.Eof());
  EXPECT_EQ(t_.RecordCount(), 2);
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "B");
  // First/Next: Next at the last record stays there and sets Eof.
  t_.First();
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "A");
  t_.Next();
  t_.Next();
  EXPECT_TRUE(t_.Eof());
  EXPECT_EQ(t_.FieldNamed("Bouquet").AsString(), "B");
}

TEST_F(StatesTest, EventsAndNotificationsOfOneTableInOrder) {
  std::vector<std::string> trace;
  Recorder rec(trace, "ds");
  ds_.Attach(rec);
  TraceEvents(t_, trace, "T");
  t_.OnCalcFields = nullptr;
  t_.Append();
  t_.FieldNamed("Type").SetAsInteger(1);
  t_.Post();
  t_.Edit();
  t_.Cancel();
  t_.Delete();
  const std::vector<std::string> want = {
      // Append
      "ds:endpending", "T.BeforeInsert", "T.BeforeScroll", "ds:state 3", "T.OnNewRecord",
      "ds:dataset", "T.AfterInsert", "T.AfterScroll",
      // assignment
      "ds:field Type",
      // Post
      "ds:update", "ds:endpending", "T.BeforePost", "ds:state 1", "ds:dataset", "T.AfterPost",
      // Edit
      "ds:endpending", "T.BeforeEdit", "ds:state 2", "ds:record", "T.AfterEdit",
      // Cancel of an edit: no scroll events
      "ds:endpending", "T.BeforeCancel", "ds:state 1", "ds:dataset", "T.AfterCancel",
      // Delete
      "ds:endpending", "T.BeforeDelete", "T.BeforeScroll", "ds:dataset", "T.AfterDelete",
      "T.AfterScroll"};
  EXPECT_EQ(trace, want);
  // A detached link hears nothing more; attached again it does.
  ds_.Detach(rec);
  trace.clear();
  t_.First();
  EXPECT_EQ(trace, (std::vector<std::string>{"T.BeforeScroll", "T.AfterScroll"}));
  ds_.Attach(rec);
  trace.clear();
  t_.First();
  EXPECT_EQ(trace, (std::vector<std::string>{"ds:endpending", "T.BeforeScroll", "ds:dataset",
                                             "T.AfterScroll"}));
}

TEST_F(StatesTest, HandlersMayPostOrCancelInsideAfterInsertAndBeRemoved) {
  int runs = 0;
  t_.AfterInsert = [&](MemTable& t) {
    ++runs;
    t.FieldNamed("Bouquet").SetAsString("auto");
    t.Post();
  };
  t_.Append();
  EXPECT_EQ(t_.State(), DatasetState::kBrowse);
  EXPECT_EQ(t_.RecordCount(), 1);
  auto saved = t_.AfterInsert;
  t_.AfterInsert = nullptr;  // as a reader does while filling the table
  for (int i = 0; i < 3; ++i) {
    t_.Append();
    t_.FieldNamed("Bouquet").SetAsString("r");
    t_.Post();
  }
  t_.AfterInsert = saved;
  EXPECT_EQ(runs, 1);
  t_.AfterInsert = [](MemTable& t) { t.Cancel(); };
  t_.Append();
  EXPECT_EQ(t_.State(), DatasetState::kBrowse);
  EXPECT_EQ(t_.RecordCount(), 4);
}

TEST_F(StatesTest, TableWideFailuresCarryTheNamePrefix) {
  EXPECT_EQ(ErrorOf([&] { t_.Post(); }), "Bouquet: Dataset not in edit or insert mode");
  t_.SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { t_.Append(); }), "Bouquet: Cannot modify a read-only dataset");
  t_.SetReadOnly(false);
  t_.Close();
  EXPECT_EQ(ErrorOf([&] { t_.First(); }),
            "Bouquet: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(ErrorOf([&] { t_.Delete(); }),
            "Bouquet: Cannot perform this operation on a closed dataset");
  MemTable empty("Empty");
  EXPECT_EQ(ErrorOf([&] { empty.Open(); }),
            "Error creating table - no fields were specified - Native error: 10025");
  EXPECT_FALSE(empty.Active());
  MemTable noindex("Timers");
  noindex.FieldDefs() = {{"Begin", FieldType::kDateTime, 0}};
  noindex.SetIndexFieldNames("Begin");
  EXPECT_EQ(ErrorOf([&] { noindex.Open(); }), "Timers: No index for fields 'Begin'");
}

TEST_F(StatesTest, ConstraintFailuresLeaveThePendingRecord) {
  MemTable t("Keys");
  t.SetTableName("Keys");
  t.FieldDefs() = {{"A", FieldType::kInteger, 0}, {"B", FieldType::kInteger, 0}};
  t.IndexDefs() = {{"Pk", "A", IndexOption::kPrimary}, {"Ub", "B", IndexOption::kUnique}};
  t.Open();
  t.Append();
  t.FieldNamed("B").SetAsInteger(1);
  EXPECT_EQ(
      ErrorOf([&] { t.Post(); }),
      "Constraint 'Keys.Pk' violated. Value in field 'A' cannot be null - Native error: 30330");
  EXPECT_EQ(t.State(), DatasetState::kInsert);
  EXPECT_EQ(t.FieldNamed("B").AsInteger(), 1);
  t.FieldNamed("A").SetAsInteger(1);
  t.Post();
  t.Append();
  t.FieldNamed("A").SetAsInteger(1);
  t.FieldNamed("B").SetAsInteger(2);
  EXPECT_EQ(ErrorOf([&] { t.Post(); }),
            "Primary Key constraint 'Keys.Pk' violated. Duplicate found. - Native error: 30319");
  t.FieldNamed("A").SetAsInteger(2);
  t.FieldNamed("B").SetAsInteger(1);
  EXPECT_EQ(ErrorOf([&] { t.Post(); }),
            "Constraint unique 'Keys.Ub' violated. Duplicate found. - Native error: 30320");
  t.FieldNamed("B").SetAsInteger(2);
  t.Post();
  // Editing a record and keeping its own key is no duplicate.
  t.Edit();
  t.FieldNamed("B").SetAsInteger(2);
  t.Post();
  EXPECT_EQ(t.RecordCount(), 2);
}

TEST(DeclaredFields, MissingDefinitionsAreAddedAndUndeclaredTablesGetOnePerDefinition) {
  MemTable t("T");
  t.FieldDefs() = {{"A", FieldType::kInteger, 0}};
  t.DeclareField("B", FieldType::kString, 5);
  t.DeclareField("C", FieldType::kBoolean, 0, FieldKind::kCalculated);
  t.Open();
  ASSERT_EQ(t.FieldDefs().size(), 2u);
  EXPECT_EQ(t.FieldDefs()[1].name, "B");
  ASSERT_EQ(t.Fields().size(), 2u);  // exactly the declared ones
  EXPECT_EQ(t.FindField("A"), nullptr);
  EXPECT_EQ(t.FieldNamed("B").Size(), 5);
  MemTable u("U");
  u.FieldDefs() = {{"A", FieldType::kInteger, 0}, {"B", FieldType::kString, 4}};
  u.Open();
  ASSERT_EQ(u.Fields().size(), 2u);
  EXPECT_EQ(u.Fields()[1]->FieldName(), "B");
  EXPECT_EQ(u.Fields()[1]->DisplayLabel(), "B");
}

}  // namespace
}  // namespace tivolo::store
