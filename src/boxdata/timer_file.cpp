#include "boxdata/timer_file.h"

#include <limits>

#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/xml_text.h"

namespace tivolo::boxdata {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsTimerLine(std::string_view indented) {
  const std::string_view s = TrimIndent(indented);
  return s.size() > 6 && StartsWithNoCase(s, "<timer") && IsBlank(s[6]);
}

bool IsTimerEnd(std::string_view s) {
  return StartsWithNoCase(TrimControl(s), "</timer>");
}

bool HasRootEnd(std::string_view s) {
  const std::string_view t = TrimControl(s);
  for (size_t at = t.find("</"); at != std::string_view::npos; at = t.find("</", at + 1)) {
    if (StartsWithNoCase(t.substr(at), "</timers>")) return true;
  }
  return false;
}

// Reads the start tag of the line into `element`; returns the text after its ">" (or after
// "/>", with element.closed set). On a fault, well_formed is cleared and a problem recorded.
std::string_view ReadStartTag(std::string_view line, TimerElement& element,
                              std::vector<std::string>& problems) {
  const std::string_view s = TrimIndent(line);
  size_t pos = 6;  // after "<timer"
  auto fault = [&](const char* what) {
    element.well_formed = false;
    problems.push_back("timers.xml line " + std::to_string(element.line_number) + ": " + what);
    return std::string_view();
  };
  for (;;) {
    while (pos < s.size() && IsBlank(s[pos]))
      ++pos;
    if (pos >= s.size()) return fault("the timer's start tag does not end on its line");
    if (s[pos] == '>') return s.substr(pos + 1);
    if (s[pos] == '/') {
      if (pos + 1 < s.size() && s[pos + 1] == '>') {
        element.closed = true;
        return s.substr(pos + 2);
      }
      return fault("stray \"/\" in the timer's start tag");
    }
    const size_t name_start = pos;
    while (pos < s.size() && !IsBlank(s[pos]) && s[pos] != '=' && s[pos] != '>' && s[pos] != '/' &&
           s[pos] != '"' && s[pos] != '\'') {
      ++pos;
    }
    if (pos == name_start) return fault("an attribute of the timer has no name");
    XmlAttribute attribute;
    attribute.name = std::string(s.substr(name_start, pos - name_start));
    while (pos < s.size() && IsBlank(s[pos]))
      ++pos;
    if (pos >= s.size() || s[pos] != '=') return fault("an attribute of the timer has no value");
    ++pos;
    while (pos < s.size() && IsBlank(s[pos]))
      ++pos;
    if (pos >= s.size() || (s[pos] != '"' && s[pos] != '\'')) {
      return fault("an attribute value of the timer is not quoted");
    }
    attribute.quote = s[pos++];
    const size_t close = s.find(attribute.quote, pos);
    if (close == std::string_view::npos) {
      return fault("an attribute value of the timer does not end on its line");
    }
    attribute.value = std::string(s.substr(pos, close - pos));
    pos = close + 1;
    element.attributes.push_back(std::move(attribute));
  }
}

int64_t Saturated(bool negative) {
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

}  // namespace

TimerListFile ParseTimerList(std::string_view bytes) {
  TimerListFile out;
  constexpr size_t kNone = static_cast<size_t>(-1);
  size_t open = kNone;  // index of the timer whose children are being read
  size_t line_number = 0;
  auto unclosed = [&](TimerElement& element) {
    out.problems.push_back("timers.xml line " + std::to_string(element.line_number) +
                           ": the timer has no </timer>");
  };
  ForEachLine(bytes, [&](std::string_view line) {
    ++line_number;
    if (IsTimerLine(line)) {
      if (open != kNone) unclosed(out.timers[open]);
      out.timers.emplace_back();
      TimerElement& element = out.timers.back();
      element.line_number = line_number;
      element.line = std::string(line);
      open = kNone;
      std::string_view rest = ReadStartTag(line, element, out.problems);
      if (!element.well_formed) return;
      if (element.closed) {
        if (HasRootEnd(rest)) out.has_end_tag = true;
        return;
      }
      // Content after ">" on the timer line itself.
      const std::string_view trimmed = TrimControl(rest);
      if (!trimmed.empty()) {
        const size_t end = [&] {
          for (size_t at = rest.find("</"); at != std::string_view::npos;
               at = rest.find("</", at + 1)) {
            if (StartsWithNoCase(rest.substr(at), "</timer>")) return at;
          }
          return std::string_view::npos;
        }();
        const std::string_view inner = rest.substr(0, end);
        if (IsTimerLine(inner)) {
          // Kept as a child line it would be read back as a timer of its own.
          element.well_formed = false;
          out.problems.push_back("timers.xml line " + std::to_string(line_number) +
                                 ": a timer inside a timer");
        } else if (!TrimControl(inner).empty()) {
          element.child_lines.emplace_back(inner);
        }
        if (end != std::string_view::npos) {
          element.closed = true;
          if (HasRootEnd(rest.substr(end))) out.has_end_tag = true;
          return;
        }
      }
      open = out.timers.size() - 1;
      return;
    }
    if (open != kNone) {
      if (IsTimerEnd(line)) {
        out.timers[open].closed = true;
        open = kNone;
        if (HasRootEnd(TrimControl(line).substr(8))) out.has_end_tag = true;
      } else {
        out.timers[open].child_lines.emplace_back(line);
      }
      return;
    }
    if (HasRootEnd(line)) out.has_end_tag = true;
  });
  if (open != kNone) unclosed(out.timers[open]);
  if (!out.has_end_tag) out.problems.push_back("timers.xml has no </timers>: the list is cut off");
  return out;
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  uint64_t v = 0;
  size_t digits = 0;
  bool overflow = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) {
    const unsigned d = static_cast<unsigned>(text[i] - '0');
    if (v > (std::numeric_limits<uint64_t>::max() - d) / 10) overflow = true;
    if (!overflow) v = v * 10 + d;
  }
  if (digits == 0) return std::nullopt;
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (overflow || v > kMax + (negative ? 1 : 0)) return Saturated(negative);
  if (negative)
    return v == kMax + 1 ? std::numeric_limits<int64_t>::min() : -static_cast<int64_t>(v);
  return static_cast<int64_t>(v);
}

