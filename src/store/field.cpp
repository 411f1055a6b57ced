#include "store/field.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "store/date_format.h"
#include "store/errors.h"
#include "store/mem_table.h"
#include "store/record_store.h"

namespace tivolo::store {

namespace {

Value ValueIn(const RecordBuffer& buffer, const Field& field) {
  Value v;
  int slot = field.Slot();
  if (field.IsCalculated()) {
    if (slot >= 0 && static_cast<size_t>(slot) < buffer.calc.size()) v = buffer.calc[slot];
    return v;
  }
  int def = field.DefIndex();
  if (const RecordStore* store = buffer.stored_in_) {
    int32_t id = buffer.RecordId();
    if (def < 0 || static_cast<size_t>(def) >= store->FieldCount() ||
        store->IsNull(id, static_cast<size_t>(def))) {
      return v;
    }
    v.null = false;
    if (field.UsesText()) {
      v.str = store->Str(id, static_cast<size_t>(slot));
    } else {
      v.num = store->Num(id, static_cast<size_t>(slot));
    }
    return v;
  }
  if (def < 0 || static_cast<size_t>(def) >= buffer.data.nulls.size() || buffer.data.nulls[def]) {
    return v;
  }
  v.null = false;
  if (field.UsesText()) {
    v.str = buffer.data.strs[slot];
  } else {
    v.num = buffer.data.nums[slot];
  }
  return v;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Decimal with optional sign, or hexadecimal after "$" or "0x"; surrounding blanks allowed.
bool ParseInt64(std::string_view text, int64_t& out) {
  while (!text.empty() && IsSpace(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back()))
    text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  uint64_t limit = negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  uint64_t acc = 0;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (acc > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) return false;
    acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  out = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

Value Number(int64_t n) {
  return Value{false, n, {}};
}

}  // namespace

// ---- UTF-8 ----

namespace {
// Length of the well-formed sequence starting at text[i], or 1 for an ill-formed byte.
size_t SequenceLength(std::string_view text, size_t i) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  size_t len = c < 0x80                   ? 1
               : (c >= 0xC2 && c <= 0xDF) ? 2
               : (c >= 0xE0 && c <= 0xEF) ? 3
               : (c >= 0xF0 && c <= 0xF4) ? 4
                                          : 1;
  if (len == 1 || i + len > text.size()) return 1;
  for (size_t k = 1; k < len; ++k) {
    unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d & 0xC0) != 0x80) return 1;
  }
  return len;
}
}  // namespace

std::string_view Utf8Prefix(std::string_view text, size_t max_chars) {
  if (text.size() <= max_chars) return text;  // never more characters than bytes
  size_t i = 0;
  for (size_t n = 0; i < text.size() && n < max_chars; ++n)
    i += SequenceLength(text, i);
  return text.substr(0, i);
}

// ---- Field ----

Field::Field(std::string name, FieldType type, int size, FieldKind kind)
    : name_(std::move(name)), type_(type), size_(size), kind_(kind) {}

void Field::Bind(MemTable* table, int def_index, int slot) {
  table_ = table;
  def_index_ = def_index;
  slot_ = slot;
}

bool Field::UsesText() const {
  return type_ == FieldType::kString;
}

void Field::BadAccess(const char* as_type) const {
  throw DatabaseError(
      FormatMessage("Cannot access field '%s' as type %s", DisplayName().c_str(), as_type));
}

static Value CurrentValue(const Field& f) {
  if (!f.DataSet()) return Value{};
  return ValueIn(f.DataSet()->ActiveBuffer(), f);
}

bool Field::IsNull() const {
  return CurrentValue(*this).null;
}
Value Field::GetValue() const {
  return CurrentValue(*this);
}
std::string Field::AsString() const {
  return ToString(CurrentValue(*this));
}
int32_t Field::AsInteger() const {
  return static_cast<int32_t>(static_cast<uint32_t>(ToLargeInt(CurrentValue(*this))));
}
int64_t Field::AsLargeInt() const {
  return ToLargeInt(CurrentValue(*this));
}
DateTime Field::AsDateTime() const {
  return ToDateTime(CurrentValue(*this));
}
bool Field::AsBoolean() const {
  return ToBoolean(CurrentValue(*this));
}
std::string Field::DisplayText() const {
  return ToDisplayText(CurrentValue(*this));
}

void Field::SetAsString(std::string_view text) {
  table_->StoreFieldValue(*this, FromString(text));
}
void Field::SetAsInteger(int32_t value) {
  table_->StoreFieldValue(*this, FromLargeInt(value));
}
void Field::SetAsLargeInt(int64_t value) {
  table_->StoreFieldValue(*this, FromLargeInt(value));
}
void Field::SetAsDateTime(DateTime value) {
  table_->StoreFieldValue(*this, FromDateTime(value));
}
void Field::SetAsBoolean(bool value) {
  table_->StoreFieldValue(*this, FromBoolean(value));
}
void Field::Clear() {
  table_->StoreFieldValue(*this, Value{});
}
void Field::Assign(const Field& source) {
  table_->StoreFieldValue(*this, FromField(source, CurrentValue(source)));
}

