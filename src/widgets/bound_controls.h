// The dialogs' controls bound to one field each through a FieldLink (Link().Bind(source,
// field)): they show the active record's value and write every change the user makes straight
// into the field.
#pragma once

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QStringList>

#include "platform/clock.h"
#include "widgets/field_link.h"

namespace tivolo::widgets {

// A one-line edit bound to a text field. A field of size 0 takes any length; a sized field
// limits what can be typed to its size.
class BoundEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit BoundEdit(QWidget* parent = nullptr);
  FieldLink& Link() { return link_; }

 private:
  void Reload();
  void Typed(const QString& text);

  FieldLink link_;
};

// A drop-down list bound to a text field: the user picks one of the items and its text is
// stored; nothing else can be typed. A value the record holds outside the items is shown as
// an extra item when it is one of the known values (and kept until the user picks another),
// otherwise no item is shown; either way the field keeps its value until the user picks.
class BoundComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit BoundComboBox(QWidget* parent = nullptr);
  FieldLink& Link() { return link_; }

  // The items always offered, and the values shown as an extra item only when held.
  void SetItems(const QStringList& items);
  void SetKnownValues(const QStringList& values) { known_ = values; }

 private:
  void Reload();
  void Picked(int index);

  FieldLink link_;
  QStringList items_;
  QStringList known_;
};

// Wall-clock conversions between the tables' date-times and the toolkit's (as UTC).
QDateTime WallClockToQt(platform::DateTime value);
platform::DateTime WallClockFromQt(const QDateTime& value);

// A date-time picker bound to a date-time field: a drop-down calendar, dates from 2005 to
// 2049, the year typed with two digits, and its own step of five minutes on the minute
// section. Values are wall-clock times: no time-zone rule of the toolkit ever shifts or skips
// them.
class BoundDateTimeEdit : public QDateTimeEdit {
  Q_OBJECT

 public:
  static constexpr int kFirstYear = 2005;
  static constexpr int kLastYear = 2049;
  static constexpr int kMinuteStep = 5;

  explicit BoundDateTimeEdit(QWidget* parent = nullptr);
  FieldLink& Link() { return link_; }

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
  bool loading_ = false;
};

}  // namespace tivolo::widgets
