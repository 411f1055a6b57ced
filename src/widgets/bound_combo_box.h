// A drop-down list bound to a text field: the user picks one of the items and its text is
// stored; nothing else can be typed. A value the record holds outside the items is shown as
// an extra item when it is one of the known values (and kept until the user picks another),
// otherwise no item is shown; either way the field keeps its value until the user picks.
#pragma once

#include <QComboBox>
#include <QStringList>

#include "widgets/field_link.h"

namespace tivolo::widgets {

class BoundComboBox : public QComboBox {
  Q_OBJECT

 public:
  explicit BoundComboBox(QWidget* parent = nullptr);

  void SetDataSource(store::DataSource* source) { link_.Bind(source, field_); }
  void SetDataField(std::string name) {
    field_ = std::move(name);
    link_.Bind(link_.Source(), field_);
  }
  store::Field* GetField() const { return link_.GetField(); }

  // The items always offered, and the values shown as an extra item only when held.
  void SetItems(const QStringList& items);
  void SetKnownValues(const QStringList& values) { known_ = values; }

 private:
  void Reload();
  void Picked(int index);

  FieldLink link_;
  std::string field_;
  QStringList items_;
  QStringList known_;
};

}  // namespace tivolo::widgets
