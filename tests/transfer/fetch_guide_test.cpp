// The guide fetch against vsftpd (a box's own server): the settings first, the guide in binary
// and only when its size or time changed, a box without a guide; and against a scripted
// server for a cancel in the middle of the guide's download.
#include "transfer/fetch_guide.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "net/ftp/fake_ftp_server.h"
#include "platform/time_zone.h"
#include "servers/server_process.h"
#include "support/test_deadline.h"
#include "support/test_files.h"

namespace tivolo::transfer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const bool kDeadline = tivolo::testing::InstallTestDeadline(40s);
using testing::FakeFtpServer;
using testing::FakeFtpSession;
using testing::ReadFile;
using testing::WriteFile;

constexpr int64_t kWritten = 1796681400;  // 2026-12-07 22:10 UTC, 23:10 in Amsterdam

class RecordingObserver : public GuideFetchObserver {
 public:
  void Log(const std::string& line) override {
    if (line.rfind("asStatusText", 0) != 0) log += line + "\n";
  }
  void Progress(const std::string& file, int index, int count) override {
    progress += file + " " + std::to_string(index) + "/" + std::to_string(count) + "\n";
  }
  void Received(int64_t bytes, int64_t total) override {
    received = bytes;
    received_total = total;
  }
  std::string log, progress;
  int64_t received = 0, received_total = 0;
};

void SetModified(const fs::path& file, int64_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
}

// Every byte value, so that a text-mode transfer would show.
std::string BinaryGuide(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i)
    bytes[i] = static_cast<char>(i * 7 % 256);
  return bytes;
}

class GuideFetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(Local());
    fs::create_directories(BoxFolder());
    fs::create_directories(Disk());
  }
  fs::path Local() const { return work / "local"; }
  fs::path BoxFolder() const { return work / "root/etc/enigma2"; }
  fs::path Disk() const { return work / "root/media/usb"; }
  void StartVsftpd() {
    if (!testing::HaveExecutable("/usr/sbin/vsftpd"))
      GTEST_SKIP() << "vsftpd is not installed (/usr/sbin/vsftpd)";
    fs::create_directories(work / "vsftpd");
    std::string error;
    ASSERT_TRUE(server.Start({testing::ServersDir() + "/vsftpd.sh", work / "root", work / "vsftpd"},
                             true, &error))
        << error;
    box = {"127.0.0.1",         static_cast<uint16_t>(server.Port()), 23, "anonymous", "tivolo@",
           BoxFolder().string()};
  }
  GuideFetchResult Run() {
    GuideFetch fetch(box, Local(), observer);
    return fetch.Run();
  }

  testing::TempDir work;
  testing::ServerProcess server;
  BoxAddress box;
  RecordingObserver observer;
};

TEST_F(GuideFetchTest, FetchesTheNamedGuideOnlyWhenItChanged) {
  StartVsftpd();
  if (IsSkipped()) return;
  const fs::path guide = Disk() / "epg.dat";
  WriteFile(BoxFolder() / "settings",
            "config.misc.epgcache_filename=" + guide.string() +
                "\nconfig.recording.margin_before=2\nconfig.recording.margin_after=15\n");
  WriteFile(guide, BinaryGuide(100000));
  SetModified(guide, kWritten);
  const std::string rules = "<autotimer version=\"8\">\r\n<timer match=\"News\"/>\n</autotimer>\n";
  WriteFile(BoxFolder() / "autotimer.xml", rules);

  GuideFetchResult first = Run();
  ASSERT_TRUE(first.ok) << first.error_type << ": " << first.error_message;
  EXPECT_TRUE(first.found && first.downloaded);
  EXPECT_EQ(first.source, (GuideSource{guide.string(), 100000, kWritten}));
  EXPECT_EQ(first.settings.margin_before_minutes, 2);
  EXPECT_EQ(first.settings.margin_after_minutes, 15);
  EXPECT_TRUE(ReadFile(first.copy) == BinaryGuide(100000));
  ASSERT_TRUE(first.rules_found);
  EXPECT_EQ(ReadFile(first.rules_copy), rules);  // byte for byte
  EXPECT_EQ(observer.progress, "settings 1/2\nepg.dat 2/2\n");
  EXPECT_EQ(observer.received, 100000);
  EXPECT_EQ(observer.received_total, 100000);
  platform::ClockSettings amsterdam;
  amsterdam.time_zone = platform::ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3");
  EXPECT_EQ(first.AgeText(amsterdam), "Guide of 07-12-26 23:10");

  // The same file again: nothing comes; a new time or a damaged copy brings it again.
  observer.progress.clear();
  GuideFetchResult second = Run();
  EXPECT_TRUE(second.ok && second.found && !second.downloaded);
  EXPECT_EQ(observer.progress, "settings 1/2\n");
  SetModified(guide, kWritten + 60);
  EXPECT_TRUE(Run().downloaded);
  WriteFile(Local() / kGuideCopyName, "cut");
  EXPECT_TRUE(Run().downloaded);
  EXPECT_EQ(ReadGuideSource(Local())->modified, kWritten + 60);
}

