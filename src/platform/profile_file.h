// Single keys of an INI ("profile") file, as the Windows profile calls read and write them:
// "[Section]" header lines and "key=value" lines, section and key names matched without
// regard to ASCII case, the first occurrence winning. A write changes one line (or adds
// one, or a section at the end) and leaves every other byte of the file as it was.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include "platform/error.h"

namespace tivolo::platform {

class ProfileFileError : public Error {
 public:
  using Error::Error;
  std::string TypeName() const override { return "ProfileFileError"; }
};

// Values are read up to this many bytes (never splitting a UTF-8 character).
inline constexpr size_t kMaxProfileValueLength = 2047;

// The value of key in section of an INI text, blanks around it removed and cut to
// kMaxProfileValueLength, or nothing when the section or key is missing.
std::optional<std::string> FindProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// The INI text with key in section set to value: the first matching key line replaced by
// "key=value", else a line added after the section's last non-blank line, else the section
// added at the end. New lines follow the file's line ends (CR LF or LF).
std::string SetProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

class ProfileFile {
 public:
  explicit ProfileFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // default_value when the file, the section or the key is missing. A file that exists but
  // cannot be read throws ProfileFileError("Unable to read <path>").
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view default_value) const;

  // Writes one key, creating the file when missing (mode 0600, since it may hold a
  // password; an existing file keeps its mode). The new content goes to a temporary file in
  // the same folder which then replaces the file, so a crash leaves the old file or the new
  // one, never half of either. Throws ProfileFileError("Unable to write to <path>"); a
  // section, key or value that would break the file's lines is refused the same way.
  void WriteString(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::string path_;
};

}  // namespace tivolo::platform
