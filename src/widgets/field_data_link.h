// The link of one bound control to one field of a data source's table: it finds the field by
// name whenever it is needed (the table may be closed and opened again), tells the control
// when the value to show may have changed, and puts the table into edit state before the
// control writes a value the user typed.
#pragma once

#include <functional>
#include <string>

#include "store/data_source.h"
#include "store/field.h"

namespace tivolo::widgets {

class FieldDataLink : public store::DataLink {
 public:
  FieldDataLink() = default;

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(std::string name);
  void SetDataSource(store::DataSource* source);

  // The bound field of an open table, null without one.
  store::Field* GetField() const;
  // True when the table is inserting or editing, after starting an edit from browse state.
  // False (nothing changes) when the table is closed, read-only or without a record to edit.
  bool Edit();

  // Writes a value the user gave, without the control being told to reload what it wrote.
  template <class Fn>
  bool Write(Fn&& write) {
    store::Field* field = GetField();
    if (!field || !Edit()) return false;
    writing_ = true;
    try {
      write(*field);
    } catch (...) {
      writing_ = false;
      throw;
    }
    writing_ = false;
    return true;
  }

  // Run when the value to show may have changed; the control reads GetField() then.
  std::function<void()> on_reload;

  void StateChanged() override { Reload(); }
  void DataSetChanged() override { Reload(); }
  void DataSetScrolled() override { Reload(); }
  void RecordChanged() override { Reload(); }
  void FieldChanged(store::Field& field) override;
  void DataSetDetached() override { Reload(); }

 private:
  void Reload();

  std::string field_name_;
  bool writing_ = false;
};

}  // namespace tivolo::widgets
