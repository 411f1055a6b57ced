// Field kinds: storage, conversion, truncation, null rules and their error texts.
#include <gtest/gtest.h>

#include <cmath>

#include "boxdata/box_tables.h"
#include "store_fixtures.h"

namespace tivolo::store {
namespace {

using testing::ErrorOf;

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    t_.FieldDefs() = {{"S", FieldType::kString, 20},      {"Long", FieldType::kString, 0},
                      {"Small", FieldType::kSmallint, 0}, {"Int", FieldType::kInteger, 0},
                      {"Big", FieldType::kLargeint, 0},   {"When", FieldType::kDateTime, 0},
                      {"Auto", FieldType::kAutoInc, 0}};
    t_.Open();
    t_.Append();
  }
  Field& F(const char* name) { return t_.FieldNamed(name); }
  MemTable t_{"Tbl"};
};

TEST_F(FieldsTest, StringsAreCutByCharactersAtSizeAndAtTheFirstZero) {
  F("S").SetAsString("abcdefghijklmnopqrstuvwxy");  // 25 characters
  EXPECT_EQ(F("S").AsString(), "abcdefghijklmnopqrst");
  // Two-byte characters count once each: 25 of them keep 20 (40 bytes).
  std::string polish;
  for (int i = 0; i < 25; ++i)
    polish += "\xC5\x82";  // ł
  F("S").SetAsString(polish);
  EXPECT_EQ(F("S").AsString(), polish.substr(0, 40));
  // A multi-byte character straddling the limit is kept whole or not at all.
  std::string mixed = std::string(19, 'a') + "\xE2\x82\xAC" + "zz";  // 19 + euro sign + 2
  F("S").SetAsString(mixed);
  EXPECT_EQ(F("S").AsString(), std::string(19, 'a') + "\xE2\x82\xAC");
  // An ill-formed byte is one character and never glues to its neighbour.
  F("S").SetAsString(std::string(19, 'a') + "\xC5" + "b");
  EXPECT_EQ(F("S").AsString(), std::string(19, 'a') + "\xC5");
  F("S").SetAsString(std::string("ab\0cd", 5));
  EXPECT_EQ(F("S").AsString(), "ab");
  F("S").SetAsString(std::string("\0cd", 3));
  EXPECT_TRUE(F("S").IsNull());
  // Size 0 keeps any length (stream references run past 1,500 characters).
  std::string huge(1600, 'x');
  F("Long").SetAsString(huge);
  EXPECT_EQ(F("Long").AsString(), huge);
}

TEST_F(FieldsTest, EmptyTextIsNullAndNullsReadAsZeroOrEmpty) {
  F("S").SetAsString("x");
  F("S").SetAsString("");
  EXPECT_TRUE(F("S").IsNull());
  EXPECT_EQ(F("S").AsString(), "");
  F("Big").SetAsString("");
  EXPECT_TRUE(F("Big").IsNull());
  EXPECT_EQ(F("Big").AsInteger(), 0);
  EXPECT_EQ(F("Big").AsString(), "");
  EXPECT_EQ(F("Small").AsInteger(), 0);
  EXPECT_EQ(F("Int").AsString(), "");
  EXPECT_TRUE(F("When").IsNull());
  EXPECT_EQ(F("When").AsDateTime(), 0.0);
  EXPECT_FALSE(F("Auto").IsNull());  // numbered when the record was created
  EXPECT_EQ(F("Auto").AsInteger(), 1);
}

TEST_F(FieldsTest, LargeIntegersConvertTextAndKeepLow32BitsThroughAsInteger) {
  F("Big").SetAsString("-9223372036854775808");
  EXPECT_EQ(F("Big").AsString(), "-9223372036854775808");
  EXPECT_EQ(F("Big").AsLargeInt(), INT64_MIN);
  F("Big").SetAsString("4294967297");  // 2^32 + 1
  EXPECT_EQ(F("Big").AsInteger(), 1);
  F("Big").SetAsString("2147483648");
  EXPECT_EQ(F("Big").AsInteger(), INT32_MIN);
  F("Big").SetAsInteger(-5);  // sign-extended
  EXPECT_EQ(F("Big").AsLargeInt(), -5);
  EXPECT_EQ(F("Big").AsString(), "-5");
}

TEST_F(FieldsTest, SmallintRangeAndFailedAssignmentKeepsTheValue) {
  F("Small").SetAsInteger(2);
  EXPECT_EQ(ErrorOf([&] { F("Small").SetAsInteger(40000); }),
            "40000 is not a valid value for field 'Small'. The allowed range is -32768 to 32767");
  EXPECT_EQ(ErrorOf([&] { F("Small").SetAsString("-32769"); }),
            "-32769 is not a valid value for field 'Small'. The allowed range is -32768 to 32767");
  EXPECT_EQ(F("Small").AsInteger(), 2);
  F("Small").SetAsInteger(-32768);
  EXPECT_EQ(F("Small").AsInteger(), -32768);
  // The display name is the label when one is set.
  F("Small").SetDisplayLabel("Kind");
  EXPECT_EQ(ErrorOf([&] { F("Small").SetAsInteger(32768); }),
            "32768 is not a valid value for field 'Kind'. The allowed range is -32768 to 32767");
}

