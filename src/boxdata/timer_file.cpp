#include "boxdata/timer_file.h"

#include <limits>
#include <optional>
#include <set>

#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/xml_text.h"

namespace tivolo::boxdata {
namespace {

using Kind = XmlToken::Kind;

bool NamedNoCase(const XmlToken& t, Kind kind, std::string_view name) {
  return t.kind == kind && t.name.size() == name.size() && StartsWithNoCase(t.name, name);
}

bool IsTimerStart(const XmlToken& t) {
  return NamedNoCase(t, Kind::kStartTag, "timer");
}

// Line numbers of positions met in ascending order.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}
  size_t LineOf(size_t pos) {
    for (; at_ < pos; ++at_) {
      const char c = text_[at_];
      if (c == '\n' || (c == '\r' && (at_ + 1 >= text_.size() || text_[at_ + 1] != '\n'))) {
        ++line_;
      }
    }
    return line_;
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
  size_t line_ = 1;
};

// The blanks and tabs before pos when only they stand between it and its line's start.
std::string_view IndentationBefore(std::string_view text, size_t pos) {
  size_t b = pos;
  while (b > 0 && (text[b - 1] == ' ' || text[b - 1] == '\t'))
    --b;
  if (b > 0 && text[b - 1] != '\n' && text[b - 1] != '\r') return {};
  return text.substr(b, pos - b);
}

std::vector<std::string> ContentLines(std::string_view content) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    const char c = content[i];
    if (c != '\n' && c != '\r') continue;
    parts.push_back(content.substr(start, i - start));
    if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  parts.push_back(content.substr(start));
  std::vector<std::string> lines;
  for (size_t k = 0; k < parts.size(); ++k) {
    const bool edge = k == 0 || k + 1 == parts.size();
    if (edge && TrimControl(parts[k]).empty()) continue;
    lines.emplace_back(parts[k]);
  }
  return lines;
}

bool HasNumber(const TimerElement& e, std::string_view name) {
  for (const XmlAttribute& a : e.attributes) {
    if (a.name == name) return ParseDecimal(a.value).has_value();
  }
  return false;
}

class TimerListParser {
 public:
  explicit TimerListParser(std::string_view bytes) : bytes_(bytes), tokens_(bytes), lines_(bytes) {}

  TimerListFile Run() {
    for (;;) {
      XmlToken t = next_ ? std::move(*next_) : tokens_.Next();
      next_.reset();
      if (t.kind == Kind::kEnd) break;
      if (NamedNoCase(t, Kind::kEndTag, "timers")) out_.has_end_tag = true;
      // Everything else outside a timer is the box's business, not ours.
      if (IsTimerStart(t)) ReadTimer(std::move(t));
    }
    if (!out_.has_end_tag)
      out_.problems.push_back("timers.xml has no </timers>: the list is cut off");
    return std::move(out_);
  }

 private:
  void Problem(TimerElement& e, std::string_view what) {
    e.well_formed = false;
    out_.problems.push_back("timers.xml line " + std::to_string(e.line_number) + ": " +
                            std::string(what));
  }

  void ReadTimer(XmlToken start) {
    TimerElement& e = out_.timers.emplace_back();
    e.line_number = lines_.LineOf(start.begin);
    e.line = std::string(IndentationBefore(bytes_, start.begin)) +
             std::string(bytes_.substr(start.begin, start.end - start.begin));
    e.attributes = std::move(start.attributes);
    if (start.fault) Problem(e, std::string("the timer's start tag: ") + start.fault);
    if (!HasNumber(e, "begin") || !HasNumber(e, "end"))
      Problem(e, "the timer has no begin or no end");
    if (!start.tag_ended) return;
    if (start.self_closing) {
      e.closed = true;
      return;
    }
    const size_t content_begin = start.end;
    size_t content_end = bytes_.size();
    const char* fault = ReadContent(e, content_end);
    if (!e.closed) Problem(e, "the timer has no </timer>");
    if (fault) {
      Problem(e, std::string("the timer's content, which is not kept: ") + fault);
      return;
    }
    e.child_lines = ContentLines(bytes_.substr(content_begin, content_end - content_begin));
  }

