// The FTP client against real servers on 127.0.0.1: vsftpd (the receivers' own kind, with
// mask matching and ASCII conversion) and pyftpdlib (125 in active mode, no mask matching).
// Each test is skipped only when the server's binary is missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>

#include "net/ftp_client.h"
#include "servers/server_process.h"

namespace tivolo::net {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ServerProcess;
using testing::TempDir;
using testing::WriteFile;

const char* const kFetchMasks[] = {"userbouquet*.*", "lamedb", "bouquets.tv", "bouquets.radio",
                                   "timers.xml"};

std::string LfToCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string CrLfToLf(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Equal bytes; on a difference, the sizes and the first differing offset (not the files).
::testing::AssertionResult SameBytes(const std::string& actual, const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at])
    ++at;
  return ::testing::AssertionFailure() << "sizes " << actual.size() << " and " << expected.size()
                                       << ", first difference at byte " << at;
}

// A box's /etc/enigma2 under root, filled from a real box's files.
std::set<std::string> FillBoxFolder(const std::string& root) {
  std::string folder = root + "/etc/enigma2";
  fs::create_directories(folder);
  std::set<std::string> names;
  std::string source = std::string(TIVOLO_REAL_DATA_DIR) + "/dekoderymailZgemma-enigma2-update";
  for (const auto& entry : fs::directory_iterator(source)) {
    std::string name = entry.path().filename().string();
    if (name == "README.txt" || name == "lamedb5") continue;
    // Written fresh (ours, world-readable) with LF line ends, as a box keeps them.
    WriteFile(folder + "/" + name, CrLfToLf(ReadFile(entry.path().string())));
    names.insert(name);
  }
  WriteFile(folder + "/other.conf", "not part of the fetch\n");
  return names;
}

class RealFtpServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(work.Path() + "/root");
    fs::create_directories(work.Path() + "/local");
    box_names = FillBoxFolder(Root());
  }
  std::string Root() const { return work.Path() + "/root"; }
  std::string Local(const std::string& name) const { return work.Path() + "/local/" + name; }
  std::string BoxFile(const std::string& name) const { return Root() + "/etc/enigma2/" + name; }
  // The box's folder as the server names it: vsftpd run as the launching user does not
  // change its root, so there it is the real path; pyftpdlib serves Root() as "/".
  std::string BoxFolder() const { return vsftpd ? Root() + "/etc/enigma2" : "/etc/enigma2"; }

  void StartVsftpd() {
    if (!testing::HaveExecutable("/usr/sbin/vsftpd"))
      GTEST_SKIP() << "vsftpd is not installed (/usr/sbin/vsftpd)";
    fs::create_directories(work.Path() + "/vsftpd");
    vsftpd = true;
    std::string error;
    ASSERT_TRUE(server.Start(
        {testing::ServersDir() + "/vsftpd.sh", Root(), work.Path() + "/vsftpd"}, true, &error))
        << error;
  }
  void StartPyftpdlib() {
    if (!testing::HaveExecutable("/usr/bin/python3") ||
        std::system("/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null") != 0)
      GTEST_SKIP() << "pyftpdlib for /usr/bin/python3 is not installed (python3-pyftpdlib)";
    std::string error;
    ASSERT_TRUE(
        server.Start({"/usr/bin/python3", testing::ServersDir() + "/pyftpdlib_server.py", Root()},
                     false, &error))
        << error;
  }
  void Login(const std::string& user, const std::string& password) {
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    client.SetUser(user);
    client.SetPassword(password);
    client.SetTransferType(FtpTransferType::kAscii);
    client.SetOnStatus(
        [this](NetComponent&, NetStatus, const std::string& text) { log += text + "\n"; });
    client.OpenAndLogin(true);
  }

  TempDir work;
  bool vsftpd = false;
  std::set<std::string> box_names;
  ServerProcess server;
  FtpClient client;
  std::string log;
};

TEST_F(RealFtpServerTest, VsftpdFetchAndUpload) {
  StartVsftpd();
  if (IsSkipped()) return;
  Login("anonymous", "tivolo@");
  EXPECT_EQ(client.ServerSystem(), " UNIX Type: L8");
  client.ChangeRemoteDir(BoxFolder());
  // The fetch: the five masks in order, collecting every name, then every download.
  std::vector<std::string> collected;
  for (const char* mask : kFetchMasks) {
    std::vector<std::string> names;
    client.ListDirectory(names, mask, false);
    collected.insert(collected.end(), names.begin(), names.end());
  }
  std::set<std::string> expected = box_names;
  EXPECT_EQ(std::set<std::string>(collected.begin(), collected.end()), expected);
  EXPECT_EQ(collected.size(), expected.size());
  for (const auto& name : collected) {
    client.Download(name, Local(name), true);
    // ASCII type: LF on the server, CR LF on the wire and so in the local copy.
    EXPECT_TRUE(SameBytes(ReadFile(Local(name)), LfToCrLf(ReadFile(BoxFile(name))))) << name;
  }
  // The save: the new list, written locally with CR LF, lands with LF on the box.
  std::string timers_new =
      "<?xml version=\"1.0\" ?>\r\n<timers>\r\n\t<timer begin=\"1780000000\" "
      "end=\"1780003600\" name=\"Journaal\" />\r\n</timers>\r\n";
  WriteFile(Local("timers.new"), timers_new);
  client.Upload(Local("timers.new"), "timers.xml", false);
  EXPECT_EQ(ReadFile(BoxFile("timers.xml")), CrLfToLf(timers_new));
  // And back again: the same bytes as uploaded.
  client.Download("timers.xml", Local("timers.xml"), true);
  EXPECT_EQ(ReadFile(Local("timers.xml")), timers_new);
  client.Close();
  EXPECT_NE(log.find("Connecting to 127.0.0.1.\nConnected.\n"), std::string::npos) << log;
}

