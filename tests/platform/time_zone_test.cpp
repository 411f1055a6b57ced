#include "platform/time_zone.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "platform/clock.h"
#include "support/test_files.h"
#include "zone_env.h"

namespace tivolo::platform {
namespace {

using testing::ScopedTz;

std::string Dump(const SystemTime& r) {
  if (r.month == 0) return "none";
  char b[64];
  std::snprintf(b, sizeof b, "M%u.%u.%u/%d:%02u:%02u", r.month, r.day, r.day_of_week, r.hour,
                r.minute, r.second);
  return b;
}

// bias standard_bias daylight_bias daylight-rule standard-rule
std::string Dump(const TimeZoneInfo& tz) {
  return std::to_string(tz.bias) + " " + std::to_string(tz.standard_bias) + " " +
         std::to_string(tz.daylight_bias) + " " + Dump(tz.daylight_date) + " " +
         Dump(tz.standard_date);
}

struct PosixCase {
  const char* tz;
  const char* expected;
  bool problem;
};

class PosixTzTest : public ::testing::TestWithParam<PosixCase> {};

TEST_P(PosixTzTest, MapsToTheRuleForm) {
  std::string problem = "stale";
  const TimeZoneInfo tz = ParsePosixTz(GetParam().tz, &problem);
  EXPECT_EQ(Dump(tz), GetParam().expected);
  EXPECT_EQ(!problem.empty(), GetParam().problem) << problem;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, PosixTzTest,
    ::testing::Values(
        PosixCase{"CET-1CEST,M3.5.0,M10.5.0/3", "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00", false},
        PosixCase{"AEST-10AEDT,M10.1.0,M4.1.0/3", "-600 0 -60 M10.1.0/2:00:00 M4.1.0/3:00:00",
                  false},
        PosixCase{"<-03>3", "180 0 0 none none", false},
        PosixCase{"UTC0", "0 0 0 none none", false},
        PosixCase{"<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "120 0 -60 M3.5.0/-1:00:00 M10.5.0/0:00:00",
                  false},
        PosixCase{"IST-2IDT,M3.4.4/26,M10.5.0", "-120 0 -60 M3.4.4/26:00:00 M10.5.0/2:00:00",
                  false},
        PosixCase{"<+0330>-3:30", "-210 0 0 none none", false},
        PosixCase{"NZST-12NZDT-13,M9.5.0,M4.1.0/3", "-720 0 -60 M9.5.0/2:00:00 M4.1.0/3:00:00",
                  false},
        PosixCase{"LHST-10:30LHDT-11,M10.1.0,M4.1.0", "-630 0 -30 M10.1.0/2:00:00 M4.1.0/2:00:00",
                  false},
        PosixCase{"XXX3YYY,M3.2.0/-1:30,M11.1.0/+25:15:30",
                  "180 0 -60 M3.2.0/-2:30:00 M11.1.0/25:15:30", false},
        // Without rules, the C library's default rules.
        PosixCase{"EST5EDT", "300 0 -60 M3.2.0/2:00:00 M11.1.0/2:00:00", false},
        // Forms that cannot be mapped: no daylight time, and said so.
        PosixCase{"EST5EDT,J60,J300", "300 0 0 none none", true},
        PosixCase{"EST5EDT,60/2,300", "300 0 0 none none", true},
        PosixCase{"CET-1CEST,M13.5.0,M10.5.0", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST,M3.6.0,M10.5.0", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST,M3.5.7,M10.5.0", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST,M3.5.0", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST,M3.5.0,M10.5.0/3junk", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST,M3.5.0/168,M10.5.0", "-60 0 0 none none", true},
        PosixCase{"CET-1CE", "-60 0 0 none none", true},
        PosixCase{"CET-1CEST+x", "-60 0 0 none none", true},
        // Not a rule string at all: UTC.
        PosixCase{"Europe/Amsterdam", "0 0 0 none none", true},
        PosixCase{"", "0 0 0 none none", true}, PosixCase{"ABC", "0 0 0 none none", true},
        PosixCase{"<AB>1", "0 0 0 none none", true}, PosixCase{"CET-25", "0 0 0 none none", true},
        PosixCase{"<A+1", "0 0 0 none none", true}));

class SystemZoneTest : public ::testing::Test {
 protected:
  std::string Read(const char* tz, std::string* problem = nullptr) {
    ScopedTz scoped(tz);
    std::string ignored;
    return Dump(ReadSystemTimeZone(problem != nullptr ? problem : &ignored));
  }
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto path = (dir_ / name).string();
    tivolo::testing::WriteFile(path, bytes);
    return path;
  }

  tivolo::testing::TempDir dir_;
};

TEST_F(SystemZoneTest, ReadsTheTestZonesFromTheirFiles) {
  std::string problem;
  EXPECT_EQ(Read("Europe/Amsterdam", &problem), "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00");
  EXPECT_EQ(problem, "");
  EXPECT_EQ(Read("Australia/Sydney"), "-600 0 -60 M10.1.0/2:00:00 M4.1.0/3:00:00");
  EXPECT_EQ(Read("America/Sao_Paulo"), "180 0 0 none none");
  EXPECT_EQ(Read("America/Nuuk"), "120 0 -60 M3.5.0/-1:00:00 M10.5.0/0:00:00");
  EXPECT_EQ(Read("Asia/Jerusalem"), "-120 0 -60 M3.4.4/26:00:00 M10.5.0/2:00:00");
  EXPECT_EQ(Read("UTC"), "0 0 0 none none");
  EXPECT_EQ(Read(":Europe/Amsterdam"), Read("Europe/Amsterdam"));
  EXPECT_EQ(Read("/usr/share/zoneinfo/Asia/Jerusalem"), Read("Asia/Jerusalem"));
}

TEST_F(SystemZoneTest, FallsBackSensibly) {
  std::string problem;
  // A rule string that names no file is used as it is.
  EXPECT_EQ(Read("CET-1CEST,M3.5.0,M10.5.0/3", &problem),
            "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00");
  EXPECT_EQ(problem, "");
  EXPECT_EQ(Read("", &problem), "0 0 0 none none");
  EXPECT_EQ(problem, "");
  EXPECT_EQ(Read("Nowhere/Zone", &problem), "0 0 0 none none");
  EXPECT_NE(problem, "");
  EXPECT_EQ(Read(":Nowhere/Zone", &problem), "0 0 0 none none");
  EXPECT_NE(problem, "");
  EXPECT_EQ(Read("../../../../etc/passwd", &problem), "0 0 0 none none");
  EXPECT_NE(problem, "");
  // Unset: the machine's /etc/localtime.
  EXPECT_EQ(Read(nullptr), Read(":/etc/localtime"));
}

// A TZif file: version, then per block the local time types (UT offsets) and the transitions'
// type indices; footer appended after the second block.
std::string Tzif(char version, const std::vector<int32_t>& offsets,
                 const std::vector<uint8_t>& transitions, const std::string& footer,
                 const std::vector<bool>& daylight = {}) {
  auto be = [](uint64_t v, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i)
      out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  };
  auto block = [&](int time_size) {
    std::string out = "TZif";
    out += version;
    out += std::string(15, '\0');
    out += be(0, 4) + be(0, 4) + be(0, 4) + be(transitions.size(), 4) + be(offsets.size(), 4) +
           be(4, 4);
    for (size_t i = 0; i < transitions.size(); ++i)
      out += be(1000000 * (i + 1), time_size);
    for (uint8_t t : transitions)
      out += static_cast<char>(t);
    for (size_t i = 0; i < offsets.size(); ++i) {
      out += be(static_cast<uint32_t>(offsets[i]), 4);
      out += static_cast<char>(i < daylight.size() && daylight[i] ? 1 : 0);
      out += '\0';
    }
    out += std::string("ABC", 4);
    return out;
  };
  std::string out = block(4);
  if (version >= '2') out += block(8) + "\n" + footer + "\n";
  return out;
}

TEST_F(SystemZoneTest, ReadsZoneFilesOfEveryVersion) {
  std::string problem;
  const auto v2 = Write("v2", Tzif('2', {3600, 7200}, {0, 1}, "CET-1CEST,M3.5.0,M10.5.0/3"));
  EXPECT_EQ(Read(v2.c_str(), &problem), "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00");
  EXPECT_EQ(problem, "");
  // Version 1 has no rule string: the last transition's offset holds.
  const auto v1 = Write("v1", Tzif('\0', {3600, 19800}, {0, 1}, ""));
  EXPECT_EQ(Read(v1.c_str(), &problem), "-330 0 0 none none");
  EXPECT_EQ(problem, "");
  const auto empty_footer = Write("empty", Tzif('3', {-10800, -7200}, {1, 0}, ""));
  EXPECT_EQ(Read(empty_footer.c_str(), &problem), "180 0 0 none none");
  const auto no_transitions = Write("none", Tzif('2', {-18000}, {}, ""));
  EXPECT_EQ(Read(no_transitions.c_str()), "300 0 0 none none");
  const auto julian = Write("julian", Tzif('2', {3600}, {}, "EST5EDT,J60,J300"));
  EXPECT_EQ(Read(julian.c_str(), &problem), "300 0 0 none none");
  EXPECT_NE(problem, "");
}

// Copies of the system's zone file without a rule string: its first (version 1) block
// alone, and the whole file with an empty rule string.
std::string AmsterdamVersion1() {
  std::ifstream in("/usr/share/zoneinfo/Europe/Amsterdam", std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 44) return b;
  auto count = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(b[at])) << 24 |
           static_cast<size_t>(static_cast<unsigned char>(b[at + 1])) << 16 |
           static_cast<size_t>(static_cast<unsigned char>(b[at + 2])) << 8 |
           static_cast<size_t>(static_cast<unsigned char>(b[at + 3]));
  };
  const size_t size =
      44 + count(32) * 5 + count(36) * 6 + count(40) + count(28) * 8 + count(24) + count(20);
  std::string v1 = b.substr(0, size);
  v1[4] = '\0';
  return v1;
}

