// Visible order: index choice, key comparison and placement among equal keys.
#include <gtest/gtest.h>

#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::DefineTimers;
using testing::ErrorOf;
using testing::Scan;

constexpr double kDay = 45382.0;  // 2024-03-31
constexpr double kHour = 1.0 / 24;

class TimersOrder : public ::testing::Test {
 protected:
  void SetUp() override {
    DefineTimers(t_);
    t_.Open();
  }
  void Add(const std::string& name, double begin, double end) {
    t_.Append();
    t_.FieldNamed("Name").SetAsString(name);
    t_.FieldNamed("Begin").SetAsDateTime(begin);
    t_.FieldNamed("End").SetAsDateTime(end);
    t_.Post();
  }
  MemTable t_{"Timers"};
};

TEST_F(TimersOrder, OrderedByBeginThenEndToTheMillisecond) {
  Add("late", kDay + 20 * kHour, kDay + 21 * kHour);
  Add("early", kDay + 8 * kHour, kDay + 9 * kHour);
  Add("early-long", kDay + 8 * kHour, kDay + 11 * kHour);
  Add("early-short", kDay + 8 * kHour, kDay + 8.5 * kHour);
  Add("one-ms-later", kDay + 8 * kHour + 1 / 86400000.0, kDay + 8.1 * kHour);
  EXPECT_EQ(Scan(t_, "Name"), "early-short,early,early-long,one-ms-later,late");
  // The posted record is current at its key position.
  Add("middle", kDay + 12 * kHour, kDay + 13 * kHour);
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "middle");
  t_.Next();
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "late");
}

TEST_F(TimersOrder, NullBeginSortsFirst) {
  Add("b", kDay, kDay + kHour);
  t_.Append();
  t_.FieldNamed("Name").SetAsString("nobegin");
  t_.FieldNamed("End").SetAsDateTime(kDay);
  t_.Post();
  Add("a", 1.0, 2.0);
  EXPECT_EQ(Scan(t_, "Name"), "nobegin,a,b");
}

TEST_F(TimersOrder, WorkedPlacementsAmongEqualKeys) {
  const double b = kDay + 20 * kHour, e = kDay + 21 * kHour;
  Add("A", b, e);
  Add("B", b, e);
  EXPECT_EQ(Scan(t_, "Name"), "B,A");
  Add("C", b, e);
  EXPECT_EQ(Scan(t_, "Name"), "C,B,A");
  Add("D", b, e);
  EXPECT_EQ(Scan(t_, "Name"), "C,D,B,A");
  // With smaller and greater neighbours the bisection still probes the whole index.
  Add("before", b - kHour, e);
  Add("after", b + kHour, e);
  Add("E", b, e);  // 6 entries: the first probe (2, D) is equal: E goes before D
  EXPECT_EQ(Scan(t_, "Name"), "before,C,E,D,B,A,after");
}

TEST_F(TimersOrder, EditingMovesARecordOnlyWhenItsKeyChanged) {
  const double b = kDay + 20 * kHour, e = kDay + 21 * kHour;
  Add("A", b, e);
  Add("B", b, e);
  Add("C", b, e);  // C,B,A
  // B edited without touching begin or end keeps its place among equals.
  t_.First();
  t_.Next();
  t_.Edit();
  t_.FieldNamed("Name").SetAsString("B2");
  t_.FieldNamed("Begin").SetAsDateTime(b);  // same value
  t_.Post();
  EXPECT_EQ(Scan(t_, "Name"), "C,B2,A");
  // A moved to an earlier begin goes first and stays current.
  t_.Last();
  t_.Edit();
  t_.FieldNamed("Begin").SetAsDateTime(b - kHour);
  t_.Post();
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "A");
  t_.Next();
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "C");
  EXPECT_EQ(Scan(t_, "Name"), "A,C,B2");
  // Back to the shared key, A is placed by the bisection over {C, B2}: the first probe (C)
  // is equal, so A goes first although it was added first.
  t_.First();
  t_.Edit();
  t_.FieldNamed("Begin").SetAsDateTime(b);
  t_.Post();
  EXPECT_EQ(Scan(t_, "Name"), "A,C,B2");
  t_.First();
  t_.Edit();
  t_.FieldNamed("Begin").SetAsDateTime(b + kHour);
  t_.Post();
  EXPECT_EQ(Scan(t_, "Name"), "C,B2,A");
}

TEST_F(TimersOrder, SwitchingTheOrderAtRunTimeKeepsTheCurrentRecord) {
  Add("x", kDay + 3 * kHour, kDay);
  t_.Edit();
  t_.FieldNamed("Zender").SetAsString("B");
  t_.Post();
  Add("y", kDay + 1 * kHour, kDay);
  t_.Edit();
  t_.FieldNamed("Zender").SetAsString("C");
  t_.Post();
  Add("z", kDay + 2 * kHour, kDay);
  t_.Edit();
  t_.FieldNamed("Zender").SetAsString("A");
  t_.Post();
  t_.SetIndexFieldNames("Zender");
  EXPECT_EQ(t_.FieldNamed("Name").AsString(), "z");
  EXPECT_EQ(Scan(t_, "Name"), "z,x,y");
  EXPECT_EQ(ErrorOf([&] { t_.SetIndexFieldNames("Name"); }), "Timers: No index for fields 'Name'");
  EXPECT_EQ(t_.IndexFieldNames(), "Zender");
  EXPECT_EQ(Scan(t_, "Name"), "z,x,y");
  t_.SetIndexFieldNames("");
  EXPECT_EQ(Scan(t_, "Name"), "x,y,z");
}

TEST(IndexChoice, ExactListThenWholeNamePrefixIgnoringCase) {
  auto choose = [](const std::string& names) {
    MemTable t("T");
    t.FieldDefs() = {{"Id", FieldType::kInteger, 0},
                     {"SubId", FieldType::kInteger, 0},
                     {"Name", FieldType::kString, 10}};
    t.IndexDefs() = {{"Down", "Name", IndexOption::kDescending},
                     {"IdSub", "Id;Subid", IndexOption::kNone},
                     {"IdOnly", "ID", IndexOption::kNone},
                     {"Name", "Name;Id", IndexOption::kNone}};
    t.SetIndexFieldNames(names);
    std::string error = ErrorOf([&] { t.Open(); });
    if (!error.empty()) return error;
    // Tell the choice by the order of three records.
    for (auto [id, sub, name] : {std::tuple{2, 1, "b"}, {1, 1, "a"}, {1, 2, "c"}}) {
      t.Append();
      t.FieldNamed("Id").SetAsInteger(id);
      t.FieldNamed("SubId").SetAsInteger(sub);
      t.FieldNamed("Name").SetAsString(name);
      t.Post();
    }
    return Scan(t, "Name");
  };
  EXPECT_EQ(choose("id;subid"), "a,c,b");  // IdSub, exact
  EXPECT_EQ(choose("Id"), "c,a,b");        // IdOnly: an exact list wins over a prefix
  EXPECT_EQ(choose("name"), "a,b,c");      // Name;Id by prefix; Down is descending
  EXPECT_EQ(choose("Nam"), "T: No index for fields 'Nam'");
  EXPECT_EQ(choose("SubId"), "T: No index for fields 'SubId'");
  EXPECT_EQ(choose(""), "b,a,c");  // no order chosen: the order of adding
}

}  // namespace
}  // namespace tivolo::store
