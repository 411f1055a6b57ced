#include "boxdata/autotimer_file.h"

#include <algorithm>
#include <limits>
#include <unordered_map>

#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "boxdata/xml_text.h"

namespace tivolo::boxdata {
namespace {

using Kind = XmlToken::Kind;

// The rule plugin reads numbers with Python's int(); we take what ParseDecimal takes, within
// int's range (a value beyond it is kept as written and not used).
std::optional<int> SmallNumber(std::string_view text) {
  const std::optional<int64_t> v = ParseDecimal(TrimControl(text));
  if (!v || *v < std::numeric_limits<int>::min() || *v > std::numeric_limits<int>::max()) {
    return std::nullopt;
  }
  return static_cast<int>(*v);
}

std::optional<int64_t> BigNumber(std::string_view text) {
  return ParseDecimal(TrimControl(text));
}

bool IsBlank(std::string_view text) {
  return TrimControl(text).empty();
}

// The rule's attribute `a` (decoded value) read into `rule`; false when we do not know it
// or cannot read its value, so that it is kept as written.
bool ReadAttribute(AutoTimerRule& rule, std::string_view name, const std::string& value) {
  auto number = [&](int& out) {
    const std::optional<int> v = SmallNumber(value);
    if (v) out = *v;
    return v.has_value();
  };
  if (name == "match") {
    rule.match = value;
  } else if (name == "name") {
    rule.name = value;
  } else if (name == "enabled") {
    // The plugin disables a rule whose value it does not know.
    rule.enabled = value == "yes";
    return value == "yes" || value == "no";
  } else if (name == "from" || name == "to") {
    const std::optional<TimeOfDay> t = ParseTimeOfDay(value);
    (name == "from" ? rule.from : rule.to) = t;
    return t.has_value();
  } else if (name == "after" || name == "before") {
    const std::optional<int64_t> v = BigNumber(value);
    (name == "after" ? rule.after : rule.before) = v;
    return v.has_value();
  } else if (name == "maxduration") {
    rule.max_duration_minutes = SmallNumber(value);
    return rule.max_duration_minutes.has_value();
  } else if (name == "location") {
    rule.location = value;
  } else if (name == "offset") {
    const size_t comma = value.find(',');
    const std::string_view text(value);
    const std::string_view b = text.substr(0, comma);
    const std::string_view a = comma == std::string::npos ? b : text.substr(comma + 1);
    const std::optional<int> before = IsBlank(b) ? std::optional<int>(0) : SmallNumber(b);
    const std::optional<int> after = IsBlank(a) ? std::optional<int>(0) : SmallNumber(a);
    if (!before || !after ||
        value.find(',', comma == std::string::npos ? comma : comma + 1) != std::string::npos) {
      return false;
    }
    rule.offset_before = before;
    rule.offset_after = after;
  } else if (name == "justplay") {
    return number(rule.justplay);
  } else if (name == "setEndtime") {
    return number(rule.set_endtime);
  } else if (name == "avoidDuplicateDescription") {
    return number(rule.avoid_duplicate_description);
  } else if (name == "searchForDuplicateDescription") {
    return number(rule.search_for_duplicate_description);
  } else if (name == "searchType") {
    static constexpr RuleSearchType kTypes[] = {RuleSearchType::kPartial, RuleSearchType::kExact,
                                                RuleSearchType::kStart, RuleSearchType::kEnd,
                                                RuleSearchType::kDescription};
    for (RuleSearchType t : kTypes) {
      if (value == SearchTypeName(t)) {
        rule.search_type = t;
        return true;
      }
    }
    return false;
  } else if (name == "searchCase") {
    rule.case_sensitive = value == "sensitive";
    return value == "sensitive" || value == "insensitive";
  } else if (name == "counter") {
    return number(rule.counter);
  } else if (name == "left") {
    rule.left = SmallNumber(value);
    return rule.left.has_value();
  } else if (name == "counterFormat") {
    rule.counter_format = value;
  } else if (name == "lastActivation") {
    rule.last_activation = value;
  } else if (name == "lastBegin") {
    const std::optional<int64_t> v = BigNumber(value);
    if (v) rule.last_begin = *v;
    return v.has_value();
  } else if (name == "encoding") {
    rule.encoding = value;
  } else if (name == "conflict_detection") {
    rule.conflict_detection = value == "yes";
    return value == "yes" || value == "no";
  } else if (name == "always_zap") {
    return number(rule.always_zap);
  } else {
    return false;
  }
  return true;
}

// A child element read whole: its name, attributes, text and bytes.
struct Child {
  std::string name;
  std::vector<XmlAttribute> attributes;
  std::string text;    // decoded, when the child holds only text
  bool simple = true;  // holds only text (no elements, comments or sections)
  std::string raw;
  size_t end = 0;
};

std::optional<RuleFilterWhere> WhereOf(std::string_view text) {
  static constexpr RuleFilterWhere kAll[] = {
      RuleFilterWhere::kTitle, RuleFilterWhere::kShortDescription, RuleFilterWhere::kDescription,
      RuleFilterWhere::kDayOfWeek};
  for (RuleFilterWhere w : kAll) {
    if (text == FilterWhereName(w)) return w;
  }
  return std::nullopt;
}

// A known child taken into the rule; false when it stays as written.
bool ReadChild(AutoTimerRule& rule, const Child& c) {
  if (!c.simple || c.text.empty()) return false;
  auto attribute = [&](std::string_view name) -> const XmlAttribute* {
    for (const XmlAttribute& a : c.attributes) {
      if (a.name == name) return &a;
    }
    return nullptr;
  };
  if (c.name == "serviceref" || c.name == "bouquet" || c.name == "tag") {
    if (!c.attributes.empty()) return false;
    (c.name == "serviceref" ? rule.services
     : c.name == "bouquet"  ? rule.bouquets
                            : rule.tags)
        .push_back(c.text);
    return true;
  }
  if (c.name == "include" || c.name == "exclude") {
    const XmlAttribute* where = attribute("where");
    if (c.attributes.size() != 1 || where == nullptr) return false;
    const std::optional<RuleFilterWhere> w = WhereOf(XmlUnescape(where->value));
    if (!w) return false;
    (c.name == "include" ? rule.includes : rule.excludes).push_back({*w, c.text});
    return true;
  }
  if (c.name == "afterevent") {
    RuleAfterEvent e;
    e.action = c.text;
    const XmlAttribute* from = attribute("from");
    const XmlAttribute* to = attribute("to");
    if (c.attributes.size() != (from ? 1u : 0u) + (to ? 1u : 0u)) return false;
    if (from || to) {
      if (!from || !to) return false;
      e.from = ParseTimeOfDay(XmlUnescape(from->value));
      e.to = ParseTimeOfDay(XmlUnescape(to->value));
      if (!e.from || !e.to) return false;
    }
    rule.after_events.push_back(std::move(e));
    return true;
  }
  return false;
}

class AutoTimerParser {
 public:
  explicit AutoTimerParser(std::string_view bytes) : bytes_(bytes), tokens_(bytes) {}