  // Reads up to the timer's end tag, the next timer or the end of the list (setting
  // content_end where the content stops); the first rule the content breaks, or nullptr.
  const char* ReadContent(TimerElement& e, size_t& content_end) {
    const char* fault = nullptr;
    std::vector<std::string_view> open;
    for (XmlToken t = tokens_.Next(); t.kind != Kind::kEnd; t = tokens_.Next()) {
      // A timer inside a timer, or the end of the list, ends this one unclosed: kept as
      // content, either would be read back as something else.
      if (IsTimerStart(t)) {
        content_end = t.begin;
        next_ = std::move(t);
        break;
      }
      if (NamedNoCase(t, Kind::kEndTag, "timers")) {
        content_end = t.begin;
        out_.has_end_tag = true;
        break;
      }
      if (NamedNoCase(t, Kind::kEndTag, "timer")) {
        content_end = t.begin;
        e.closed = true;
        break;
      }
      if (t.fault && !fault) fault = t.fault;
      if (t.kind == Kind::kStartTag && t.tag_ended && !t.self_closing) open.push_back(t.name);
      if (t.kind == Kind::kEndTag) {
        if (open.empty() || open.back() != t.name) {
          if (!fault) fault = "an end tag that matches no start tag";
        } else {
          open.pop_back();
        }
      }
      if (t.kind == Kind::kDoctype ||
          (t.kind == Kind::kPi && t.name.size() == 3 && StartsWithNoCase(t.name, "xml"))) {
        if (!fault) fault = "a declaration";
      }
    }
    if (!open.empty() && !fault) fault = "an element that is not closed";
    return fault;
  }

  std::string_view bytes_;
  XmlTokenizer tokens_;
  LineCounter lines_;
  std::optional<XmlToken> next_;  // a timer's start tag that ended the timer before it
  TimerListFile out_;
};

int64_t Saturated(bool negative) {
  return negative ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
}

}  // namespace

TimerListFile ParseTimerList(std::string_view bytes) {
  return TimerListParser(WithoutByteOrderMark(bytes)).Run();
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
  std::set<std::string_view> extra_names;
  static constexpr std::string_view kNames[10] = {
      "begin",       "end",        "serviceref", "repeated", "name",
      "description", "afterevent", "eit",        "disabled", "justplay"};
  for (const XmlAttribute& a : element.attributes) {
    int which = -1;
    for (int k = 0; k < 10; ++k) {
      if (a.name == kNames[k]) which = k;
    }
    // The first occurrence counts; a repeated one would make the written element invalid.
    if (which < 0) {
      if (!extra_names.insert(a.name).second) continue;
      // Kept as text, so it must be fit to be written as it stands.
      v.extra_attributes += ' ';
      v.extra_attributes += a.name;
      v.extra_attributes += '=';
      v.extra_attributes += a.quote;
      v.extra_attributes += SafeAttributeValue(a.value, a.quote);
      v.extra_attributes += a.quote;
      continue;
    }
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
      // Kept as written, but in the form they take between double quotes, where they are
      // written back: a value read from single quotes may hold a double quote.
      case 5:
        v.description = SafeAttributeValue(a.value, '"');
        break;
      case 6:
        v.afterevent = SafeAttributeValue(a.value, '"');
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

}  // namespace

void AppendTimerElement(std::string& out, const TimerText& t) {
  out += "<timer";
  AppendAttribute(out, "begin", t.begin);
  AppendAttribute(out, "end", t.end);
  AppendAttribute(out, "serviceref", XmlEscape(t.serviceref));
  AppendAttribute(out, "repeated", t.repeated);
  AppendAttribute(out, "name", XmlEscape(t.name));
  // Passed through as read, so references stay as they are; a value from a single-quoted
  // attribute may hold a double quote, and one typed in may hold anything.
  AppendAttribute(out, "description", SafeAttributeValue(t.description, '"'));
  AppendAttribute(out, "afterevent", SafeAttributeValue(t.afterevent, '"'));
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
