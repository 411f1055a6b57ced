#include "platform/now.h"

#include <chrono>
#include <cmath>
#include <utility>

namespace tivolo::platform {
namespace {

NowSource& Source() {
  static NowSource source;
  return source;
}

constexpr long double kSecondsPerDay = 86400.0L;

}  // namespace

double NowEpochSeconds() {
  if (const NowSource& source = Source()) return source();
  using namespace std::chrono;
  const auto since = system_clock::now().time_since_epoch();
  return static_cast<double>(duration_cast<microseconds>(since).count()) / 1e6;
}

DateTime NowUtc() {
  return AddSeconds(kUnixEpochDay, static_cast<long double>(NowEpochSeconds()));
}

DateTime NowLocal(const ClockSettings& settings) {
  return UtcToLocal(NowUtc(), settings);
}

void SetNowSource(NowSource source) {
  Source() = std::move(source);
}

ScopedNow::ScopedNow(double epoch_seconds) : seconds_(epoch_seconds) {
  SetNowSource([this] { return seconds_; });
}

ScopedNow::~ScopedNow() {
  SetNowSource({});
}

double EpochSecondsOfLocal(DateTime local, const ClockSettings& settings) {
  const long double utc = LocalToUtc(local, settings);
  return static_cast<double>(
      std::round((utc - static_cast<long double>(kUnixEpochDay)) * kSecondsPerDay * 1000.0L) /
      1000.0L);
}

}  // namespace tivolo::platform