  AutoTimerFile Run() {
    size_t last_end = 0;
    bool root_closed = false;
    int depth = 0;
    for (;;) {
      XmlToken t = next_ ? std::move(*next_) : tokens_.Next();
      next_.reset();
      if (t.kind == Kind::kEnd) break;
      if (t.kind == Kind::kStartTag && t.name == "timer" && depth <= 1) {
        const size_t begin = t.begin;
        if (out_.rules.empty()) out_.head = std::string(bytes_.substr(0, begin));
        AutoTimerEntry& e = out_.rules.emplace_back();
        if (out_.rules.size() > 1)
          e.leading = std::string(bytes_.substr(last_end, begin - last_end));
        e.line_number = LineOf(begin);
        last_end = ReadRule(e, std::move(t));
        continue;
      }
      if (t.kind == Kind::kStartTag && t.tag_ended && !t.self_closing) {
        if (depth == 0 && t.name != "autotimer") Problem("the root element is not <autotimer>");
        ++depth;
      } else if (t.kind == Kind::kEndTag) {
        if (depth == 1 && t.name == "autotimer") {
          root_closed = true;
          if (out_.rules.empty()) {
            out_.head = std::string(bytes_.substr(0, t.begin));
            last_end = t.begin;
          }
        }
        depth = std::max(0, depth - 1);
      }
    }
    if (out_.rules.empty() && !root_closed) {
      out_.head = std::string(bytes_);
      last_end = bytes_.size();
    }
    out_.tail = std::string(bytes_.substr(std::min(last_end, bytes_.size())));
    if (!root_closed) Problem("autotimer.xml has no </autotimer>: the file is cut off");
    std::string why;
    if (out_.problems.empty() && !IsWellFormedXml(bytes_, &why)) {
      Problem("autotimer.xml is not well formed: " + why);
    }
    return std::move(out_);
  }

