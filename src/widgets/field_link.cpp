#include "widgets/field_link.h"

namespace tivolo::widgets {

void FieldLink::Bind(store::DataSource* source, std::string field_name) {
  field_name_ = std::move(field_name);
  if (source) {
    source->Attach(*this);
  } else if (DataLink::Source()) {
    DataLink::Source()->Detach(*this);
  }
  Show();
}

store::Field* FieldLink::GetField() const {
  store::MemTable* table = DataSet();
  return table && table->Active() ? table->FindField(field_name_) : nullptr;
}

bool FieldLink::Editing() const {
  store::MemTable* table = DataSet();
  return table && (table->State() == store::DatasetState::kEdit ||
                   table->State() == store::DatasetState::kInsert);
}

bool FieldLink::Edit() {
  store::MemTable* table = DataSet();
  if (!table || !table->Active() || table->ReadOnly()) return false;
  if (!Editing()) table->Edit();
  return Editing();
}

void FieldLink::FieldChanged(store::Field& field) {
  store::Field* mine = GetField();
  if (mine && (&field == mine || mine->IsCalculated())) Show();
}

void FieldLink::Show() const {
  if (show_) show_();
}

}  // namespace tivolo::widgets
