// The bound controls over a Timers record: what the date-time picker shows, what it writes and
// what it must leave alone, and its conversions against plain millisecond arithmetic.
#include <gtest/gtest.h>

#include <QCalendarWidget>
#include <QTest>
#include <cmath>
#include <random>

#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "store/date_format.h"
#include "widgets/bound_controls.h"
#include "widgets/date_formats.h"

namespace tivolo::widgets {
namespace {

namespace fields = boxdata::fields;

constexpr qint64 kMsPerDay = 86'400'000;

platform::DateTime At(int y, int mo, int d, int h, int mi, int s = 0) {
  return platform::AddSeconds(platform::EncodeDate(y, mo, d), h * 3600 + mi * 60 + s);
}

class BoundControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tables_.Open();
    t().Append();
    t().FieldNamed(fields::kZender).SetAsString("Channel");
    t().FieldNamed(fields::kBegin).SetAsDateTime(At(2026, 3, 29, 2, 30, 27));  // a skipped hour
    t().FieldNamed(fields::kAfterevent).SetAsString("standby");
    t().Post();
    t().Edit();
  }
  store::MemTable& t() { return tables_.timers; }
  std::string Stamp(const char* field) {
    return store::FormatDateTime("yyyy-mm-dd hh:nn:ss", t().FieldNamed(field).AsDateTime());
  }
  boxdata::BoxTables tables_;
};

TEST_F(BoundControlsTest, PickerShowsWallClockWithoutWritingAndStepsByFive) {
  BoundDateTimeEdit picker;
  picker.Link().Bind(&tables_.ds_timers, fields::kBegin);
  // 02:30 on the day daylight time starts exists on the box's wall clock and stays as it is.
  EXPECT_EQ(picker.dateTime().toString("yyyy-MM-dd hh:mm:ss").toStdString(), "2026-03-29 02:30:27");
  EXPECT_FALSE(t().Modified());
  picker.setCurrentSection(QDateTimeEdit::MinuteSection);
  picker.stepBy(1);
  EXPECT_EQ(Stamp(fields::kBegin), "2026-03-29 02:35:27");
  picker.setCurrentSection(QDateTimeEdit::HourSection);
  picker.stepBy(-1);
  EXPECT_EQ(Stamp(fields::kBegin), "2026-03-29 01:35:27");
  // A record changed elsewhere shows at once.
  t().FieldNamed(fields::kBegin).SetAsDateTime(At(2030, 1, 2, 3, 4));
  EXPECT_EQ(picker.dateTime().toString("yyyy-MM-dd hh:mm").toStdString(), "2030-01-02 03:04");
  EXPECT_EQ(picker.calendarWidget()->minimumDate().year(), 2005);
}

TEST_F(BoundControlsTest, PickerReadsTwoDigitYearsInsideItsRange) {
  BoundDateTimeEdit picker;
  picker.Link().Bind(&tables_.ds_timers, fields::kBegin);
  picker.show();
  picker.setFocus();
  for (auto [typed, shown] :
       {std::pair{"30", "2030"}, std::pair{"05", "2005"}, std::pair{"49", "2049"}}) {
    picker.setCurrentSection(QDateTimeEdit::YearSection);
    picker.setSelectedSection(QDateTimeEdit::YearSection);
    QTest::keyClicks(&picker, typed);
    QTest::keyClick(&picker, Qt::Key_Tab);
    EXPECT_EQ(Stamp(fields::kBegin).substr(0, 4), shown) << typed;
  }
}

// Random moments of the picker's years, to the millisecond, against Qt's own day arithmetic:
// the conversions both ways, the record through the picker and back, and the picker's text
// against the process-wide date format of the same value.
TEST_F(BoundControlsTest, DateTimesRoundTripAgainstPlainMillisecondArithmetic) {
  ApplyDateFormats(QLocale::c());
  const QDateTime day_zero(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
  const qint64 first = day_zero.msecsTo(QDateTime(QDate(2005, 1, 1), QTime(0, 0), Qt::UTC));
  const qint64 last = day_zero.msecsTo(QDateTime(QDate(2050, 1, 1), QTime(0, 0), Qt::UTC)) - 1;
  std::mt19937_64 rng(2026);
  std::uniform_int_distribution<qint64> any_ms(first, last);
  BoundDateTimeEdit picker;
  picker.Link().Bind(&tables_.ds_timers, fields::kBegin);
  store::Field& begin = t().FieldNamed(fields::kBegin);
  auto ms_of = [](platform::DateTime v) { return std::llround(v * kMsPerDay); };
  for (int i = 0; i < 500; ++i) {
    const qint64 ms = any_ms(rng);
    const QDateTime expected = day_zero.addMSecs(ms);
    const platform::DateTime value = static_cast<double>(ms) / kMsPerDay;
    ASSERT_EQ(WallClockToQt(value), expected) << ms;
    ASSERT_EQ(ms_of(WallClockFromQt(expected)), ms) << ms;

    begin.SetAsDateTime(value);
    ASSERT_EQ(picker.dateTime(), expected) << ms;
    ASSERT_EQ(picker.text().toStdString(), store::FormatDateTime("dd-mm-yy  hh:nn", value)) << ms;
    const QDateTime typed = day_zero.addMSecs(any_ms(rng));
    picker.setDateTime(typed);
    ASSERT_EQ(ms_of(begin.AsDateTime()), day_zero.msecsTo(typed)) << ms;
  }
}

}  // namespace
}  // namespace tivolo::widgets
