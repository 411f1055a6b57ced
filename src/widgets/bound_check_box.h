// A check box bound to a boolean field: ticked when the value is true; a click writes the new
// state into the field. A field without value shows unticked.
#pragma once

#include <QCheckBox>

#include "widgets/field_link.h"

namespace tivolo::widgets {

class BoundCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit BoundCheckBox(QWidget* parent = nullptr);

  void SetDataSource(store::DataSource* source) { link_.Bind(source, field_); }
  void SetDataField(std::string name) {
    field_ = std::move(name);
    link_.Bind(link_.Source(), field_);
  }
  store::Field* GetField() const { return link_.GetField(); }

 private:
  void Reload();
  void Clicked(bool checked);

  FieldLink link_;
  std::string field_;
};

}  // namespace tivolo::widgets
