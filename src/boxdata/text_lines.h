// Line splitting and trimming shared by the readers of the box's text files.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::boxdata {

// Splits at CR, LF and CR LF. A final line end does not start another line; an empty input
// has no lines. The views point into `bytes`.
std::vector<std::string_view> SplitLines(std::string_view bytes);

// Calls f(line) for every line, as SplitLines would give them, without building a vector.
template <typename F>
void ForEachLine(std::string_view bytes, F&& f) {
  size_t start = 0;
  const size_t n = bytes.size();
  for (size_t i = 0; i < n; ++i) {
    const char c = bytes[i];
    if (c == '\n' || c == '\r') {
      f(bytes.substr(start, i - start));
      if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) f(bytes.substr(start));
}

// The text without a UTF-8 byte-order mark at its start: editors on other systems add one,
// and it is no part of the first line.
std::string_view WithoutByteOrderMark(std::string_view bytes);

// Removes characters with codes 0 to 32 from both ends.
std::string_view TrimControl(std::string_view s);

// ASCII-only case helpers: the box's keywords and hexadecimal fields are ASCII, and bytes of
// UTF-8 sequences must pass untouched.
inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
std::string AsciiLowerCopy(std::string_view s);

// The whole file; FileOpenError ("Cannot open file "<path>". <reason>") when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace tivolo::boxdata
