// Shared helpers of the box data tests: the real file sets, fixed clocks and readable dumps
// of the tables.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/time_zone.h"
#include "support/test_files.h"

namespace tivolo::boxdata::testing {

inline const std::filesystem::path kFixtures = TIVOLO_REAL_DATA_DIR;
inline const std::filesystem::path kLarge = kFixtures / "dekoderymailZgemma-enigma2-update";
inline const std::filesystem::path kMedium = kFixtures / "horsti58-Enigma2-Settings";
inline const std::filesystem::path kSmall = kFixtures / "mtcnl-e2_mtcnl_ziggo-regio_9700";

using tivolo::testing::ReadFile;
using tivolo::testing::TempDir;
using tivolo::testing::WriteFile;

// Copies every file of a fixture set into dir.
inline void CopySet(const std::filesystem::path& set, const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(set)) {
    std::filesystem::copy_file(e.path(), dir / e.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(dir / e.path().filename(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
}

inline platform::ClockSettings UtcClock() {
  platform::ClockSettings c;
  c.utc_auto = false;
  c.utc_offset = 0;
  return c;
}

// Central European rules: daylight time from the last Sunday of March 02:00 to the last
// Sunday of October 03:00.
inline platform::ClockSettings CetClock() {
  platform::ClockSettings c;
  c.utc_auto = true;
  c.time_zone = platform::ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3");
  return c;
}

inline const platform::CodePage& Utf8() {
  static const platform::CodePage page("UTF-8");
  return page;
}

inline constexpr double kNow = 45600.0;  // 2024-11-04 00:00
inline constexpr int64_t kNowSeconds = 1730678400;

inline ReadContext Context(const std::filesystem::path& dir,
                           platform::ClockSettings clock = UtcClock(),
                           std::vector<std::string>* log = nullptr) {
  ReadContext ctx;
  ctx.local_dir = dir;
  ctx.clock = clock;
  ctx.code_page = &Utf8();
  if (log) ctx.log = [log](std::string_view line) { log->emplace_back(line); };
  // 4 November 2024 00:00 local (the real timer ends on the 7th): fixed, so the "ended a day
  // ago" rule does not age the tests.
  ctx.now_local = kNow;
  return ctx;
}

// "bouquet name (type): channel, channel, ..." per bouquet; walks the master-detail link.
inline std::string DumpBouquets(BoxTables& t, size_t max_channels = 1000000) {
  std::ostringstream out;
  for (t.bouquet.First(); !t.bouquet.Eof(); t.bouquet.Next()) {
    out << t.bouquet.FieldNamed("Bouquet").AsString() << " ("
        << t.bouquet.FieldNamed("Type").AsInteger() << "):";
    size_t n = 0;
    for (t.zenders.First(); !t.zenders.Eof(); t.zenders.Next()) {
      if (n++ < max_channels) out << " " << t.zenders.FieldNamed("Zender").AsString() << ";";
    }
    if (n > max_channels) out << " ... " << n;
    out << "\n";
  }
  return out.str();
}

// Every channel of every bouquet as service -> name lines.
inline std::vector<std::pair<std::string, std::string>> AllChannels(BoxTables& t) {
  std::vector<std::pair<std::string, std::string>> out;
  for (t.bouquet.First(); !t.bouquet.Eof(); t.bouquet.Next()) {
    for (t.zenders.First(); !t.zenders.Eof(); t.zenders.Next()) {
      out.emplace_back(t.zenders.FieldNamed("Service").AsString(),
                       t.zenders.FieldNamed("Zender").AsString());
    }
  }
  return out;
}

// One line per timer, in table order.
inline std::string DumpTimers(BoxTables& t) {
  std::ostringstream out;
  store::MemTable& m = t.timers;
  for (m.First(); !m.Eof(); m.Next()) {
    out << m.FieldNamed("Zender").AsString() << "|" << m.FieldNamed("Name").AsString() << "|"
        << m.FieldNamed("BeginSeconds").AsString() << "-" << m.FieldNamed("EndSeconds").AsString()
        << "|" << m.FieldNamed("Serviceref").AsString() << "|"
        << m.FieldNamed("RepeatedOrg").AsString() << "|" << m.FieldNamed("Description").AsString()
        << "|" << m.FieldNamed("Afterevent").AsString() << "|" << m.FieldNamed("Eit").AsString()
        << "|" << m.FieldNamed("Disabled").AsString() << "|" << m.FieldNamed("Justplay").AsString()
        << "\n";
  }
  return out.str();
}

}  // namespace tivolo::boxdata::testing
