// Opening, field objects, the cursor, notifications and the view for bound controls.
#include "store/mem_table.h"

#include <algorithm>
#include <stdexcept>

#include "store/errors.h"
#include "store/table_impl.h"

namespace tivolo::store {

namespace {

std::unique_ptr<Field> CreateField(const std::string& name, FieldType type, int size,
                                   FieldKind kind) {
  switch (type) {
    case FieldType::kAutoInc:
      return std::make_unique<AutoIncField>(name, kind);
    case FieldType::kString:
      return std::make_unique<StringField>(name, size, kind);
    case FieldType::kSmallint:
      return std::make_unique<SmallintField>(name, kind);
    case FieldType::kInteger:
      return std::make_unique<IntegerField>(name, kind);
    case FieldType::kLargeint:
      return std::make_unique<LargeintField>(name, kind);
    case FieldType::kDateTime:
      return std::make_unique<DateTimeField>(name, kind);
    case FieldType::kBoolean:
      return std::make_unique<BooleanField>(name, kind);
    case FieldType::kUnknown:
      break;
  }
  throw DatabaseError(FormatMessage("Field '%s' has no valid type", name.c_str()));
}

// Restores the state a calculation or key fill replaced, also when a handler throws.
class TempState {
 public:
  TempState(DatasetState& state, DatasetState temp) : state_(state), saved_(state) {
    state_ = temp;
  }
  ~TempState() { state_ = saved_; }
  TempState(const TempState&) = delete;
  TempState& operator=(const TempState&) = delete;

 private:
  DatasetState& state_;
  DatasetState saved_;
};

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> SplitNames(const std::string& list) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string name = list.substr(start, end - start);
    while (!name.empty() && name.front() == ' ')
      name.erase(name.begin());
    while (!name.empty() && name.back() == ' ')
      name.pop_back();
    if (!name.empty()) names.push_back(name);
    start = end + 1;
  }
  return names;
}

// ---- Construction ----

MemTable::MemTable(std::string name)
    : name_(std::move(name)), impl_(std::make_unique<Impl>(*this)) {}

MemTable::~MemTable() {
  if (impl_->link.Source()) impl_->link.Source()->Detach(impl_->link);
  std::vector<DataSource*> sources = sources_;
  sources_.clear();
  for (DataSource* ds : sources) {
    // A detail losing its master ends its pending change; a destructor cannot report a
    // failure of that, so the detail keeps the change pending instead.
    try {
      ds->DropTable();
    } catch (...) {
    }
  }
}

void MemTable::SetIndexFieldNames(std::string names) {
  if (!Active()) {
    index_field_names_ = std::move(names);
    return;
  }
  EndPendingChange();
  std::string old = index_field_names_;
  index_field_names_ = std::move(names);
  try {
    TableOps::ChooseIndex(*this);
  } catch (...) {
    index_field_names_ = old;  // the table keeps its order
    throw;
  }
  Impl& m = *impl_;
  int32_t id = m.cur >= 0 ? m.cur_buf.id_ : -1;
  if (m.has_range && TableOps::LinkActive(*this)) m.range_key = TableOps::FillRangeKey(*this);
  TableOps::UpdateBounds(*this);
  long pos = id >= 0 ? static_cast<long>(TableOps::FindEntry(*this, m.current, id)) : -1;
  TableOps::SetCursor(*this, pos);
  Notify(&DataSource::NotifyDataSetChanged);
}

DataSource* MemTable::MasterSource() const {
  return impl_->link.Source();
}

void MemTable::SetMasterSource(DataSource* source) {
  if (source == MasterSource()) return;
  // Walk the chain of masters: a source leading back here would loop forever.
  std::vector<const MemTable*> seen;
  for (DataSource* s = source; s && s->DataSet();) {
    const MemTable* t = s->DataSet();
    if (t == this) Fail("Circular datalinks are not allowed");
    if (std::find(seen.begin(), seen.end(), t) != seen.end()) break;
    seen.push_back(t);
    s = t->MasterSource();
  }
  if (Active()) MasterDisabled();
  if (source) {
    source->Attach(impl_->link);
    impl_->link.master_was_active = source->DataSet() && source->DataSet()->Active();
    if (Active() && impl_->link.master_was_active) MasterChanged();
  } else if (impl_->link.Source()) {
    impl_->link.Source()->Detach(impl_->link);
  }
}

