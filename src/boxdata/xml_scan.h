// A tokenizer for the timer list and the well-formedness rules of XML 1.0 that the list must
// keep: the reader uses it to find every element wherever the line breaks fall and to tell
// whether what it keeps for the write-back can be written back as it stands.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::boxdata {

struct XmlAttribute {
  std::string name;
  std::string value;  // as written, references not decoded
  char quote = '"';
};

// Whether a code point may stand in an XML 1.0 document.
bool IsXmlChar(char32_t cp);

// Length of the well-formed reference at text[pos] (which is "&"): one of the five named
// ones or a numeric reference to a character XML allows; 0 for anything else.
size_t XmlReferenceLength(std::string_view text, size_t pos);

// The first reason the text cannot stand as character data or as an attribute value within
// `quote` (0: as character data), or nullptr: malformed UTF-8, a character XML forbids, "<",
// the quote, an "&" that starts no well-formed reference, "]]>" in character data.
const char* XmlTextFault(std::string_view text, char quote = 0);

// The value made fit to stand within `quote`: the quote, "<" and an "&" that starts no
// reference as references, characters XML forbids dropped, each byte of malformed UTF-8 as
// U+FFFD. A value that XmlTextFault accepts comes back unchanged.
std::string SafeAttributeValue(std::string_view value, char quote);

struct XmlToken {
  enum class Kind { kText, kStartTag, kEndTag, kComment, kCData, kPi, kDoctype, kEnd };
  Kind kind = Kind::kEnd;
  size_t begin = 0;  // the token's bytes in the input
  size_t end = 0;
  std::string_view name;                 // of a tag or a processing instruction
  std::vector<XmlAttribute> attributes;  // of a start tag, in file order
  bool self_closing = false;
  // A start tag cut short by a fault ends at the fault: a "<" there starts the next token.
  bool tag_ended = false;
  const char* fault = nullptr;  // the first rule the token breaks; nullptr when none
};

// Splits a document into tokens. Markup that cannot be read gives a text token of its "<"
// with a fault, so every byte belongs to exactly one token and scanning always moves on.
class XmlTokenizer {
 public:
  explicit XmlTokenizer(std::string_view text, size_t pos = 0) : text_(text), pos_(pos) {}
  XmlToken Next();

 private:
  void ReadStartTag(XmlToken& t);
  void ReadEndTag(XmlToken& t);
  void ReadDelimited(XmlToken& t, XmlToken::Kind kind, size_t open, std::string_view close);
  bool ReadName(size_t& pos, std::string_view& name) const;

  std::string_view text_;
  size_t pos_;
};

// Whether the text is a well-formed XML document: an optional declaration, one root element
// with properly nested, uniquely attributed elements, comments and instructions around it.
// *why (when given) names the first fault.
bool IsWellFormedXml(std::string_view document, std::string* why = nullptr);

}  // namespace tivolo::boxdata