TEST_F(RealFtpServerTest, VsftpdBinaryAndPassive) {
  StartVsftpd();
  if (IsSkipped()) return;
  std::string bytes;
  for (int i = 0; i < 200000; ++i)
    bytes += static_cast<char>((i * 7919) % 256);
  WriteFile(BoxFile("blob.bin"), bytes);
  Login("anonymous", "tivolo@");
  client.SetTransferType(FtpTransferType::kBinary);
  client.ChangeRemoteDir(BoxFolder());
  client.Download("blob.bin", Local("active.bin"), true);
  EXPECT_TRUE(SameBytes(ReadFile(Local("active.bin")), bytes));
  client.SetPassive(true);
  client.Download("blob.bin", Local("passive.bin"), true);
  EXPECT_TRUE(SameBytes(ReadFile(Local("passive.bin")), bytes));
  client.Upload(Local("passive.bin"), "blob2.bin", false);
  client.Upload(Local("passive.bin"), "blob2.bin", true);
  EXPECT_TRUE(SameBytes(ReadFile(BoxFile("blob2.bin")), bytes + bytes));
  std::vector<std::string> details;
  client.ListDirectory(details, "blob.bin", true);
  ASSERT_EQ(details.size(), 1u);
  EXPECT_NE(details[0].find("200000"), std::string::npos) << details[0];
  client.Close();
}

TEST_F(RealFtpServerTest, VsftpdMissingFileRaises550AndKeepsTheLocalCopy) {
  StartVsftpd();
  if (IsSkipped()) return;
  Login("anonymous", "tivolo@");
  client.ChangeRemoteDir(BoxFolder());
  WriteFile(Local("gone.xml"), "earlier");
  try {
    client.Download("gone.xml", Local("gone.xml"), true);
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolReplyError& e) {
    EXPECT_EQ(e.Code(), 550);
  }
  EXPECT_EQ(ReadFile(Local("gone.xml")), "earlier");
  client.Close();
}

TEST_F(RealFtpServerTest, PyftpdlibExactNamesUploadAndMask550) {
  StartPyftpdlib();
  if (IsSkipped()) return;
  Login("tivolo", "secret");  // 331, then the password
  client.ChangeRemoteDir(BoxFolder());
  std::vector<std::string> collected;
  for (const char* name : {"lamedb", "bouquets.tv", "bouquets.radio", "timers.xml"}) {
    std::vector<std::string> names;
    client.ListDirectory(names, name, false);
    collected.insert(collected.end(), names.begin(), names.end());
  }
  ASSERT_EQ(collected.size(), 4u);
  for (const auto& name : collected) {
    client.Download(name, Local(name), true);
    EXPECT_TRUE(SameBytes(ReadFile(Local(name)), LfToCrLf(ReadFile(BoxFile(name))))) << name;
  }
  // No mask matching: the mask is refused with 550, and the connection stays usable.
  std::vector<std::string> names;
  try {
    client.ListDirectory(names, "userbouquet*.*", false);
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolReplyError& e) {
    EXPECT_EQ(e.Code(), 550) << e.what();
  }
  std::string timers_new = "<timers>\r\n\t<timer name=\"Nieuws\" />\r\n</timers>\r\n";
  WriteFile(Local("timers.new"), timers_new);
  client.Upload(Local("timers.new"), "timers.xml", false);
  EXPECT_EQ(ReadFile(BoxFile("timers.xml")), CrLfToLf(timers_new));
  client.Download("timers.xml", Local("timers.xml"), true);
  EXPECT_EQ(ReadFile(Local("timers.xml")), timers_new);
  client.Close();
}

TEST_F(RealFtpServerTest, PyftpdlibWrongPassword) {
  StartPyftpdlib();
  if (IsSkipped()) return;
  try {
    Login("tivolo", "wrong");
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolReplyError& e) {
    EXPECT_EQ(e.Code(), 530) << e.what();
  }
  EXPECT_FALSE(client.Socket().HandleAllocated());
}

}  // namespace
}  // namespace tivolo::net
