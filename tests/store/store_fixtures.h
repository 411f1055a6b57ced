// A small table for tests of the store's own behaviour, and recorders of notifications and
// events. Tests of the program's tables use boxdata::BoxTables.
#pragma once

#include <string>
#include <vector>

#include "store/store.h"

namespace tivolo::store::testing {

// Id autoinc (primary, unique), Bouquet text(20), Type smallint; no chosen order.
inline void DefineBouquet(MemTable& t) {
  t.SetTableName("Bouquet");
  t.FieldDefs() = {{"Id", FieldType::kAutoInc, 0},
                   {"Bouquet", FieldType::kString, 20},
                   {"Type", FieldType::kSmallint, 0}};
  t.IndexDefs() = {{"Id", "Id", IndexOption::kPrimary | IndexOption::kUnique}};
}

// Writes every notification of one data source into a shared trace as "prefix:what".
class Recorder : public DataLink {
 public:
  Recorder(std::vector<std::string>& trace, std::string prefix)
      : trace_(trace), prefix_(std::move(prefix)) {}
  void StateChanged() override {
    trace_.push_back(prefix_ + ":state " + std::to_string(static_cast<int>(Source()->State())));
  }
  void DataSetChanged() override { trace_.push_back(prefix_ + ":dataset"); }
  void DataSetScrolled() override { trace_.push_back(prefix_ + ":scroll"); }
  void RecordChanged() override { trace_.push_back(prefix_ + ":record"); }
  void FieldChanged(Field& f) override { trace_.push_back(prefix_ + ":field " + f.FieldName()); }
  void UpdateRecord() override { trace_.push_back(prefix_ + ":update"); }
  void EndPendingChange() override { trace_.push_back(prefix_ + ":endpending"); }

 private:
  std::vector<std::string>& trace_;
  std::string prefix_;
};

// Hooks every event of a table into the trace as "prefix.Event".
inline void TraceEvents(MemTable& t, std::vector<std::string>& trace, const std::string& p) {
  auto hook = [&trace, p](MemTable::Event& e, const char* name) {
    e = [&trace, p, name](MemTable&) { trace.push_back(p + "." + name); };
  };
  hook(t.BeforeInsert, "BeforeInsert");
  hook(t.AfterInsert, "AfterInsert");
  hook(t.BeforeEdit, "BeforeEdit");
  hook(t.AfterEdit, "AfterEdit");
  hook(t.BeforePost, "BeforePost");
  hook(t.AfterPost, "AfterPost");
  hook(t.BeforeCancel, "BeforeCancel");
  hook(t.AfterCancel, "AfterCancel");
  hook(t.BeforeDelete, "BeforeDelete");
  hook(t.AfterDelete, "AfterDelete");
  hook(t.BeforeScroll, "BeforeScroll");
  hook(t.AfterScroll, "AfterScroll");
  hook(t.OnNewRecord, "OnNewRecord");
}

// The visible records, first to last, as "a,b,c" of one field's text (moves the cursor).
inline std::string Scan(MemTable& t, const std::string& field) {
  std::string out;
  for (t.First(); !t.Eof(); t.Next()) {
    if (!out.empty()) out += ",";
    out += t.FieldNamed(field).AsString();
  }
  return out;
}

// Runs fn and gives the text of the DatabaseError it raised ("" when none).
template <class Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const DatabaseError& e) {
    return e.what();
  }
  return "";
}

}  // namespace tivolo::store::testing
