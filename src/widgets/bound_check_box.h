// A check box bound to a boolean field: ticked when the value is true; a click writes the new
// state into the field. A field without value shows unticked.
#pragma once

#include <QCheckBox>

#include "widgets/field_data_link.h"

namespace tivolo::widgets {

class BoundCheckBox : public QCheckBox {
  Q_OBJECT

 public:
  explicit BoundCheckBox(QWidget* parent = nullptr);

  void SetDataSource(store::DataSource* source) { link_.SetDataSource(source); }
  void SetDataField(std::string name) { link_.SetFieldName(std::move(name)); }
  store::Field* GetField() const { return link_.GetField(); }

 private:
  void Reload();
  void Clicked(bool checked);

  FieldDataLink link_;
};

}  // namespace tivolo::widgets
