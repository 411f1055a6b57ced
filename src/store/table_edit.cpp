// Editing: Append, Edit, Post, Cancel, Delete, EndPendingChange, storage and constraints.
#include <algorithm>
#include <limits>

#include "store/errors.h"
#include "store/mem_table.h"
#include "store/table_impl.h"

namespace tivolo::store {

void MemTable::EndPendingChange() {
  CheckActive();
  Notify(&DataSource::NotifyEndPendingChange);
  if (state_ == DatasetState::kEdit || state_ == DatasetState::kInsert) {
    Notify(&DataSource::NotifyUpdateRecord);
    if (modified_) {
      Post();
    } else {
      Cancel();
    }
  }
}

void MemTable::Append() {
  EndPendingChange();
  TableOps::StartInsert(*this);
}

// The steps of a new record after the pending change has been ended.
void TableOps::StartInsert(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  if (t.read_only_) t.Fail("Cannot modify a read-only dataset");
  t.Fire(t.BeforeInsert);
  t.Fire(t.BeforeScroll);
  if (t.state_ != DatasetState::kBrowse) return;  // a handler started something else
  // Built where it is edited: outside edit and insert state nobody reads the pending buffer,
  // and reusing it keeps the room the previous record's values took.
  RecordBuffer& buf = m.pending;
  buf.id_ = -1;
  buf.stored_in_ = nullptr;
  buf.data.nums.assign(m.num_count, 0);
  buf.data.strs.resize(m.str_count);
  for (std::string& s : buf.data.strs)
    s.clear();
  buf.data.nulls.assign(t.field_defs_.size(), 1);
  buf.calc.assign(m.calc_count, Value{});
  for (auto& counter : m.counters) {
    if (counter.last == std::numeric_limits<int64_t>::max()) {
      t.Fail(FormatMessage("Autoincrement field '%s' has no numbers left",
                           t.field_defs_[static_cast<size_t>(counter.def)].name.c_str()));
    }
    ++counter.last;
    // Only the low 32 bits are kept, read back as a signed number.
    int32_t low = static_cast<int32_t>(static_cast<uint32_t>(counter.last & 0xffffffff));
    buf.data.nums[static_cast<size_t>(m.def_slot[static_cast<size_t>(counter.def)])] = low;
    buf.data.nulls[static_cast<size_t>(counter.def)] = 0;
  }
  const int row = t.RecordCount();  // the pending record follows the stored ones
  TableOps::NotifySources(t, [row](DataSource& ds) { ds.NotifyRowAboutToBeInserted(row); });
  m.insert_return = m.cur;
  m.eof = true;
  t.SetState(DatasetState::kInsert);
  CopyMasterValues(t);
  t.Fire(t.OnNewRecord);
  t.modified_ = false;
  TableOps::NotifySources(t, [row](DataSource& ds) { ds.NotifyRowInserted(row); });
  t.Fire(t.AfterInsert);
  t.Fire(t.AfterScroll);
}

void MemTable::Edit() {
  if (state_ == DatasetState::kEdit || state_ == DatasetState::kInsert) return;
  CheckActive();
  Impl& m = *impl_;
  if (m.cur < 0) {
    EndPendingChange();
    TableOps::StartInsert(*this);
    return;
  }
  EndPendingChange();
  if (read_only_) Fail("Cannot modify a read-only dataset");
  Fire(BeforeEdit);
  if (state_ != DatasetState::kBrowse || m.cur < 0) return;
  m.pending = m.cur_buf;
  TableOps::Calc(*this, m.pending, true);
  SetState(DatasetState::kEdit);
  Notify(&DataSource::NotifyRecordChanged);
  Fire(AfterEdit);
}

void MemTable::Post() {
  if (state_ != DatasetState::kEdit && state_ != DatasetState::kInsert) {
    Fail("Dataset not in edit or insert mode");
  }
  Notify(&DataSource::NotifyUpdateRecord);
  Notify(&DataSource::NotifyEndPendingChange);
  Fire(BeforePost);
  // A handler or a detail may have ended the change already.
  if (state_ != DatasetState::kEdit && state_ != DatasetState::kInsert) return;
  TableOps::StoreRecord(*this);
  Fire(AfterPost);
}

void MemTable::Cancel() {
  if (state_ != DatasetState::kEdit && state_ != DatasetState::kInsert) return;
  bool inserting = state_ == DatasetState::kInsert;
  Notify(&DataSource::NotifyEndPendingChange);
  Fire(BeforeCancel);
  if (inserting) Fire(BeforeScroll);
  if (state_ != DatasetState::kEdit && state_ != DatasetState::kInsert) return;
  Impl& m = *impl_;
  const int row = inserting ? RecordCount() : static_cast<int>(m.cur - static_cast<long>(m.lo));
  if (inserting) {
    TableOps::NotifySources(*this, [row](DataSource& ds) { ds.NotifyRowAboutToBeRemoved(row); });
  }
  m.pending = RecordBuffer{};
  TableOps::SetCursor(*this, inserting ? m.insert_return : m.cur);
  SetState(DatasetState::kBrowse);
  if (inserting) {
    TableOps::NotifySources(*this, [row](DataSource& ds) { ds.NotifyRowRemoved(row); });
  } else {
    TableOps::NotifySources(*this, [row](DataSource& ds) { ds.NotifyRowChanged(row); });
  }
  Fire(AfterCancel);
  if (inserting) Fire(AfterScroll);
}

void MemTable::Delete() {
  CheckActive();
  if (state_ == DatasetState::kInsert) {
    Cancel();
    return;
  }
  Impl& m = *impl_;
  if (m.cur < 0) Fail("Cannot perform this operation on an empty dataset");
  Notify(&DataSource::NotifyEndPendingChange);
  Fire(BeforeDelete);
  Fire(BeforeScroll);
  if (m.cur < 0) return;  // a handler emptied the view
  long pos = m.cur;
  const int row = static_cast<int>(pos - static_cast<long>(m.lo));
  TableOps::NotifySources(*this, [row](DataSource& ds) { ds.NotifyRowAboutToBeRemoved(row); });
  if (state_ == DatasetState::kEdit) m.pending = RecordBuffer{};
  TableOps::RemoveRecord(*this, m.Order().At(static_cast<size_t>(pos)));
  TableOps::UpdateBounds(*this);
  // The following record takes the deleted one's place; at the end, the one before it.
  TableOps::SetCursor(*this, pos);
  SetState(DatasetState::kBrowse);
  TableOps::NotifySources(*this, [row](DataSource& ds) { ds.NotifyRowRemoved(row); });
  Fire(AfterDelete);
  Fire(AfterScroll);
}

// ---- Storage ----

void TableOps::CheckConstraints(MemTable& t, const RecordData& rec, int32_t self) {
  MemTable::Impl& m = *t.impl_;
  for (TableIndex& index : m.indexes) {
    if (!index.primary && !index.unique) continue;
    if (index.primary) {
      for (const KeyPart& part : index.parts) {
        if (rec.nulls[static_cast<size_t>(part.def)]) {
          throw EngineError(
              FormatMessage("Constraint '%s' violated. Value in field '%s' cannot be null",
                            index.constraint_name.c_str(),
                            t.field_defs_[static_cast<size_t>(part.def)].name.c_str()),
              kErrorNullInPrimaryKey);
        }
      }
    }
    // Entries are in key order: any duplicate sits in the run of equal keys.
    OrderList& order = index.order;
    size_t n = index.parts.size();
    for (size_t pos = LowerBound(m, index, n, rec); pos < order.Size(); ++pos) {
      int32_t id = order.At(pos);
      if (CompareToEntry(m, index, n, rec, id) != 0) break;
      if (id == self) continue;
      if (index.primary) {
        throw EngineError(FormatMessage("Primary Key constraint '%s' violated. Duplicate found.",
                                        index.constraint_name.c_str()),
                          kErrorDuplicatePrimaryKey);
      }
      throw EngineError(FormatMessage("Constraint unique '%s' violated. Duplicate found.",
                                      index.constraint_name.c_str()),
                        kErrorDuplicateUnique);
    }
  }
}

PostPlan TableOps::PlanPost(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  const bool inserting = t.state_ == DatasetState::kInsert;
  const RecordData& rec = m.pending.data;
  PostPlan plan;
  plan.from =
      inserting ? static_cast<int>(m.Visible()) : static_cast<int>(m.cur - static_cast<long>(m.lo));
  long pos = inserting ? static_cast<long>(m.natural.Size()) : m.cur;
  if (m.current && inserting) {
    plan.place = PlacePosition(t, *m.current, rec);
  } else if (m.current) {
    RecordData stored;
    m.store.Get(m.pending.id_, stored);
    if (CompareKeys(m.current->parts, m.current->parts.size(), stored, rec) != 0) {
      plan.place = PlacePosition(t, *m.current, rec, FindEntry(t, m.current, m.pending.id_));
    }
  }
  if (plan.place != kNoEntry) pos = static_cast<long>(plan.place);
  // A visible record stays visible only with a key in the range, whose start then stays put.
  const bool leaves = m.has_range && m.current &&
                      CompareKeys(m.current->parts, m.range_parts, rec, m.range_key) != 0;
  plan.to = leaves ? -1 : static_cast<int>(pos - static_cast<long>(m.lo));
  return plan;
}

long TableOps::InsertRecord(MemTable& t, const PostPlan& plan) {
  MemTable::Impl& m = *t.impl_;
  const RecordData& rec = m.pending.data;
  int32_t id = m.max_id + 1;
  if (m.used.size() <= static_cast<size_t>(id)) m.used.resize(static_cast<size_t>(id) + 1, 0);
  m.store.Put(id, rec);
  m.used[static_cast<size_t>(id)] = 1;
  m.max_id = id;
  ++m.record_total;
  m.natural.PushBack(id);
  for (TableIndex& index : m.indexes) {
    if (&index == m.current) {
      index.order.Insert(plan.place, id);
    } else {
      Place(t, index, rec, id);
    }
  }
  return static_cast<long>(m.current ? plan.place : m.natural.Size() - 1);
}

long TableOps::RewriteRecord(MemTable& t, const PostPlan& plan) {
  MemTable::Impl& m = *t.impl_;
  const RecordData& rec = m.pending.data;
  const int32_t id = m.pending.id_;
  RecordData stored;
  m.store.Get(id, stored);
  std::vector<TableIndex*> moved;
  for (TableIndex& index : m.indexes) {
    if (CompareKeys(index.parts, index.parts.size(), stored, rec) != 0) {
      index.order.Erase(FindEntry(t, &index, id));
      moved.push_back(&index);
    }
  }
  m.store.Put(id, rec);
  for (TableIndex* index : moved) {
    if (index == m.current) {
      index->order.Insert(plan.place, id);
    } else {
      Place(t, *index, rec, id);
    }
  }
  return static_cast<long>(FindEntry(t, m.current, id));
}

// Post's store step: constraints, storage and indexes, then browse state with the stored
// record current; the row's move is announced before the store changes and reported after.
void TableOps::StoreRecord(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  const bool inserting = t.state_ == DatasetState::kInsert;
  CheckConstraints(t, m.pending.data, inserting ? -1 : m.pending.id_);
  const PostPlan plan = PlanPost(t);
  NotifyPost(t, plan, false);
  const long pos = inserting ? InsertRecord(t, plan) : RewriteRecord(t, plan);
  if (inserting) {
    BoundsAfterInsert(t, m.pending.data);
  } else {
    UpdateBounds(t);
  }
  SetCursor(t, pos);
  t.SetState(DatasetState::kBrowse);
  NotifyPost(t, plan, true);
}

void TableOps::RemoveRecord(MemTable& t, int32_t id) {
  MemTable::Impl& m = *t.impl_;
  for (TableIndex& index : m.indexes)
    index.order.Erase(FindEntry(t, &index, id));
  m.natural.Erase(FindEntry(t, nullptr, id));
  m.used[static_cast<size_t>(id)] = 0;
  m.store.Free(id);
  --m.record_total;
  if (m.record_total == 0) {
    // An empty table numbers its slots from 0 again.
    m.store.Clear();
    m.used.clear();
    m.max_id = -1;
  } else if (id == m.max_id) {
    while (m.max_id >= 0 && !m.used[static_cast<size_t>(m.max_id)])
      --m.max_id;
  }
}

}  // namespace tivolo::store
