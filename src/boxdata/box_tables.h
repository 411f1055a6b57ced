// The three tables the program keeps of the box: Bouquet (named channel lists), Zenders (the
// channels of each bouquet, detail of Bouquet by Id) and Timers (the recording timers, in
// Begin, End order), with their data sources, fields, indexes and display settings.
#pragma once

#include <array>
#include <string>

#include "store/data_source.h"
#include "store/mem_table.h"

namespace tivolo::boxdata {

// Field names.
namespace fields {
inline constexpr const char* kId = "Id";
inline constexpr const char* kBouquet = "Bouquet";
inline constexpr const char* kType = "Type";
inline constexpr const char* kZender = "Zender";
inline constexpr const char* kSubId = "SubId";
inline constexpr const char* kService = "Service";
inline constexpr const char* kName = "Name";
inline constexpr const char* kBegin = "Begin";
inline constexpr const char* kEnd = "End";
inline constexpr const char* kRepeated = "Repeated";
inline constexpr const char* kAfterevent = "Afterevent";
inline constexpr const char* kJustplay = "Justplay";
inline constexpr const char* kDisabled = "Disabled";
inline constexpr const char* kServiceref = "Serviceref";
inline constexpr const char* kDescription = "Description";
inline constexpr const char* kEit = "Eit";
inline constexpr const char* kRepeatedOrg = "RepeatedOrg";
// What the box's file held beyond the ten attributes, written back unchanged: the other
// attributes (" name=\"value\"" each) and the child lines (each followed by "\n").
inline constexpr const char* kExtraAttributes = "ExtraAttributes";
inline constexpr const char* kChildLines = "ChildLines";
// Begin and End as read (seconds from the file, and the local value they gave), so that an
// unchanged time is written back with its own seconds.
inline constexpr const char* kBeginSeconds = "BeginSeconds";
inline constexpr const char* kEndSeconds = "EndSeconds";
inline constexpr const char* kBeginRead = "BeginRead";
inline constexpr const char* kEndRead = "EndRead";
// The place (from 0) of the timer in the list it was read from; none for a timer added here.
// A save tells by it which timer of the box's list the user changed.
inline constexpr const char* kListIndex = "ListIndex";
// d0 (Sunday) to d6 (Saturday).
inline constexpr std::array<const char*, 7> kDays = {"d0", "d1", "d2", "d3", "d4", "d5", "d6"};
}  // namespace fields

inline constexpr int kZenderSize = 20;
inline constexpr int kBouquetSize = 20;
inline constexpr int kAftereventSize = 20;
inline constexpr const char* kBeginEndFormat = "ddd dd-mm-yy  hh:nn";

// Owns the tables and their data sources; Open() opens any table not open yet (Bouquet first,
// so that Zenders sees its master).
class BoxTables {
 public:
  BoxTables();
  BoxTables(const BoxTables&) = delete;
  BoxTables& operator=(const BoxTables&) = delete;
  ~BoxTables();

  void Open();

  store::MemTable bouquet{"Bouquet"};
  store::DataSource ds_bouquet{"Ds_Bouquet"};
  store::MemTable zenders{"Zenders"};
  store::DataSource ds_zenders{"Ds_Zenders"};
  store::MemTable timers{"Timers"};
  store::DataSource ds_timers{"Ds_Timers"};
};

// Clears a table's insert, edit and post events for the life of the object and sets them again
// after, also on failure: the window's after-insert and after-edit events open the timer
// dialogs, which a reader, a conversion or an undone change must not.
class ChangeEventsDetached {
 public:
  explicit ChangeEventsDetached(store::MemTable& table);
  ~ChangeEventsDetached();
  ChangeEventsDetached(const ChangeEventsDetached&) = delete;
  ChangeEventsDetached& operator=(const ChangeEventsDetached&) = delete;

 private:
  store::MemTable& table_;
  store::MemTable::Event before_insert_, after_insert_, before_edit_, after_edit_, before_post_,
      after_post_;
};

// Deletes every record of the three tables, ending any pending change first: the box's files
// are read again.
void EmptyTables(BoxTables& tables);

// Computes Repeated and d0 to d6 from the low 32 bits of RepeatedOrg: bit 0 Monday (d1) to
// bit 6 Sunday (d0); a clear bit leaves its day without value. Timers' OnCalcFields.
void TimersCalcFields(store::MemTable& timers);

}  // namespace tivolo::boxdata
