// The program's 8-bit code page is the locale's character set. Text in memory is always
// UTF-8; names from the box's files pass through the code page as the Windows program's did,
// so a character the code page lacks becomes "?". In a UTF-8 locale every conversion is the
// identity.
#pragma once

#include <string>
#include <string_view>

namespace tivolo::platform {

class CodePage {
 public:
  explicit CodePage(std::string codeset);  // such as "UTF-8" or "ISO-8859-1"

  // The locale's character set (nl_langinfo(CODESET) after setlocale(LC_CTYPE, "")).
  static const CodePage& System();

  const std::string& Codeset() const { return codeset_; }
  bool IsUtf8() const { return utf8_; }

  // Box text (UTF-8) to program text: characters the code page lacks become "?".
  std::string FromUtf8(std::string_view utf8) const;
  // Program text to the box's UTF-8.
  std::string ToUtf8(std::string_view text) const;

 private:
  std::string codeset_;
  bool utf8_ = true;
};

}  // namespace tivolo::platform