void MemTable::SetMasterFields(std::string names) {
  master_fields_ = std::move(names);
  impl_->master_names = SplitNames(master_fields_);
  if (!Active()) return;
  if (TableOps::LinkActive(*this)) {
    MasterChanged();
  } else {
    MasterDisabled();
  }
}

Field& MemTable::DeclareField(std::string name, FieldType type, int size, FieldKind kind) {
  if (Active()) Fail("Cannot perform this operation on an open dataset");
  for (auto& f : declared_) {
    if (SameName(f->FieldName(), name))
      Fail(FormatMessage("Duplicate field name '%s'", name.c_str()));
  }
  declared_.push_back(CreateField(name, type, size, kind));
  return *declared_.back();
}

void MemTable::Fail(const std::string& text) const {
  throw NamedError(name_, text);
}

void MemTable::CheckActive() const {
  if (!Active()) Fail("Cannot perform this operation on a closed dataset");
}

void MemTable::Fire(const Event& event) {
  if (!event) return;
  Event handler = event;  // the handler may clear or replace itself
  handler(*this);
}

void MemTable::Notify(void (DataSource::*fn)()) {
  ForEachSource(sources_, [fn](DataSource& ds) { (ds.*fn)(); });
}

void TableOps::NotifyPost(MemTable& t, const PostPlan& plan, bool done) {
  const int from = plan.from, to = plan.to;
  const auto moved = done ? &DataSource::NotifyRowMoved : &DataSource::NotifyRowAboutToBeMoved;
  const auto removed =
      done ? &DataSource::NotifyRowRemoved : &DataSource::NotifyRowAboutToBeRemoved;
  NotifySources(t, [=](DataSource& ds) {
    if (to >= 0) {
      (ds.*moved)(from, to);
    } else {
      (ds.*removed)(from);
    }
  });
}

void MemTable::NotifyField(Field& field) {
  ForEachSource(sources_, [&field](DataSource& ds) { ds.NotifyFieldChanged(field); });
}

void MemTable::SetState(DatasetState state) {
  modified_ = false;
  if (state == state_) return;
  state_ = state;
  Notify(&DataSource::NotifyStateChanged);
}

// ---- Opening ----

void TableOps::CreateStorage(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  if (t.field_defs_.empty()) {
    throw EngineError("Error creating table - no fields were specified", kErrorNoFields);
  }
  for (size_t i = 0; i < t.field_defs_.size(); ++i) {
    const FieldDef& d = t.field_defs_[i];
    if (d.type == FieldType::kUnknown) {
      t.Fail(FormatMessage("Field '%s' has no valid type", d.name.c_str()));
    }
    for (size_t j = 0; j < i; ++j) {
      if (SameName(t.field_defs_[j].name, d.name)) {
        t.Fail(FormatMessage("Duplicate field name '%s'", d.name.c_str()));
      }
    }
  }
  std::vector<TableIndex> indexes;
  for (const IndexDef& d : t.index_defs_) {
    TableIndex index;
    index.def = d;
    index.primary = HasOption(d.options, IndexOption::kPrimary);
    index.unique = HasOption(d.options, IndexOption::kUnique);
    std::string table = t.table_name_.empty() ? t.name_ : t.table_name_;
    index.constraint_name = table + "." + (d.name.empty() ? std::string("Primary") : d.name);
    for (const std::string& name : SplitNames(d.fields)) {
      auto it = std::find_if(t.field_defs_.begin(), t.field_defs_.end(),
                             [&](const FieldDef& f) { return SameName(f.name, name); });
      if (it == t.field_defs_.end()) t.Fail(FormatMessage("Field '%s' not found", name.c_str()));
      if (index.parts.size() == 32) {
        t.Fail(FormatMessage("Index '%s' has too many fields", d.name.c_str()));
      }
      KeyPart part;
      part.def = static_cast<int>(it - t.field_defs_.begin());
      part.descending = HasOption(d.options, IndexOption::kDescending);
      part.case_insensitive = HasOption(d.options, IndexOption::kCaseInsensitive);
      index.parts.push_back(part);
    }
    indexes.push_back(std::move(index));
  }
  m.def_slot.clear();
  m.def_text.clear();
  m.num_count = m.str_count = 0;
  m.counters.clear();
  for (size_t i = 0; i < t.field_defs_.size(); ++i) {
    bool text = t.field_defs_[i].type == FieldType::kString;
    m.def_text.push_back(text);
    m.def_slot.push_back(static_cast<int>(text ? m.str_count++ : m.num_count++));
    if (t.field_defs_[i].type == FieldType::kAutoInc) {
      m.counters.push_back(MemTable::Impl::Counter{static_cast<int>(i), 0});
    }
  }
  for (TableIndex& index : indexes) {
    for (KeyPart& part : index.parts) {
      part.slot = m.def_slot[part.def];
      part.text = m.def_text[part.def];
    }
  }
  m.indexes = std::move(indexes);
  m.store.Configure(t.field_defs_.size(), m.num_count, m.str_count,
                    static_cast<size_t>(t.grow_by_));
  m.used.clear();
  m.max_id = -1;
  m.record_total = 0;
  m.natural.Clear();
  m.created = true;
}

