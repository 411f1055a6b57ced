#include "boxdata/xml_scan.h"

#include <cstdint>

#include "boxdata/text_lines.h"
#include "platform/text.h"

namespace tivolo::boxdata {
namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsNameStart(char32_t c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
         (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
         (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C || c == 0x200D ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameChar(char32_t c) {
  return IsNameStart(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

// Comments, instructions and character sections hold any characters XML allows.
const char* CharactersFault(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(text, i, cp);
    if (len == 0) return "malformed UTF-8";
    if (!IsXmlChar(cp)) return "a character XML forbids";
    i += len;
  }
  return nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && StartsWithNoCase(a, b);
}

}  // namespace

bool IsXmlChar(char32_t cp) {
  return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF) ||
         (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

size_t XmlReferenceLength(std::string_view text, size_t pos) {
  const std::string_view rest = text.substr(pos);
  for (std::string_view named : {"&lt;", "&gt;", "&quot;", "&apos;", "&amp;"}) {
    if (rest.starts_with(named)) return named.size();
  }
  if (!rest.starts_with("&#")) return 0;
  size_t i = 2;
  const bool hex = i < rest.size() && rest[i] == 'x';
  if (hex) ++i;
  const size_t digits_at = i;
  char32_t v = 0;
  for (; i < rest.size() && rest[i] != ';'; ++i) {
    const char c = rest[i];
    int d = -1;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    }
    if (d < 0) return 0;
    v = v * (hex ? 16 : 10) + static_cast<char32_t>(d);
    if (v > 0x10FFFF) return 0;
  }
  if (i == digits_at || i >= rest.size() || !IsXmlChar(v)) return 0;
  return i + 1;
}

const char* XmlTextFault(std::string_view text, char quote) {
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '&') {
      const size_t len = XmlReferenceLength(text, i);
      if (len == 0) return "an \"&\" that starts no reference";
      i += len;
      continue;
    }
    if (c == '<') return "a \"<\" in text";
    if (quote != 0 && c == quote) return "the value's own quote inside it";
    if (quote == 0 && c == ']' && text.substr(i).starts_with("]]>")) return "\"]]>\" in text";
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(text, i, cp);
    if (len == 0) return "malformed UTF-8";
    if (!IsXmlChar(cp)) return "a character XML forbids";
    i += len;
  }
  return nullptr;
}

std::string SafeAttributeValue(std::string_view value, char quote) {
  std::string out;
  out.reserve(value.size());
  for (size_t i = 0; i < value.size();) {
    const char c = value[i];
    if (c == '&') {
      const size_t len = XmlReferenceLength(value, i);
      out += len == 0 ? std::string_view("&amp;") : value.substr(i, len);
      i += len == 0 ? 1 : len;
      continue;
    }
    if (c == '<' || c == quote) {
      out += c == '<' ? "&lt;" : (c == '"' ? "&quot;" : "&apos;");
      ++i;
      continue;
    }
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(value, i, cp);
    if (len == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (IsXmlChar(cp)) out.append(value.substr(i, len));
    i += len;
  }
  return out;
}

bool XmlTokenizer::ReadName(size_t& pos, std::string_view& name) const {
  const size_t start = pos;
  while (pos < text_.size()) {
    char32_t cp = 0;
    const size_t len = platform::CodePointAt(text_, pos, cp);
    if (len == 0 || !(pos == start ? IsNameStart(cp) : IsNameChar(cp))) break;
    pos += len;
  }
  name = text_.substr(start, pos - start);
  return pos > start;
}

XmlToken XmlTokenizer::Next() {
  XmlToken t;
  t.begin = pos_;
  if (pos_ >= text_.size()) {
    t.end = pos_;
    return t;
  }
  const std::string_view rest = text_.substr(pos_);
  if (rest[0] != '<') {
    t.kind = XmlToken::Kind::kText;
    const size_t lt = text_.find('<', pos_);
    t.end = lt == std::string_view::npos ? text_.size() : lt;
    t.fault = XmlTextFault(text_.substr(t.begin, t.end - t.begin));
  } else if (rest.starts_with("<!--")) {
    ReadDelimited(t, XmlToken::Kind::kComment, 4, "-->");
  } else if (rest.starts_with("<![CDATA[")) {
    ReadDelimited(t, XmlToken::Kind::kCData, 9, "]]>");
  } else if (rest.starts_with("<!")) {
    ReadDelimited(t, XmlToken::Kind::kDoctype, 2, ">");
  } else if (rest.starts_with("<?")) {
    size_t at = pos_ + 2;
    ReadName(at, t.name);
    ReadDelimited(t, XmlToken::Kind::kPi, 2, "?>");
    if (t.name.empty() && !t.fault) t.fault = "a processing instruction without a name";
  } else if (rest.starts_with("</")) {
    ReadEndTag(t);
  } else {
    ReadStartTag(t);
  }
  pos_ = t.end;
  return t;
}

void XmlTokenizer::ReadDelimited(XmlToken& t, XmlToken::Kind kind, size_t open,
                                 std::string_view close) {
  t.kind = kind;
  const size_t body = pos_ + open;
  const size_t at = text_.find(close, body);
  if (at == std::string_view::npos) {
    t.end = text_.size();
    t.fault = "markup that is not closed";
    return;
  }
  t.end = at + close.size();
  const std::string_view inside = text_.substr(body, at - body);
  t.fault = CharactersFault(inside);
  if (!t.fault && kind == XmlToken::Kind::kComment &&
      (inside.find("--") != std::string_view::npos || inside.ends_with("-"))) {
    t.fault = "\"--\" inside a comment";
  }
}

void XmlTokenizer::ReadEndTag(XmlToken& t) {
  t.kind = XmlToken::Kind::kEndTag;
  size_t pos = pos_ + 2;
  if (ReadName(pos, t.name)) {
    while (pos < text_.size() && IsSpace(text_[pos]))
      ++pos;
    if (pos < text_.size() && text_[pos] == '>') {
      t.end = pos + 1;
      return;
    }
  }
  t.kind = XmlToken::Kind::kText;
  t.name = {};
  t.end = pos_ + 1;
  t.fault = "a malformed end tag";
}

void XmlTokenizer::ReadStartTag(XmlToken& t) {
  size_t pos = pos_ + 1;
  if (!ReadName(pos, t.name)) {
    t.kind = XmlToken::Kind::kText;
    t.end = pos_ + 1;
    t.fault = "a \"<\" that starts no markup";
    return;
  }
  t.kind = XmlToken::Kind::kStartTag;
  auto stop = [&](const char* why) {
    t.end = pos;
    t.fault = why;
  };
  for (;;) {
    const size_t before_space = pos;
    while (pos < text_.size() && IsSpace(text_[pos]))
      ++pos;
    if (pos >= text_.size()) return stop("the start tag does not end");
    if (text_[pos] == '>') break;
    if (text_[pos] == '/') {
      if (pos + 1 < text_.size() && text_[pos + 1] == '>') {
        t.self_closing = true;
        ++pos;
        break;
      }
      return stop("a stray \"/\" in the start tag");
    }
    if (pos == before_space) return stop("attributes not separated by blanks");
    XmlAttribute a;
    std::string_view name;
    if (!ReadName(pos, name)) return stop("an attribute without a name");
    a.name = std::string(name);
    while (pos < text_.size() && IsSpace(text_[pos]))
      ++pos;
    if (pos >= text_.size() || text_[pos] != '=') return stop("an attribute without a value");
    ++pos;
    while (pos < text_.size() && IsSpace(text_[pos]))
      ++pos;
    if (pos >= text_.size() || (text_[pos] != '"' && text_[pos] != '\'')) {
      return stop("an attribute value without quotes");
    }
    a.quote = text_[pos++];
    const size_t value_at = pos;
    while (pos < text_.size() && text_[pos] != a.quote && text_[pos] != '<')
      ++pos;
    if (pos >= text_.size() || text_[pos] == '<') {
      return stop("an attribute value that does not end before the next tag");
    }
    a.value = std::string(text_.substr(value_at, pos - value_at));
    ++pos;
    const char* fault = XmlTextFault(a.value, a.quote);
    for (const XmlAttribute& other : t.attributes) {
      if (other.name == a.name) fault = "an attribute given twice";
    }
    if (fault && !t.fault) t.fault = fault;
    t.attributes.push_back(std::move(a));
  }
  t.tag_ended = true;
  t.end = pos + 1;
}

bool IsWellFormedXml(std::string_view document, std::string* why) {
  auto fail = [&](std::string_view what, size_t at) {
    if (why) *why = std::string(what) + " at byte " + std::to_string(at);
    return false;
  };
  XmlTokenizer tokens(document);
  std::vector<std::string_view> open;
  bool root_seen = false;
  for (XmlToken t = tokens.Next(); t.kind != XmlToken::Kind::kEnd; t = tokens.Next()) {
    if (t.fault) return fail(t.fault, t.begin);
    const bool outside = open.empty();
    switch (t.kind) {
      case XmlToken::Kind::kText:
        if (outside && !TrimControl(document.substr(t.begin, t.end - t.begin)).empty()) {
          return fail("text outside the root element", t.begin);
        }
        break;
      case XmlToken::Kind::kPi:
        if (EqualsNoCase(t.name, "xml") && t.begin != 0) {
          return fail("an XML declaration after the start", t.begin);
        }
        break;
      case XmlToken::Kind::kCData:
        if (outside) return fail("a character section outside the root element", t.begin);
        break;
      case XmlToken::Kind::kDoctype:
        return fail("a document type declaration", t.begin);
      case XmlToken::Kind::kStartTag:
        if (outside && root_seen) return fail("a second root element", t.begin);
        root_seen = true;
        if (!t.self_closing) open.push_back(t.name);
        break;
      case XmlToken::Kind::kEndTag:
        if (outside || open.back() != t.name)
          return fail("an end tag that does not match", t.begin);
        open.pop_back();
        break;
      default:
        break;
    }
  }
  if (!root_seen) return fail("no root element", document.size());
  if (!open.empty()) return fail("an element that is not closed", document.size());
  return true;
}

}  // namespace tivolo::boxdata
