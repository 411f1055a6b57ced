// Character references of the timer list's attribute values.
#pragma once

#include <string>
#include <string_view>

namespace tivolo::boxdata {

// Decodes "&lt;", "&gt;", "&quot;", "&apos;", "&amp;" and numeric references ("&#233;",
// "&#xE9;") once, in one pass: a decoded "&" never starts another reference. A reference
// that is unknown, malformed or names no character (0, surrogates, beyond U+10FFFF) stays
// as written. No code page conversion.
std::string XmlUnescape(std::string_view text);

// Escapes the five special characters, and tab, LF and CR as numeric references (kept
// whole by the box and by the line-based reader). Drops what XML 1.0 forbids in a document (control
// characters other than tab, LF and CR, U+FFFE, U+FFFF) and replaces each byte of a
// malformed UTF-8 sequence by U+FFFD, so the box's parser never rejects the file.
std::string XmlEscape(std::string_view utf8);

}  // namespace tivolo::boxdata
