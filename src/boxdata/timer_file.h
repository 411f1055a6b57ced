// The box's timer list "timers.xml". Every "timer" element is read wherever the line breaks
// fall (the box writes one start tag per line; other tools and hand edits put several on a
// line or spread one over several); what it holds beyond its start tag is kept as lines for
// the write-back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "boxdata/xml_scan.h"

namespace tivolo::boxdata {

struct TimerElement {
  size_t line_number = 0;                // of its start tag, from 1
  std::string line;                      // the start tag as in the file, with its indentation
  std::vector<XmlAttribute> attributes;  // in file order
  // Its content split at line ends; a blank part on the start tag's line or before the end
  // tag is left out. Empty when the content is not well formed.
  std::vector<std::string> child_lines;
  bool well_formed = true;  // start tag and content read without a fault
  bool closed = false;      // self-closing, or its "</timer>" was found
};

struct TimerListFile {
  std::vector<TimerElement> timers;
  bool has_end_tag = false;           // "</timers>" seen
  std::vector<std::string> problems;  // one text per fault, for the log
  // Every timer well formed, closed and with its begin and end, and the root closed: each
  // timer of the file can be written back as it was read.
  bool Complete() const { return has_end_tag && problems.empty(); }
};

TimerListFile ParseTimerList(std::string_view bytes);

// The ten attributes the program works with, taken from an element; the others and the child
// lines are kept as text for the writer.
struct TimerValues {
  std::optional<int64_t> begin, end;  // seconds since 1970 UTC; nothing when absent or empty
  std::string serviceref;             // decoded, trimmed, its ten fields in upper case
  int64_t repeated = 0;
  std::string name;                    // decoded, UTF-8
  std::string description;             // as written, as it stands between double quotes
  std::string afterevent = "nothing";  // the same
  std::optional<int64_t> eit;
  int64_t disabled = 0;
  int64_t justplay = 0;
  // Each other attribute as " name=\"value\"" (its own quote), in file order.
  std::string extra_attributes;
  // Each child line followed by "\n".
  std::string child_lines;
};

TimerValues ExtractTimerValues(const TimerElement& element);

// A decimal number as the box writes it: leading blanks, an optional sign, digits up to the
// first other character; nothing when there are no digits. Saturates at the 64-bit range.
std::optional<int64_t> ParseDecimal(std::string_view text);

// One timer as it is written: numbers already as decimal text (empty for none), name and
// serviceref decoded (they are escaped here), the other values as they stand.
struct TimerText {
  std::string begin, end, serviceref, repeated, name, description, afterevent, eit, disabled,
      justplay;
  std::string extra_attributes;  // as in TimerValues
  std::string child_lines;       // as in TimerValues
};

// What the program writes before the first timer and after the last.
inline constexpr const char* kTimerListHead = "<?xml version=\"1.0\" ?>\r\n<timers>\r\n";
inline constexpr const char* kTimerListFoot = "</timers>\r\n";

// Appends the timer line (the ten attributes in the box's order, then the kept ones), the
// child lines and "</timer>", each line ended by CR LF.
void AppendTimerElement(std::string& out, const TimerText& timer);

// The text that writes back the values read, unchanged.
TimerText ToTimerText(const TimerValues& values);

// Splits ChildLines text back into lines.
std::vector<std::string_view> SplitChildLines(std::string_view child_lines);

}  // namespace tivolo::boxdata
