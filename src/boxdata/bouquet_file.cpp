#include "boxdata/bouquet_file.h"

#include "boxdata/text_lines.h"

namespace tivolo::boxdata {
namespace {

bool IsUnsafeFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return true;
  for (char c : name) {
    if (c == '/' || c == '\\' || c == '\0') return true;
  }
  return false;
}

// Text after a keyword such as "#SERVICE" or "#DESCRIPTION", allowing the older "#KEYWORD:".
std::string_view AfterKeyword(std::string_view line, size_t keyword_size) {
  std::string_view rest = line.substr(keyword_size);
  if (!rest.empty() && rest.front() == ':') rest.remove_prefix(1);
  return rest;
}

}  // namespace

std::vector<BouquetIndexEntry> ParseBouquetIndex(std::string_view bytes) {
  bytes = WithoutByteOrderMark(bytes);
  std::vector<BouquetIndexEntry> out;
  size_t line_number = 0;
  ForEachLine(bytes, [&](std::string_view line) {
    ++line_number;
    if (!StartsWithNoCase(line, "#SERVICE")) return;
    BouquetIndexEntry entry;
    entry.line_number = line_number;
    constexpr std::string_view kFrom = "FROM BOUQUET \"";
    const size_t from = line.find(kFrom);
    if (from != std::string_view::npos) {
      const size_t start = from + kFrom.size();
      const size_t end = line.find('"', start);
      if (end == std::string_view::npos) return;
      entry.file_name = std::string(line.substr(start, end - start));
    } else {
      const size_t at = line.find(":userbouquet");
      if (at == std::string_view::npos) return;
      entry.file_name = std::string(line.substr(at + 1));
    }
    entry.unsafe = IsUnsafeFileName(entry.file_name);
    out.push_back(std::move(entry));
  });
  return out;
}

BouquetFile ParseBouquetFile(std::string_view bytes) {
  bytes = WithoutByteOrderMark(bytes);
  BouquetFile out;
  out.entries.reserve(bytes.size() / 48);
  size_t line_number = 0;
  bool describable = false;
  ForEachLine(bytes, [&](std::string_view line) {
    ++line_number;
    out.has_lines = true;
    if (StartsWithNoCase(line, "#NAME")) {
      out.name = std::string(TrimControl(line.substr(5, 99)));
    } else if (line.starts_with("#SERVICE")) {
      BouquetEntry entry;
      entry.reference = TrimControl(AfterKeyword(line, 8));
      entry.line_number = line_number;
      out.entries.push_back(entry);
      describable = true;
    } else if (line.starts_with("#DESCRIPTION") && describable) {
      out.entries.back().description = TrimControl(AfterKeyword(line, 12));
    }
  });
  return out;
}

}  // namespace tivolo::boxdata
