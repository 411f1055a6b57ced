// The binding of one control to one field of a data source, for the edit, the date-time picker
// and the drop-down list of the dialogs: it holds the source and the field's name, tells the
// control when to show the field anew, and stores what the user entered, putting the table into
// edit state first.
#pragma once

#include <functional>
#include <string>

#include "store/data_source.h"
#include "store/field.h"
#include "store/mem_table.h"

namespace tivolo::widgets {

class FieldLink : private store::DataLink {
 public:
  // `show` runs whenever the control should show the field anew: the record moved or was
  // re-read, editing began or ended, or the field was assigned (also by the control itself).
  explicit FieldLink(std::function<void()> show) : show_(std::move(show)) {}

  // Binds to a field of the source's table (a null source unbinds) and shows it.
  void Bind(store::DataSource* source, std::string field_name);
  store::DataSource* Source() const { return DataLink::Source(); }
  const std::string& FieldName() const { return field_name_; }
  // The bound field of an open table, null otherwise.
  store::Field* GetField() const;

  // The one way a control stores what the user entered: a browsing table starts an edit, then
  // `write` gets the field. False, with nothing written, when the table cannot take it
  // (closed, read-only, no such field).
  template <class Fn>
  bool Write(Fn&& write) {
    if (!GetField() || !Edit()) return false;
    store::Field* field = GetField();
    if (!field) return false;
    write(*field);
    return true;
  }

 private:
  bool Editing() const;
  bool Edit();  // true when the table is in edit or insert state afterwards

  void StateChanged() override { Show(); }
  void DataSetChanged() override { Show(); }
  void DataSetScrolled() override { Show(); }
  void RecordChanged() override { Show(); }
  void FieldChanged(store::Field& field) override;
  void DataSetDetached() override { Show(); }
  void RowChanged(int) override { Show(); }
  void Show() const;

  std::function<void()> show_;
  std::string field_name_;
};

}  // namespace tivolo::widgets
