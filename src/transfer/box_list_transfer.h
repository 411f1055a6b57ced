// The box's timer list over one FTP connection, in "/etc/enigma2": fetching it (with nothing
// when the box has none), storing a list under a name and checking that the box holds all of
// it, and putting a stored list in place of "timers.xml" without ever leaving the box with a
// cut list unknowingly.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"

namespace tivolo::net {
class FtpClient;
}

namespace tivolo::transfer {

// The name the new list is stored under before it is renamed over "timers.xml".
inline constexpr const char* kUploadName = "timers.xml.upload";
inline constexpr const char* kBoxListName = "timers.xml";

// A step of the save that failed; the message says what the box holds.
class SaveError : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "SaveError"; }
};

// Two texts of the box's compared line ends aside: the ASCII type lets the server store its own.
bool SameText(std::string_view a, std::string_view b);

class BoxListTransfer {
 public:
  // local_dir holds "timers.new" (the list to store) and the read-back copies.
  BoxListTransfer(net::FtpClient& ftp, std::filesystem::path local_dir);

  // The box's file `remote` downloaded into `into`, and its text; nothing when the box has
  // no such file (550 or 450).
  std::optional<std::string> Fetch(const std::string& remote, const std::filesystem::path& into);
  // Fetch into a scratch file that is removed again.
  std::optional<std::string> Read(const std::string& remote);

  // Stores "timers.new" (whose text is `text`) as `remote`; SaveError when the box does not
  // hold all of it afterwards. What arrived stays on the box.
  void StoreChecked(const std::string& remote, const std::string& text);
  // Whether the box's `remote` holds `text` (line ends aside: the ASCII type lets the server
  // store its own).
  bool Holds(const std::string& remote, const std::string& text);
  // DELE, where a missing file is no failure.
  void DeleteIfThere(const std::string& remote);
  // RNFR/RNTO of the upload over "timers.xml".
  void PutUploadInPlace();

 private:
  net::FtpClient& ftp_;
  std::filesystem::path local_dir_;
};

}  // namespace tivolo::transfer
