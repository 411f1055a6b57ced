#include "store/errors.h"

#include <cstdarg>
#include <cstdio>

#include "store/types.h"

namespace tivolo::store {

namespace {

std::string WithNativeError(const std::string& text, int error_code) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " - Native error: %05d", error_code);
  return text + suffix;
}

}  // namespace

EngineError::EngineError(const std::string& text, int error_code)
    : DatabaseError(WithNativeError(text, error_code)), error_code_(error_code) {}

DatabaseError NamedError(const std::string& component_name, const std::string& text) {
  return DatabaseError(component_name.empty() ? text : component_name + ": " + text);
}

std::string FormatMessage(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(n));
  }
  va_end(args);
  return out;
}

const char* FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::kAutoInc:
      return "AutoInc";
    case FieldType::kString:
      return "String";
    case FieldType::kSmallint:
      return "Smallint";
    case FieldType::kInteger:
      return "Integer";
    case FieldType::kLargeint:
      return "Largeint";
    case FieldType::kDateTime:
      return "DateTime";
    case FieldType::kBoolean:
      return "Boolean";
    case FieldType::kUnknown:
      break;
  }
  return "Unknown";
}

}  // namespace tivolo::store