void TableOps::BuildFields(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  t.field_list_.clear();
  m.hidden_fields.clear();
  m.def_fields.assign(t.field_defs_.size(), nullptr);
  m.calc_count = 0;
  auto bind = [&](Field& f) {
    if (f.IsCalculated()) {
      f.Bind(&t, -1, static_cast<int>(m.calc_count++));
      return;
    }
    auto it = std::find_if(t.field_defs_.begin(), t.field_defs_.end(),
                           [&](const FieldDef& d) { return SameName(d.name, f.FieldName()); });
    int def = static_cast<int>(it - t.field_defs_.begin());
    if (it->type != f.DataType()) {
      t.Fail(FormatMessage("Type mismatch for field '%s', expecting: %s actual: %s",
                           f.FieldName().c_str(), FieldTypeName(f.DataType()),
                           FieldTypeName(it->type)));
    }
    f.Bind(&t, def, m.def_slot[def]);
    m.def_fields[def] = &f;
  };
  if (!t.declared_.empty()) {
    for (auto& f : t.declared_) {
      bind(*f);
      t.field_list_.push_back(f.get());
    }
  } else {
    t.automatic_.clear();
    for (const FieldDef& d : t.field_defs_) {
      t.automatic_.push_back(CreateField(d.name, d.type, d.size, FieldKind::kData));
      bind(*t.automatic_.back());
      t.field_list_.push_back(t.automatic_.back().get());
    }
  }
  // Definitions without a field object still need conversions (link fields, key fills).
  for (size_t i = 0; i < t.field_defs_.size(); ++i) {
    if (m.def_fields[i]) continue;
    const FieldDef& d = t.field_defs_[i];
    m.hidden_fields.push_back(CreateField(d.name, d.type, d.size, FieldKind::kData));
    m.hidden_fields.back()->Bind(&t, static_cast<int>(i), m.def_slot[i]);
    m.def_fields[i] = m.hidden_fields.back().get();
  }
}

void MemTable::Open() {
  if (Active()) return;
  Impl& m = *impl_;
  // Declared data fields missing from the definitions are added before the table is built.
  for (auto& f : declared_) {
    if (f->IsCalculated()) continue;
    bool known = std::any_of(field_defs_.begin(), field_defs_.end(),
                             [&](const FieldDef& d) { return SameName(d.name, f->FieldName()); });
    if (!known) field_defs_.push_back(FieldDef{f->FieldName(), f->DataType(), f->Size()});
  }
  if (!m.created) TableOps::CreateStorage(*this);
  TableOps::BuildFields(*this);
  TableOps::ChooseIndex(*this);
  m.has_range = false;
  m.pending = RecordBuffer{};
  if (TableOps::LinkActive(*this)) {
    m.range_key = TableOps::FillRangeKey(*this);
    m.has_range = true;
  }
  m.link.master_was_active =
      MasterSource() && MasterSource()->DataSet() && MasterSource()->DataSet()->Active();
  TableOps::UpdateBounds(*this);
  // The first record is current before anyone hears of the new state.
  m.cur = m.Visible() ? static_cast<long>(m.lo) : -1;
  m.eof = m.cur < 0;
  state_ = DatasetState::kBrowse;
  TableOps::ReadCurrent(*this);
  state_ = DatasetState::kInactive;
  SetState(DatasetState::kBrowse);
}