TimerValues ExtractTimerValues(const TimerElement& element) {
  TimerValues v;
  bool seen[10] = {};
  static constexpr std::string_view kNames[10] = {
      "begin",       "end",        "serviceref", "repeated", "name",
      "description", "afterevent", "eit",        "disabled", "justplay"};
  for (const XmlAttribute& a : element.attributes) {
    int which = -1;
    for (int k = 0; k < 10; ++k) {
      if (a.name == kNames[k]) which = k;
    }
    if (which < 0) {
      v.extra_attributes += ' ';
      v.extra_attributes += a.name;
      v.extra_attributes += '=';
      v.extra_attributes += a.quote;
      v.extra_attributes += a.value;
      v.extra_attributes += a.quote;
      continue;
    }
    // The first occurrence counts; a repeated one would make the written element invalid.
    if (seen[which]) continue;
    seen[which] = true;
    switch (which) {
      case 0:
        v.begin = ParseDecimal(a.value);
        break;
      case 1:
        v.end = ParseDecimal(a.value);
        break;
      case 2:
        v.serviceref = UpperReferenceFields(TrimControl(XmlUnescape(TrimControl(a.value))));
        break;
      case 3:
        v.repeated = ParseDecimal(a.value).value_or(0);
        break;
      case 4:
        v.name = XmlUnescape(a.value);
        break;
      case 5:
        v.description = a.value;
        break;
      case 6:
        v.afterevent = a.value;
        break;
      case 7:
        v.eit = ParseDecimal(a.value);
        break;
      case 8:
        v.disabled = ParseDecimal(a.value).value_or(0);
        break;
      case 9:
        v.justplay = ParseDecimal(a.value).value_or(0);
        break;
    }
  }
  for (const std::string& line : element.child_lines) {
    v.child_lines += line;
    v.child_lines += '\n';
  }
  return v;
}

namespace {

void AppendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += value;
  out += '"';
}

// Values passed through as read came from a double-quoted attribute and hold no double
// quote; one read from a single-quoted attribute may, and must not end the value early.
std::string QuoteSafe(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

void AppendTimerElement(std::string& out, const TimerText& t) {
  out += "<timer";
  AppendAttribute(out, "begin", t.begin);
  AppendAttribute(out, "end", t.end);
  AppendAttribute(out, "serviceref", XmlEscape(t.serviceref));
  AppendAttribute(out, "repeated", t.repeated);
  AppendAttribute(out, "name", XmlEscape(t.name));
  AppendAttribute(out, "description", QuoteSafe(t.description));
  AppendAttribute(out, "afterevent", QuoteSafe(t.afterevent));
  AppendAttribute(out, "eit", t.eit);
  AppendAttribute(out, "disabled", t.disabled);
  AppendAttribute(out, "justplay", t.justplay);
  out += t.extra_attributes;
  out += ">\r\n";
  for (std::string_view line : SplitChildLines(t.child_lines)) {
    out += line;
    out += "\r\n";
  }
  out += "</timer>\r\n";
}

TimerText ToTimerText(const TimerValues& v) {
  auto number = [](std::optional<int64_t> n) { return n ? std::to_string(*n) : std::string(); };
  TimerText t;
  t.begin = number(v.begin);
  t.end = number(v.end);
  t.serviceref = v.serviceref;
  t.repeated = std::to_string(v.repeated);
  t.name = v.name;
  t.description = v.description;
  t.afterevent = v.afterevent;
  t.eit = number(v.eit);
  t.disabled = std::to_string(v.disabled);
  t.justplay = std::to_string(v.justplay);
  t.extra_attributes = v.extra_attributes;
  t.child_lines = v.child_lines;
  return t;
}

std::vector<std::string_view> SplitChildLines(std::string_view child_lines) {
  std::vector<std::string_view> out;
  size_t start = 0;
  while (start < child_lines.size()) {
    const size_t nl = child_lines.find('\n', start);
    if (nl == std::string_view::npos) {
      out.push_back(child_lines.substr(start));
      break;
    }
    out.push_back(child_lines.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

}  // namespace tivolo::boxdata
