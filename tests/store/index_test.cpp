// Visible order: index choice, key comparison and placement among equal keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "boxdata/box_tables.h"
#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::ErrorOf;
using testing::Scan;

constexpr double kDay = 45382.0;  // 2024-03-31
constexpr double kHour = 1.0 / 24;

class TimersOrder : public ::testing::Test {
 protected:
  void SetUp() override { t_.Open(); }
  void Add(const std::string& name, double begin, double end) {
    t_.Append();
    t_.FieldNamed("Name").SetAsString(name);
    t_.FieldNamed("Begin").SetAsDateTime(begin);
    t_.FieldNamed("End").SetAsDateTime(end);
    t_.Post();
  }
  boxdata::BoxTables tables_;
  MemTable& t_ = tables_.timers;
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

// Text keys compare as bytes of the code page, so a letter with an accent (a byte from 0x80
// up) comes after every ASCII letter, wherever in the name it stands.
TEST(TextKeyOrder, AccentedLettersComeAfterAscii) {
  const std::vector<std::pair<IndexOption, std::string>> cases = {
      {IndexOption::kNone,
       "Caf\xE9|Cag|Channel Z|Channel a|Channel \xC4|Channel \xE9|Zebra|apple|\xC4rger|\xE9t\xE9"},
      {IndexOption::kCaseInsensitive,
       "apple|Caf\xE9|Cag|Channel a|Channel Z|Channel \xC4|Channel \xE9|Zebra|\xC4rger|\xE9t\xE9"}};
  for (const auto& [option, want] : cases) {
    MemTable t("T");
    t.FieldDefs() = {{"Name", FieldType::kString, 20}};
    t.IndexDefs() = {{"Name", "Name", option}};
    t.SetIndexFieldNames("Name");
    t.Open();
    for (const char* name : {"\xC4rger", "Channel \xE9", "Zebra", "Channel a", "\xE9t\xE9", "apple",
                             "Cag", "Channel \xC4", "Channel Z", "Caf\xE9"}) {
      t.Append();
      t.FieldNamed("Name").SetAsString(name);
      t.Post();
    }
    std::string got = Scan(t, "Name");
    std::replace(got.begin(), got.end(), ',', '|');
    EXPECT_EQ(got, want) << static_cast<unsigned>(option);
  }
}

}  // namespace
}  // namespace tivolo::store
