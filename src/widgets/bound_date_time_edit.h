// A date-time picker bound to a date-time field: a drop-down calendar, dates from 2005 to
// 2049, the year typed with two digits, and its own step of five minutes on the minute
// section. The picker shows the field's value and writes each change the user makes into it.
// Values are wall-clock times: no time-zone rule of the toolkit ever shifts or skips them.
#pragma once

#include <QDateTimeEdit>

#include "platform/clock.h"
#include "widgets/field_link.h"

namespace tivolo::widgets {

// Wall-clock conversions between the tables' date-times and the toolkit's (as UTC).
QDateTime WallClockToQt(platform::DateTime value);
platform::DateTime WallClockFromQt(const QDateTime& value);

class BoundDateTimeEdit : public QDateTimeEdit {
  Q_OBJECT

 public:
  static constexpr int kFirstYear = 2005;
  static constexpr int kLastYear = 2049;
  static constexpr int kMinuteStep = 5;

  explicit BoundDateTimeEdit(QWidget* parent = nullptr);

  void SetDataSource(store::DataSource* source) { link_.Bind(source, field_); }
  void SetDataField(std::string name) {
    field_ = std::move(name);
    link_.Bind(link_.Source(), field_);
  }
  store::Field* GetField() const { return link_.GetField(); }

  // The value shown, as a table date-time.
  platform::DateTime Value() const { return WallClockFromQt(dateTime()); }
  // Shows a value and writes it into the field, as if the user had entered it.
  void SetValue(platform::DateTime value);

  void stepBy(int steps) override;

 protected:
  // Tab leaves the picker for the next control; the arrows move between its sections.
  bool focusNextPrevChild(bool next) override { return QWidget::focusNextPrevChild(next); }

 signals:
  // The value shown changed, by the user or by the record (the editor's colour rule).
  void ValueShown();

 private:
  void Reload();
  void Changed(const QDateTime& value);

  FieldLink link_;
  std::string field_;
  bool loading_ = false;
};

}  // namespace tivolo::widgets