std::string Field::ToString(const Value&) const {
  BadAccess("String");
}
int64_t Field::ToLargeInt(const Value&) const {
  BadAccess("Integer");
}
DateTime Field::ToDateTime(const Value&) const {
  BadAccess("DateTime");
}
bool Field::ToBoolean(const Value&) const {
  BadAccess("Boolean");
}
std::string Field::ToDisplayText(const Value& v) const {
  return ToString(v);
}
Value Field::FromString(std::string_view) const {
  BadAccess("String");
}
Value Field::FromLargeInt(int64_t) const {
  BadAccess("Integer");
}
Value Field::FromDateTime(DateTime) const {
  BadAccess("DateTime");
}
Value Field::FromBoolean(bool) const {
  BadAccess("Boolean");
}

Value Field::FromField(const Field& source, const Value& v) const {
  if (v.null) return Value{};
  switch (type_) {
    case FieldType::kString:
      return FromString(source.ToString(v));
    case FieldType::kAutoInc:
    case FieldType::kSmallint:
    case FieldType::kInteger:
    case FieldType::kLargeint:
      return FromLargeInt(source.ToLargeInt(v));
    case FieldType::kDateTime:
      return FromDateTime(source.ToDateTime(v));
    case FieldType::kBoolean:
      return FromBoolean(source.ToBoolean(v));
    case FieldType::kUnknown:
      break;
  }
  BadAccess(FieldTypeName(source.DataType()));
}

// ---- StringField ----

StringField::StringField(std::string name, int size, FieldKind kind)
    : Field(std::move(name), FieldType::kString, size, kind) {}

std::string StringField::ToString(const Value& v) const {
  return v.null ? std::string() : v.str;
}

Value StringField::FromString(std::string_view text) const {
  size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  if (Size() > 0) text = Utf8Prefix(text, static_cast<size_t>(Size()));
  if (text.empty()) return Value{};
  return Value{false, 0, std::string(text)};
}

// ---- Integer fields ----

IntegerField::IntegerField(std::string name, FieldKind kind)
    : IntegerField(std::move(name), FieldType::kInteger, kind, std::numeric_limits<int32_t>::min(),
                   std::numeric_limits<int32_t>::max()) {}

IntegerField::IntegerField(std::string name, FieldType type, FieldKind kind, int64_t min,
                           int64_t max)
    : Field(std::move(name), type, 0, kind), min_(min), max_(max) {}

std::string IntegerField::ToString(const Value& v) const {
  return v.null ? std::string() : std::to_string(v.num);
}
int64_t IntegerField::ToLargeInt(const Value& v) const {
  return v.null ? 0 : v.num;
}

Value IntegerField::FromString(std::string_view text) const {
  if (text.empty()) return Value{};
  int64_t n = 0;
  if (!ParseInt64(text, n)) {
    throw DatabaseError(FormatMessage("'%s' is not a valid integer value for field '%s'",
                                      std::string(text).c_str(), DisplayName().c_str()));
  }
  return FromLargeInt(n);
}

Value IntegerField::FromLargeInt(int64_t value) const {
  if (value < min_ || value > max_) {
    throw DatabaseError(
        FormatMessage("%g is not a valid value for field '%s'. The allowed range is %g to %g",
                      static_cast<double>(value), DisplayName().c_str(), static_cast<double>(min_),
                      static_cast<double>(max_)));
  }
  return Number(value);
}

SmallintField::SmallintField(std::string name, FieldKind kind)
    : IntegerField(std::move(name), FieldType::kSmallint, kind, -32768, 32767) {}

AutoIncField::AutoIncField(std::string name, FieldKind kind)
    : IntegerField(std::move(name), FieldType::kAutoInc, kind, std::numeric_limits<int32_t>::min(),
                   std::numeric_limits<int32_t>::max()) {}

LargeintField::LargeintField(std::string name, FieldKind kind)
    : Field(std::move(name), FieldType::kLargeint, 0, kind) {}

std::string LargeintField::ToString(const Value& v) const {
  return v.null ? std::string() : std::to_string(v.num);
}
int64_t LargeintField::ToLargeInt(const Value& v) const {
  return v.null ? 0 : v.num;
}

Value LargeintField::FromString(std::string_view text) const {
  if (text.empty()) return Value{};
  int64_t n = 0;
  if (!ParseInt64(text, n)) {
    throw DatabaseError(FormatMessage("'%s' is not a valid integer value for field '%s'",
                                      std::string(text).c_str(), DisplayName().c_str()));
  }
  return Number(n);
}
Value LargeintField::FromLargeInt(int64_t value) const {
  return Number(value);
}

// ---- DateTimeField ----

namespace {
constexpr int32_t kDayOffset = 693594;  // day number of 1899-12-30 when 0001-01-01 is day 1
constexpr double kMsecPerDay = 86400000.0;
}  // namespace

DateTimeField::DateTimeField(std::string name, FieldKind kind)
    : Field(std::move(name), FieldType::kDateTime, 0, kind) {}

