// The three tables: calculated day fields, field sizes, order and the bouquet link.
#include <gtest/gtest.h>

#include "boxdata/box_tables.h"

namespace tivolo::boxdata {
namespace {

class TablesTest : public ::testing::Test {
 protected:
  TablesTest() { t_.Open(); }
  BoxTables t_;
};

struct DayCase {
  int64_t mask;
  const char* days;  // Repeated, then d1..d6, d0 as R/-, x/.
};

class DayMaskTest : public TablesTest, public ::testing::WithParamInterface<DayCase> {};

TEST_P(DayMaskTest, DaysFollowTheMask) {
  store::MemTable& timers = t_.timers;
  timers.Append();
  timers.FieldNamed("Begin").SetAsDateTime(45600.5);
  timers.FieldNamed("RepeatedOrg").SetAsLargeInt(GetParam().mask);
  timers.Post();
  timers.First();
  const store::RecordBuffer row = timers.ViewRecordAt(0);
  std::string days = row.AsBoolean(timers.FieldNamed("Repeated")) ? "R" : "-";
  for (const char* d : {"d1", "d2", "d3", "d4", "d5", "d6", "d0"}) {
    const store::Field& f = timers.FieldNamed(d);
    days += row.IsNull(f) ? "." : (row.AsBoolean(f) ? "x" : "?");
  }
  EXPECT_EQ(days, GetParam().days);
}

INSTANTIATE_TEST_SUITE_P(Masks, DayMaskTest,
                         ::testing::Values(DayCase{0, "-......."}, DayCase{31, "Rxxxxx.."},
                                           DayCase{96, "R.....xx"}, DayCase{127, "Rxxxxxxx"},
                                           DayCase{128, "R......."},
                                           DayCase{0x100000000LL, "-......."}));

TEST_F(TablesTest, SizesAndDisplaySettings) {
  store::MemTable& timers = t_.timers;
  timers.Append();
  const std::string long_ref = "4097:0:1:1:2:3:0:0:0:0:" + std::string(1600, 'u');
  timers.FieldNamed("Zender").SetAsString(std::string(25, 'z'));
  timers.FieldNamed("Name").SetAsString(std::string(450, 'n'));
  timers.FieldNamed("Serviceref").SetAsString(long_ref);
  timers.FieldNamed("Description").SetAsString(std::string(300, 'd'));
  timers.FieldNamed("Afterevent").SetAsString(std::string(25, 'a'));
  timers.Post();
  timers.First();
  EXPECT_EQ(timers.FieldNamed("Zender").AsString(), std::string(20, 'z'));
  EXPECT_EQ(timers.FieldNamed("Name").AsString(), std::string(450, 'n'));
  EXPECT_EQ(timers.FieldNamed("Serviceref").AsString(), long_ref);
  EXPECT_EQ(timers.FieldNamed("Description").AsString(), std::string(300, 'd'));
  EXPECT_EQ(timers.FieldNamed("Afterevent").AsString(), std::string(20, 'a'));
  EXPECT_EQ(timers.FieldNamed("Name").DisplayLabel(), "Description");
  EXPECT_EQ(timers.FieldNamed("Name").DisplayWidth(), 40);
  EXPECT_EQ(timers.FieldNamed("Begin").DisplayFormat(), "ddd dd-mm-yy  hh:nn");
  EXPECT_FALSE(timers.FieldNamed("Serviceref").Visible());
  std::string visible;
  for (const store::Field* f : timers.Fields()) {
    if (f->Visible()) visible += f->FieldName() + " ";
  }
  EXPECT_EQ(visible, "Zender Name Begin End Repeated d1 d2 d3 d4 d5 d6 d0 Afterevent ");
  EXPECT_EQ(t_.zenders.FieldNamed("Zender").DisplayWidth(), 30);
}

TEST_F(TablesTest, TimersByBeginThenEnd) {
  store::MemTable& timers = t_.timers;
  const double times[][2] = {{3, 4}, {1, 9}, {1, 2}, {2, 1}};
  for (const auto& [b, e] : times) {
    timers.Append();
    timers.FieldNamed("Begin").SetAsDateTime(45600 + b);
    timers.FieldNamed("End").SetAsDateTime(45600 + e);
    timers.Post();
  }
  std::string order;
  for (timers.First(); !timers.Eof(); timers.Next()) {
    order += std::to_string(static_cast<int>(timers.FieldNamed("Begin").AsDateTime() - 45600)) +
             std::to_string(static_cast<int>(timers.FieldNamed("End").AsDateTime() - 45600)) + " ";
  }
  EXPECT_EQ(order, "12 19 21 34 ");
}

TEST_F(TablesTest, ChannelsFollowTheCurrentBouquet) {
  for (const char* name : {"One", "Two"}) {
    t_.bouquet.Append();
    t_.bouquet.FieldNamed("Bouquet").SetAsString(name);
    t_.bouquet.FieldNamed("Type").SetAsInteger(1);
    t_.bouquet.Post();
    for (int i = 0; i < 2; ++i) {
      t_.zenders.Append();
      t_.zenders.FieldNamed("Zender").SetAsString(std::string(name) + std::to_string(i));
      t_.zenders.Post();
    }
  }
  auto channels = [&] {
    std::string s;
    for (t_.zenders.First(); !t_.zenders.Eof(); t_.zenders.Next()) {
      s += t_.zenders.FieldNamed("Zender").AsString() + " ";
    }
    return s;
  };
  t_.bouquet.First();
  EXPECT_EQ(channels(), "One0 One1 ");
  t_.bouquet.Next();
  EXPECT_EQ(channels(), "Two0 Two1 ");
  EXPECT_EQ(t_.bouquet.FieldNamed("Id").AsInteger(), 2);
}

}  // namespace
}  // namespace tivolo::boxdata