TEST_F(GuideFetchTest, WithoutAGuideTheDefaultsAreTriedAndNothingFails) {
  StartVsftpd();
  if (IsSkipped()) return;
  GuideFetchResult result = Run();  // no settings file either
  ASSERT_TRUE(result.ok) << result.error_type << ": " << result.error_message;
  EXPECT_FALSE(result.found);
  EXPECT_EQ(result.AgeText({}), "");
  EXPECT_EQ(result.settings.margin_before_minutes, boxdata::kDefaultMarginBeforeMinutes);
  EXPECT_EQ(observer.log,
            "The box has no settings file; the receiver's defaults apply.\n"
            "The box has no guide (/media/hdd/epg.dat, " +
                BoxFolder().string() +
                "/epg.dat).\n"
                "The box has no series rules (autotimer.xml).\n");
  EXPECT_FALSE(result.rules_found);
  // The second default: the settings folder.
  WriteFile(BoxFolder() / "settings", "config.misc.other=1\n");
  WriteFile(BoxFolder() / "epg.dat", "guide");
  result = Run();
  EXPECT_TRUE(result.found && result.downloaded);
  EXPECT_EQ(result.source.remote_path, BoxFolder().string() + "/epg.dat");
  // Rules the box no longer has leave no copy behind.
  WriteFile(Local() / kRulesFileName, "<autotimer/>");
  EXPECT_FALSE(Run().rules_found);
  EXPECT_FALSE(fs::exists(Local() / kRulesFileName));
}

TEST_F(GuideFetchTest, CancelInTheMiddleOfTheGuideKeepsTheEarlierCopy) {
  WriteFile(Local() / kGuideCopyName, "earlier");
  std::atomic<bool> stalled{false};
  FakeFtpServer fake([&](FakeFtpSession& s) {
    s.Login();
    s.Expect("CWD /etc/enigma2");
    s.Reply("250 ok");
    s.BeginTransfer("retr settings");
    s.Reply("150 Here it comes");
    s.SendData("config.recording.margin_before=1\n");
    s.CloseData();
    s.Reply("226 Done");
    s.Expect("SIZE /media/hdd/epg.dat");
    s.Reply("213 1000000");
    s.Expect("MDTM /media/hdd/epg.dat");
    s.Reply("213 20261207221000");
    s.BeginTransfer("retr /media/hdd/epg.dat");
    s.Reply("150 Here it comes");
    s.SendData(std::string(5000, 'x'));
    stalled = true;
    s.WaitForClientClose(5s);
  });
  box = {"127.0.0.1", static_cast<uint16_t>(fake.Port()), 23, "root", "dreambox", "/etc/enigma2"};
  GuideFetch fetch(box, Local(), observer);
  GuideFetchResult result;
  std::thread runner([&] { result = fetch.Run(); });
  const auto give_up = std::chrono::steady_clock::now() + 5s;
  while (!stalled && std::chrono::steady_clock::now() < give_up)
    std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(100ms);
  const auto start = std::chrono::steady_clock::now();
  fetch.Cancel();
  runner.join();
  fake.Join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  EXPECT_TRUE(result.cancelled);
  EXPECT_EQ(result.error_type, "FetchCancelled");
  EXPECT_EQ(ReadFile(Local() / kGuideCopyName), "earlier");
  EXPECT_FALSE(ReadGuideSource(Local()));
  EXPECT_EQ(fake.Failures(), "");
  EXPECT_NE(fake.Commands().find("type I"), std::string::npos);
}

}  // namespace
}  // namespace tivolo::transfer
