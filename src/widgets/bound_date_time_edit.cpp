#include "widgets/bound_date_time_edit.h"
#include "widgets/bound_write.h"

#include <QCalendarWidget>
#include <QTimeZone>
#include <cmath>

namespace tivolo::widgets {
namespace {

constexpr qint64 kMsPerDay = 86'400'000;
const QDate kDayZero(1899, 12, 30);

}  // namespace

QDateTime WallClockToQt(platform::DateTime value) {
  const qint64 ms = std::llround(static_cast<long double>(value) * kMsPerDay);
  const qint64 day = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  const int ms_of_day = static_cast<int>(ms - day * kMsPerDay);
  return QDateTime(kDayZero.addDays(day), QTime::fromMSecsSinceStartOfDay(ms_of_day), Qt::UTC);
}

platform::DateTime WallClockFromQt(const QDateTime& value) {
  const qint64 day = kDayZero.daysTo(value.date());
  const qint64 ms = day * kMsPerDay + value.time().msecsSinceStartOfDay();
  return static_cast<platform::DateTime>(static_cast<long double>(ms) / kMsPerDay);
}

BoundDateTimeEdit::BoundDateTimeEdit(QWidget* parent) : QDateTimeEdit(parent) {
  setTimeSpec(Qt::UTC);
  // Two-digit years stay in the century of the value; with the range below that reads
  // 05..49 as 2005..2049, the part of the 1950..2049 window the picker offers.
  setDisplayFormat("dd-MM-yy  hh:mm");
  setDateTimeRange(QDateTime(QDate(kFirstYear, 1, 1), QTime(0, 0), Qt::UTC),
                   QDateTime(QDate(kLastYear, 12, 31), QTime(23, 59, 59, 999), Qt::UTC));
  setCalendarPopup(true);
  calendarWidget()->setFirstDayOfWeek(Qt::Monday);
  link_.on_data_change = [this] { Reload(); };
  connect(this, &QDateTimeEdit::dateTimeChanged, this, &BoundDateTimeEdit::Changed);
}

void BoundDateTimeEdit::SetValue(platform::DateTime value) {
  setDateTime(WallClockToQt(value));
}

void BoundDateTimeEdit::stepBy(int steps) {
  QDateTimeEdit::stepBy(currentSection() == MinuteSection ? steps * kMinuteStep : steps);
}

void BoundDateTimeEdit::Reload() {
  store::Field* field = link_.GetField();
  const QDateTime shown =
      field && !field->IsNull() ? WallClockToQt(field->AsDateTime()) : minimumDateTime();
  loading_ = true;
  if (shown != dateTime()) setDateTime(shown);
  loading_ = false;
  emit ValueShown();
}

void BoundDateTimeEdit::Changed(const QDateTime& value) {
  if (loading_) return;
  const platform::DateTime v = WallClockFromQt(value);
  if (!WriteField(link_, [v](store::Field& f) { f.SetAsDateTime(v); })) {
    Reload();
    return;
  }
  emit ValueShown();
}

}  // namespace tivolo::widgets
