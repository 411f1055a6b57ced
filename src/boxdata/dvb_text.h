// Texts of broadcast programme data (titles, descriptions) to UTF-8, decoded as the receiver
// decodes them: a first byte may choose the character table (0x01 to 0x0B ISO 8859-5 to -15,
// 0x10 and two bytes ISO 8859-n, 0x11 and 0x16 UTF-16 big-endian, 0x17 little-endian, 0x13
// GB 18030, 0x14 Big5, 0x15 UTF-8); otherwise the table that the text's language implies
// applies, ISO 8859-1 for most languages and ISO 6937 (with its two-byte accented letters)
// for a few.
//
// Where we differ from the receiver on purpose: the broadcast control codes (U+0080 to
// U+009F) are not passed on, except the line break U+008A, which becomes "\n"; a lone accent
// of ISO 6937 (one not followed by a letter it fits) is dropped instead of becoming a
// private-use character; the output is always well-formed UTF-8. Freesat's compressed texts
// (first byte 0x1F) are not unpacked.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tivolo::boxdata {

// The receiver's numbers for the character tables (its encoding.conf names).
namespace dvb_table {
inline constexpr int kIso6937 = 0;
inline constexpr int kLatin1 = 1;  // 1 to 16: ISO 8859-n
inline constexpr int kUnicode = 0x11;
inline constexpr int kGb18030 = 0x13;
inline constexpr int kBig5 = 0x14;
inline constexpr int kUtf8 = 0x15;
inline constexpr int kUtf16Be = 0x16;
inline constexpr int kUtf16Le = 0x17;
}  // namespace dvb_table

// The table a text without a table byte is read with, from its ISO 639 language code (three
// letters, any case), as the receiver's stock encoding.conf gives it.
int DefaultTableForLanguage(std::string_view language_code);

// Appends the UTF-8 form of `bytes`, read with `table` unless its first byte chooses another.
// `Out`: std::string or the guide's text pool (GuideTextPool).
template <typename Out>
void AppendDvbText(std::string_view bytes, int table, Out& out);

// The same, for a title: line breaks and tabs become blanks, as the receiver shows titles on
// one line.
template <typename Out>
void AppendDvbTitle(std::string_view bytes, int table, Out& out);

}  // namespace tivolo::boxdata
