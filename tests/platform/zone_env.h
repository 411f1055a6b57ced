// Sets TZ for the life of the object, so that tests of the system's zone do not depend on
// the machine's own setting.
#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tivolo::platform::testing {

class ScopedTz {
 public:
  explicit ScopedTz(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    if (tz != nullptr) {
      setenv("TZ", tz, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ~ScopedTz() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;

 private:
  std::optional<std::string> old_;
};

// The local offset east of UTC in seconds that the C library gives for a moment.
inline long LibcOffset(long long seconds) {
  const time_t t = static_cast<time_t>(seconds);
  struct tm tm {};
  localtime_r(&t, &tm);
  return tm.tm_gmtoff;
}

}  // namespace tivolo::platform::testing
