// Real servers for the network tests: started from the scripts in this folder on 127.0.0.1,
// stopped by the PID we started (never by name), also when a test fails half-way.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/test_files.h"

namespace tivolo::testing {

// Folder of the server scripts (tests/servers in the source tree).
std::string ServersDir();

// True when an executable file exists at path.
bool HaveExecutable(const std::string& path);

// One server process. Start runs argv in its own process group; the program prints its TCP
// port on the first line of stdout. With wait_ready, Start then waits until 127.0.0.1:port
// accepts a connection (for servers that print the port before they listen). Stop (and the
// destructor) sends SIGTERM to that process group, waits, then SIGKILL, and reaps the PID.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Returns false with a reason in *error when the process did not start or print a port in
  // time; nothing is left running then. A server that ends before it accepts is tried again
  // (up to three times in all).
  bool Start(const std::vector<std::string>& argv, bool wait_ready, std::string* error,
             std::chrono::milliseconds bound = std::chrono::seconds(10));
  void Stop();

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0; }

 private:
  bool StartOnce(const std::vector<std::string>& argv, bool wait_ready, std::string* error,
                 std::chrono::milliseconds bound, bool* ended_early);

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tivolo::testing