void MemTable::Close() {
  if (!Active()) return;
  Impl& m = *impl_;
  m.pending = RecordBuffer{};
  m.cur_buf = RecordBuffer{};
  m.cur = -1;
  m.eof = true;
  m.has_range = false;
  m.lo = m.hi = 0;
  SetState(DatasetState::kInactive);
}

// ---- Fields ----

Field* MemTable::FindField(std::string_view name) const {
  for (Field* f : field_list_) {
    if (SameName(f->FieldName(), name)) return f;
  }
  if (!Active()) {
    for (auto& f : declared_) {
      if (SameName(f->FieldName(), name)) return f.get();
    }
  }
  return nullptr;
}

Field& MemTable::FieldNamed(std::string_view name) const {
  Field* f = FindField(name);
  if (!f) Fail(FormatMessage("Field '%s' not found", std::string(name).c_str()));
  return *f;
}

const RecordBuffer& MemTable::ActiveBuffer() const {
  const Impl& m = *impl_;
  if (m.calc_target) return *m.calc_target;
  if (state_ == DatasetState::kEdit || state_ == DatasetState::kInsert) return m.pending;
  if (state_ == DatasetState::kInactive || m.cur < 0) return m.empty;
  return m.cur_buf;
}

void MemTable::StoreFieldValue(Field& field, Value value) {
  Impl& m = *impl_;
  bool writable = state_ == DatasetState::kEdit || state_ == DatasetState::kInsert ||
                  state_ == DatasetState::kCalcFields;
  if (!writable) throw EngineError("Dataset not in edit or insert mode", kErrorNotInEditMode);
  RecordBuffer& buf = m.calc_target ? *m.calc_target : m.pending;
  if (field.IsCalculated()) {
    if (buf.calc.size() < m.calc_count) buf.calc.resize(m.calc_count);
    // Handlers set calculated fields on every record read; most values carry no text.
    Value& to = buf.calc[static_cast<size_t>(field.Slot())];
    to.null = value.null;
    to.num = value.num;
    if (!value.str.empty() || !to.str.empty()) to.str = std::move(value.str);
    return;
  }
  size_t def = static_cast<size_t>(field.DefIndex());
  size_t slot = static_cast<size_t>(field.Slot());
  buf.Materialize();  // a calculation handler may write to the record being read
  buf.data.nulls[def] = value.null ? 1 : 0;
  if (field.UsesText()) {
    buf.data.strs[slot] = value.null ? std::string() : std::move(value.str);
  } else {
    buf.data.nums[slot] = value.null ? 0 : value.num;
  }
  if (m.calc_target) return;  // a handler filling the record being computed
  modified_ = true;
  if (m.calc_count > 0) TableOps::Calc(*this, m.pending, false);
  NotifyField(field);
}

// ---- Reading records ----

void TableOps::Calc(MemTable& t, RecordBuffer& buf, bool temp_state) {
  MemTable::Impl& m = *t.impl_;
  if (m.calc_count == 0) return;
  if (buf.calc.size() == m.calc_count) {
    for (Value& v : buf.calc) {
      v.null = true;
      v.num = 0;
      v.str.clear();
    }
  } else {
    buf.calc.assign(m.calc_count, Value{});
  }
  if (!t.OnCalcFields) return;
  RecordBuffer* saved = m.calc_target;
  m.calc_target = &buf;
  struct Restore {
    MemTable::Impl& m;
    RecordBuffer* saved;
    ~Restore() { m.calc_target = saved; }
  } restore{m, saved};
  if (temp_state) {
    TempState temp(t.state_, DatasetState::kCalcFields);
    t.Fire(t.OnCalcFields);
  } else {
    // Automatic recalculation while editing: the table stays in its state.
    t.Fire(t.OnCalcFields);
  }
}

void TableOps::ReadRecord(MemTable& t, int32_t id, RecordBuffer& buf) {
  t.impl_->store.Get(id, buf.data);
  buf.id_ = id;
  buf.stored_in_ = nullptr;
  Calc(t, buf, true);
}

// The cursor's record is read from storage field by field as it is asked for: a scan that looks
// at a few fields of each record then neither copies nor fetches the rest.
void TableOps::ReadCurrent(MemTable& t) {
  MemTable::Impl& m = *t.impl_;
  if (m.cur < 0) {
    m.cur_buf = RecordBuffer{};
    return;
  }
  m.cur_buf.id_ = m.Order().At(static_cast<size_t>(m.cur));
  m.cur_buf.stored_in_ = &m.store;
  Calc(t, m.cur_buf, true);
}

