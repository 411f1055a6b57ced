// The simulated box of tools/boxsim for the web tests and the benchmark: started on
// 127.0.0.1 in a scratch folder with a timer list of the test's own, stopped (by the PID in
// its status file) when the object goes.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "support/test_files.h"
#include "web/box_timer.h"
#include "web/http_client.h"

namespace tivolo::testing {

class BoxSim {
 public:
  // Starts a box whose timers.xml holds these timers; with demo, the demo box of boxsim
  // instead, demo_options added to its start ("--conflict"). Switches are boxsim's fault
  // switches, such as "web_auth" or "no_web=closed".
  explicit BoxSim(const std::vector<web::BoxTimer>& timers,
                  const std::vector<std::string>& switches = {}, bool demo = false,
                  const std::string& demo_options = {});
  ~BoxSim();
  BoxSim(const BoxSim&) = delete;
  BoxSim& operator=(const BoxSim&) = delete;

  // The web interface with the box's user and password; port 0 when it has none.
  web::HttpEndpoint Endpoint() const;
  // Replaces every switch, while the box runs: {"web_delay": "500"}; {} turns all off.
  void SetSwitches(const nlohmann::json& switches) const;
  // The box's timers.xml as it is now.
  std::string TimersFile() const;
  // The web interface's request log (one line per request, with its status).
  std::string WebLog() const;
  int ReceiverPid() const { return status_.value("receiver_pid", 0); }
  // The status as the box wrote it at start: address, ports, user and password.
  const nlohmann::json& Status() const { return status_; }
  // The status as it is now: receiver_starts, kills, ...
  nlohmann::json LiveStatus() const;
  int FtpPort() const { return status_.value("ftp_port", 0); }
  int TelnetPort() const { return status_.value("telnet_port", 0); }
  // The box's file system: etc/enigma2, media/hdd, ...
  std::string BoxDir() const { return status_.value("box", std::string()); }

 private:
  TempDir dir_;
  nlohmann::json status_;
};

// A timers.xml in the receiver's layout holding these timers.
std::string TimersXml(const std::vector<web::BoxTimer>& timers);

}  // namespace tivolo::testing
