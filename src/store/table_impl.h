// Internal: the state behind a MemTable (storage, indexes, cursor, buffers, the master link).
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "store/data_source.h"
#include "store/mem_table.h"
#include "store/order_list.h"
#include "store/record.h"
#include "store/record_store.h"

namespace tivolo::store {

struct KeyPart {
  int def = 0;   // field definition
  int slot = 0;  // slot in nums or strs
  bool text = false;
  bool descending = false;
  bool case_insensitive = false;
};

struct TableIndex {
  IndexDef def;
  std::vector<KeyPart> parts;
  OrderList order;
  bool primary = false;
  bool unique = false;
  std::string constraint_name;
};

// Reacts to the master table's notifications on behalf of a detail table.
class MasterLink : public DataLink {
 public:
  explicit MasterLink(MemTable& detail) : detail_(detail) {}
  void StateChanged() override;
  void DataSetChanged() override;
  void DataSetScrolled() override;
  void RecordChanged() override;
  void FieldChanged(Field& field) override;
  void EndPendingChange() override;
  void DataSetDetached() override;

  bool master_was_active = false;

 private:
  MemTable& detail_;
};

struct MemTable::Impl {
  explicit Impl(MemTable& table) : link(table) {}

  // Storage, created at the first Open and kept for the table's life.
  bool created = false;
  std::vector<int> def_slot;  // per field definition: slot in nums or strs
  std::vector<bool> def_text;
  size_t num_count = 0, str_count = 0;
  RecordStore store;
  std::vector<uint8_t> used;  // by record identifier; 1: the slot holds a record
  int32_t max_id = -1;
  size_t record_total = 0;
  struct Counter {
    int def;
    int64_t last = 0;
  };
  std::vector<Counter> counters;
  std::vector<TableIndex> indexes;
  OrderList natural;              // identifier order
  TableIndex* current = nullptr;  // the visible order, or null

  // Field objects by definition (the table's own, or a hidden one when none is declared).
  std::vector<Field*> def_fields;
  std::vector<std::unique_ptr<Field>> hidden_fields;
  size_t calc_count = 0;

  // MasterFields split once: every appended detail record reads them.
  std::vector<std::string> master_names;

  // Cursor over the visible records: positions in the current order.
  bool has_range = false;
  RecordData range_key;
  size_t range_parts = 0;  // key parts the range covers
  size_t lo = 0, hi = 0;
  long cur = -1;
  bool eof = true;
  long insert_return = -1;

  RecordBuffer cur_buf;
  RecordBuffer pending;
  RecordBuffer empty;
  RecordBuffer* calc_target = nullptr;

  MasterLink link;

  OrderList& Order() { return current ? current->order : natural; }
  size_t Visible() const { return hi - lo; }
};

// Key comparison over the first n parts of an index: negative, zero or positive.
int CompareKeys(const std::vector<KeyPart>& parts, size_t n, const RecordData& a,
                const RecordData& b);
// The same comparison of a record's key with the stored entry of record id.
int CompareToEntry(const MemTable::Impl& m, const TableIndex& index, size_t n, const RecordData& a,
                   int32_t id);
// The first position whose entry is not below the key in its first n parts.
size_t LowerBound(const MemTable::Impl& m, const TableIndex& index, size_t n,
                  const RecordData& key);

inline constexpr size_t kNoEntry = static_cast<size_t>(-1);

// Where a post takes the pending record, worked out before anything changes so that bound
// controls hear of the move first.
struct PostPlan {
  int from = -1;            // its row while pending
  int to = -1;              // its row after the post; -1: it leaves the visible records
  size_t place = kNoEntry;  // its new position in the current index; kNoEntry: it keeps its own
};

// Calls fn for each source still bound when its turn comes; a callback may unbind sources.
template <class Fn>
void ForEachSource(const std::vector<DataSource*>& live, Fn fn) {
  size_t n = live.size();
  if (n == 1) {
    fn(*live[0]);
    return;
  }
  std::array<DataSource*, 8> small;
  std::vector<DataSource*> large;
  DataSource** copy = small.data();
  if (n > small.size()) {
    large = live;
    copy = large.data();
  } else {
    std::copy(live.begin(), live.end(), small.begin());
  }
  for (size_t i = 0; i < n; ++i) {
    if (std::find(live.begin(), live.end(), copy[i]) != live.end()) fn(*copy[i]);
  }
}

// The table's internal steps, shared by its source files.
struct TableOps {
  static void CreateStorage(MemTable& t);
  static void BuildFields(MemTable& t);
  static void ChooseIndex(MemTable& t);
  static void ReadRecord(MemTable& t, int32_t id, RecordBuffer& buf);
  static void ReadCurrent(MemTable& t);
  static void Calc(MemTable& t, RecordBuffer& buf, bool temp_state);
  static void UpdateBounds(MemTable& t);
  // The bounds after `rec` was added to the current index, without searching it again.
  static void BoundsAfterInsert(MemTable& t, const RecordData& rec);
  // Where the bisection puts `key` among the index's entries, the entry at `skip` left out
  // (the record's own while it is placed again); then the placement itself.
  static size_t PlacePosition(MemTable& t, const TableIndex& index, const RecordData& key,
                              size_t skip = kNoEntry);
  static size_t Place(MemTable& t, TableIndex& index, const RecordData& key, int32_t id);
  static size_t FindEntry(MemTable& t, TableIndex* index, int32_t id);  // null: identifier order
  static PostPlan PlanPost(MemTable& t);
  static void StoreRecord(MemTable& t);
  static long InsertRecord(MemTable& t, const PostPlan& plan);  // its position in the order
  static long RewriteRecord(MemTable& t, const PostPlan& plan);
  static void RemoveRecord(MemTable& t, int32_t id);
  static void CheckConstraints(MemTable& t, const RecordData& rec, int32_t self);
  static void StartInsert(MemTable& t);
  static bool LinkActive(const MemTable& t);
  // Fails unless the current index has a key part for each master field.
  static void CheckLinkIndex(MemTable& t);
  static std::vector<Field*> MasterFieldObjects(MemTable& t);
  static RecordData FillRangeKey(MemTable& t);
  static void CopyMasterValues(MemTable& t);
  static void SetCursor(MemTable& t, long pos);
  // Sends a notification to every data source of the table (one may unbind another).
  template <class Fn>
  static void NotifySources(MemTable& t, Fn fn) {
    ForEachSource(t.sources_, fn);
  }
  // The row notifications of a post: the announcement before it, the report when done.
  static void NotifyPost(MemTable& t, const PostPlan& plan, bool done);
};

// Names in a ";" list, with surrounding blanks removed.
std::vector<std::string> SplitNames(const std::string& list);
bool SameName(std::string_view a, std::string_view b);

}  // namespace tivolo::store
