// Timers records taken out of the table and put back by their record identifier: what undo
// and redo do to the table, and the on/off switch. Every change runs with the table's insert
// and edit events detached (the window's open the timer dialogs) and leaves the table in
// browse state with the changed record current. Qt-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/error.h"
#include "store/mem_table.h"

namespace tivolo::ui {

// A timer the table should hold is not there (the list was read again meanwhile).
class TimerMissingError : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "TimerMissingError"; }
};

// One data field's stored value.
struct StoredValue {
  bool null = true;
  int64_t number = 0;        // integer fields
  store::DateTime when = 0;  // date-time fields
  std::string text;          // text fields
  bool operator==(const StoredValue&) const = default;
};

// Every data field of a record, in the table's field order; calculated fields follow from them.
struct StoredTimer {
  std::vector<StoredValue> values;
  bool operator==(const StoredTimer&) const = default;
};

// The current record's identifier (also while it is edited); -1 for none, or a new record.
int32_t CurrentTimerId(store::MemTable& timers);
// The stored values of the record with this identifier; TimerMissingError when there is none.
StoredTimer ReadTimer(store::MemTable& timers, int32_t id);

// Appends a record holding the values and posts it; returns its identifier.
int32_t InsertTimer(store::MemTable& timers, const StoredTimer& timer);
// Writes the values into the record and posts it.
void RewriteTimer(store::MemTable& timers, int32_t id, const StoredTimer& timer);
// Deletes the record; the cursor moves to a neighbour as with any delete.
void DeleteTimer(store::MemTable& timers, int32_t id);

// The on/off switch: Disabled set to 1 or back to 0 and nothing else of the record touched.
bool TimerDisabled(store::MemTable& timers, int32_t id);
void SwitchTimer(store::MemTable& timers, int32_t id, bool disabled);

}  // namespace tivolo::ui