TEST_F(FieldsTest, DateTimesStoreDayNumberAndRoundedMilliseconds) {
  // 2024-03-31 02:30:00 plus 0.4 ms rounds down, plus 0.6 ms rounds up.
  const double base = 45382.0 + 2.5 / 24;
  F("When").SetAsDateTime(base + 0.4 / 86400000.0);
  EXPECT_DOUBLE_EQ(F("When").AsDateTime(), base);
  F("When").SetAsDateTime(base + 0.6 / 86400000.0);
  EXPECT_DOUBLE_EQ(F("When").AsDateTime(), base + 1 / 86400000.0);
  const auto& buf = t_.ActiveBuffer();
  int64_t packed = buf.data.nums[static_cast<size_t>(F("When").Slot())];
  EXPECT_EQ(DateTimeField::Day(packed), 45382 + 693594);
  EXPECT_EQ(DateTimeField::Msec(packed), 9000001);
  // 1 January 0001 is day 1; a fraction that rounds to a whole day moves to the next day.
  F("When").SetAsDateTime(-693593.0);
  EXPECT_EQ(DateTimeField::Day(t_.ActiveBuffer().data.nums[static_cast<size_t>(F("When").Slot())]),
            1);
  F("When").SetAsDateTime(25569.0 - 0.1 / 86400000.0);
  EXPECT_DOUBLE_EQ(F("When").AsDateTime(), 25569.0);
  EXPECT_EQ(ErrorOf([&] { F("When").SetAsDateTime(std::nan("")); }).substr(0, 3), "nan");
}

TEST_F(FieldsTest, AssigningOutsideEditOrInsertFailsWithTheEngineNumber) {
  F("S").SetAsString("kept");
  t_.Post();
  std::string text = ErrorOf([&] { F("S").SetAsString("lost"); });
  EXPECT_EQ(text, "Dataset not in edit or insert mode - Native error: 10007");
  EXPECT_EQ(F("S").AsString(), "kept");
  // Conversion comes first: a bad value reports the conversion, not the state.
  EXPECT_EQ(ErrorOf([&] { F("Int").SetAsString("x1"); }),
            "'x1' is not a valid integer value for field 'Int'");
  EXPECT_EQ(ErrorOf([&] { t_.FieldNamed("Nope"); }), "Tbl: Field 'Nope' not found");
  EXPECT_EQ(&t_.FieldNamed("s"), &F("S"));  // names ignore case
  try {
    F("S").SetAsString("x");
  } catch (const EngineError& e) {
    EXPECT_EQ(e.ErrorCode(), 10007);
    EXPECT_EQ(e.TypeName(), "EngineError");
  }
}

// Texts that are no integer fail with the conversion error, for every integer kind.
class BadIntegerText : public ::testing::TestWithParam<const char*> {};

TEST_P(BadIntegerText, FailsAndKeepsTheValue) {
  MemTable t("T");
  t.FieldDefs() = {{"Big", FieldType::kLargeint, 0}, {"Int", FieldType::kInteger, 0}};
  t.Open();
  t.Append();
  for (const char* name : {"Big", "Int"}) {
    Field& f = t.FieldNamed(name);
    f.SetAsInteger(7);
    EXPECT_EQ(
        ErrorOf([&] { f.SetAsString(GetParam()); }),
        std::string("'") + GetParam() + "' is not a valid integer value for field '" + name + "'");
    EXPECT_EQ(f.AsInteger(), 7);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, BadIntegerText,
                         ::testing::Values("abc", "12x", " ", "-", "1.5", "--1", "1e3", "0x",
                                           "9223372036854775808", "-9223372036854775809",
                                           "99999999999999999999"));

TEST(CalculatedFields, UnsetBooleansReadFalseAndShowEmpty) {
  boxdata::BoxTables tables;
  MemTable& timers = tables.timers;
  timers.Open();
  const std::vector<std::pair<int64_t, std::string>> cases = {{31, "True 1111100"},
                                                              {96, "True 0000011"},
                                                              {127, "True 1111111"},
                                                              {128, "True 0000000"},
                                                              {0, "False 0000000"}};
  for (const auto& [mask, want] : cases) {
    timers.Append();
    timers.FieldNamed("RepeatedOrg").SetAsLargeInt(mask);
    std::string got = timers.FieldNamed("Repeated").AsString() + " ";
    for (const char* d : {"d1", "d2", "d3", "d4", "d5", "d6", "d0"}) {
      got += timers.FieldNamed(d).AsBoolean() ? "1" : "0";
    }
    EXPECT_EQ(got, want) << mask;
    timers.Post();
    EXPECT_EQ(timers.FieldNamed("d1").DisplayText(), mask & 1 ? "True" : "") << mask;
  }
  // A new record starts with no calculated value at all.
  timers.Append();
  EXPECT_EQ(timers.FieldNamed("Repeated").DisplayText(), "");
  EXPECT_FALSE(timers.FieldNamed("Repeated").AsBoolean());
  EXPECT_EQ(ErrorOf([&] { timers.FieldNamed("Name").AsDateTime(); }),
            "Cannot access field 'Description' as type DateTime");
}

TEST(DateFormat, FormatsTheGridPattern) {
  FormatSettings s;
  s.short_day_names = {"Zo", "Ma", "Di", "Wo", "Do", "Vr", "Za"};
  // 2024-03-31 is a Sunday.
  EXPECT_EQ(FormatDateTime("ddd dd-mm-yy  hh:nn", 45382.0 + 20.75 / 24, s), "Zo 31-03-24  20:45");
  EXPECT_EQ(FormatDateTime("c", 45382.0, s), "31-03-2024");
  EXPECT_EQ(FormatDateTime("c", 45382.5, s), "31-03-2024 12:00:00");
  EXPECT_EQ(FormatDateTime("d/m/yyyy h:mm 'at' zzz", 2.0 + 0.5 / 86400.0, s),
            "1-1-1900 0:00 at 500");
  DateParts p = DecodeDateTime(45382.0 + 20.75 / 24);
  EXPECT_EQ(EncodeDateTime(p), 45382.0 + 20.75 / 24);
}

}  // namespace
}  // namespace tivolo::store
