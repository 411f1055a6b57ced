// Tables shaped like the program's three, and a recorder of notifications and events.
#pragma once

#include <string>
#include <vector>

#include "store/store.h"

namespace tivolo::store::testing {

// Bouquet: Id autoinc (primary, unique), Bouquet text(20), Type smallint; no chosen order.
inline void DefineBouquet(MemTable& t) {
  t.SetTableName("Bouquet");
  t.FieldDefs() = {{"Id", FieldType::kAutoInc, 0},
                   {"Bouquet", FieldType::kString, 20},
                   {"Type", FieldType::kSmallint, 0}};
  t.IndexDefs() = {{"Id", "Id", IndexOption::kPrimary | IndexOption::kUnique}};
}

// Zenders: detail of the bouquet source by Id, ordered by ZendersIndex (Id;Subid).
inline void DefineZenders(MemTable& t, DataSource* master) {
  t.SetTableName("Zenders");
  t.FieldDefs() = {{"Zender", FieldType::kString, 20},
                   {"SubId", FieldType::kAutoInc, 0},
                   {"Id", FieldType::kInteger, 0},
                   {"Service", FieldType::kString, 40}};
  t.IndexDefs() = {{"ZendersIndex", "Id;Subid", IndexOption::kPrimary},
                   {"Service", "Service", IndexOption::kNone}};
  t.SetIndexFieldNames("Id");
  t.SetMasterFields("Id");
  t.SetMasterSource(master);
}

// Timers with its declared fields, calculated day fields and the repetition handler.
inline void DefineTimers(MemTable& t) {
  t.SetTableName("Timers");
  t.DeclareField("Zender", FieldType::kString, 20).SetDisplayLabel("Channel");
  t.DeclareField("Name", FieldType::kString, 40).SetDisplayLabel("Description");
  t.DeclareField("Begin", FieldType::kDateTime);
  t.DeclareField("End", FieldType::kDateTime);
  t.DeclareField("Repeated", FieldType::kBoolean, 0, FieldKind::kCalculated);
  for (const char* d : {"d1", "d2", "d3", "d4", "d5", "d6", "d0"}) {
    t.DeclareField(d, FieldType::kBoolean, 0, FieldKind::kCalculated);
  }
  t.DeclareField("Afterevent", FieldType::kString, 20);
  t.DeclareField("Justplay", FieldType::kLargeint);
  t.DeclareField("Disabled", FieldType::kLargeint);
  t.DeclareField("Serviceref", FieldType::kString, 40);
  t.DeclareField("Description", FieldType::kString, 40);
  t.DeclareField("Eit", FieldType::kLargeint);
  t.DeclareField("RepeatedOrg", FieldType::kLargeint);
  t.IndexDefs() = {{"BeginEnd", "Begin;End", IndexOption::kNone},
                   {"testje", "Zender", IndexOption::kNone}};
  t.SetIndexFieldNames("Begin;End");
  t.OnCalcFields = [](MemTable& table) {
    int32_t mask = table.FieldNamed("RepeatedOrg").AsInteger();
    table.FieldNamed("Repeated").SetAsBoolean(mask != 0);
    if (mask == 0) return;
    const char* days[] = {"d1", "d2", "d3", "d4", "d5", "d6", "d0"};
    for (int bit = 0; bit < 7; ++bit) {
      if (mask & (1 << bit)) table.FieldNamed(days[bit]).SetAsBoolean(true);
    }
  };
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
