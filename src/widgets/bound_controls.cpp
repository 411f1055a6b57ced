#include "widgets/bound_controls.h"

#include <QCalendarWidget>
#include <QTimeZone>
#include <cmath>
#include <limits>

namespace tivolo::widgets {

// ---- BoundEdit ----

BoundEdit::BoundEdit(QWidget* parent) : QLineEdit(parent), link_([this] { Reload(); }) {
  connect(this, &QLineEdit::textEdited, this, &BoundEdit::Typed);
}

void BoundEdit::Reload() {
  store::Field* field = link_.GetField();
  const int size = field ? field->Size() : 0;
  // QLineEdit's own default limit is 32767; a field without a size must not be cut by it.
  setMaxLength(size > 0 ? size : std::numeric_limits<int>::max());
  const QString text = field ? QString::fromStdString(field->AsString()) : QString();
  if (text != this->text()) setText(text);
}

void BoundEdit::Typed(const QString& text) {
  if (isReadOnly()) return;
  const std::string utf8 = text.toStdString();
  if (!link_.Write([&utf8](store::Field& f) { f.SetAsString(utf8); })) Reload();
}

// ---- BoundComboBox ----

BoundComboBox::BoundComboBox(QWidget* parent) : QComboBox(parent), link_([this] { Reload(); }) {
  setEditable(false);
  connect(this, &QComboBox::activated, this, &BoundComboBox::Picked);
}

void BoundComboBox::SetItems(const QStringList& items) {
  items_ = items;
  Reload();
}

void BoundComboBox::Reload() {
  store::Field* field = link_.GetField();
  const QString value = field ? QString::fromStdString(field->AsString()) : QString();
  QSignalBlocker quiet(this);
  clear();
  addItems(items_);
  int index = items_.indexOf(value);
  if (index < 0 && !value.isEmpty() && known_.contains(value)) {
    addItem(value);
    index = count() - 1;
  }
  setCurrentIndex(index);
}

void BoundComboBox::Picked(int index) {
  if (index < 0) return;
  const std::string text = itemText(index).toStdString();
  if (!link_.Write([&text](store::Field& f) { f.SetAsString(text); })) Reload();
}

// ---- BoundDateTimeEdit ----

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

BoundDateTimeEdit::BoundDateTimeEdit(QWidget* parent)
    : QDateTimeEdit(parent), link_([this] { Reload(); }) {
  setTimeSpec(Qt::UTC);
  // Two-digit years stay in the century of the value; with the range below that reads
  // 05..49 as 2005..2049, the part of the 1950..2049 window the picker offers.
  setDisplayFormat("dd-MM-yy  hh:mm");
  setDateTimeRange(QDateTime(QDate(kFirstYear, 1, 1), QTime(0, 0), Qt::UTC),
                   QDateTime(QDate(kLastYear, 12, 31), QTime(23, 59, 59, 999), Qt::UTC));
  setCalendarPopup(true);
  calendarWidget()->setFirstDayOfWeek(Qt::Monday);
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
  if (!link_.Write([v](store::Field& f) { f.SetAsDateTime(v); })) {
    Reload();
    return;
  }
  emit ValueShown();
}

}  // namespace tivolo::widgets
