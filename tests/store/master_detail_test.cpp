// The master-detail link of channels to bouquets: range, new detail records, pending changes
// across the link, and the full trace of notifications and events.
#include <gtest/gtest.h>

#include "boxdata/box_tables.h"
#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::ErrorOf;
using testing::Recorder;
using testing::Scan;
using testing::TraceEvents;

class MasterDetail : public ::testing::Test {
 protected:
  void SetUp() override {
    // The recorder goes before the detail's link, so that the trace shows cause first.
    zenders_.SetMasterSource(nullptr);
    ds_bouquet_.Attach(bouquet_rec_);
    zenders_.SetMasterSource(&ds_bouquet_);
    ds_zenders_.Attach(zenders_rec_);
    bouquet_.Open();
    zenders_.Open();
  }
  void AddBouquet(const std::string& name) {
    bouquet_.Append();
    bouquet_.FieldNamed("Bouquet").SetAsString(name);
    bouquet_.Post();
  }
  void AddChannel(const std::string& name) {
    zenders_.Append();
    zenders_.FieldNamed("Zender").SetAsString(name);
    zenders_.Post();
  }
  std::vector<std::string> trace_;
  boxdata::BoxTables tables_;
  MemTable& bouquet_ = tables_.bouquet;
  DataSource& ds_bouquet_ = tables_.ds_bouquet;
  Recorder bouquet_rec_{trace_, "B"};
  MemTable& zenders_ = tables_.zenders;
  DataSource& ds_zenders_ = tables_.ds_zenders;
  Recorder zenders_rec_{trace_, "Z"};
};

TEST_F(MasterDetail, TraceOfAppendPostCancelDeleteEditAcrossTheLink) {
  trace_.clear();
  TraceEvents(bouquet_, trace_, "B");
  TraceEvents(zenders_, trace_, "Z");
  auto step = [&](const char* what) { trace_.push_back(std::string("--- ") + what); };
  step("B.Append");
  bouquet_.Append();
  step("Z.Append, Zender := X");
  zenders_.Append();
  zenders_.FieldNamed("Zender").SetAsString("X");
  step("B.Post");
  bouquet_.Post();
  step("Z.Append");
  zenders_.Append();
  step("B.Edit");
  bouquet_.Edit();
  step("B.Cancel");
  bouquet_.Cancel();
  step("B.Delete");
  bouquet_.Delete();
  const std::vector<std::string> want = {
      "--- B.Append",   "B:endpending",   "Z:endpending",  // the detail ends its change first
      "B.BeforeInsert", "B.BeforeScroll", "B:state 3",
      "B.OnNewRecord",
      "B:dataset",  // the detail's range becomes the new bouquet's number
      "Z:endpending",   "Z:endpending",   "Z:endpending",
      "Z.BeforeScroll", "Z:dataset",      "Z.AfterScroll",
      "B.AfterInsert",  "B.AfterScroll",  "--- Z.Append, Zender := X",
      "Z:endpending",   "Z.BeforeInsert", "Z.BeforeScroll",
      "Z:state 3",
      "Z:field Id",  // the master's number, before OnNewRecord
      "Z.OnNewRecord",  "Z:dataset",      "Z.AfterInsert",
      "Z.AfterScroll",  "Z:field Zender", "--- B.Post",
      "B:update",
      "B:endpending",  // the modified channel is stored before the bouquet
      "Z:endpending",   "Z:update",       "Z:update",
      "Z:endpending",   "Z.BeforePost",   "Z:state 1",
      "Z:dataset",      "Z.AfterPost",    "B.BeforePost",
      "B:state 1",      "B:dataset",      "Z:endpending",
      "Z:endpending",  // same range: the channel stays current
      "B.AfterPost",    "--- Z.Append",   "Z:endpending",
      "Z.BeforeInsert", "Z.BeforeScroll", "Z:state 3",
      "Z:field Id",     "Z.OnNewRecord",  "Z:dataset",
      "Z.AfterInsert",  "Z.AfterScroll",  "--- B.Edit",
      "B:endpending",  // the unassigned channel is dropped
      "Z:endpending",   "Z:update",       "Z:endpending",
      "Z.BeforeCancel", "Z.BeforeScroll", "Z:state 1",
      "Z:dataset",      "Z.AfterCancel",  "Z.AfterScroll",
      "B.BeforeEdit",   "B:state 2",      "B:record",
      "Z:endpending",   "Z:endpending",   "B.AfterEdit",
      "--- B.Cancel",   "B:endpending",   "Z:endpending",
      "B.BeforeCancel", "B:state 1",      "B:dataset",
      "Z:endpending",   "Z:endpending",   "B.AfterCancel",
      "--- B.Delete",   "B:endpending",   "Z:endpending",
      "B.BeforeDelete", "B.BeforeScroll",
      "B:dataset",  // no bouquet left: a null range, no visible channel
      "Z:endpending",   "Z:endpending",   "Z:endpending",
      "Z.BeforeScroll", "Z:dataset",      "Z.AfterScroll",
      "B.AfterDelete",  "B.AfterScroll"};
  EXPECT_EQ(trace_, want);
  EXPECT_EQ(zenders_.RecordCount(), 0);
  zenders_.SetMasterSource(nullptr);  // the channel outlived its bouquet
  EXPECT_EQ(Scan(zenders_, "Zender"), "X");
}