 private:
  void Problem(std::string what) { out_.problems.push_back(std::move(what)); }

  // Line numbers of positions met in ascending order, counted once over the file.
  size_t LineOf(size_t pos) {
    line_ += static_cast<size_t>(std::count(bytes_.begin() + static_cast<ptrdiff_t>(line_at_),
                                            bytes_.begin() + static_cast<ptrdiff_t>(pos), '\n'));
    line_at_ = pos;
    return line_;
  }

  void RuleProblem(AutoTimerEntry& e, std::string_view what) {
    e.well_formed = false;
    Problem("autotimer.xml line " + std::to_string(e.line_number) + ": " + std::string(what));
  }

  // Reads the rule that `start` opens; where its bytes end.
  size_t ReadRule(AutoTimerEntry& e, XmlToken start) {
    if (start.fault) RuleProblem(e, std::string("the rule's start tag: ") + start.fault);
    for (const XmlAttribute& a : start.attributes) {
      if (!ReadAttribute(e.rule, a.name, XmlUnescape(a.value))) e.kept_attributes.push_back(a);
    }
    KeepUnpaired(e, start.attributes, e.rule.from, e.rule.to, "from", "to");
    KeepUnpaired(e, start.attributes, e.rule.after, e.rule.before, "after", "before");
    if (e.rule.match.empty()) RuleProblem(e, "the rule has no match");
    // As in the plugin, a rule without a name is called by its match.
    if (e.rule.name.empty()) e.rule.name = e.rule.match;
    size_t end = start.end;
    if (start.tag_ended && !start.self_closing) end = ReadContent(e, start.end);
    // The plugin keeps a list of filters per kind, in the order read, and writes them kind by
    // kind: so does this view, whatever the order of the file's lines.
    const auto by_kind = [](const RuleFilter& a, const RuleFilter& b) { return a.where < b.where; };
    std::stable_sort(e.rule.includes.begin(), e.rule.includes.end(), by_kind);
    std::stable_sort(e.rule.excludes.begin(), e.rule.excludes.end(), by_kind);
    e.raw = std::string(bytes_.substr(start.begin, end - start.begin));
    e.read_as = e.rule;
    return end;
  }

  // One of a pair means nothing to the plugin: it stays as written and is not used.
  template <typename T>
  static void KeepUnpaired(AutoTimerEntry& e, const std::vector<XmlAttribute>& attributes,
                           std::optional<T>& a, std::optional<T>& b, std::string_view a_name,
                           std::string_view b_name) {
    if (a.has_value() == b.has_value()) return;
    const std::string_view lone = a ? a_name : b_name;
    (a ? a : b).reset();
    for (const XmlAttribute& attribute : attributes) {
      if (attribute.name == lone) e.kept_attributes.push_back(attribute);
    }
  }

