#include "widgets/field_data_link.h"

#include "store/mem_table.h"

namespace tivolo::widgets {

void FieldDataLink::SetFieldName(std::string name) {
  field_name_ = std::move(name);
  Reload();
}

void FieldDataLink::SetDataSource(store::DataSource* source) {
  if (Source() == source) return;
  if (Source()) Source()->Detach(*this);
  if (source) source->Attach(*this);
  Reload();
}

store::Field* FieldDataLink::GetField() const {
  store::MemTable* table = DataSet();
  if (!table || !table->Active() || field_name_.empty()) return nullptr;
  return table->FindField(field_name_);
}

bool FieldDataLink::Edit() {
  store::MemTable* table = DataSet();
  if (!table || !table->Active() || table->ReadOnly()) return false;
  using store::DatasetState;
  if (table->State() == DatasetState::kBrowse) {
    if (table->RecordCount() == 0) return false;
    table->Edit();
  }
  return table->State() == DatasetState::kEdit || table->State() == DatasetState::kInsert;
}

void FieldDataLink::FieldChanged(store::Field& field) {
  if (writing_) return;
  if (&field == GetField()) Reload();
}

void FieldDataLink::Reload() {
  if (writing_ || !on_reload) return;
  on_reload();
}

}  // namespace tivolo::widgets
