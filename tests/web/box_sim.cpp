#include "web/box_sim.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "boxdata/xml_text.h"

namespace tivolo::testing {

namespace {

const std::string kBoxSim = std::string(TIVOLO_SOURCE_DIR) + "/tools/boxsim/boxsim.py";

// Runs boxsim with these arguments and returns what it printed. boxsim bounds its own
// start and stop (10 s each), so the wait here ends.
std::string RunBoxSim(const std::string& arguments) {
  std::string command = "/usr/bin/python3 " + kBoxSim + " " + arguments + " 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run boxsim");
  std::string out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  int status = ::pclose(pipe);
  if (status != 0) throw std::runtime_error("boxsim " + arguments + " failed: " + out);
  return out;
}

std::string Quote(const std::string& path) {
  return "'" + path + "'";
}

}  // namespace

BoxSim::BoxSim(const std::vector<web::BoxTimer>& timers, const std::vector<std::string>& switches,
               bool demo, const std::string& demo_options) {
  std::string arguments = "start --state " + Quote(dir_.Path());
  if (demo) arguments += " " + demo_options;
  if (!demo) {
    std::filesystem::path folder = dir_ / "box/etc/enigma2";
    std::filesystem::create_directories(folder);
    WriteFile(folder / "timers.xml", TimersXml(timers));
    arguments += " --box " + Quote((dir_ / "box").string());
  }
  for (const std::string& s : switches)
    arguments += " --fault " + s;
  status_ = nlohmann::json::parse(RunBoxSim(arguments));
}

BoxSim::~BoxSim() {
  try {
    RunBoxSim("stop --state " + Quote(dir_.Path()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
  }
}

web::HttpEndpoint BoxSim::Endpoint() const {
  int port = status_["web_port"].is_number() ? status_["web_port"].get<int>() : 0;
  return {"127.0.0.1", port, false, status_["user"].get<std::string>(),
          status_["password"].get<std::string>()};
}

void BoxSim::SetSwitches(const nlohmann::json& switches) const {
  // Written whole under another name and renamed, as boxsim itself does.
  std::filesystem::path path = dir_ / "faults.json";
  WriteFile(path.string() + ".tmp", switches.dump());
  std::filesystem::rename(path.string() + ".tmp", path);
}

std::string BoxSim::TimersFile() const {
  return ReadFile(std::filesystem::path(status_["box"].get<std::string>()) /
                  "etc/enigma2/timers.xml");
}

nlohmann::json BoxSim::LiveStatus() const {
  return nlohmann::json::parse(ReadFile(dir_ / "status.json"));
}

std::string BoxSim::WebLog() const {
  return ReadFile(dir_ / "web.log");
}

std::string TimersXml(const std::vector<web::BoxTimer>& timers) {
  std::string xml = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (const web::BoxTimer& t : timers) {
    xml += "<timer begin=\"" + std::to_string(t.begin) + "\" end=\"" + std::to_string(t.end) +
           "\" serviceref=\"" + t.serviceref + "\" repeated=\"" + std::to_string(t.repeated) +
           "\" name=\"" + boxdata::XmlEscape(t.name) + "\" description=\"" +
           boxdata::XmlEscape(t.description) + "\" afterevent=\"" +
           std::string(web::AfterEventName(t.afterevent)) + "\" eit=\"" + std::to_string(t.eit) +
           "\" location=\"" + boxdata::XmlEscape(t.dirname) + "\" tags=\"" +
           boxdata::XmlEscape(t.tags) + "\" disabled=\"" + (t.disabled ? "1" : "0") +
           "\" justplay=\"" + (t.justplay ? "1" : "0") + "\">\n</timer>\n";
  }
  return xml + "</timers>\n";
}

}  // namespace tivolo::testing
