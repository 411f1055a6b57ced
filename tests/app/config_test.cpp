#include "app/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/profile_file.h"
#include "support/test_files.h"

namespace tivolo::app {
namespace {

namespace fs = std::filesystem;

std::string Dump(const Settings& s) {
  std::ostringstream out;
  out << "ip=" << s.ip << " user=" << s.username << " pass=" << s.password
      << " offset=" << s.utc_offset << " auto=" << s.utc_auto << " ftp=" << s.ftp_port
      << " telnet=" << s.telnet_port << " web=" << s.web_port << (s.web_https ? "s" : "")
      << " live=" << s.apply_live;
  return out.str();
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { path_ = ConfigFilePath(dir_.Path() + "/"); }
  void WriteFile(const std::string& text) const { tivolo::testing::WriteFile(path_, text); }
  std::string ReadFile() const { return tivolo::testing::ReadFile(path_); }
  Settings LoadWith(const std::string& key, const std::string& value) const {
    WriteFile("[DB7025]\n" + key + "=" + value + "\n");
    return LoadConfiguration(path_);
  }

  tivolo::testing::TempDir dir_;
  std::string path_;
};

TEST_F(ConfigTest, MissingFileAndKeysGiveDefaults) {
  EXPECT_EQ(path_, dir_.Path() + "/config.ini");
  EXPECT_EQ(Dump(LoadConfiguration(path_)),
            "ip= user= pass= offset=0 auto=1 ftp=21 telnet=23 web=80 live=1");
  WriteFile("[DB7025]\nIp=192.168.2.10\n");
  const Settings s = LoadConfiguration(path_);
  EXPECT_EQ(Dump(s), "ip=192.168.2.10 user= pass= offset=0 auto=1 ftp=21 telnet=23 web=80 live=1");
  EXPECT_EQ(MainCaption(s), "Tivolo  192.168.2.10:   (v0.2)");
}

TEST_F(ConfigTest, IntegersAndBooleansParseAsConfigured) {
  EXPECT_EQ(LoadWith("UTC_Offset", "0x10").utc_offset, 16);
  EXPECT_EQ(LoadWith("UTC_Offset", "$1F").utc_offset, 31);
  EXPECT_EQ(LoadWith("UTC_Offset", "-5").utc_offset, -5);
  EXPECT_EQ(LoadWith("UTC_Offset", "+3").utc_offset, 3);
  EXPECT_EQ(LoadWith("UTC_Offset", "-0x2").utc_offset, -2);
  EXPECT_EQ(LoadWith("UTC_Offset", "abc").utc_offset, 0);
  EXPECT_EQ(LoadWith("UTC_Offset", "0x").utc_offset, 0);
  EXPECT_EQ(LoadWith("UTC_Offset", "$").utc_offset, 0);
  EXPECT_EQ(LoadWith("UTC_Offset", "12ab").utc_offset, 0);
  EXPECT_EQ(LoadWith("UTC_Offset", "99999999999").utc_offset, 0);
  EXPECT_EQ(LoadWith("UTC_Offset", "-2147483648").utc_offset, INT32_MIN);
  EXPECT_TRUE(LoadWith("UTC_Auto", "2").utc_auto);
  EXPECT_FALSE(LoadWith("UTC_Auto", "0").utc_auto);
  EXPECT_FALSE(LoadWith("UTC_Auto", "$0").utc_auto);
  EXPECT_TRUE(LoadWith("UTC_Auto", "no").utc_auto);
  EXPECT_EQ(LoadWith("FtpPort", "2121").ftp_port, 2121);
  EXPECT_EQ(LoadWith("telnetport", "0x917").telnet_port, 0x917);
  EXPECT_EQ(LoadWith("FtpPort", "").ftp_port, 21);
  EXPECT_EQ(LoadWith("WebPort", "8080").web_port, 8080);
  EXPECT_TRUE(LoadWith("WebHttps", "1").web_https);
  EXPECT_FALSE(LoadWith("ApplyLive", "0").apply_live);
  EXPECT_TRUE(LoadWith("ApplyLive", "off").apply_live);  // unparsable: the default
  EXPECT_EQ(LoadWith("Password", std::string(3000, 'p')).password, std::string(2047, 'p'));
}

// A port that is no port is refused by name rather than replaced by the usual one, which
// would reach another service; an offset beyond the world's zones is used as it is.
TEST_F(ConfigTest, PortsOutsideTheirRangeAreErrorsAndOffsetsAreKept) {
  for (const auto& [key, value] :
       {std::pair{"FtpPort", "70000"}, std::pair{"TelnetPort", "0"}, std::pair{"FtpPort", "-21"},
        std::pair{"TelnetPort", "tel"}, std::pair{"WebPort", "65536"}}) {
    try {
      LoadWith(key, value);
      ADD_FAILURE() << key << "=" << value << " was accepted";
    } catch (const ConfigError& e) {
      EXPECT_NE(std::string(e.what()).find(std::string(key) + " \"" + value + "\""),
                std::string::npos)
          << e.what();
    }
  }
  WriteFile("[DB7025]\nUTC_Offset=20\n");
  std::vector<std::string> log;
  EXPECT_EQ(LoadConfiguration(path_, [&log](const std::string& l) { log.push_back(l); }).utc_offset,
            20);
  EXPECT_EQ(log, std::vector<std::string>{"UTC_Offset 20 lies outside -12 to +14 hours; it is "
                                          "used as it is"});
  // The dialog shows 14 for it; saved with 14 still shown, 20 stays.
  EXPECT_EQ(KeptOffset(14, 20), 20);
  EXPECT_EQ(KeptOffset(13, 20), 13);
  EXPECT_EQ(KeptOffset(-12, -13), -13);
  EXPECT_EQ(KeptOffset(2, 1), 2);
}

struct AddressCase {
  const char* text;
  bool valid;
};

class AddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, ChecksDottedQuadsAndHostNames) {
  EXPECT_EQ(IsValidAddress(TrimEntry(GetParam().text)), GetParam().valid) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, AddressTest,
    ::testing::Values(AddressCase{"192.168.1.1", true}, AddressCase{"10.0.0.1", true},
                      AddressCase{"1.2.3.4", true}, AddressCase{"  192.168.1.1 \t", true},
                      AddressCase{"0.0.0.0", true}, AddressCase{"255.255.255.255", true},
                      AddressCase{"dreambox", true}, AddressCase{"dm7025.local", true},
                      AddressCase{"my-box.home.lan", true}, AddressCase{"box1", true},
                      AddressCase{"localhost", true}, AddressCase{"192.168.1.300", false},
                      AddressCase{"1234567890", false}, AddressCase{"192.168.1.1a", false},
                      AddressCase{"192.168.1", false}, AddressCase{"192.168.1.1.1", false},
                      AddressCase{"192..1.1", false}, AddressCase{"192.168.01.1", false},
                      AddressCase{"", false}, AddressCase{"   ", false}, AddressCase{"-box", false},
                      AddressCase{"box-", false}, AddressCase{"bo_x", false},
                      AddressCase{"box.", false}, AddressCase{".box", false},
                      AddressCase{"a b", false}, AddressCase{"192.168.1.1:21", false},
                      AddressCase{"2001:db8::1", false}, AddressCase{"1.2.3.-4", false}));

TEST(AddressLengthTest, LabelsAndNamesHaveLimits) {
  EXPECT_TRUE(IsValidAddress(std::string(63, 'a') + ".lan"));
  EXPECT_FALSE(IsValidAddress(std::string(64, 'a') + ".lan"));
  std::string name;
  while (name.size() < 250)
    name += "abcdefghi.";
  EXPECT_TRUE(IsValidAddress(name + "lan"));  // 253 characters
  EXPECT_FALSE(IsValidAddress("x" + name + "lan"));
}

TEST_F(ConfigTest, SaveTrimsAndWritesItsKeysInOrder) {
  WriteFile("; my notes\n[DB7025]\nFtpPort=2121\n[Other]\nIp=keep\n");
  Settings settings = LoadConfiguration(path_);
  SettingsEntries entries;
  entries.ip = "  192.168.1.1 ";
  entries.username = " root\t";
  entries.password = "pass word  ";
  entries.offset = 2.9;
  entries.automatic = false;
  entries.web_port = 8080;
  entries.web_https = true;
  entries.apply_live = false;
  ASSERT_EQ(SaveEntries(entries, settings, path_), SaveResult::kSaved);
  EXPECT_EQ(Dump(settings),
            "ip=192.168.1.1 user=root pass=pass word offset=2 auto=0 ftp=2121 telnet=23 "
            "web=8080s live=0");
  EXPECT_EQ(ReadFile(),
            "; my notes\n[DB7025]\nFtpPort=2121\nIp=192.168.1.1\nUsername=root\n"
            "Password=pass word\nUTC_Offset=2\nUTC_Auto=0\nWebPort=8080\nWebHttps=1\n"
            "ApplyLive=0\n[Other]\nIp=keep\n");
  EXPECT_EQ(Dump(LoadConfiguration(path_)), Dump(settings));
  // The form as first shown saves to the defaults.
  Settings fresh;
  fs::remove(path_);
  ASSERT_EQ(SaveEntries(SettingsEntries{}, fresh, path_), SaveResult::kSaved);
  EXPECT_EQ(ReadFile(),
            "[DB7025]\nIp=192.168.1.1\nUsername=root\nPassword=\nUTC_Offset=0\nUTC_Auto=1\n"
            "WebPort=80\nWebHttps=0\nApplyLive=1\n");
  // Negative offsets are written with their sign.
  fresh.utc_offset = -5;
  SaveConfiguration(path_, fresh);
  EXPECT_EQ(LoadConfiguration(path_).utc_offset, -5);
}

// The manual tuner set-up as config.ini holds it: systems not offered and blanks are dropped,
// eight at most; a set-up cleared in the dialog is written empty, not left behind.
TEST_F(ConfigTest, ManualTunersAreReadBackAndCleared) {
  const struct {
    const char* text;
    std::vector<std::string> types;
  } kCases[] = {
      {"DVB-S2,DVB-C", {"DVB-S2", "DVB-C"}},
      {" DVB-S , ,DVB-X,dvb-c,DVB-T2", {"DVB-S", "DVB-T2"}},
      {"DVB-C,DVB-C,DVB-C,DVB-C,DVB-C,DVB-C,DVB-C,DVB-C,DVB-S2",
       std::vector<std::string>(8, "DVB-C")},
      {"", {}},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(ParseManualTuners(c.text), c.types) << c.text;
  Settings settings;
  settings.manual_tuners = {"DVB-S2", "DVB-T"};
  SaveConfiguration(path_, settings);
  EXPECT_EQ(LoadConfiguration(path_).manual_tuners, settings.manual_tuners);
  settings.manual_tuners.clear();
  SaveConfiguration(path_, settings);
  EXPECT_NE(ReadFile().find("\nManualTuners=\n"), std::string::npos) << ReadFile();
  EXPECT_TRUE(LoadConfiguration(path_).manual_tuners.empty());
}

TEST_F(ConfigTest, InvalidAddressStoresNothing) {
  WriteFile("[DB7025]\nIp=192.168.1.1\n");
  Settings settings = LoadConfiguration(path_);
  SettingsEntries entries = EntriesFrom(settings);
  entries.ip = "192.168.1.300";
  entries.username = "changed";
  EXPECT_EQ(SaveEntries(entries, settings, path_), SaveResult::kInvalidAddress);
  EXPECT_STREQ(kInvalidAddressMessage, "Ongeldig IP adres");
  EXPECT_EQ(settings.username, "");
  EXPECT_EQ(ReadFile(), "[DB7025]\nIp=192.168.1.1\n");
}

TEST_F(ConfigTest, UnwritableFileFailsAfterTheSettingsTookEffect) {
  const std::string nowhere = (dir_ / "gone" / "config.ini").string();
  Settings settings;
  SettingsEntries entries;
  entries.ip = "dreambox";
  try {
    SaveEntries(entries, settings, nowhere);
    FAIL() << "no error";
  } catch (const platform::ProfileFileError& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + nowhere);
  }
  EXPECT_EQ(settings.ip, "dreambox");
}

TEST(EntriesTest, FillFromTheLoadedSettings) {
  Settings s;
  s.ip = "10.0.0.2";
  s.username = "u";
  s.password = "p";
  s.utc_offset = 3;
  s.utc_auto = false;
  const SettingsEntries e = EntriesFrom(s);
  EXPECT_EQ(e.ip + "|" + e.username + "|" + e.password + "|" + std::to_string(e.offset) + "|" +
                std::to_string(e.automatic),
            "10.0.0.2|u|p|3.000000|0");
  EXPECT_EQ(TrimEntry("\x01 a b \x7f"), "a b \x7f");
}

}  // namespace
}  // namespace tivolo::app
