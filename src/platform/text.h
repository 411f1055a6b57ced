// Small text helpers shared by the readers of the box's files and the configuration.
#pragma once

#include <string>

namespace tivolo::platform {

// The value of a hexadecimal digit in either case, -1 for any other character.
int HexDigitValue(char c);

// Appends the UTF-8 bytes of one code point (the caller keeps it within U+10FFFF).
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace tivolo::platform
