#include "boxdata/dvb_text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "boxdata/guide_data.h"
#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

using namespace std::string_view_literals;

using UpperHalf = std::array<char16_t, 96>;  // the characters of the bytes 0xA0 to 0xFF

constexpr int kLastLatinTable = 16;
constexpr char32_t kDvbLineBreak = 0x8A;

// ISO 6937 as the receiver reads it (the euro sign at 0xA4). The accents 0xC1 to 0xCF come
// first in a two-byte letter; alone they stand for nothing here.
constexpr std::u16string_view kIso6937 =
    u"\u00A0\u00A1\u00A2\u00A3\u20AC\u00A5\0\u00A7\u00A4\u2018\u201C\u00AB\u2190\u2191\u2192\u2193"
    u"\u00B0\u00B1\u00B2\u00B3\u00D7\u00B5\u00B6\u00B7\u00F7\u2019\u201D\u00BB\u00BC\u00BD\u00BE"
    u"\u00BF"
    u"\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0"
    u"\u2015\u00B9\u00AE\u00A9\u2122\u266A\u00AC\u00A6\0\0\0\0\u215B\u215C\u215D\u215E"
    u"\u2126\u00C6\u0110\u00AA\u0126\0\u0132\u013F\u0141\u00D8\u0152\u00BA\u00DE\u0166\u014A\u0149"
    u"\u0138\u00E6\u0111\u00F0\u0127\u0131\u0133\u0140\u0142\u00F8\u0153\u00DF\u00FE\u0167\u014B\u00AD"sv;
static_assert(kIso6937.size() == 96);

// ISO 6937's accented letters: the accent byte, then the letter it is put on.
struct Accent {
  uint8_t accent;
  std::string_view letters;
  std::u16string_view composed;  // one character for each of `letters`
};
constexpr Accent kAccents[] = {
    {0xC1, "aAeEiIoOuU", u"àÀèÈìÌòÒùÙ"},
    {0xC2, " aAeEiIoOuUyYcClLnNrRsSzZ", u"´áÁéÉíÍóÓúÚýÝćĆĺĹńŃŕŔśŚźŹ"},
    {0xC3, "aAeEiIoOuUyYcCgGhHjJsSwW", u"âÂêÊîÎôÔûÛŷŶĉĈĝĜĥĤĵĴŝŜŵŴ"},
    {0xC4, "aAnNiIoOuU", u"ãÃñÑĩĨõÕũŨ"},
    {0xC5, " AaEeIiOo", u"¯ĀāĒēĪīŌō"},
    {0xC6, " aAgGuU", u"˘ăĂğĞŭŬ"},
    {0xC7, " cCeEgGZIz", u"˙ċĊėĖġĠŻİż"},
    {0xC8, " aAeEiIoOuUyY", u"¨äÄëËïÏöÖüÜÿŸ"},
    {0xCA, " aAuU", u"˚åÅůŮ"},
    {0xCB, "cCgGkKlLnNrRsStT", u"çÇģĢķĶļĻņŅŗŖşŞţŢ"},
    {0xCD, " oOuU", u"˝őŐűŰ"},
    {0xCE, " aAeEiIuU", u"˛ąĄęĘįĮųŲ"},
    {0xCF, " cCdDeElLnNrRsStTzZ", u"ˇčČďĎěĚľĽňŇřŘšŠťŤžŽ"},
};

constexpr bool EveryLetterComposed() {
  for (const Accent& a : kAccents) {
    if (a.letters.size() != a.composed.size()) return false;
  }
  return true;
}
static_assert(EveryLetterComposed());

char32_t ComposeIso6937(uint8_t accent, uint8_t letter) {
  for (const Accent& a : kAccents) {
    if (a.accent != accent) continue;
    const size_t at = a.letters.find(static_cast<char>(letter));
    return at == std::string_view::npos ? 0 : a.composed[at];
  }
  return 0;
}

// The upper halves of ISO 8859-2 to -16 from the system's converters, built once; a byte the
// table leaves empty stands for nothing, as in the receiver's tables.
const std::array<UpperHalf, kLastLatinTable + 1>& LatinTables() {
  static const auto tables = [] {
    std::array<UpperHalf, kLastLatinTable + 1> out{};
    for (int n = 2; n <= kLastLatinTable; ++n) {
      const std::string name = "ISO-8859-" + std::to_string(n);
      iconv_t cd = iconv_open("UTF-32LE", name.c_str());
      if (cd == reinterpret_cast<iconv_t>(-1)) continue;
      for (int b = 0xA0; b <= 0xFF; ++b) {
        char in = static_cast<char>(b);
        uint32_t code = 0;
        char* in_ptr = &in;
        char* out_ptr = reinterpret_cast<char*>(&code);
        size_t in_left = 1, out_left = sizeof code;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1) &&
            code <= 0xFFFF)
          out[n][b - 0xA0] = static_cast<char16_t>(code);
      }
      iconv_close(cd);
    }
    return out;
  }();
  return tables;
}