  // Reads the children up to "</timer>"; where the rule's bytes end.
  size_t ReadContent(AutoTimerEntry& e, size_t pos) {
    bool after_reference = false;  // a service or bouquet ended on this line
    for (XmlToken t = tokens_.Next(); t.kind != Kind::kEnd; t = tokens_.Next()) {
      const std::string_view bytes = bytes_.substr(t.begin, t.end - t.begin);
      if (t.kind == Kind::kEndTag && t.name == "timer") return t.end;
      if ((t.kind == Kind::kStartTag && t.name == "timer") ||
          (t.kind == Kind::kEndTag && t.name == "autotimer")) {
        RuleProblem(e, "the rule has no </timer>");
        next_ = std::move(t);
        return pos;
      }
      pos = t.end;
      if (t.fault) RuleProblem(e, std::string("the rule's content: ") + t.fault);
      if (t.kind == Kind::kText) {
        if (bytes.find_first_of("\r\n") != std::string_view::npos) after_reference = false;
        if (!IsBlank(bytes)) e.kept_children.emplace_back(TrimControl(bytes));
        continue;
      }
      if (t.kind == Kind::kComment && !t.fault && after_reference &&
          !e.reference_comments.empty()) {
        std::string& comment = e.reference_comments.back().second;
        if (comment.empty()) {
          comment = std::string(TrimControl(bytes.substr(4, bytes.size() - 7)));
          continue;
        }
      }
      after_reference = false;
      if (t.kind != Kind::kStartTag) {
        e.kept_children.emplace_back(bytes);
        continue;
      }
      Child c = ReadChild(e, std::move(t));
      pos = c.end;
      if (!e.well_formed || !::tivolo::boxdata::ReadChild(e.rule, c)) {
        e.kept_children.push_back(std::move(c.raw));
      } else if (c.name == "serviceref" || c.name == "bouquet") {
        e.reference_comments.emplace_back(c.text, std::string());
        after_reference = true;
      }
      // A child cut off by the next rule or the file's end tag ends this rule there too.
      if (next_) return pos;
    }
    RuleProblem(e, "the rule has no </timer>");
    return pos;
  }

  Child ReadChild(AutoTimerEntry& e, XmlToken start) {
    Child c;
    c.name = std::string(start.name);
    c.attributes = std::move(start.attributes);
    c.end = start.end;
    std::string text;
    if (start.tag_ended && !start.self_closing) {
      int depth = 1;
      for (XmlToken t = tokens_.Next(); t.kind != Kind::kEnd; t = tokens_.Next()) {
        if ((t.kind == Kind::kStartTag && t.name == "timer") ||
            (t.kind == Kind::kEndTag && (t.name == "timer" || t.name == "autotimer"))) {
          RuleProblem(e, "a child of the rule is not closed");
          next_ = std::move(t);
          break;
        }
        c.end = t.end;
        if (t.fault) RuleProblem(e, std::string("a child of the rule: ") + t.fault);
        if (t.kind == Kind::kStartTag && t.tag_ended && !t.self_closing) ++depth;
        if (t.kind == Kind::kEndTag && --depth == 0) break;
        if (t.kind == Kind::kText) {
          text += bytes_.substr(t.begin, t.end - t.begin);
        } else {
          c.simple = false;
        }
      }
      if (depth != 0 && e.well_formed) RuleProblem(e, "a child of the rule is not closed");
    }
    c.raw = std::string(bytes_.substr(start.begin, c.end - start.begin));
    c.text = XmlUnescape(text);
    return c;
  }

