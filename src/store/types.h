// Basic vocabulary of the record table store: field and index definitions, field kinds and the
// dataset states with the numeric codes callers compare against.
#pragma once

#include <cstdint>
#include <string>

namespace tivolo::store {

// Days since 1899-12-30 00:00, the fraction being the time of day (1970-01-01 is 25569).
using DateTime = double;

enum class FieldType {
  Unknown,
  AutoInc,   // 32-bit signed, numbered by the store when a record is created
  String,    // UTF-8 text; Size counts characters, 0 means no limit
  Smallint,  // 16-bit signed
  Integer,   // 32-bit signed
  Largeint,  // 64-bit signed
  DateTime,  // day number and milliseconds since midnight
  Boolean,   // a truth value (the program uses it only for calculated fields)
};

enum class FieldKind { Data, Calculated };

// Codes are part of the contract: callers compare State() against these numbers.
enum class DatasetState : int {
  Inactive = 0,
  Browse = 1,
  Edit = 2,
  Insert = 3,
  SetKey = 4,
  CalcFields = 5,
};

enum class IndexOption : unsigned {
  None = 0,
  Primary = 1,
  Unique = 2,
  Descending = 4,
  CaseInsensitive = 8,
  Expression = 16,
};

constexpr IndexOption operator|(IndexOption a, IndexOption b) {
  return static_cast<IndexOption>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
constexpr bool HasOption(IndexOption set, IndexOption one) {
  return (static_cast<unsigned>(set) & static_cast<unsigned>(one)) != 0;
}

struct FieldDef {
  std::string name;
  FieldType type = FieldType::Unknown;
  int size = 0;  // strings only: characters kept; 0 keeps any length
};

struct IndexDef {
  std::string name;
  std::string fields;  // field names separated by ";", matched ignoring case
  IndexOption options = IndexOption::None;
};

// Name of a field type as error messages show it ("String", "DateTime", ...).
const char* FieldTypeName(FieldType type);

}  // namespace tivolo::store
