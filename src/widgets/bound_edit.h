// A one-line edit bound to a text field: it shows the active record's value and writes every
// change the user types straight into the field. A field of size 0 takes any length; a sized
// field limits what can be typed to its size.
#pragma once

#include <QLineEdit>

#include "widgets/field_link.h"

namespace tivolo::widgets {

class BoundEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit BoundEdit(QWidget* parent = nullptr);

  void SetDataSource(store::DataSource* source) { link_.Bind(source, field_); }
  void SetDataField(std::string name) {
    field_ = std::move(name);
    link_.Bind(link_.Source(), field_);
  }
  store::Field* GetField() const { return link_.GetField(); }

 private:
  void Reload();
  void Typed(const QString& text);

  FieldLink link_;
  std::string field_;
};

}  // namespace tivolo::widgets