  std::string_view bytes_;
  XmlTokenizer tokens_;
  std::optional<XmlToken> next_;
  AutoTimerFile out_;
  size_t line_ = 1;
  size_t line_at_ = 0;
};

void Attribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  out += XmlEscape(value);
  out += '"';
}

void Element(std::string& out, std::string_view name, std::string_view attributes,
             std::string_view text) {
  out += "  <";
  out += name;
  out += attributes;
  out += '>';
  out += XmlEscape(text);
  out += "</";
  out += name;
  out += '>';
}

std::string OffsetText(const AutoTimerRule& r) {
  const int b = r.offset_before.value_or(0);
  const int a = r.offset_after.value_or(b);
  return a == b ? std::to_string(b) : std::to_string(b) + "," + std::to_string(a);
}

// The attributes the plugin writes, each only when it differs from its default, in its order.
std::vector<std::pair<std::string_view, std::string>> KnownAttributes(const AutoTimerRule& r) {
  std::vector<std::pair<std::string_view, std::string>> out;
  out.emplace_back("name", std::string(r.DisplayName()));
  out.emplace_back("match", r.match);
  out.emplace_back("enabled", r.enabled ? "yes" : "no");
  if (r.from && r.to) {
    out.emplace_back("from", FormatTimeOfDay(*r.from));
    out.emplace_back("to", FormatTimeOfDay(*r.to));
  }
  if (r.after && r.before) {
    out.emplace_back("after", std::to_string(*r.after));
    out.emplace_back("before", std::to_string(*r.before));
  }
  if (r.max_duration_minutes)
    out.emplace_back("maxduration", std::to_string(*r.max_duration_minutes));
  if (!r.location.empty()) out.emplace_back("location", r.location);
  if (r.offset_before || r.offset_after) out.emplace_back("offset", OffsetText(r));
  if (r.last_begin != 0) out.emplace_back("lastBegin", std::to_string(r.last_begin));
  if (r.counter != 0) out.emplace_back("counter", std::to_string(r.counter));
  if (r.left) out.emplace_back("left", std::to_string(*r.left));
  if (!r.last_activation.empty()) out.emplace_back("lastActivation", r.last_activation);
  if (!r.counter_format.empty()) out.emplace_back("counterFormat", r.counter_format);
  if (r.avoid_duplicate_description != 0) {
    out.emplace_back("avoidDuplicateDescription", std::to_string(r.avoid_duplicate_description));
  }
  if (r.search_for_duplicate_description != 2) {
    out.emplace_back("searchForDuplicateDescription",
                     std::to_string(r.search_for_duplicate_description));
  }
  if (r.justplay != 0) out.emplace_back("justplay", std::to_string(r.justplay));
  if (r.set_endtime != 1) out.emplace_back("setEndtime", std::to_string(r.set_endtime));
  if (!r.encoding.empty()) out.emplace_back("encoding", r.encoding);
  if (r.search_type != RuleSearchType::kPartial) {
    out.emplace_back("searchType", std::string(SearchTypeName(r.search_type)));
  }
  if (r.case_sensitive) out.emplace_back("searchCase", "sensitive");
  if (!r.conflict_detection) out.emplace_back("conflict_detection", "no");
  if (r.always_zap != 0) out.emplace_back("always_zap", std::to_string(r.always_zap));
  return out;
}

void AppendChildren(std::string& out, const AutoTimerEntry& e) {
  const AutoTimerRule& r = e.rule;
  // The first comment kept for each reference (a rule may list thousands of channels).
  std::unordered_map<std::string_view, std::string_view> comments;
  for (const auto& [which, comment] : e.reference_comments) {
    if (!comment.empty() && comment.find("--") == std::string::npos) {
      comments.try_emplace(which, comment);
    }
  }
  auto reference = [&](std::string_view name, const std::string& ref) {
    Element(out, name, "", ref);
    if (const auto it = comments.find(ref); it != comments.end()) {
      out += " <!-- ";
      out += it->second;
      out += " -->";
    }
    out += '\n';
  };
  for (const std::string& s : r.services)
    reference("serviceref", s);
  for (const std::string& b : r.bouquets)
    reference("bouquet", b);
  for (const RuleAfterEvent& a : r.after_events) {
    std::string attributes;
    if (a.from && a.to) {
      Attribute(attributes, "from", FormatTimeOfDay(*a.from));
      Attribute(attributes, "to", FormatTimeOfDay(*a.to));
    }
    Element(out, "afterevent", attributes, a.action);
    out += '\n';
  }
  for (const char* kind : {"exclude", "include"}) {
    const std::vector<RuleFilter>& filters = kind[0] == 'e' ? r.excludes : r.includes;
    for (RuleFilterWhere w : {RuleFilterWhere::kTitle, RuleFilterWhere::kShortDescription,
                              RuleFilterWhere::kDescription, RuleFilterWhere::kDayOfWeek}) {
      for (const RuleFilter& f : filters) {
        if (f.where != w) continue;
        std::string attributes;
        Attribute(attributes, "where", FilterWhereName(w));
        Element(out, kind, attributes, f.pattern);
        out += '\n';
      }
    }
  }
  for (const std::string& t : r.tags) {
    Element(out, "tag", "", t);
    out += '\n';
  }
  for (const std::string& kept : e.kept_children) {
    out += "  " + kept + "\n";
  }
}

}  // namespace

AutoTimerFile ParseAutoTimerFile(std::string_view bytes) {
  return AutoTimerParser(WithoutByteOrderMark(bytes)).Run();
}

AutoTimerFile EmptyAutoTimerFile() {
  AutoTimerFile f;
  f.head = std::string("<?xml version=\"1.0\" ?>\n<autotimer version=\"") + kAutoTimerVersion +
           "\">\n\n";
  f.tail = "</autotimer>\n";
  return f;
}

