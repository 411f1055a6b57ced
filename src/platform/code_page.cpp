#include "platform/code_page.h"

#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace tivolo::platform {
namespace {

std::string Normalized(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    out += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  return out;
}

bool IsUtf8Name(std::string_view name) {
  return Normalized(name) == "UTF8";
}

bool IsAsciiName(std::string_view name) {
  const std::string n = Normalized(name);
  return n == "ANSIX3.41968" || n == "ASCII" || n == "USASCII" || n == "646";
}

// One well-formed UTF-8 sequence at text[i]: its code point and length, or length 0.
size_t DecodeUtf8(std::string_view text, size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len = 0;
  char32_t min = 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2;
    cp = b0 & 0x1F;
    min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3;
    cp = b0 & 0x0F;
    min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4;
    cp = b0 & 0x07;
    min = 0x10000;
  } else {
    return 0;
  }
  if (i + len > text.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

class Iconv {
 public:
  Iconv(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts all of in; an input unit that cannot be converted is skipped (skip() gives its
  // length) and replaced by the replacement text.
  template <typename Skip>
  std::string Convert(std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    out.reserve(in.size() + 16);
    char buffer[1024];
    auto* src = const_cast<char*>(in.data());
    size_t src_left = in.size();
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    while (true) {
      char* dst = buffer;
      size_t dst_left = sizeof buffer;
      const size_t rc = src_left == 0 ? iconv(cd_, nullptr, nullptr, &dst, &dst_left)
                                      : iconv(cd_, &src, &src_left, &dst, &dst_left);
      const int err = errno;
      out.append(buffer, static_cast<size_t>(dst - buffer));
      if (rc != static_cast<size_t>(-1)) {
        if (src_left == 0) break;
        continue;
      }
      if (err == E2BIG) continue;
      // EILSEQ or EINVAL (a cut-off sequence at the end): replace one unit and go on.
      const size_t offset = static_cast<size_t>(src - in.data());
      const size_t n = err == EINVAL ? src_left : std::max<size_t>(1, skip(in, offset));
      out += replacement;
      src += std::min(n, src_left);
      src_left -= std::min(n, src_left);
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t cd_;
};

size_t SkipUtf8(std::string_view text, size_t i) {
  char32_t cp = 0;
  const size_t len = DecodeUtf8(text, i, cp);
  return len == 0 ? 1 : len;
}

size_t SkipByte(std::string_view, size_t) {
  return 1;
}

}  // namespace

CodePage::CodePage(std::string codeset) : codeset_(std::move(codeset)) {
  utf8_ = IsUtf8Name(codeset_);
  if (utf8_) return;
  Iconv decoder("UTF-8", codeset_);
  Iconv encoder(codeset_, "UTF-8");
  if (!decoder.ok() || !encoder.ok()) {
    throw std::invalid_argument("Unknown code page: " + codeset_);
  }
  // The set is single-byte when every byte on its own is either a whole character or no
  // character at all.
  single_byte_ = true;
  iconv_t cd = iconv_open("UTF-8", codeset_.c_str());
  for (int b = 0; b < 256 && single_byte_; ++b) {
    char in = static_cast<char>(b);
    char out[16];
    char* src = &in;
    size_t src_left = 1;
    char* dst = out;
    size_t dst_left = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
    if (rc == static_cast<size_t>(-1)) {
      if (errno == EINVAL) single_byte_ = false;
      continue;  // EILSEQ: the byte stays without a character
    }
    char* flush_dst = dst;
    iconv(cd, nullptr, nullptr, &flush_dst, &dst_left);
    if (flush_dst != dst) single_byte_ = false;  // shift sequences: a stateful set
    decode_[static_cast<size_t>(b)].assign(out, static_cast<size_t>(dst - out));
    if (decode_[static_cast<size_t>(b)].empty()) single_byte_ = false;
  }
  iconv_close(cd);
  if (!single_byte_) {
    decode_ = {};
    return;
  }
  for (int b = 255; b >= 0; --b) {
    const std::string& utf8 = decode_[static_cast<size_t>(b)];
    if (utf8.empty()) continue;
    char32_t cp = 0;
    if (DecodeUtf8(utf8, 0, cp) == utf8.size()) encode_[cp] = static_cast<uint8_t>(b);
  }
  if (auto it = encode_.find(U'?'); it != encode_.end()) question_ = static_cast<char>(it->second);
}

const CodePage& CodePage::System() {
  static const CodePage system = [] {
    std::string name = "UTF-8";
    if (locale_t loc = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr))) {
      if (const char* set = nl_langinfo_l(CODESET, loc); set != nullptr && *set != '\0') {
        name = set;
      }
      freelocale(loc);
    }
    if (IsAsciiName(name)) name = "UTF-8";
    try {
      return CodePage(name);
    } catch (const std::invalid_argument&) {
      return CodePage("UTF-8");
    }
  }();
  return system;
}

std::string CodePage::Encode(std::string_view utf8) const {
  if (utf8_) return std::string(utf8);
  if (!single_byte_) {
    Iconv encoder(codeset_, "UTF-8");
    return encoder.Convert(utf8, "?", SkipUtf8);
  }
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    char32_t cp = 0;
    const size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      out += question_;
      ++i;
      continue;
    }
    const auto it = encode_.find(cp);
    out += it == encode_.end() ? question_ : static_cast<char>(it->second);
    i += len;
  }
  return out;
}

std::string CodePage::Decode(std::string_view bytes) const {
  if (utf8_) return std::string(bytes);
  if (!single_byte_) {
    Iconv decoder("UTF-8", codeset_);
    return decoder.Convert(bytes, "?", SkipByte);
  }
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) {
    const std::string& utf8 = decode_[static_cast<unsigned char>(c)];
    out += utf8.empty() ? std::string_view("?") : std::string_view(utf8);
  }
  return out;
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
  if (utf8_) return std::string(utf8);
  return Decode(Encode(utf8));
}

std::string CodePage::ToUtf8(std::string_view text) const {
  if (utf8_) return std::string(text);
  return Decode(Encode(text));
}

}  // namespace tivolo::platform
