// Failures of the record table store. Every failure is raised; nothing is reported silently.
// Messages follow the store's fixed texts; table-wide failures carry the table's component
// name as a "Name: " prefix, engine failures a " - Native error: NNNNN" suffix.
#pragma once

#include <string>
#include "platform/error.h"

namespace tivolo::store {

// A failure of a dataset operation or of a field conversion.
class DatabaseError : public platform::Error {
 public:
  explicit DatabaseError(const std::string& message) : platform::Error(message) {}
  std::string TypeName() const override { return "DatabaseError"; }
};

// A failure reported by the storage engine, with its error number.
class EngineError : public DatabaseError {
 public:
  EngineError(const std::string& text, int error_code);
  int ErrorCode() const { return error_code_; }
  std::string TypeName() const override { return "EngineError"; }

 private:
  int error_code_;
};

// Engine error numbers.
inline constexpr int kErrorNotInEditMode = 10007;
inline constexpr int kErrorNoFields = 10025;
inline constexpr int kErrorDuplicatePrimaryKey = 30319;
inline constexpr int kErrorDuplicateUnique = 30320;
inline constexpr int kErrorNullInPrimaryKey = 30330;

// "name: text", the form of failures that concern a whole table.
DatabaseError NamedError(const std::string& component_name, const std::string& text);

// printf-style formatting for message texts.
std::string FormatMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tivolo::store