void AppendRule(AutoTimerFile& file, AutoTimerRule rule) {
  AutoTimerEntry& e = file.rules.emplace_back();
  const std::string& before =
      file.rules.size() > 1 ? file.rules[file.rules.size() - 2].raw : file.head;
  e.leading = before.ends_with('\n') ? " " : "\n\n ";
  if (file.rules.size() > 1 && file.rules[file.rules.size() - 2].raw.empty()) e.leading = "\n\n ";
  if (!file.tail.starts_with('\n') && !file.tail.starts_with('\r')) file.tail.insert(0, "\n\n");
  e.rule = std::move(rule);
}

std::string BuildRuleElement(const AutoTimerEntry& e) {
  std::string out = "<timer";
  const auto known = KnownAttributes(e.rule);
  for (const auto& [name, value] : known)
    Attribute(out, name, value);
  for (const XmlAttribute& a : e.kept_attributes) {
    const bool written =
        std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.first == a.name; });
    if (written) continue;
    out += ' ' + a.name + '=' + a.quote + SafeAttributeValue(a.value, a.quote) + a.quote;
  }
  out += ">\n";
  AppendChildren(out, e);
  out += " </timer>";
  return out;
}

std::string BuildAutoTimerFile(const AutoTimerFile& file) {
  std::string out = file.head;
  for (const AutoTimerEntry& e : file.rules) {
    out += e.leading;
    const bool unchanged = !e.raw.empty() && (!e.well_formed || e.rule == e.read_as);
    out += unchanged ? e.raw : BuildRuleElement(e);
  }
  out += file.tail;
  return out;
}

TimerRuleOrigin RuleOriginOf(const std::vector<XmlAttribute>& attributes) {
  TimerRuleOrigin origin;
  for (const XmlAttribute& a : attributes) {
    const std::string value = XmlUnescape(a.value);
    if (a.name == "flags") {
      // Flags are words; the rule's name follows the word "autotimer" to the end.
      const std::string_view v = TrimControl(value);
      if (v == "autotimer" || v.starts_with("autotimer ")) {
        origin.by_rule = true;
        origin.rule_name = std::string(TrimControl(v.substr(9)));
        return origin;
      }
    } else if (a.name == "isAutoTimer" && TrimControl(value) == "1") {
      origin.by_rule = true;
    }
  }
  return origin;
}

TimerRuleOrigin RuleOriginOf(std::string_view extra_attributes) {
  const std::string tag = "<t" + std::string(extra_attributes) + "/>";
  XmlTokenizer tokens(tag);
  return RuleOriginOf(tokens.Next().attributes);
}

std::optional<TimeOfDay> ParseTimeOfDay(std::string_view text) {
  text = TrimControl(text);
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  const std::optional<int> h = SmallNumber(text.substr(0, colon));
  const std::optional<int> m = SmallNumber(text.substr(colon + 1));
  if (!h || !m || *h < 0 || *h > 23 || *m < 0 || *m > 59) return std::nullopt;
  for (char c : text) {
    if (c != ':' && (c < '0' || c > '9')) return std::nullopt;
  }
  return TimeOfDay{*h, *m};
}

std::string FormatTimeOfDay(TimeOfDay t) {
  char text[8] = {
      static_cast<char>('0' + t.hour / 10 % 10),   static_cast<char>('0' + t.hour % 10),   ':',
      static_cast<char>('0' + t.minute / 10 % 10), static_cast<char>('0' + t.minute % 10), 0};
  return text;
}

std::string_view SearchTypeName(RuleSearchType type) {
  switch (type) {
    case RuleSearchType::kExact:
      return "exact";
    case RuleSearchType::kStart:
      return "start";
    case RuleSearchType::kEnd:
      return "end";
    case RuleSearchType::kDescription:
      return "description";
    case RuleSearchType::kPartial:
      break;
  }
  return "partial";
}

std::string_view FilterWhereName(RuleFilterWhere where) {
  switch (where) {
    case RuleFilterWhere::kShortDescription:
      return "shortdescription";
    case RuleFilterWhere::kDescription:
      return "description";
    case RuleFilterWhere::kDayOfWeek:
      return "dayofweek";
    case RuleFilterWhere::kTitle:
      break;
  }
  return "title";
}

}  // namespace tivolo::boxdata
