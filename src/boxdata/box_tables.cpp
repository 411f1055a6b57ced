#include "boxdata/box_tables.h"

#include <atomic>
#include <utility>

namespace tivolo::boxdata {
namespace {

using store::FieldKind;
using store::FieldType;
using store::IndexOption;

// The store's catalogue holds one table per name; every BoxTables (the program has one,
// tests several) gets names of its own.
std::string CatalogueName(const char* table) {
  static std::atomic<unsigned> counter{0};
  const unsigned n = counter++;
  return n == 0 ? std::string(table) : std::string(table) + "_" + std::to_string(n);
}

store::Field& Declare(store::MemTable& t, const char* name, FieldType type, int size,
                      const char* label, int width, bool visible,
                      FieldKind kind = FieldKind::kData) {
  store::Field& f = t.DeclareField(name, type, size, kind);
  if (label) f.SetDisplayLabel(label);
  f.SetDisplayWidth(width);
  f.SetVisible(visible);
  return f;
}

void DefineBouquet(store::MemTable& t) {
  t.SetTableName(CatalogueName("Bouquet"));
  t.FieldDefs() = {{fields::kId, FieldType::kAutoInc, 0},
                   {fields::kBouquet, FieldType::kString, kBouquetSize},
                   {fields::kType, FieldType::kSmallint, 0}};
  t.IndexDefs() = {{"Id", "Id", IndexOption::kPrimary | IndexOption::kUnique}};
  t.SetGrowBy(1000);
}

void DefineZenders(store::MemTable& t, store::DataSource& master) {
  t.SetTableName(CatalogueName("Zenders"));
  // A stream channel's reference holds its URL: Service keeps any length.
  Declare(t, fields::kZender, FieldType::kString, kZenderSize, "Channel", 30, true);
  Declare(t, fields::kSubId, FieldType::kAutoInc, 0, nullptr, 10, false);
  Declare(t, fields::kId, FieldType::kInteger, 0, nullptr, 10, false);
  Declare(t, fields::kService, FieldType::kString, 0, nullptr, 40, false);
  // No index on Service: nothing orders or searches by it, and references run to 1,500
  // characters.
  t.IndexDefs() = {{"ZendersIndex", "Id;Subid", IndexOption::kPrimary}};
  t.SetIndexFieldNames("Id");
  t.SetMasterSource(&master);
  t.SetMasterFields("Id");
  t.SetGrowBy(1000);
}

// The fields TimersCalcFields reads and sets; days[i] is d<i>.
struct RepetitionFields {
  store::Field* mask;
  store::Field* repeated;
  std::array<store::Field*, 7> days;
};

RepetitionFields FindRepetitionFields(store::MemTable& t) {
  RepetitionFields f{&t.FieldNamed(fields::kRepeatedOrg), &t.FieldNamed(fields::kRepeated), {}};
  for (size_t i = 0; i < f.days.size(); ++i)
    f.days[i] = &t.FieldNamed(fields::kDays[i]);
  return f;
}

void ComputeRepetition(const RepetitionFields& f) {
  const auto mask = static_cast<uint32_t>(f.mask->AsLargeInt());
  f.repeated->SetAsBoolean(mask != 0);
  if (mask == 0) return;
  // Bit 0 is Monday (d1) ... bit 5 Saturday (d6), bit 6 Sunday (d0).
  for (int bit = 0; bit < 7; ++bit) {
    if (mask & (1u << bit)) f.days[static_cast<size_t>((bit + 1) % 7)]->SetAsBoolean(true);
  }
}

void DefineTimers(store::MemTable& t) {
  t.SetTableName(CatalogueName("Timers"));
  Declare(t, fields::kZender, FieldType::kString, kZenderSize, "Channel", 20, true);
  Declare(t, fields::kName, FieldType::kString, 0, "Description", 40, true);
  Declare(t, fields::kBegin, FieldType::kDateTime, 0, "Begin", 18, true)
      .SetDisplayFormat(kBeginEndFormat);
  Declare(t, fields::kEnd, FieldType::kDateTime, 0, "End", 18, true)
      .SetDisplayFormat(kBeginEndFormat);
  Declare(t, fields::kRepeated, FieldType::kBoolean, 0, "Repeated", 5, true,
          FieldKind::kCalculated);
  for (const char* day : {"d1", "d2", "d3", "d4", "d5", "d6", "d0"}) {
    Declare(t, day, FieldType::kBoolean, 0, nullptr, 2, true, FieldKind::kCalculated);
  }
  Declare(t, fields::kAfterevent, FieldType::kString, kAftereventSize, "Afterevent", 10, true);
  Declare(t, fields::kJustplay, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kDisabled, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kServiceref, FieldType::kString, 0, nullptr, 40, false);
  Declare(t, fields::kDescription, FieldType::kString, 0, nullptr, 40, false);
  Declare(t, fields::kEit, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kRepeatedOrg, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kExtraAttributes, FieldType::kString, 0, nullptr, 40, false);
  Declare(t, fields::kChildLines, FieldType::kString, 0, nullptr, 40, false);
  Declare(t, fields::kBeginSeconds, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kEndSeconds, FieldType::kLargeint, 0, nullptr, 15, false);
  Declare(t, fields::kBeginRead, FieldType::kDateTime, 0, nullptr, 18, false);
  Declare(t, fields::kEndRead, FieldType::kDateTime, 0, nullptr, 18, false);
  Declare(t, fields::kListIndex, FieldType::kLargeint, 0, nullptr, 15, false);
  t.IndexDefs() = {{"BeginEnd", "Begin;End", IndexOption::kNone},
                   {"testje", "Zender", IndexOption::kNone}};
  t.SetIndexFieldNames("Begin;End");
  // Runs for every record a scan reads: the handler keeps its field objects (declared fields
  // live as long as the table) instead of looking them up by name each time.
  t.OnCalcFields = [f = FindRepetitionFields(t)](store::MemTable&) { ComputeRepetition(f); };
  t.SetGrowBy(1000);
}

}  // namespace

BoxTables::BoxTables() {
  ds_bouquet.SetDataSet(&bouquet);
  ds_zenders.SetDataSet(&zenders);
  ds_timers.SetDataSet(&timers);
  DefineBouquet(bouquet);
  DefineZenders(zenders, ds_bouquet);
  DefineTimers(timers);
}

BoxTables::~BoxTables() = default;

void BoxTables::Open() {
  for (store::MemTable* t : {&bouquet, &zenders, &timers}) {
    if (!t->Active()) t->Open();
  }
}

ChangeEventsDetached::ChangeEventsDetached(store::MemTable& table)
    : table_(table),
      before_insert_(std::exchange(table.BeforeInsert, nullptr)),
      after_insert_(std::exchange(table.AfterInsert, nullptr)),
      before_edit_(std::exchange(table.BeforeEdit, nullptr)),
      after_edit_(std::exchange(table.AfterEdit, nullptr)),
      before_post_(std::exchange(table.BeforePost, nullptr)),
      after_post_(std::exchange(table.AfterPost, nullptr)) {}

ChangeEventsDetached::~ChangeEventsDetached() {
  table_.BeforeInsert = std::move(before_insert_);
  table_.AfterInsert = std::move(after_insert_);
  table_.BeforeEdit = std::move(before_edit_);
  table_.AfterEdit = std::move(after_edit_);
  table_.BeforePost = std::move(before_post_);
  table_.AfterPost = std::move(after_post_);
}

void TimersCalcFields(store::MemTable& timers) {
  ComputeRepetition(FindRepetitionFields(timers));
}

void EmptyTables(BoxTables& tables) {
  auto empty = [](store::MemTable& table) {
    table.EndPendingChange();
    while (table.RecordCount() > 0) {
      table.First();
      table.Delete();
    }
  };
  empty(tables.timers);
  // Every bouquet's channels, not only the current bouquet's range.
  tables.zenders.MasterDisabled();
  empty(tables.zenders);
  empty(tables.bouquet);
  tables.zenders.MasterChanged();
}

}  // namespace tivolo::boxdata
