#include "widgets/bound_check_box.h"
#include "widgets/bound_write.h"

namespace tivolo::widgets {

BoundCheckBox::BoundCheckBox(QWidget* parent) : QCheckBox(parent) {
  link_.on_data_change = [this] { Reload(); };
  connect(this, &QCheckBox::clicked, this, &BoundCheckBox::Clicked);
}

void BoundCheckBox::Reload() {
  store::Field* field = link_.GetField();
  QSignalBlocker quiet(this);
  setChecked(field && field->AsBoolean());
}

void BoundCheckBox::Clicked(bool checked) {
  if (!WriteField(link_, [checked](store::Field& f) { f.SetAsBoolean(checked); })) Reload();
}

}  // namespace tivolo::widgets
