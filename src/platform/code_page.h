// The program's 8-bit code page is the locale's character set. Text in memory is always
// UTF-8; names from the box's files pass through the code page as the Windows program's did,
// so a character the code page lacks becomes "?". In a UTF-8 locale every conversion is the
// identity.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tivolo::platform {

class CodePage {
 public:
  // Such as "UTF-8", "ISO-8859-1" or "CP1252"; throws std::invalid_argument for a character
  // set that iconv does not know.
  explicit CodePage(std::string codeset);

  // The character set of the user's locale (LC_ALL, LC_CTYPE, LANG), read once without
  // touching the process's locale. The plain C/POSIX locale, which names no preference,
  // counts as UTF-8 so that names are not reduced to "?".
  static const CodePage& System();

  bool IsUtf8() const { return utf8_; }

  // Box text (UTF-8) to program text: characters the code page lacks become "?".
  std::string FromUtf8(std::string_view utf8) const;
  // Program text to the box's UTF-8. Program text is UTF-8 too; what the code page cannot
  // hold becomes "?", as it could not have been typed into the Windows program either.
  std::string ToUtf8(std::string_view text) const;

  // The raw conversions: UTF-8 to bytes of the code page, and back. Invalid input and
  // characters without a counterpart become "?".
  std::string Encode(std::string_view utf8) const;
  std::string Decode(std::string_view bytes) const;

 private:
  std::string codeset_;
  bool utf8_ = true;
  // Single-byte sets convert through tables built once; others (multi-byte, stateful) go
  // through iconv on every call.
  bool single_byte_ = false;
  std::array<std::string, 256> decode_{};  // empty: the byte has no character
  std::unordered_map<char32_t, uint8_t> encode_;
  char question_ = '?';
};

}  // namespace tivolo::platform
