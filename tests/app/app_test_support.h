// Shared by the window tests: a box folder filled from the large real set, a config.ini, and
// acting on a modal dialog once it is open.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/now.h"
#include "servers/server_process.h"
#include "support/dialog_driver.h"
#include "support/test_files.h"
#include "widgets/message_service.h"

namespace tivolo::app::testing {

namespace fs = std::filesystem;
using tivolo::testing::Control;
using tivolo::testing::DialogScript;
using tivolo::testing::ReadFile;
using tivolo::testing::WriteFile;

inline const char kRealSet[] = "dekoderymailZgemma-enigma2-update";

// The real timer moved to other begins, so that the list holds several timers, out of order.
inline std::string TimersXml(const std::string& real) {
  const size_t open = real.find("<timer ");
  const size_t close = real.find("</timer>", open) + 8;
  const std::string timer = real.substr(open, close - open);
  auto moved = [&](const char* begin, const char* end, const char* name) {
    std::string t = timer;
    t.replace(t.find("begin=\"") + 7, 10, begin);
    t.replace(t.find(" end=\"") + 6, 10, end);
    const size_t at = t.find(" name=\"") + 7;
    t.replace(at, t.find('"', at) - at, name);
    return t;
  };
  return real.substr(0, open) + moved("1731100000", "1731103600", "Third") + "\n\t" + timer +
         "\n\t" + moved("1731000000", "1731003600", "First") + real.substr(close);
}

// UTC seconds of a date-time, for fixing "now" in a test.
inline double SecondsOf(platform::DateTime utc) {
  return static_cast<double>((utc - platform::kUnixEpochDay) * 86400.0);
}

// The box's files under folder, with LF line ends as a box keeps them.
inline void FillBoxFolder(const std::string& folder) {
  fs::create_directories(folder);
  const fs::path source = fs::path(TIVOLO_REAL_DATA_DIR) / kRealSet;
  for (const auto& entry : fs::directory_iterator(source)) {
    const std::string name = entry.path().filename().string();
    if (name == "README.txt" || name == "lamedb5") continue;
    std::string text = ReadFile(entry.path().string());
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    if (name == "timers.xml") text = TimersXml(text);
    WriteFile(folder + "/" + name, text);
  }
}

inline void WriteConfig(const std::string& path, int ftp_port, const std::string& box_folder) {
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path,
            "[DB7025]\nIp=127.0.0.1\nUsername=anonymous\nPassword=tivolo@\n"
            "UTC_Offset=0\nUTC_Auto=1\nFtpPort=" +
                std::to_string(ftp_port) + "\nBoxFolder=" + box_folder + "\n");
}

// A box's login and shell for busybox telnetd: lets root in without a password, prints
// nothing for a kill, notes what it receives in `notes`.
inline std::string BoxShell(const std::string& notes) {
  return "#!/bin/sh\nprintf 'dm7025 login: '\nread -r user\necho \"user:$user\" | tr -d '\\r' >> "
         "'" +
         notes +
         "'\nprintf 'root@dm7025:~# '\nwhile read -r cmd; do\n  echo \"cmd:$cmd\" | tr -d "
         "'\\r' >> '" +
         notes + "'\n  printf 'root@dm7025:~# '\ndone\n";
}

// What the box's shell noted from the save: its logins and commands, without the read-only
// tuner read (a login and a `cat`) that the window makes on its own after the start.
inline std::string SaveCommands(const std::filesystem::path& notes) {
  std::istringstream in(ReadFile(notes));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  const auto tuner_read = std::find(lines.begin(), lines.end(), "cmd:cat /proc/bus/nim_sockets");
  if (tuner_read != lines.end()) {
    lines.erase(tuner_read);
    lines.erase(std::find(lines.begin(), lines.end(), "user:root"));
  }
  std::string kept;
  for (const std::string& line : lines)
    kept += line + "\n";
  return kept;
}

// The main window on an earlier run's copies of the large real set in folder, with a box that
// refuses the connection: started, its fetch's alert taken from messages.
inline std::unique_ptr<MainWindow> StartOnCopies(const std::string& folder,
                                                 widgets::ScriptedMessageService& messages) {
  FillBoxFolder(folder);
  WriteConfig(folder + "/config.ini", 1, folder);
  StartOptions options;
  options.config_file = folder + "/config.ini";
  options.local_dir = folder + "/";
  options.messages = &messages;
  auto window = std::make_unique<MainWindow>(options);
  window->StartUp();
  EXPECT_EQ(messages.boxes.size(), 1u) << "the fetch's alert";
  messages.boxes.clear();
  return window;
}

inline bool HaveBoxPeers() {
  return tivolo::testing::HaveExecutable("/usr/sbin/vsftpd") &&
         tivolo::testing::HaveExecutable("/usr/bin/busybox");
}

// The box on loopback: work/root/etc/enigma2 filled by FillBoxFolder, vsftpd serving work/root,
// and BoxShell (noting in work/notes) behind a telnet daemon. Returns why a peer did not
// start; empty when both run.
inline std::string StartBoxPeers(const tivolo::testing::TempDir& work,
                                 tivolo::testing::ServerProcess& ftp,
                                 tivolo::testing::ServerProcess& telnet) {
  FillBoxFolder(work.Path() + "/root/etc/enigma2");
  fs::create_directories(work.Path() + "/vsftpd");
  WriteFile(work / "shell.sh", BoxShell(work / "notes"));
  fs::permissions(work / "shell.sh", fs::perms::owner_all);
  std::string error;
  if (!ftp.Start({tivolo::testing::ServersDir() + "/vsftpd.sh", work.Path() + "/root",
                  work.Path() + "/vsftpd"},
                 true, &error))
    return error;
  telnet.Start(
      {std::string(TIVOLO_SOURCE_DIR) + "/tests/transfer/box_telnetd.sh", work / "shell.sh"}, true,
      &error);
  return error;
}

// WriteConfig with the telnet port as well; these peers have no web interface, so live apply
// is off (a box whose interface does not answer is asked about before the upload route).
inline void WriteBoxConfig(const std::string& path, int ftp_port, int telnet_port,
                           const std::string& box_folder) {
  WriteConfig(path, ftp_port, box_folder);
  WriteFile(path, ReadFile(path) + "TelnetPort=" + std::to_string(telnet_port) + "\nApplyLive=0\n");
}

}  // namespace tivolo::app::testing
