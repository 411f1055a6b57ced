#include "boxdata/service_reference.h"

#include "boxdata/errors.h"
#include "boxdata/text_lines.h"
#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

uint32_t ParseHexField(std::string_view raw) {
  const std::string_view text = TrimControl(raw);
  if (text.empty()) throw ConversionError("'' is not a valid integer value");
  uint64_t v = 0;
  for (char c : text) {
    const int d = platform::HexDigitValue(c);
    if (d < 0) throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    v = v * 16 + static_cast<unsigned>(d);
    if (v > 0xFFFFFFFFull) {
      throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    }
  }
  return static_cast<uint32_t>(v);
}

uint32_t DecimalValue(std::string_view text) {
  uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return 0;
    v = v * 10 + static_cast<unsigned>(c - '0');
    if (v > 0xFFFFFFFFull) return 0;
  }
  return static_cast<uint32_t>(v);
}

}  // namespace

ReferenceFields ParseReferenceFields(std::string_view reference) {
  ReferenceFields out;
  size_t pos = 0;
  while (out.count < 10) {
    const size_t colon = reference.find(':', pos);
    if (colon == std::string_view::npos) break;
    const std::string_view raw = reference.substr(pos, colon - pos);
    out.value[out.count++] = ParseHexField(raw);
    if (out.count == 2) out.flags_decimal = DecimalValue(TrimControl(raw));
    pos = colon + 1;
    out.fields_end = pos;
  }
  return out;
}

std::string FormatServiceKey(uint32_t sid, uint32_t ns, uint32_t tsid) {
  // "%04X:%08X:%04X:", written out.
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(27);
  auto put = [&](uint32_t v, int min_digits) {
    int digits = 8;
    while (digits > min_digits && ((v >> (4 * (digits - 1))) & 0xF) == 0)
      --digits;
    for (int d = digits - 1; d >= 0; --d)
      out += kHex[(v >> (4 * d)) & 0xF];
    out += ':';
  };
  put(sid, 4);
  put(ns, 8);
  put(tsid, 4);
  return out;
}

std::string ServiceKey(std::string_view reference) {
  const ReferenceFields f = ParseReferenceFields(reference);
  if (f.count < 7) {
    throw ConversionError("Service reference '" + std::string(reference) +
                          "' has fewer than seven fields");
  }
  return FormatServiceKey(f.value[3], f.value[6], f.value[4]);
}

std::string UpperReferenceFields(std::string_view reference) {
  std::string out(reference);
  size_t end = 0;
  int colons = 0;
  for (size_t i = 0; i < out.size() && colons < 10; ++i) {
    if (out[i] == ':') {
      ++colons;
      end = i + 1;
    }
  }
  for (size_t i = 0; i < end; ++i)
    out[i] = AsciiUpper(out[i]);
  return out;
}

}  // namespace tivolo::boxdata
