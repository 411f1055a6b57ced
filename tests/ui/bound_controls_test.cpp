// The bound date-time picker over a Timers record: what it shows, what it writes and what it
// must leave alone.
#include <QCalendarWidget>
#include <QTest>

#include "boxdata/box_tables.h"
#include "store/date_format.h"
#include "ui_test_support.h"
#include "widgets/bound_date_time_edit.h"

namespace tivolo::widgets {
namespace {

using ui::testing::App;
using ui::testing::At;
namespace fields = boxdata::fields;

class BoundControlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
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
  picker.SetDataSource(&tables_.ds_timers);
  picker.SetDataField(fields::kBegin);
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
  picker.SetDataSource(&tables_.ds_timers);
  picker.SetDataField(fields::kBegin);
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

}  // namespace
}  // namespace tivolo::widgets
