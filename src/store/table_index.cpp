// Index order: key comparison, index choice, placement among equal keys, visible bounds, and
// the master-detail link.
#include <algorithm>

#include "store/errors.h"
#include "store/mem_table.h"
#include "store/table_impl.h"

namespace tivolo::store {

namespace {

int CompareText(std::string_view a, std::string_view b, bool case_insensitive) {
  if (!case_insensitive) {
    int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameNameList(const std::vector<std::string>& a, const std::vector<std::string>& b, size_t n) {
  if (a.size() < n || b.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    if (!SameName(a[i], b[i])) return false;
  }
  return true;
}

}  // namespace

int CompareKeys(const std::vector<KeyPart>& parts, size_t n, const RecordData& a,
                const RecordData& b) {
  for (size_t i = 0; i < n; ++i) {
    const KeyPart& p = parts[i];
    size_t def = static_cast<size_t>(p.def);
    bool an = a.nulls[def], bn = b.nulls[def];
    int c;
    if (an || bn) {
      c = an == bn ? 0 : (an ? -1 : 1);  // null first
    } else if (p.text) {
      c = CompareText(a.strs[static_cast<size_t>(p.slot)], b.strs[static_cast<size_t>(p.slot)],
                      p.case_insensitive);
    } else {
      int64_t x = a.nums[static_cast<size_t>(p.slot)], y = b.nums[static_cast<size_t>(p.slot)];
      c = x < y ? -1 : (x > y ? 1 : 0);
    }
    if (p.descending) c = -c;
    if (c != 0) return c;
  }
  return 0;
}

void TableOps::ChooseIndex(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  std::vector<std::string> given = SplitNames(t.index_field_names_);
  if (given.empty()) {
    m.current = nullptr;
    return;
  }
  auto usable = [](const TableIndex& index) {
    return !HasOption(index.def.options, IndexOption::kDescending) &&
           !HasOption(index.def.options, IndexOption::kExpression);
  };
  for (TableIndex& index : m.indexes) {
    std::vector<std::string> names = SplitNames(index.def.fields);
    if (usable(index) && names.size() == given.size() && SameNameList(names, given, given.size())) {
      m.current = &index;
      return;
    }
  }
  for (TableIndex& index : m.indexes) {
    if (usable(index) && SameNameList(SplitNames(index.def.fields), given, given.size())) {
      m.current = &index;
      return;
    }
  }
  t.Fail(FormatMessage("No index for fields '%s'", t.index_field_names_.c_str()));
}

int CompareToEntry(const MemTable::Impl& m, const TableIndex& index, size_t n, const RecordData& a,
                   int32_t id) {
  for (size_t i = 0; i < n; ++i) {
    const KeyPart& p = index.parts[i];
    const size_t def = static_cast<size_t>(p.def);
    const size_t slot = static_cast<size_t>(p.slot);
    bool an = a.nulls[def];
    bool bn = m.store.IsNull(id, def);
    int c;
    if (an || bn) {
      c = an == bn ? 0 : (an ? -1 : 1);
    } else if (p.text) {
      c = CompareText(a.strs[slot], m.store.Str(id, slot), p.case_insensitive);
    } else {
      int64_t x = a.nums[slot], y = m.store.Num(id, slot);
      c = x < y ? -1 : (x > y ? 1 : 0);
    }
    if (p.descending) c = -c;
    if (c != 0) return c;
  }
  return 0;
}

// Readers add records in key order (autoincrement keys, channels bouquet by bouquet), so a key
// beyond the last entry is checked first: one comparison instead of a search through the store.
static bool BeyondLast(const MemTable::Impl& m, const TableIndex& index, size_t n,
                       const RecordData& key) {
  const size_t size = index.order.Size();
  return size > 0 && CompareToEntry(m, index, n, key, index.order.At(size - 1)) > 0;
}

size_t LowerBound(const MemTable::Impl& m, const TableIndex& index, size_t n,
                  const RecordData& key) {
  const OrderList& order = index.order;
  if (BeyondLast(m, index, n, key)) return order.Size();
  size_t lo = 0, hi = order.Size();
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (CompareToEntry(m, index, n, key, order.At(mid)) > 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

// Bisection among the entries in key order; an equal probe places the new entry right before
// the probed one, so equal keys do not always go last. A key beyond the last entry meets no
// equal probe, so it goes to the end either way.
size_t TableOps::PlacePosition(MemTable& t, const TableIndex& index, const RecordData& key,
                               size_t skip) {
  const MemTable::Impl& m = *t.impl_;
  const size_t n = index.parts.size();
  auto entry = [&](long i) {
    const size_t pos = static_cast<size_t>(i);
    return index.order.At(skip != kNoEntry && pos >= skip ? pos + 1 : pos);
  };
  const long size = static_cast<long>(index.order.Size()) - (skip != kNoEntry ? 1 : 0);
  long lo = 0, hi = size - 1;
  if (size > 0 && CompareToEntry(m, index, n, key, entry(hi)) > 0) lo = size;
  while (lo <= hi) {
    long mid = (lo + hi) / 2;
    int c = CompareToEntry(m, index, n, key, entry(mid));
    if (c < 0) {
      hi = mid - 1;
    } else if (c > 0) {
      lo = mid + 1;
    } else {
      lo = mid;
      break;
    }
  }
  return static_cast<size_t>(lo);
}

size_t TableOps::Place(MemTable& t, TableIndex& index, const RecordData& key, int32_t id) {
  const size_t pos = PlacePosition(t, index, key);
  index.order.Insert(pos, id);
  return pos;
}

size_t TableOps::FindEntry(MemTable& t, TableIndex* index, int32_t id) {
  MemTable::Impl& m = *t.impl_;
  if (!index) {
    OrderList& order = m.natural;
    size_t lo = 0, hi = order.Size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      if (order.At(mid) < id) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  }
  RecordData key;
  m.store.Get(id, key);
  OrderList& order = index->order;
  size_t n = index->parts.size();
  for (size_t pos = LowerBound(m, *index, n, key); pos < order.Size(); ++pos) {
    int32_t other = order.At(pos);
    if (other == id) return pos;
    if (CompareToEntry(m, *index, n, key, other) != 0) break;
  }
  for (size_t pos = 0; pos < order.Size(); ++pos) {  // never expected: the order is sorted
    if (order.At(pos) == id) return pos;
  }
  return order.Size();
}

void TableOps::UpdateBounds(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  OrderList& order = m.Order();
  if (!m.has_range || !m.current) {
    m.lo = 0;
    m.hi = order.Size();
    return;
  }
  size_t k = m.range_parts;
  auto bound = [&](bool upper) {
    size_t lo = 0, hi = order.Size();
    while (lo < hi) {
      size_t mid = (lo + hi) / 2;
      int c = -CompareToEntry(m, *m.current, k, m.range_key, order.At(mid));  // entry vs key
      if (upper ? c <= 0 : c < 0) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  m.lo = bound(false);
  m.hi = bound(true);
}

// The new entry went in at its key position: before the range, inside it, or after it.
void TableOps::BoundsAfterInsert(MemTable& t, const RecordData& rec) {
  MemTable::Impl& m = *t.impl_;
  if (!m.has_range || !m.current) return UpdateBounds(t);
  const int c = CompareKeys(m.current->parts, m.range_parts, rec, m.range_key);
  if (c < 0) ++m.lo;
  if (c <= 0) ++m.hi;
}

// ---- Master-detail link ----

bool TableOps::LinkActive(const MemTable& t) {
  DataSource* source = t.MasterSource();
  return source && source->DataSet() && source->DataSet()->Active() &&
         !t.impl_->master_names.empty();
}

void TableOps::CheckLinkIndex(MemTable& t) {
  const MemTable::Impl& m = *t.impl_;
  if (!m.current || m.current->parts.size() < m.master_names.size()) {
    t.Fail(FormatMessage("No index for fields '%s'", t.master_fields_.c_str()));
  }
}

std::vector<Field*> TableOps::MasterFieldObjects(MemTable& t) {
  MemTable& master = *t.MasterSource()->DataSet();
  std::vector<Field*> fields;
  for (const std::string& name : t.impl_->master_names) {
    fields.push_back(&master.FieldNamed(name));
  }
  CheckLinkIndex(t);
  return fields;
}

RecordData TableOps::FillRangeKey(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  std::vector<Field*> fields = MasterFieldObjects(t);
  RecordData key;
  key.nums.assign(m.num_count, 0);
  key.strs.assign(m.str_count, std::string());
  key.nulls.assign(t.field_defs_.size(), 1);
  for (size_t i = 0; i < fields.size(); ++i) {
    const KeyPart& part = m.current->parts[i];
    Field& target = *m.def_fields[static_cast<size_t>(part.def)];
    Value v = target.FromField(*fields[i], fields[i]->GetValue());
    key.nulls[static_cast<size_t>(part.def)] = v.null ? 1 : 0;
    if (part.text) {
      key.strs[static_cast<size_t>(part.slot)] = std::move(v.str);
    } else {
      key.nums[static_cast<size_t>(part.slot)] = v.num;
    }
  }
  m.range_parts = fields.size();
  return key;
}

// The new-record step of a detail: its link fields take the master's current values. Run for
// every appended record, so without a list of the master's fields.
void TableOps::CopyMasterValues(MemTable& t) {
  if (!LinkActive(t)) return;
  CheckLinkIndex(t);
  MemTable::Impl& m = *t.impl_;
  const MemTable& master = *t.MasterSource()->DataSet();
  for (size_t i = 0; i < m.master_names.size(); ++i) {
    m.def_fields[static_cast<size_t>(m.current->parts[i].def)]->Assign(
        master.FieldNamed(m.master_names[i]));
  }
}

void MemTable::MasterChanged() {
  if (!Active() || !TableOps::LinkActive(*this)) return;
  Impl& m = *impl_;
  EndPendingChange();
  size_t old_parts = m.range_parts;
  RecordData key = TableOps::FillRangeKey(*this);
  EndPendingChange();
  if (m.has_range && old_parts == m.range_parts &&
      CompareKeys(m.current->parts, m.range_parts, key, m.range_key) == 0) {
    return;
  }
  m.range_key = std::move(key);
  m.has_range = true;
  TableOps::UpdateBounds(*this);
  First();
}

void MemTable::MasterDisabled() {
  if (!Active()) return;
  EndPendingChange();
  Impl& m = *impl_;
  if (!m.has_range) return;
  m.has_range = false;
  TableOps::UpdateBounds(*this);
  TableOps::SetCursor(*this, static_cast<long>(m.lo));
  Notify(&DataSource::NotifyDataSetChanged);
}

bool MemTable::HasRange() const {
  return impl_->has_range;
}

void MasterLink::StateChanged() {
  MemTable* master = DataSet();
  bool active = master && master->Active();
  if (active == master_was_active) return;
  master_was_active = active;
  if (!detail_.Active()) return;
  if (active) {
    detail_.MasterChanged();
  } else {
    detail_.MasterDisabled();
  }
}

void MasterLink::DataSetChanged() {
  if (detail_.Active()) detail_.MasterChanged();
}

void MasterLink::DataSetScrolled() {
  if (detail_.Active()) detail_.MasterChanged();
}

void MasterLink::RecordChanged() {
  if (detail_.Active()) detail_.MasterChanged();
}

void MasterLink::FieldChanged(Field& field) {
  if (!detail_.Active()) return;
  for (const std::string& name : SplitNames(detail_.MasterFields())) {
    if (SameName(name, field.FieldName())) {
      detail_.MasterChanged();
      return;
    }
  }
}

void MasterLink::EndPendingChange() {
  if (detail_.Active()) detail_.EndPendingChange();
}

void MasterLink::DataSetDetached() {
  MemTable* master = DataSet();
  master_was_active = master && master->Active();
  if (!detail_.Active()) return;
  if (master_was_active) {
    detail_.MasterChanged();
  } else {
    detail_.MasterDisabled();
  }
}

}  // namespace tivolo::store
