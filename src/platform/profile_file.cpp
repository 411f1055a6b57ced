#include "platform/profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "platform/safe_file.h"

namespace tivolo::platform {
namespace {

struct Line {
  std::string_view body;  // without its line end
  std::string_view end;   // "\n", "\r\n" or empty for a last line without one
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    if (lf == std::string_view::npos) {
      // A CR that ends the text belongs to the line end, as in CR LF: the next write adds the
      // LF, and the line must read the same before and after.
      size_t body_end = text.size();
      if (text[body_end - 1] == '\r') --body_end;
      lines.push_back({text.substr(start, body_end - start), text.substr(body_end)});
      break;
    }
    size_t body_end = lf;
    if (body_end > start && text[body_end - 1] == '\r') --body_end;
    lines.push_back(
        {text.substr(start, body_end - start), text.substr(body_end, lf + 1 - body_end)});
    start = lf + 1;
  }
  return lines;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

// What a line is, for matching; the first line may carry a byte-order mark.
enum class Kind { kOther, kSection, kKey };

Kind Classify(std::string_view body, bool first, std::string_view& name, std::string_view& value) {
  if (first && body.substr(0, kBom.size()) == kBom) body.remove_prefix(kBom.size());
  const std::string_view trimmed = Trim(body);
  if (trimmed.empty() || trimmed.front() == ';') return Kind::kOther;
  if (trimmed.front() == '[') {
    std::string_view inner = trimmed.substr(1);
    const size_t close = inner.find(']');
    if (close != std::string_view::npos) inner = inner.substr(0, close);
    name = Trim(inner);
    return Kind::kSection;
  }
  const size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos) return Kind::kOther;
  name = Trim(trimmed.substr(0, eq));
  value = Trim(trimmed.substr(eq + 1));
  return Kind::kKey;
}

std::string CutValue(std::string_view value) {
  if (value.size() <= kMaxProfileValueLength) return std::string(value);
  size_t n = kMaxProfileValueLength;
  // Step back over UTF-8 continuation bytes so that no character is split.
  while (n > 0 && (static_cast<unsigned char>(value[n]) & 0xC0) == 0x80)
    --n;
  return std::string(value.substr(0, n));
}

bool HoldsLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The whole file, or nothing when it does not exist.
std::optional<std::string> ReadWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw std::system_error(errno, std::generic_category());
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISREG(st.st_mode) ? errno : EISDIR;
    ::close(fd);
    throw std::system_error(err, std::generic_category());
  }
  std::string text;
  char buffer[8192];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw std::system_error(err, std::generic_category());
    }
    if (n == 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key) {
  const std::string_view want_section = Trim(section);
  const std::string_view want_key = Trim(key);
  bool in_section = false;
  bool first = true;
  bool seen_section = false;
  for (const Line& line : SplitLines(text)) {
    std::string_view name;
    std::string_view value;
    const Kind kind = Classify(line.body, first, name, value);
    first = false;
    if (kind == Kind::kSection) {
      // Only the first section of that name counts, as with the Windows calls.
      if (in_section) return std::nullopt;
      in_section = !seen_section && EqualNoCase(name, want_section);
      seen_section = seen_section || in_section;
    } else if (kind == Kind::kKey && in_section && EqualNoCase(name, want_key)) {
      return CutValue(value);
    }
  }
  return std::nullopt;
}

std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value) {
  const std::vector<Line> lines = SplitLines(text);
  const std::string eol =
      (!lines.empty() && lines.front().end == "\r\n") ? std::string("\r\n") : std::string("\n");
  const std::string new_line = std::string(Trim(key)) + "=" + std::string(value);

  // Find the section (first of its name), the key line in it, and its last non-blank line.
  std::optional<size_t> header;
  std::optional<size_t> key_line;
  std::optional<size_t> last_content;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    std::string_view found_value;
    const Kind kind = Classify(lines[i].body, i == 0, name, found_value);
    if (kind == Kind::kSection) {
      if (header) break;
      if (EqualNoCase(name, Trim(section))) {
        header = i;
        last_content = i;
      }
      continue;
    }
    if (!header) continue;
    if (!Trim(lines[i].body).empty()) last_content = i;
    if (kind == Kind::kKey && EqualNoCase(name, Trim(key))) {
      key_line = i;
      break;
    }
  }

  std::string out;
  out.reserve(text.size() + new_line.size() + section.size() + 8);
  auto append_line = [&](size_t i) {
    out.append(lines[i].body);
    out.append(lines[i].end);
  };
  if (key_line) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i != *key_line) {
        append_line(i);
        continue;
      }
      // Keep a byte-order mark that sat in front of the replaced first line.
      if (i == 0 && lines[0].body.substr(0, kBom.size()) == kBom) out.append(kBom);
      out.append(new_line);
      out.append(lines[i].end.empty() ? std::string_view(eol) : lines[i].end);
    }
    return out;
  }
  if (header) {
    for (size_t i = 0; i < lines.size(); ++i) {
      append_line(i);
      if (i == *last_content) {
        if (lines[i].end.empty()) out.append(eol);
        if (lines[i].end == "\r") out.append("\n");
        out.append(new_line);
        out.append(eol);
      }
    }
    return out;
  }
  out.append(text);
  if (!out.empty() && out.back() != '\n') out.append(eol);
  if (!lines.empty() && !Trim(lines.back().body).empty()) out.append(eol);
  out.append("[" + std::string(Trim(section)) + "]");
  out.append(eol);
  out.append(new_line);
  out.append(eol);
  return out;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view default_value) const {
  std::optional<std::string> text;
  try {
    text = ReadWhole(path_);
  } catch (const std::system_error&) {
    throw ProfileFileError("Unable to read " + path_);
  }
  if (!text) return std::string(default_value);
  std::optional<std::string> value = FindProfileValue(*text, section, key);
  return value ? std::move(*value) : std::string(default_value);
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) const {
  const std::string failure = "Unable to write to " + path_;
  if (Trim(section).empty() || Trim(key).empty() || HoldsLineBreak(section) ||
      HoldsLineBreak(key) || HoldsLineBreak(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || Trim(key).front() == '[' ||
      Trim(key).front() == ';') {
    throw ProfileFileError(failure);
  }
  // Read what the link points to: the replacement is written there.
  std::string target;
  std::optional<std::string> old_text;
  try {
    target = FollowLinks(path_).string();
    old_text = ReadWhole(target);
  } catch (const std::exception&) {
    throw ProfileFileError(failure);  // never overwrite what could not be read
  }
  const std::string new_text = SetProfileValue(old_text.value_or(""), section, key, value);
  if (old_text && *old_text == new_text) return;
  try {
    ReplaceFile(target, new_text, kPrivateFileMode);
  } catch (const FileReplaceError&) {
    throw ProfileFileError(failure);
  }
}

}  // namespace tivolo::platform
