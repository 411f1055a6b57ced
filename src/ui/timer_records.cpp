#include "ui/timer_records.h"

#include "boxdata/box_tables.h"

namespace tivolo::ui {
namespace {

using store::FieldType;

// The view row of the record, made current; TimerMissingError when the table has none.
void MoveTo(store::MemTable& timers, int32_t id) {
  const int row = timers.ViewRowOfRecord(id);
  if (row < 0 || timers.State() != store::DatasetState::kBrowse)
    throw TimerMissingError("Timers: the timer to change is no longer in the list");
  if (timers.ViewCurrentRow() != row) timers.ViewMoveToRow(row);
}

StoredValue ValueOf(const store::RecordBuffer& row, const store::Field& f) {
  StoredValue v;
  v.null = row.IsNull(f);
  if (v.null) return v;
  switch (f.DataType()) {
    case FieldType::kString:
      v.text = row.AsString(f);
      break;
    case FieldType::kDateTime:
      v.when = row.AsDateTime(f);
      break;
    default:
      v.number = row.AsLargeInt(f);
      break;
  }
  return v;
}

void Put(store::Field& f, const StoredValue& v) {
  if (v.null) {
    f.Clear();
    return;
  }
  switch (f.DataType()) {
    case FieldType::kString:
      f.SetAsString(v.text);
      break;
    case FieldType::kDateTime:
      f.SetAsDateTime(v.when);
      break;
    default:
      f.SetAsLargeInt(v.number);
      break;
  }
}

// The pending record takes the values; the table is inserting or editing.
void PutAll(store::MemTable& timers, const StoredTimer& timer) {
  size_t i = 0;
  for (store::Field* f : timers.Fields()) {
    if (f->IsCalculated()) continue;
    if (i >= timer.values.size()) break;
    Put(*f, timer.values[i++]);
  }
}

// Runs change on the record being inserted or edited and posts it; a failure drops the change.
template <class Change>
void PostChange(store::MemTable& timers, Change change) {
  try {
    change();
    timers.Post();
  } catch (...) {
    timers.Cancel();
    throw;
  }
}

}  // namespace

int32_t CurrentTimerId(store::MemTable& timers) {
  if (!timers.Active()) return -1;
  const int row = timers.ViewCurrentRow();
  return row < 0 ? -1 : timers.ViewRecordAt(row).RecordId();
}

StoredTimer ReadTimer(store::MemTable& timers, int32_t id) {
  const int row = timers.ViewRowOfRecord(id);
  if (row < 0) throw TimerMissingError("Timers: the timer is no longer in the list");
  const store::RecordBuffer record = timers.ViewRecordAt(row);
  StoredTimer timer;
  for (const store::Field* f : timers.Fields()) {
    if (!f->IsCalculated()) timer.values.push_back(ValueOf(record, *f));
  }
  return timer;
}

int32_t InsertTimer(store::MemTable& timers, const StoredTimer& timer) {
  const boxdata::ChangeEventsDetached detached(timers);
  timers.Append();
  PostChange(timers, [&] { PutAll(timers, timer); });
  return CurrentTimerId(timers);
}

void RewriteTimer(store::MemTable& timers, int32_t id, const StoredTimer& timer) {
  MoveTo(timers, id);
  const boxdata::ChangeEventsDetached detached(timers);
  timers.Edit();
  PostChange(timers, [&] { PutAll(timers, timer); });
}

void DeleteTimer(store::MemTable& timers, int32_t id) {
  MoveTo(timers, id);
  timers.Delete();
}

bool TimerDisabled(store::MemTable& timers, int32_t id) {
  const int row = timers.ViewRowOfRecord(id);
  if (row < 0) throw TimerMissingError("Timers: the timer is no longer in the list");
  return timers.ViewRecordAt(row).AsLargeInt(timers.FieldNamed(boxdata::fields::kDisabled)) != 0;
}

void SwitchTimer(store::MemTable& timers, int32_t id, bool disabled) {
  MoveTo(timers, id);
  const boxdata::ChangeEventsDetached detached(timers);
  timers.Edit();
  PostChange(timers, [&] {
    timers.FieldNamed(boxdata::fields::kDisabled).SetAsLargeInt(disabled ? 1 : 0);
  });
}

}  // namespace tivolo::ui