DateTime DateTimeField::ToDateTime(const Value& v) const {
  if (v.null) return 0;
  double days = static_cast<double>(Day(v.num)) - kDayOffset;
  double fraction = Msec(v.num) / kMsecPerDay;
  // Before 1899-12-30 the fraction still counts forward from midnight.
  return days < 0 ? days - fraction : days + fraction;
}

Value DateTimeField::FromDateTime(DateTime value) const {
  // Keeps the day number within 32 bits (and within the calendar's years 1..9999 and beyond).
  if (!std::isfinite(value) || value < -693593.0 || value > 2958466.0) {
    throw DatabaseError(
        FormatMessage("%g is not a valid value for field '%s'. The allowed range is %g to %g",
                      value, DisplayName().c_str(), -693593.0, 2958466.0));
  }
  double whole = std::trunc(value);
  int64_t day = static_cast<int64_t>(whole) + kDayOffset;
  int64_t msec = std::llround(std::fabs(value - whole) * kMsecPerDay);
  if (msec >= static_cast<int64_t>(kMsecPerDay)) {
    msec = 0;
    day += value < 0 ? -1 : 1;
  }
  return Number(Pack(static_cast<int32_t>(day), static_cast<int32_t>(msec)));
}

std::string DateTimeField::ToString(const Value& v) const {
  if (v.null) return std::string();
  return FormatDateTime("c", ToDateTime(v));
}

std::string DateTimeField::ToDisplayText(const Value& v) const {
  if (v.null) return std::string();
  if (DisplayFormat().empty()) return ToString(v);
  return FormatDateTime(DisplayFormat(), ToDateTime(v));
}

Value DateTimeField::FromString(std::string_view text) const {
  if (text.empty()) return Value{};
  throw DatabaseError(FormatMessage("'%s' is not a valid date and time for field '%s'",
                                    std::string(text).c_str(), DisplayName().c_str()));
}

// ---- BooleanField ----

BooleanField::BooleanField(std::string name, FieldKind kind)
    : Field(std::move(name), FieldType::kBoolean, 0, kind) {}

std::string BooleanField::ToString(const Value& v) const {
  if (v.null) return std::string();
  return v.num != 0 ? "True" : "False";
}
bool BooleanField::ToBoolean(const Value& v) const {
  return !v.null && v.num != 0;
}
std::string BooleanField::ToDisplayText(const Value& v) const {
  return ToString(v);
}
Value BooleanField::FromBoolean(bool value) const {
  return Number(value ? 1 : 0);
}

Value BooleanField::FromString(std::string_view text) const {
  if (text.empty()) return Value{};
  std::string lower;
  for (char c : text)
    lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "true" || lower == "t" || lower == "1") return Number(1);
  if (lower == "false" || lower == "f" || lower == "0") return Number(0);
  throw DatabaseError(FormatMessage("'%s' is not a valid boolean value for field '%s'",
                                    std::string(text).c_str(), DisplayName().c_str()));
}

// ---- RecordBuffer ----

RecordBuffer::RecordBuffer(const RecordBuffer& other) {
  *this = other;
}

RecordBuffer::RecordBuffer(RecordBuffer&& other) {
  *this = std::move(other);
}

RecordBuffer& RecordBuffer::operator=(const RecordBuffer& other) {
  if (this == &other) return *this;
  calc = other.calc;
  id_ = other.id_;
  stored_in_ = nullptr;
  if (other.stored_in_) {
    other.stored_in_->Get(id_, data);
  } else {
    data = other.data;
  }
  return *this;
}

RecordBuffer& RecordBuffer::operator=(RecordBuffer&& other) {
  if (this == &other) return *this;
  if (other.stored_in_) return *this = other;  // the values still have to be read
  calc = std::move(other.calc);
  id_ = other.id_;
  stored_in_ = nullptr;
  data = std::move(other.data);
  return *this;
}

void RecordBuffer::Materialize() {
  if (!stored_in_) return;
  stored_in_->Get(id_, data);
  stored_in_ = nullptr;
}

bool RecordBuffer::IsNull(const Field& field) const {
  return ValueIn(*this, field).null;
}
std::string RecordBuffer::AsString(const Field& field) const {
  return field.ToString(ValueIn(*this, field));
}
int32_t RecordBuffer::AsInteger(const Field& field) const {
  return static_cast<int32_t>(static_cast<uint32_t>(field.ToLargeInt(ValueIn(*this, field))));
}
int64_t RecordBuffer::AsLargeInt(const Field& field) const {
  return field.ToLargeInt(ValueIn(*this, field));
}
DateTime RecordBuffer::AsDateTime(const Field& field) const {
  return field.ToDateTime(ValueIn(*this, field));
}
bool RecordBuffer::AsBoolean(const Field& field) const {
  return field.ToBoolean(ValueIn(*this, field));
}
std::string RecordBuffer::DisplayText(const Field& field) const {
  return field.ToDisplayText(ValueIn(*this, field));
}

}  // namespace tivolo::store
