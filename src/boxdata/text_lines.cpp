#include "boxdata/text_lines.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "boxdata/errors.h"

namespace tivolo::boxdata {

std::vector<std::string_view> SplitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  ForEachLine(bytes, [&](std::string_view line) { lines.push_back(line); });
  return lines;
}

std::string_view WithoutByteOrderMark(std::string_view bytes) {
  constexpr std::string_view kMark = "\xEF\xBB\xBF";
  if (bytes.starts_with(kMark)) bytes.remove_prefix(kMark.size());
  return bytes;
}

std::string_view TrimControl(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32)
    ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
    --e;
  return s.substr(b, e - b);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(s[i]) != AsciiLower(prefix[i])) return false;
  }
  return true;
}

std::string ReadWholeFile(const std::filesystem::path& path) {
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    const int err = errno;
    throw FileOpenError("Cannot open file \"" + path.string() + "\". " + std::strerror(err));
  }
  std::string content;
  // Read in one go when the size is known (ordinary files), in pieces otherwise.
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size > 0) content.reserve(static_cast<size_t>(size));
    std::rewind(file.get());
  }
  char buffer[1 << 16];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
    content.append(buffer, got);
    if (got < sizeof buffer) {
      if (std::ferror(file.get())) {
        const int err = errno;
        throw FileOpenError("Cannot read file \"" + path.string() + "\". " + std::strerror(err));
      }
      break;
    }
  }
  return content;
}

std::string AsciiLowerCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

}  // namespace tivolo::boxdata