// One byte of a single-byte table; 0 when it stands for nothing.
char32_t Recode(uint8_t byte, int table) {
  if (byte < 0xA0) return byte;
  if (table == dvb_table::kIso6937) return kIso6937[byte - 0xA0];
  if (table >= 2 && table <= kLastLatinTable && table != 12)
    return LatinTables()[table][byte - 0xA0];
  return byte;  // ISO 8859-1, and tables the receiver has no mapping for
}

template <typename Out>
void Emit(char32_t code, Out& out) {
  if (code == 0) return;
  if (code >= 0x80 && code <= 0x9F) {
    if (code == kDvbLineBreak) out += '\n';
    return;
  }
  char bytes[4];
  size_t n = 0;
  if (code < 0x80) {
    bytes[n++] = static_cast<char>(code);
  } else if (code < 0x800) {
    bytes[n++] = static_cast<char>(0xC0 | (code >> 6));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    bytes[n++] = static_cast<char>(0xE0 | (code >> 12));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    bytes[n++] = static_cast<char>(0xF0 | (code >> 18));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  }
  out.append(bytes, n);
}

// The end of the run of bytes from `i` on that every table reads as themselves (0x01 to
// 0x7F): most of a text, copied in one go.
size_t PlainRunEnd(std::string_view bytes, size_t i) {
  constexpr uint64_t kOnes = 0x0101010101010101u;
  constexpr uint64_t kHighs = 0x8080808080808080u;
  // Eight at a time while none has its high bit set or is zero.
  while (i + 8 <= bytes.size()) {
    uint64_t word = 0;
    std::memcpy(&word, bytes.data() + i, sizeof word);
    if (((word | ((word - kOnes) & ~word)) & kHighs) != 0) break;
    i += 8;
  }
  while (i < bytes.size() && static_cast<uint8_t>(bytes[i] - 1) < 0x7F)
    ++i;
  return i;
}

// UTF-8 as it stands, with malformed bytes dropped.
template <typename Out>
void AppendUtf8Text(std::string_view bytes, Out& out) {
  for (size_t i = 0; i < bytes.size();) {
    const size_t plain = PlainRunEnd(bytes, i);
    if (plain > i) {
      out.append(bytes, i, plain - i);
      i = plain;
      continue;
    }
    char32_t code = 0;
    const size_t n = platform::CodePointAt(bytes, i, code);
    if (n == 0) {
      ++i;
      continue;
    }
    Emit(code, out);
    i += n;
  }
}

// A multi-byte Chinese table through the system's converter; undecodable bytes are skipped.
template <typename Out>
void AppendThroughIconv(const char* charset, std::string_view bytes, Out& out) {
  iconv_t cd = iconv_open("UTF-8", charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) return;
  std::string buffer(bytes.size() * 4 + 4, '\0');
  char* in_ptr = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  char* out_ptr = buffer.data();
  size_t out_left = buffer.size();
  while (in_left > 0) {
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) break;  // cannot happen: four bytes a byte is room enough
    ++in_ptr;                   // EILSEQ or EINVAL: skip the byte, as the receiver does
    --in_left;
  }
  iconv_close(cd);
  AppendUtf8Text(std::string_view(buffer.data(), buffer.size() - out_left), out);
}

// UTF-16 in the receiver's way: a pair split by the end of the text ends it; a high half
// followed by anything but a low half ends it too, or, big-endian, empties the whole text.
// Returns false when the whole text is to be dropped.
template <typename Out>
bool AppendUtf16(std::string_view text, size_t i, bool big_endian, Out& out) {
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const size_t len = text.size();
  auto word = [&](size_t at) {
    return big_endian ? (data[at] << 8 | data[at + 1]) : (data[at + 1] << 8 | data[at]);
  };
  while (i + 2 <= len) {
    const uint32_t w1 = static_cast<uint32_t>(word(i));
    char32_t code = 0;
    if (w1 < 0xD800 || w1 > 0xDFFF) {
      code = w1;
      i += 2;
    } else if (w1 > 0xDBFF || i + 4 >= len) {
      break;
    } else {
      const uint32_t w2 = static_cast<uint32_t>(word(i + 2));
      if (w2 < 0xDC00 || w2 > 0xDFFF) return !big_endian;
      code = 0x10000 + (((w1 & 0x3FF) << 10) | (w2 & 0x3FF));
      i += 4;
    }
    // A zero word stands for nothing; the receiver then reads the next byte alone.
    if (code == 0 && i < len) code = data[i++];
    Emit(code, out);
  }
  return true;
}

