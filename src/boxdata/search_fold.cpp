#include "boxdata/search_fold.h"

#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

// The base letter of U+00C0 to U+017F; '*' marks the letters that become two, '=' the
// characters that stay as they are (the multiplication and division signs).
constexpr std::string_view kLatinBase =
    "aaaaaa*ceeeeiiii"  // U+00C0
    "dnooooo=ouuuuy**"  // U+00D0
    "aaaaaa*ceeeeiiii"  // U+00E0
    "dnooooo=ouuuuy*y"  // U+00F0
    "aaaaaaccccccccdddd"
    "eeeeeeeeee"
    "gggggggghhhh"
    "iiiiiiiiii**jjkkk"
    "llllllllllnnnnnnnnnoooooo**rrrrrrssssssss"
    "ttttttuuuuuuuuuuuuwwyyyzzzzzzs";
constexpr char32_t kLatinFirst = 0xC0;
static_assert(kLatinBase.size() == 0x180 - kLatinFirst);

std::string_view TwoLetters(char32_t c) {
  switch (c) {
    case 0xC6:
    case 0xE6:
      return "ae";
    case 0xDE:
    case 0xFE:
      return "th";
    case 0xDF:
      return "ss";
    case 0x132:
    case 0x133:
      return "ij";
    default:
      return "oe";  // U+0152, U+0153
  }
}

// Greek with its tonos and dialytika taken off, capitals made small.
char32_t FoldGreek(char32_t c) {
  switch (c) {
    case 0x386:
    case 0x3AC:
      return 0x3B1;
    case 0x388:
    case 0x3AD:
      return 0x3B5;
    case 0x389:
    case 0x3AE:
      return 0x3B7;
    case 0x38A:
    case 0x3AF:
    case 0x390:
    case 0x3AA:
    case 0x3CA:
      return 0x3B9;
    case 0x38C:
    case 0x3CC:
      return 0x3BF;
    case 0x38E:
    case 0x3CD:
    case 0x3B0:
    case 0x3AB:
    case 0x3CB:
      return 0x3C5;
    case 0x38F:
    case 0x3CE:
      return 0x3C9;
    case 0x3C2:
      return 0x3C3;  // final sigma
    default:
      break;
  }
  if (c >= 0x391 && c <= 0x3A9) return c + 0x20;
  return c;
}

char32_t FoldCyrillic(char32_t c) {
  if (c == 0x401 || c == 0x400 || c == 0x451 || c == 0x450) return 0x435;  // ё and ѐ: е
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;
  return c;
}

void AppendFoldedCodePoint(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : static_cast<char>(c);
    return;
  }
  if (c >= kLatinFirst && c < 0x180) {
    const char base = kLatinBase[c - kLatinFirst];
    if (base == '*') {
      out += TwoLetters(c);
    } else if (base == '=') {
      platform::AppendUtf8(out, c);
    } else {
      out += base;
    }
    return;
  }
  if (c >= 0x386 && c <= 0x3CE) c = FoldGreek(c);
  if (c >= 0x400 && c <= 0x45F) c = FoldCyrillic(c);
  platform::AppendUtf8(out, c);
}

}  // namespace

void AppendSearchFolded(std::string_view utf8, std::string& out) {
  for (size_t i = 0; i < utf8.size();) {
    const auto byte = static_cast<unsigned char>(utf8[i]);
    if (byte < 0x80) {
      out += (byte >= 'A' && byte <= 'Z') ? static_cast<char>(byte + 32) : utf8[i];
      ++i;
      continue;
    }
    char32_t c = 0;
    const size_t n = platform::CodePointAt(utf8, i, c);
    if (n == 0) {
      ++i;
      continue;
    }
    AppendFoldedCodePoint(c, out);
    i += n;
  }
}

std::string SearchFolded(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  AppendSearchFolded(utf8, out);
  return out;
}

}  // namespace tivolo::boxdata
