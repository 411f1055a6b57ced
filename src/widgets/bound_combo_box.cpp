#include "widgets/bound_combo_box.h"
#include "widgets/bound_write.h"

namespace tivolo::widgets {

BoundComboBox::BoundComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  link_.on_data_change = [this] { Reload(); };
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
  if (!WriteField(link_, [&text](store::Field& f) { f.SetAsString(text); })) Reload();
}

}  // namespace tivolo::widgets