std::string AmsterdamEmptyRule() {
  std::ifstream in("/usr/share/zoneinfo/Europe/Amsterdam", std::ios::binary);
  std::string b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t footer = b.rfind('\n', b.size() - 2);
  return footer == std::string::npos ? b : b.substr(0, footer + 1) + "\n";
}

TEST_F(SystemZoneTest, ZoneFilesWithoutRulesTakeThemFromTheirChanges) {
  for (const auto& [name, bytes] :
       {std::pair{"v1", AmsterdamVersion1()}, std::pair{"empty_rule", AmsterdamEmptyRule()}}) {
    std::string problem = "stale";
    ClockSettings clock;
    {
      ScopedTz scoped(Write(name, bytes).c_str());
      clock.time_zone = ReadSystemTimeZone(&problem);
    }
    EXPECT_EQ(Dump(clock.time_zone), "-60 0 -60 M3.5.0/2:00:00 M10.5.0/3:00:00") << name;
    EXPECT_EQ(problem, "") << name;
    // 15 July 2025 12:00 UTC is 14:00 in Amsterdam; 15 January 12:00 is 13:00.
    EXPECT_DOUBLE_EQ(UtcToLocal(EpochToDateTime(1752580800), clock), 45853.0 + 14.0 / 24) << name;
    EXPECT_DOUBLE_EQ(UtcToLocal(EpochToDateTime(1736942400), clock), 45672.0 + 13.0 / 24) << name;
  }
  // Daylight time that ended long ago cannot be told from rules that still hold: the last
  // offset is used, and the log says so.
  std::string problem;
  const auto past = Write("past", Tzif('\0', {3600, 7200}, {1, 0, 1, 0}, "", {false, true}));
  EXPECT_EQ(Read(past.c_str(), &problem), "-60 0 0 none none");
  EXPECT_NE(problem, "");
}

TEST_F(SystemZoneTest, DamagedZoneFilesGiveUtcAndSaySo) {
  const std::string good = Tzif('2', {3600, 7200}, {0, 1}, "CET-1CEST,M3.5.0,M10.5.0/3");
  for (size_t cut : {size_t{10}, size_t{50}, good.size() / 2, good.size() - 3}) {
    std::string problem;
    const auto path = Write("cut" + std::to_string(cut), good.substr(0, cut));
    const std::string got = Read(path.c_str(), &problem);
    EXPECT_NE(problem, "") << cut;
    // Cut inside the footer, the last offset of the data still holds.
    EXPECT_TRUE(got == "0 0 0 none none" || got == "-120 0 0 none none") << cut << " " << got;
  }
  std::string bad_index = Tzif('\0', {3600}, {7}, "");
  std::string problem;
  EXPECT_EQ(Read(Write("index", bad_index).c_str(), &problem), "-60 0 0 none none");
}

}  // namespace
}  // namespace tivolo::platform
