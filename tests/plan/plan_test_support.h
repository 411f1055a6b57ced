// A small box for the planning tests: a service list of six transponders, tuner sets written
// as the box writes them, and local times in Central European time.
#pragma once

#include <string>
#include <vector>

#include "boxdata/box_settings.h"
#include "boxdata/service_list.h"
#include "boxdata/transponder_list.h"
#include "plan/conflict_model.h"
#include "plan/nim_sockets.h"
#include "plan/tuner_setup.h"
#include "platform/clock.h"
#include "platform/time_zone.h"

namespace tivolo::plan::testing {

// Transponders 1..4 on 19.2E (1: low band V; 2: high H; 3: DVB-S2 high H; 4: high H),
// 5 on 28.2E, 6 on cable.
inline constexpr const char* kLamedb =
    "eDVB services /4/\ntransponders\n"
    "00c00000:0001:0001\n\ts 11494000:22000000:1:2:192:2:0\n/\n"
    "00c00000:0002:0001\n\ts 11836000:27500000:0:2:192:2:0\n/\n"
    "00c00000:0003:0001\n\ts 12188000:27500000:0:4:192:2:0:1:2:2:2\n/\n"
    "00c00000:0004:0001\n\ts 11954000:27500000:0:2:192:2:0\n/\n"
    "011a0000:0005:0001\n\ts 10847000:23000000:1:2:282:2:0\n/\n"
    "ffff0000:0006:0001\n\tc 346000:6900000:0:3:0:0:0\n/\nend\nservices\nend\n";

inline boxdata::TransponderList Transponders() {
  return boxdata::ReadTransponders(boxdata::ServiceList(kLamedb));
}

// The reference of a service on transponder n (1..6) of kLamedb.
inline std::string Ref(int n, int sid = 1) {
  const char* ns = n == 5 ? "11A0000" : n == 6 ? "FFFF0000" : "C00000";
  return "1:0:1:" + std::to_string(sid) + ":" + std::to_string(n) + ":1:" + ns + ":0:0:0:";
}

// "DVB-S2,DVB-S" gives one socket per type ("" for an empty slot).
inline std::string Sockets(const std::vector<std::string>& types) {
  std::string out;
  for (size_t i = 0; i < types.size(); ++i) {
    out += "NIM Socket " + std::to_string(i) + ":\n";
    out += types[i].empty() ? "\tempty\n" : "\tType: " + types[i] + "\n\tName: Tuner\n";
  }
  return out;
}

inline TunerSet MakeTuners(const std::vector<std::string>& types, const std::string& settings) {
  const auto sockets = ParseNimSockets(Sockets(types));
  const auto setup = ReadTunerSetup(boxdata::ParseBoxSettings(settings).tuner_keys);
  return BuildTunerSet(sockets, &setup);
}

inline platform::ClockSettings Cet() {
  platform::ClockSettings c;
  c.time_zone = platform::ParsePosixTz("CET-1CEST,M3.5.0,M10.5.0/3");
  return c;
}

// Seconds since 1970 of a Central European wall-clock time.
inline int64_t Local(int y, int mo, int d, int h, int mi) {
  const platform::DateTime local = platform::EncodeDate(y, mo, d) + (h * 60 + mi) / 1440.0;
  return platform::DateTimeToEpoch(platform::LocalToUtc(local, Cet()));
}

}  // namespace tivolo::plan::testing
