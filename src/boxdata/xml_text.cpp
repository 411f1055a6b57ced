#include "boxdata/xml_text.h"

#include <cstdint>

#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

// A numeric reference at text[pos] ("&#...;"): its code point and length, or 0.
size_t NumericReference(std::string_view text, size_t pos, uint32_t& cp) {
  size_t i = pos + 2;
  const bool hex = i < text.size() && text[i] == 'x';
  if (hex) ++i;
  uint32_t v = 0;
  size_t digits = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      break;
    }
    v = v * (hex ? 16 : 10) + static_cast<uint32_t>(d);
    if (v > 0x10FFFF) return 0;
    ++digits;
  }
  if (digits == 0 || i >= text.size() || text[i] != ';') return 0;
  if (v == 0 || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  cp = v;
  return i + 1 - pos;
}

}  // namespace

std::string XmlUnescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const std::string_view rest = text.substr(i);
    static constexpr struct {
      std::string_view ref;
      char c;
    } kNamed[] = {{"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&amp;", '&'}};
    bool done = false;
    for (const auto& named : kNamed) {
      if (rest.starts_with(named.ref)) {
        out += named.c;
        i += named.ref.size();
        done = true;
        break;
      }
    }
    if (done) continue;
    uint32_t cp = 0;
    if (rest.starts_with("&#")) {
      if (const size_t len = NumericReference(text, i, cp)) {
        platform::AppendUtf8(out, static_cast<char32_t>(cp));
        i += len;
        continue;
      }
    }
    out += text[i++];
  }
  return out;
}

std::string XmlEscape(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 8);
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      switch (b) {
        case '"':
          out += "&quot;";
          break;
        case '&':
          out += "&amp;";
          break;
        case '\'':
          out += "&apos;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        // Raw, these would become blanks in the box's parser and would break the line.
        case '\t':
          out += "&#9;";
          break;
        case '\n':
          out += "&#10;";
          break;
        case '\r':
          out += "&#13;";
          break;
        default:
          if (b >= 0x20) out += static_cast<char>(b);
      }
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(utf8, i, cp);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (cp != 0xFFFE && cp != 0xFFFF) out.append(utf8.substr(i, len));
    i += len;
  }
  return out;
}

}  // namespace tivolo::boxdata
