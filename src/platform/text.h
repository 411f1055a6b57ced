// Small text helpers shared by the readers of the box's files and the configuration.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tivolo::platform {

// The value of a hexadecimal digit in either case, -1 for any other character.
int HexDigitValue(char c);

// Appends the UTF-8 bytes of one code point (the caller keeps it within U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

// The code point of the well-formed UTF-8 sequence at s[i] (i < s.size()) and its length in
// bytes; 0 for a malformed, overlong, cut or surrogate sequence.
size_t CodePointAt(std::string_view s, size_t i, char32_t& cp);

}  // namespace tivolo::platform