template <typename Out>
void AppendSingleByte(std::string_view text, size_t i, int table, Out& out) {
  const auto* data = reinterpret_cast<const uint8_t*>(text.data());
  const size_t len = text.size();
  const bool two_byte_letters = table == dvb_table::kIso6937;
  while (i < len) {
    const size_t plain = PlainRunEnd(text, i);
    if (plain > i) {
      out.append(text, i, plain - i);
      i = plain;
      continue;
    }
    char32_t code = 0;
    if (two_byte_letters && i + 1 < len && (code = ComposeIso6937(data[i], data[i + 1])) != 0)
      i += 2;
    else
      code = Recode(data[i++], table);
    Emit(code, out);
  }
}

// The table chosen by the text's first byte, and where its characters start.
struct Selection {
  int table;
  size_t start;
};

// A language code as one number, for the table of languages below.
constexpr uint32_t Pack(const char (&code)[4]) {
  return uint32_t{static_cast<uint8_t>(code[0])} << 16 |
         uint32_t{static_cast<uint8_t>(code[1])} << 8 | static_cast<uint8_t>(code[2]);
}

Selection SelectTable(std::string_view text, int table) {
  const auto first = static_cast<uint8_t>(text[0]);
  if (first >= 0x01 && first <= 0x0B) {
    // Thai broadcasters send a wrong table byte; the receiver keeps Thai for them.
    return {table == 11 ? table : first + 4, 1};
  }
  if (first == 0x10) {
    if (text.size() < 3) return {table, text.size()};
    const int n = static_cast<uint8_t>(text[1]) << 8 | static_cast<uint8_t>(text[2]);
    return {n == 12 ? table : n, 3};
  }
  switch (first) {
    case dvb_table::kUnicode:
    case dvb_table::kGb18030:
    case dvb_table::kBig5:
    case dvb_table::kUtf8:
    case dvb_table::kUtf16Be:
    case dvb_table::kUtf16Le:
      return {first, 1};
    default:
      break;
  }
  // Korean (0x12), Freesat (0x1F) and the reserved values: the byte is passed over.
  if (first < 0x20) return {table, 1};
  return {table, 0};
}

}  // namespace

int DefaultTableForLanguage(std::string_view code) {
  if (code.size() != 3) return dvb_table::kLatin1;
  uint32_t packed = 0;
  for (const char c : code)
    packed = packed << 8 | static_cast<uint8_t>((c >= 'A' && c <= 'Z') ? c + 32 : c);
  switch (packed) {
    case Pack("ara"):
      return 6;
    case Pack("tur"):
      return 9;
    case Pack("gre"):
    case Pack("ell"):
      return 7;
    case Pack("pol"):
      return 2;
    case Pack("rus"):
    case Pack("bul"):
      return 5;
    case Pack("tha"):
      return 11;
    case Pack("cze"):
    case Pack("ces"):
    case Pack("slo"):
    case Pack("slk"):
      return dvb_table::kIso6937;
    case Pack("chi"):
    case Pack("zho"):
    case Pack("chn"):
      return dvb_table::kGb18030;
    case Pack("fas"):
    case Pack("per"):
    case Pack("pes"):
      return dvb_table::kUtf8;
    default:
      return dvb_table::kLatin1;
  }
}

template <typename Out>
void AppendDvbText(std::string_view text, int table, Out& out) {
  if (text.empty()) return;
  const size_t mark = out.size();
  const Selection chosen = SelectTable(text, table);
  const std::string_view rest = text.substr(chosen.start);
  switch (chosen.table) {
    case dvb_table::kUtf8:
      AppendUtf8Text(rest, out);
      break;
    case dvb_table::kGb18030:
      AppendThroughIconv("GB18030", rest, out);
      break;
    case dvb_table::kBig5:
      AppendThroughIconv("BIG5", rest, out);
      break;
    case dvb_table::kUnicode:
    case dvb_table::kUtf16Be:
    case dvb_table::kUtf16Le:
      if (!AppendUtf16(text, chosen.start, chosen.table != dvb_table::kUtf16Le, out))
        out.resize(mark);
      break;
    default:
      AppendSingleByte(text, chosen.start, chosen.table, out);
      break;
  }
}

template <typename Out>
void AppendDvbTitle(std::string_view text, int table, Out& out) {
  const size_t mark = out.size();
  AppendDvbText(text, table, out);
  std::replace_if(
      out.begin() + static_cast<std::ptrdiff_t>(mark), out.end(),
      [](char c) { return c == '\n' || c == '\t'; }, ' ');
}

template void AppendDvbText(std::string_view, int, std::string&);
template void AppendDvbText(std::string_view, int, GuideTextPool&);
template void AppendDvbTitle(std::string_view, int, std::string&);
template void AppendDvbTitle(std::string_view, int, GuideTextPool&);

}  // namespace tivolo::boxdata
