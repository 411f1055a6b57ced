// The FTP side of a save, scripted for the fake server: what every save's session begins with.
#pragma once

#include <string>

#include "net/ftp/fake_ftp_server.h"

namespace tivolo::testing {

// Login, the box's folder, a leftover upload cleared (there is none) and the backup's
// download of the box's list.
inline void LoginAndBackup(FakeFtpSession& s, const std::string& box_list) {
  s.Login();
  s.Expect("CWD ");
  s.Reply("250 Directory successfully changed.");
  s.Expect("DELE timers.xml.upload");
  s.Reply("550 Delete operation failed.");
  s.ServeFile("timers.xml", box_list);
}

}  // namespace tivolo::testing