// Puts the cursor at pos (clamped to the visible records) and reads that record.
void TableOps::SetCursor(MemTable& t, long pos) {
  MemTable::Impl& m = *t.impl_;
  if (m.Visible() == 0) {
    m.cur = -1;
  } else {
    pos = std::max(pos, static_cast<long>(m.lo));
    pos = std::min(pos, static_cast<long>(m.hi) - 1);
    m.cur = pos;
  }
  m.eof = m.cur < 0;
  ReadCurrent(t);
}

// ---- Cursor ----

namespace {
constexpr size_t kPrefetchBlocks = 4;
}  // namespace

void MemTable::First() {
  EndPendingChange();
  Fire(BeforeScroll);
  TableOps::SetCursor(*this, static_cast<long>(impl_->lo));
  Notify(&DataSource::NotifyDataSetChanged);
  Fire(AfterScroll);
}

void MemTable::Next() {
  EndPendingChange();
  Fire(BeforeScroll);
  Impl& m = *impl_;
  if (m.cur >= 0 && static_cast<size_t>(m.cur) + 1 < m.hi) {
    ++m.cur;
    m.eof = false;
    // A scan reads records in index order, scattered in memory; each read is long enough that
    // the next record's cache miss would not overlap it, so fetch a few records ahead.
    OrderList& order = m.Order();
    size_t ahead = static_cast<size_t>(m.cur) + kPrefetchBlocks;
    if (ahead < m.hi) m.store.PrefetchBlock(order.At(ahead));
    if (ahead + kPrefetchBlocks < m.hi) m.store.PrefetchSlot(order.At(ahead + kPrefetchBlocks));
    TableOps::ReadCurrent(*this);
    Notify(&DataSource::NotifyDataSetScrolled);
  } else {
    m.eof = true;
  }
  Fire(AfterScroll);
}

void MemTable::Last() {
  EndPendingChange();
  Fire(BeforeScroll);
  TableOps::SetCursor(*this, static_cast<long>(impl_->hi) - 1);
  impl_->eof = true;
  Notify(&DataSource::NotifyDataSetChanged);
  Fire(AfterScroll);
}

bool MemTable::Eof() const {
  return !Active() || impl_->eof;
}

int MemTable::RecordCount() const {
  return Active() ? static_cast<int>(impl_->Visible()) : 0;
}

// ---- View for bound controls ----

int MemTable::ViewRowCount() const {
  if (!Active()) return 0;
  return RecordCount() + (state_ == DatasetState::kInsert ? 1 : 0);
}

RecordBuffer MemTable::ViewRecordAt(int row) {
  Impl& m = *impl_;
  if (row < 0 || row >= ViewRowCount()) throw std::out_of_range("ViewRecordAt: no such row");
  if (state_ == DatasetState::kInsert && row == RecordCount()) return m.pending;
  long pos = static_cast<long>(m.lo) + row;
  if (state_ == DatasetState::kEdit && pos == m.cur) return m.pending;
  RecordBuffer buf;
  TableOps::ReadRecord(*this, m.Order().At(static_cast<size_t>(pos)), buf);
  return buf;
}

int MemTable::ViewCurrentRow() const {
  if (!Active()) return -1;
  if (state_ == DatasetState::kInsert) return RecordCount();
  if (impl_->cur < 0) return -1;
  return static_cast<int>(impl_->cur - static_cast<long>(impl_->lo));
}

int MemTable::ViewRowOfRecord(int32_t id) {
  Impl& m = *impl_;
  if (!Active() || id < 0 || static_cast<size_t>(id) >= m.used.size() ||
      !m.used[static_cast<size_t>(id)])
    return -1;
  const size_t pos = TableOps::FindEntry(*this, m.current, id);
  if (pos < m.lo || pos >= m.hi) return -1;
  return static_cast<int>(pos - m.lo);
}

void MemTable::ViewMoveToRow(int row) {
  if (!Active() || row < 0 || row >= RecordCount()) return;
  EndPendingChange();
  Fire(BeforeScroll);
  TableOps::SetCursor(*this, static_cast<long>(impl_->lo) + row);
  Notify(&DataSource::NotifyDataSetScrolled);
  Fire(AfterScroll);
}

}  // namespace tivolo::store
