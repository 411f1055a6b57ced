// An in-memory record table: typed fields, records held in memory only, a cursor over the
// visible records (all records, or a detail's records in the current master range), the
// editing states with their events and notifications, calculated fields, indexes with one
// chosen visible order, constraints, and the master-detail link.
//
// Everything runs on one thread. Handlers may call back into the table (an AfterInsert
// handler may Post or Cancel). Every failure is raised as DatabaseError or EngineError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/data_source.h"
#include "store/field.h"
#include "store/record.h"
#include "store/types.h"

namespace tivolo::store {

class MemTable {
 public:
  using Event = std::function<void(MemTable&)>;

  explicit MemTable(std::string name);  // the component name, used in error prefixes
  MemTable(const MemTable&) = delete;
  MemTable& operator=(const MemTable&) = delete;
  ~MemTable();

  const std::string& Name() const { return name_; }

  // ---- Design-time properties (set before Open) ----
  const std::string& TableName() const { return table_name_; }
  void SetTableName(std::string name) { table_name_ = std::move(name); }
  std::vector<FieldDef>& FieldDefs() { return field_defs_; }
  const std::vector<FieldDef>& FieldDefs() const { return field_defs_; }
  std::vector<IndexDef>& IndexDefs() { return index_defs_; }
  const std::vector<IndexDef>& IndexDefs() const { return index_defs_; }
  // Field names separated by ";" choosing the visible order; empty: record identifier order.
  const std::string& IndexFieldNames() const { return index_field_names_; }
  void SetIndexFieldNames(std::string names);
  // Makes this table a detail of the source's table; fails with "Circular datalinks are not
  // allowed" when the source leads back to this table.
  DataSource* MasterSource() const;  // null once the source is gone
  void SetMasterSource(DataSource* source);
  const std::string& MasterFields() const { return master_fields_; }
  void SetMasterFields(std::string names);
  int GrowBy() const { return grow_by_; }
  void SetGrowBy(int records) { grow_by_ = records > 0 ? records : 1000; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool read_only) { read_only_ = read_only; }

  // Declares a persistent field object (data or calculated). A table that declares fields uses
  // exactly those; a declared data field missing from FieldDefs is added to them at Open. A
  // table without declared fields gets one field object per definition at every Open.
  Field& DeclareField(std::string name, FieldType type, int size = 0,
                      FieldKind kind = FieldKind::kData);

  // ---- Events; each may be cleared and set again at any time ----
  Event BeforeInsert, AfterInsert;
  Event BeforeEdit, AfterEdit;
  Event BeforePost, AfterPost;
  Event BeforeCancel, AfterCancel;
  Event BeforeDelete, AfterDelete;
  Event BeforeScroll, AfterScroll;
  Event OnNewRecord;
  Event OnCalcFields;

  // ---- Opening and closing ----
  bool Active() const { return state_ != DatasetState::kInactive; }
  void Open();   // nothing for an open table
  void Close();  // ends any pending change by dropping it; the records stay for the next Open

  // ---- Fields ----
  const std::vector<Field*>& Fields() const { return field_list_; }
  Field* FindField(std::string_view name) const;   // ignoring case; null when absent
  Field& FieldNamed(std::string_view name) const;  // fails with "Field '%s' not found"

  // ---- Cursor over the visible records ----
  void First();
  void Next();
  void Last();  // the last visible record; Eof becomes true
  bool Eof() const;
  int RecordCount() const;  // visible stored records; a record being inserted is not counted

  // ---- Editing ----
  DatasetState State() const { return state_; }
  bool Modified() const { return modified_; }
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Delete();
  void EndPendingChange();

  // ---- The master-detail link ----
  void MasterChanged();   // re-applies the range from the master's current record
  void MasterDisabled();  // ends a pending change and removes the range
  bool HasRange() const;

  // ---- The view for bound controls (grids need random access) ----
  // Rows are the visible records in order, plus the pending new record while inserting.
  int ViewRowCount() const;
  // The record at row, read into a buffer with its calculated fields computed.
  RecordBuffer ViewRecordAt(int row);
  // Row of the current record (of the pending record while inserting), -1 for none.
  int ViewCurrentRow() const;
  // Row of the stored record with this identifier (RecordBuffer::RecordId), -1 when there is
  // none or it lies outside the visible records. Identifiers of deleted records are given
  // out again, so a caller that keeps one across a delete must forget it.
  int ViewRowOfRecord(int32_t id);
  // Makes the record at row current, as a move: end pending change, BeforeScroll, move,
  // scroll notification, AfterScroll. A row outside the visible records changes nothing.
  void ViewMoveToRow(int row);

  // The buffer field objects read and write: the record being computed, the pending record,
  // or the current record (empty without one).
  const RecordBuffer& ActiveBuffer() const;
  // Internal to the store: stores a converted value into the active buffer.
  void StoreFieldValue(Field& field, Value value);

  struct Impl;  // storage, indexes, cursor

 private:
  friend class DataSource;
  friend struct TableOps;
  void Notify(void (DataSource::*fn)());
  void NotifyField(Field& field);
  void SetState(DatasetState state);
  void Fire(const Event& event);
  [[noreturn]] void Fail(const std::string& text) const;  // raises "Name: text"
  void CheckActive() const;

  std::string name_;
  std::string table_name_;
  std::vector<FieldDef> field_defs_;
  std::vector<IndexDef> index_defs_;
  std::string index_field_names_;
  std::string master_fields_;
  int grow_by_ = 1000;
  bool read_only_ = false;

  std::vector<std::unique_ptr<Field>> declared_;   // persistent field objects
  std::vector<std::unique_ptr<Field>> automatic_;  // created at Open when none are declared
  std::vector<Field*> field_list_;
  std::vector<DataSource*> sources_;

  DatasetState state_ = DatasetState::kInactive;
  bool modified_ = false;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tivolo::store
