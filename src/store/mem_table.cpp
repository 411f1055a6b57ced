#include "store/mem_table.h"

#include <stdexcept>

#include "store/errors.h"

namespace tivolo::store {

struct MemTable::Impl {
  RecordBuffer empty;
};

namespace {
[[noreturn]] void Todo() {
  throw std::logic_error("not built yet");
}
}  // namespace

MemTable::MemTable(std::string name) : name_(std::move(name)), impl_(std::make_unique<Impl>()) {}
MemTable::~MemTable() {
  for (DataSource* ds : sources_)
    ds->DropTable();
}
void MemTable::SetIndexFieldNames(std::string names) {
  index_field_names_ = std::move(names);
}
void MemTable::SetMasterSource(DataSource* source) {
  master_source_ = source;
}
void MemTable::SetMasterFields(std::string names) {
  master_fields_ = std::move(names);
}
Field& MemTable::DeclareField(std::string, FieldType, int, FieldKind) {
  Todo();
}
void MemTable::SetActive(bool active) {
  active ? Open() : Close();
}
void MemTable::Open() {
  Todo();
}
void MemTable::Close() {
  Todo();
}
Field* MemTable::FindField(std::string_view) const {
  return nullptr;
}
Field& MemTable::FieldNamed(std::string_view) const {
  Todo();
}
void MemTable::First() {
  Todo();
}
void MemTable::Next() {
  Todo();
}
bool MemTable::Eof() const {
  return true;
}
int MemTable::RecordCount() const {
  return 0;
}
void MemTable::Append() {
  Todo();
}
void MemTable::Edit() {
  Todo();
}
void MemTable::Post() {
  Todo();
}
void MemTable::Cancel() {
  Todo();
}
void MemTable::Delete() {
  Todo();
}
void MemTable::EndPendingChange() {
  Todo();
}
void MemTable::MasterChanged() {
  Todo();
}
void MemTable::MasterDisabled() {
  Todo();
}
bool MemTable::HasRange() const {
  return false;
}
int MemTable::ViewRowCount() const {
  return 0;
}
RecordBuffer MemTable::ViewRecordAt(int) {
  Todo();
}
int MemTable::ViewCurrentRow() const {
  return -1;
}
void MemTable::ViewMoveToRow(int) {
  Todo();
}
const RecordBuffer& MemTable::ActiveBuffer() const {
  return impl_->empty;
}
void MemTable::StoreFieldValue(Field&, Value) {
  Todo();
}

}  // namespace tivolo::store
