// The binding of one control to one field of a data source, for the edit, date-time picker,
// drop-down list and check box of the dialogs: it tells the control when to show the field
// anew and when to write its pending input into the field, and puts the table into edit
// state when the user starts changing the value.
#pragma once

#include <functional>
#include <string>

#include "store/data_source.h"
#include "store/field.h"
#include "store/mem_table.h"

namespace tivolo::widgets {

class FieldLink : private store::DataLink {
 public:
  explicit FieldLink(std::string field_name = {}) : field_name_(std::move(field_name)) {}

  void Bind(store::DataSource* source, std::string field_name);
  store::DataSource* Source() const { return DataLink::Source(); }
  store::MemTable* Table() const { return DataSet(); }
  // The bound field of an open table, null otherwise.
  store::Field* GetField() const;
  // True while the table is in edit or insert state.
  bool Editing() const;
  // Puts a browsing table into edit state; true when the field can take a value now.
  bool Edit();

  // Show the field's value anew: the record moved or was re-read, editing began or ended,
  // or the field was assigned (also by the control itself).
  std::function<void()> on_data_change;
  // Write pending input into the field now: the table is about to post or move.
  std::function<void()> on_update_record;
  // The table's state changed (the control may enable or disable itself).
  std::function<void()> on_state_change;

 private:
  void StateChanged() override;
  void DataSetChanged() override { Show(); }
  void DataSetScrolled() override { Show(); }
  void RecordChanged() override { Show(); }
  void FieldChanged(store::Field& field) override;
  void UpdateRecord() override;
  void DataSetDetached() override { Show(); }
  void RowChanged(int) override { Show(); }
  void Show() const;

  std::string field_name_;
};

}  // namespace tivolo::widgets
