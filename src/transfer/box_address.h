// Where the box is, how to log in, and how long to wait for it; and the one way the fetch and
// the save make their FTP client for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/net_component.h"

namespace tivolo::net {
class FtpClient;
}

namespace tivolo::transfer {

// Where the box is and how to log in; the ports are 21 and 23 on a real box.
struct BoxAddress {
  std::string host;
  uint16_t ftp_port = 21;
  uint16_t telnet_port = 23;
  std::string user;
  std::string password;
  // The folder of the box's settings; another one only for a simulated box or a test server.
  std::string folder = "/etc/enigma2";

  // "192.168.1.10:21" and the folder when it is not the usual one: for messages that must
  // say which box is meant.
  std::string Label() const;
  // The same box for the purpose of its files: host, FTP port and folder.
  bool SameFilesAs(const BoxAddress& other) const;
};

struct BoxBounds {
  std::chrono::milliseconds connect{10000};   // each connection
  std::chrono::milliseconds reply{15000};     // each reply and each silence in a transfer
  std::chrono::milliseconds data{15000};      // the box connecting to a data port
  std::chrono::milliseconds dialogue{15000};  // the whole telnet dialogue, connecting included
  // The receiver's web interface answering again after a restart, all questions together.
  std::chrono::milliseconds web_restart{20000};
};

// Each status text of the FTP client goes to the log behind this.
inline constexpr const char* kStatusPrefix = "asStatusText : ";

// Receives each status of the client with its log line (kStatusPrefix and the status text).
using BoxStatusLog = std::function<void(net::NetStatus status, const std::string& line)>;

// An FTP client for the box: its address and login, ASCII type, active data connections and
// the bounds. Not connected yet.
std::unique_ptr<net::FtpClient> MakeBoxFtpClient(const BoxAddress& box, const BoxBounds& bounds,
                                                 BoxStatusLog log);

}  // namespace tivolo::transfer
