// Service references: hexadecimal fields, each followed by ":", then optionally a path or a
// name ("1:0:1:1A2B:3C4:1:C00000:0:0:0:" or "4097:0:1:...:0:http%3a//host/x").
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tivolo::boxdata {

struct ReferenceFields {
  std::array<uint32_t, 10> value{};
  int count = 0;          // ":"-terminated fields read, at most ten
  size_t fields_end = 0;  // offset just after the last ":" read
  // The second field (the flags) read as decimal, as the box writes it; 0 when it is not.
  uint32_t flags_decimal = 0;
};

// Reads up to ten ":"-terminated fields; text after the tenth ":" is not looked at. A field
// that, without surrounding blanks, is empty, holds a non-hexadecimal character or exceeds
// 32 bits raises ConversionError.
ReferenceFields ParseReferenceFields(std::string_view reference);

// "%04X:%08X:%04X:" of fields 4, 7 and 5 (service id, namespace, transport stream id). A
// reference with fewer than seven fields raises ConversionError.
std::string ServiceKey(std::string_view reference);
std::string FormatServiceKey(uint32_t sid, uint32_t ns, uint32_t tsid);

// Upper case for the hexadecimal fields only (through the last ":" among the first ten); a
// stream URL or name after them keeps its case.
std::string UpperReferenceFields(std::string_view reference);

// A marker (a heading or spacer in a bouquet, not a channel): bit 0x40 of the second field.
// The box writes that field in decimal ("64", and "320" or "832" for numbered markers); it is
// tested read as hexadecimal and as decimal, so "1:64:..." and "1:832:..." are both markers.
inline bool IsMarker(const ReferenceFields& fields) {
  return fields.count >= 2 && ((fields.value[1] | fields.flags_decimal) & 0x40u) != 0;
}

}  // namespace tivolo::boxdata
