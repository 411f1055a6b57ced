// Field objects: one per field of a table, giving typed access to the value of the table's
// active record (the pending record while editing or inserting, the record being computed
// inside OnCalcFields, otherwise the current record). Reading never fails for a field of its
// own kind; a null reads as 0, false or the empty text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "store/record.h"
#include "store/types.h"

namespace tivolo::store {

class MemTable;

class Field {
 public:
  virtual ~Field() = default;
  Field(const Field&) = delete;
  Field& operator=(const Field&) = delete;

  const std::string& FieldName() const { return name_; }
  FieldType DataType() const { return type_; }
  FieldKind Kind() const { return kind_; }
  bool IsCalculated() const { return kind_ == FieldKind::kCalculated; }
  int Size() const { return size_; }
  MemTable* DataSet() const { return table_; }

  // Display properties used by bound controls. DisplayLabel() gives the field name while no
  // label is set; DisplayName() is the same text (error messages use it).
  std::string DisplayLabel() const { return label_.empty() ? name_ : label_; }
  void SetDisplayLabel(std::string label) { label_ = std::move(label); }
  std::string DisplayName() const { return DisplayLabel(); }
  int DisplayWidth() const { return display_width_; }
  void SetDisplayWidth(int width) { display_width_ = width; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  const std::string& DisplayFormat() const { return display_format_; }
  void SetDisplayFormat(std::string format) { display_format_ = std::move(format); }

  // Value of the active record. Setters convert first (conversion and range errors leave the
  // field unchanged), then require edit, insert, set-key or calc-fields state.
  bool IsNull() const;
  Value GetValue() const;  // the active record's value, detached
  std::string AsString() const;
  void SetAsString(std::string_view text);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t value);
  DateTime AsDateTime() const;
  void SetAsDateTime(DateTime value);
  bool AsBoolean() const;
  void SetAsBoolean(bool value);
  std::string DisplayText() const;   // as a bound control shows it
  void Clear();                      // makes the value null
  void Assign(const Field& source);  // copies the source's current value, null as null

  // Conversions of a detached value; the store and RecordBuffer use these.
  virtual std::string ToString(const Value& v) const;
  virtual int64_t ToLargeInt(const Value& v) const;
  virtual DateTime ToDateTime(const Value& v) const;
  virtual bool ToBoolean(const Value& v) const;
  virtual std::string ToDisplayText(const Value& v) const;
  virtual Value FromString(std::string_view text) const;
  virtual Value FromLargeInt(int64_t value) const;
  virtual Value FromDateTime(DateTime value) const;
  virtual Value FromBoolean(bool value) const;
  Value FromField(const Field& source, const Value& v) const;  // null stays null

  // Internal to the store: where the value lives in a record.
  int DefIndex() const { return def_index_; }  // field definition, -1 when calculated
  int Slot() const { return slot_; }           // slot in nums, strs or calc
  bool UsesText() const;                       // value kept in strs rather than nums
  void Bind(MemTable* table, int def_index, int slot);

 protected:
  Field(std::string name, FieldType type, int size, FieldKind kind);
  [[noreturn]] void BadAccess(const char* as_type) const;

 private:
  std::string name_;
  FieldType type_;
  int size_;
  FieldKind kind_;
  std::string label_;
  int display_width_ = 0;
  bool visible_ = true;
  std::string display_format_;
  MemTable* table_ = nullptr;
  int def_index_ = -1;
  int slot_ = -1;
};

// UTF-8 text; keeps at most Size() characters (0: any number), cuts at the first zero
// character and never splits a multi-byte sequence. The empty text is stored as null.
class StringField : public Field {
 public:
  StringField(std::string name, int size, FieldKind kind = FieldKind::kData);
  std::string ToString(const Value& v) const override;
  Value FromString(std::string_view text) const override;
};

// Signed integer fields share the text conversion; subclasses set the range.
class IntegerField : public Field {
 public:
  IntegerField(std::string name, FieldKind kind = FieldKind::kData);
  std::string ToString(const Value& v) const override;
  int64_t ToLargeInt(const Value& v) const override;
  Value FromString(std::string_view text) const override;
  Value FromLargeInt(int64_t value) const override;

 protected:
  IntegerField(std::string name, FieldType type, FieldKind kind, int64_t min, int64_t max);

 private:
  int64_t min_;
  int64_t max_;
};

class SmallintField : public IntegerField {
 public:
  SmallintField(std::string name, FieldKind kind = FieldKind::kData);
};

// Numbered by the store when a record is created; may also be assigned.
class AutoIncField : public IntegerField {
 public:
  AutoIncField(std::string name, FieldKind kind = FieldKind::kData);
};

// 64-bit; AsInteger reads the low 32 bits and stores a 32-bit value sign-extended.
class LargeintField : public Field {
 public:
  LargeintField(std::string name, FieldKind kind = FieldKind::kData);
  std::string ToString(const Value& v) const override;
  int64_t ToLargeInt(const Value& v) const override;
  Value FromString(std::string_view text) const override;
  Value FromLargeInt(int64_t value) const override;
};

// Stored as day number (1 January 0001 is day 1) and milliseconds since midnight, rounded to
// the nearest millisecond.
class DateTimeField : public Field {
 public:
  DateTimeField(std::string name, FieldKind kind = FieldKind::kData);
  std::string ToString(const Value& v) const override;
  DateTime ToDateTime(const Value& v) const override;
  std::string ToDisplayText(const Value& v) const override;
  Value FromDateTime(DateTime value) const override;
  Value FromString(std::string_view text) const override;

  // The stored form of a date-time, packed so that integer order is chronological order.
  static int64_t Pack(int32_t day, int32_t msec) { return int64_t{day} * 4294967296LL + msec; }
  static int32_t Day(int64_t packed) { return static_cast<int32_t>(packed >> 32); }
  static int32_t Msec(int64_t packed) { return static_cast<int32_t>(packed & 0xffffffffLL); }
};

// A truth value; a field without value reads false and shows as empty text.
class BooleanField : public Field {
 public:
  BooleanField(std::string name, FieldKind kind = FieldKind::kData);
  std::string ToString(const Value& v) const override;
  bool ToBoolean(const Value& v) const override;
  std::string ToDisplayText(const Value& v) const override;
  Value FromBoolean(bool value) const override;
  Value FromString(std::string_view text) const override;
};

// The first max_chars characters of text, never splitting a multi-byte sequence.
std::string_view Utf8Prefix(std::string_view text, size_t max_chars);

}  // namespace tivolo::store