TEST_F(MasterDetail, ChannelsOfABouquetStillBeingInsertedAreStoredFirst) {
  AddBouquet("first");
  AddChannel("f1");
  bouquet_.Append();
  bouquet_.FieldNamed("Bouquet").SetAsString("second");
  for (const char* name : {"s1", "s2", "s3"})
    AddChannel(name);
  zenders_.Append();  // never assigned: dropped when the bouquet is posted
  bouquet_.Post();
  EXPECT_EQ(zenders_.RecordCount(), 3);
  EXPECT_EQ(Scan(zenders_, "Zender"), "s1,s2,s3");
  EXPECT_EQ(Scan(zenders_, "Id"), "2,2,2");
  bouquet_.First();
  EXPECT_EQ(Scan(zenders_, "Zender"), "f1");
}

TEST_F(MasterDetail, MovingTheMasterMovesTheDetailToItsFirstChannel) {
  AddBouquet("a");
  AddChannel("a1");
  AddChannel("a2");
  AddBouquet("b");
  AddChannel("b1");
  bouquet_.First();
  EXPECT_EQ(zenders_.FieldNamed("Zender").AsString(), "a1");
  zenders_.Next();
  // Re-posting the bouquet without changing its number keeps the current channel.
  bouquet_.Edit();
  bouquet_.FieldNamed("Type").SetAsInteger(2);  // not a master field: no reaction
  bouquet_.Post();
  EXPECT_EQ(zenders_.FieldNamed("Zender").AsString(), "a2");
  bouquet_.Next();
  EXPECT_EQ(zenders_.FieldNamed("Zender").AsString(), "b1");
  EXPECT_EQ(zenders_.RecordCount(), 1);
  bouquet_.ViewMoveToRow(0);  // a grid selecting the first bouquet
  EXPECT_EQ(Scan(zenders_, "Zender"), "a1,a2");
  // Assigning the master field itself re-applies the range at once.
  bouquet_.Edit();
  bouquet_.FieldNamed("Id").SetAsInteger(2);
  EXPECT_EQ(Scan(zenders_, "Zender"), "b1");
  bouquet_.Cancel();
  EXPECT_EQ(Scan(zenders_, "Zender"), "a1,a2");
}

TEST_F(MasterDetail, DeletingABouquetKeepsItsChannelsOutsideEveryRange) {
  AddBouquet("a");
  AddChannel("a1");
  AddBouquet("b");
  AddChannel("b1");
  bouquet_.First();
  bouquet_.Delete();
  EXPECT_EQ(bouquet_.FieldNamed("Bouquet").AsString(), "b");
  EXPECT_EQ(Scan(zenders_, "Zender"), "b1");
  bouquet_.Delete();
  EXPECT_EQ(zenders_.RecordCount(), 0);  // channels exist, but Bouquet is empty
  EXPECT_TRUE(zenders_.Eof());
  // With no bouquet the link field is null, which the primary key refuses.
  zenders_.Append();
  zenders_.FieldNamed("Zender").SetAsString("orphan");
  // The constraint is named by the table's catalogue name ("Zenders" in the program).
  EXPECT_EQ(ErrorOf([&] { zenders_.Post(); }),
            "Constraint '" + zenders_.TableName() +
                ".ZendersIndex' violated. Value in field 'Id' cannot be null"
                " - Native error: 30330");
  zenders_.Cancel();
  // Closing the master removes the range: every channel shows.
  bouquet_.Close();
  EXPECT_FALSE(zenders_.HasRange());
  EXPECT_EQ(Scan(zenders_, "Zender"), "a1,b1");
  bouquet_.Open();
  EXPECT_EQ(zenders_.RecordCount(), 0);
}

TEST_F(MasterDetail, DetailOpenedLaterStartsInTheRangeAndCircularLinksFail) {
  AddBouquet("a");
  AddChannel("a1");
  AddBouquet("b");
  AddChannel("b1");
  zenders_.Close();
  bouquet_.First();
  zenders_.Open();
  EXPECT_EQ(zenders_.RecordCount(), 1);
  EXPECT_EQ(zenders_.FieldNamed("Zender").AsString(), "a1");
  EXPECT_EQ(ErrorOf([&] { bouquet_.SetMasterSource(&ds_zenders_); }),
            "Bouquet: Circular datalinks are not allowed");
  EXPECT_EQ(ErrorOf([&] { zenders_.SetMasterSource(&ds_zenders_); }),
            "Zenders: Circular datalinks are not allowed");
}

TEST_F(MasterDetail, DestroyingTheMasterFirstLeavesTheDetailUsable) {
  AddBouquet("a");
  AddChannel("a1");
  {
    boxdata::BoxTables others;
    others.bouquet.Open();
    zenders_.SetMasterSource(&others.ds_bouquet);
    EXPECT_EQ(zenders_.RecordCount(), 0);
  }
  EXPECT_EQ(zenders_.MasterSource(), nullptr);
  EXPECT_EQ(Scan(zenders_, "Zender"), "a1");  // no master: no range
}

}  // namespace
}  // namespace tivolo::store
