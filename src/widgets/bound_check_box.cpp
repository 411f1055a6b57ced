#include "widgets/bound_check_box.h"

namespace tivolo::widgets {

BoundCheckBox::BoundCheckBox(QWidget* parent) : QCheckBox(parent) {
  link_.on_reload = [this] { Reload(); };
  connect(this, &QCheckBox::clicked, this, &BoundCheckBox::Clicked);
}

void BoundCheckBox::Reload() {
  store::Field* field = link_.GetField();
  QSignalBlocker quiet(this);
  setChecked(field && field->AsBoolean());
}

void BoundCheckBox::Clicked(bool checked) {
  if (!link_.Write([checked](store::Field& f) { f.SetAsBoolean(checked); })) Reload();
}

}  // namespace tivolo::widgets
