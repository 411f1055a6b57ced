// Values of one record as the store holds them and as the cursor hands them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/types.h"

namespace tivolo::store {

class Field;
class RecordStore;

// Stored part of a record: one slot per field definition (numbers and date-times in `nums`,
// text in `strs`, each field using the slot its field object names) and a null flag per
// field definition.
struct RecordData {
  std::vector<int64_t> nums;
  std::vector<std::string> strs;
  std::vector<uint8_t> nulls;  // 1: null
};

// One field's value detached from any record: null, or a number (integers, the packed
// date-time, the truth value) or a text, depending on the field's type. Calculated fields keep
// theirs in this form, null meaning "no value".
struct Value {
  bool null = true;
  int64_t num = 0;
  std::string str;

  bool operator==(const Value&) const = default;
};

// One record read into a buffer: its stored values, its identifier and its calculated values
// as computed when it was read. Read values through the field objects of its table.
class RecordBuffer {
 public:
  RecordBuffer() = default;
  // A copy or a move always holds the values itself, even of a buffer that reads them from the
  // table's storage.
  RecordBuffer(const RecordBuffer& other);
  RecordBuffer& operator=(const RecordBuffer& other);
  RecordBuffer(RecordBuffer&& other);
  RecordBuffer& operator=(RecordBuffer&& other);
  ~RecordBuffer() = default;

  int32_t RecordId() const { return id_; }  // -1 for a record not yet stored
  bool IsNull(const Field& field) const;
  std::string AsString(const Field& field) const;
  int32_t AsInteger(const Field& field) const;
  int64_t AsLargeInt(const Field& field) const;
  DateTime AsDateTime(const Field& field) const;
  bool AsBoolean(const Field& field) const;
  std::string DisplayText(const Field& field) const;

  // Internal to the store.
  RecordData data;
  std::vector<Value> calc;
  int32_t id_ = -1;
  // Set while the stored values are read on demand from record id_ in this storage instead of
  // from `data`: the cursor's record, which a scan reads only in the fields it asks for. The
  // table reads the current record again whenever it changes or frees what is stored there.
  const RecordStore* stored_in_ = nullptr;
  void Materialize();  // brings the stored values into `data`; no-op when already there
};

}  // namespace tivolo::store
