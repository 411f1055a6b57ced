// Basic vocabulary of the record table store: field and index definitions, field kinds and the
// dataset states with the numeric codes callers compare against.
#pragma once

#include <cstdint>
#include <string>

namespace tivolo::store {

// Days since 1899-12-30 00:00, the fraction being the time of day (1970-01-01 is 25569).
using DateTime = double;

enum class FieldType {
  kUnknown,
  kAutoInc,   // 32-bit signed, numbered by the store when a record is created
  kString,    // UTF-8 text; Size counts characters, 0 means no limit
  kSmallint,  // 16-bit signed
  kInteger,   // 32-bit signed
  kLargeint,  // 64-bit signed
  kDateTime,  // day number and milliseconds since midnight
  kBoolean,   // a truth value (the program uses it only for calculated fields)
};

enum class FieldKind { kData, kCalculated };

// Codes are part of the contract: callers compare State() against these numbers.
enum class DatasetState : int {
  kInactive = 0,
  kBrowse = 1,
  kEdit = 2,
  kInsert = 3,
  kCalcFields = 5,
};

enum class IndexOption : unsigned {
  kNone = 0,
  kPrimary = 1,
  kUnique = 2,
  kDescending = 4,
  kCaseInsensitive = 8,
  kExpression = 16,
};

constexpr IndexOption operator|(IndexOption a, IndexOption b) {
  return static_cast<IndexOption>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool HasOption(IndexOption set, IndexOption one) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(one)) != 0;
}

struct FieldDef {
  std::string name;
  FieldType type = FieldType::kUnknown;
  int size = 0;  // strings only: characters kept; 0 keeps any length
};

struct IndexDef {
  std::string name;
  std::string fields;  // field names separated by ";", matched ignoring case
  IndexOption options = IndexOption::kNone;
};

// Name of a field type as error messages show it ("String", "DateTime", ...).
const char* FieldTypeName(FieldType type);

}  // namespace tivolo::store
