#include "platform/time_zone.h"

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

namespace tivolo::platform {
namespace {

constexpr long kMaxRuleHours = 167;  // the TZif extension to POSIX rule times

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  bool Take(char c) {
    if (Peek() != c || AtEnd()) return false;
    ++pos_;
    return true;
  }
  std::string_view Rest() const { return text_.substr(pos_); }

  // A zone abbreviation: three or more letters, or <...> holding letters, digits and signs.
  bool Name() {
    if (Take('<')) {
      const size_t start = pos_;
      while (!AtEnd() && Peek() != '>') {
        const char c = Peek();
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-') return false;
        ++pos_;
      }
      const size_t len = pos_ - start;
      return Take('>') && len >= 3;
    }
    const size_t start = pos_;
    while (IsAlpha(Peek()))
      ++pos_;
    return pos_ - start >= 3;
  }

  // [+-]hh[:mm[:ss]] in seconds, hours up to max_hours.
  bool Time(long max_hours, long& seconds) {
    long sign = 1;
    if (Take('-')) {
      sign = -1;
    } else {
      Take('+');
    }
    long h = 0;
    if (!Number(3, h) || h > max_hours) return false;
    long m = 0;
    long s = 0;
    if (Take(':')) {
      if (!Number(2, m) || m > 59) return false;
      if (Take(':') && (!Number(2, s) || s > 59)) return false;
    }
    seconds = sign * (h * 3600 + m * 60 + s);
    return true;
  }

  bool Number(int max_digits, long& value) {
    const size_t start = pos_;
    value = 0;
    while (IsDigit(Peek()) && static_cast<int>(pos_ - start) < max_digits) {
      value = value * 10 + (Peek() - '0');
      ++pos_;
    }
    return pos_ > start && !IsDigit(Peek());
  }

 private:
  static bool IsAlpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }

  std::string_view text_;
  size_t pos_ = 0;
};

int32_t Minutes(long seconds) {
  return static_cast<int32_t>(seconds / 60);
}

void SetProblem(std::string* problem, std::string text) {
  if (problem != nullptr) *problem = std::move(text);
}

// "Mm.w.d[/time]" into the rule form; time is a wall time that may lie outside 0..24 hours.
bool ParseRule(Scanner& in, SystemTime& rule, std::string& why) {
  if (!in.Take('M')) {
    why = "only Mm.w.d rules can be used";
    return false;
  }
  long month = 0;
  long week = 0;
  long day = 0;
  if (!in.Number(2, month) || month < 1 || month > 12 || !in.Take('.') || !in.Number(1, week) ||
      week < 1 || week > 5 || !in.Take('.') || !in.Number(1, day) || day > 6) {
    why = "malformed Mm.w.d rule";
    return false;
  }
  long time = 2 * 3600;
  if (in.Take('/') && !in.Time(kMaxRuleHours, time)) {
    why = "malformed rule time";
    return false;
  }
  // Floor division keeps minute and second non-negative: -1:30 is hour -2, minute 30.
  long hour = time / 3600;
  if (time % 3600 < 0) --hour;
  const long rest = time - hour * 3600;
  rule = SystemTime{};
  rule.month = static_cast<uint16_t>(month);
  rule.day = static_cast<uint16_t>(week);
  rule.day_of_week = static_cast<uint16_t>(day);
  rule.hour = static_cast<int16_t>(hour);
  rule.minute = static_cast<uint16_t>(rest / 60);
  rule.second = static_cast<uint16_t>(rest % 60);
  return true;
}

uint32_t Be32(std::string_view b, size_t at) {
  return (static_cast<uint32_t>(static_cast<unsigned char>(b[at])) << 24) |
         (static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 16) |
         (static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 8) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3]));
}

struct TzifBlock {
  size_t size = 0;        // header and data
  size_t times_at = 0;    // offset of the transition times
  size_t time_size = 4;   // bytes per transition time
  size_t types_at = 0;    // offset of the local time type records
  size_t indices_at = 0;  // offset of the transition type indices
  uint32_t time_count = 0;
  uint32_t type_count = 0;
};

std::optional<TzifBlock> ReadTzifBlock(std::string_view b, size_t at, size_t time_size) {
  constexpr size_t kHeader = 44;
  if (b.size() < at + kHeader || b.substr(at, 4) != "TZif") return std::nullopt;
  const uint64_t isut = Be32(b, at + 20);
  const uint64_t isstd = Be32(b, at + 24);
  const uint64_t leap = Be32(b, at + 28);
  const uint64_t time = Be32(b, at + 32);
  const uint64_t type = Be32(b, at + 36);
  const uint64_t chars = Be32(b, at + 40);
  const uint64_t data =
      time * time_size + time + type * 6 + chars + leap * (time_size + 4) + isstd + isut;
  if (type == 0 || at + kHeader + data > b.size()) return std::nullopt;
  TzifBlock block;
  block.size = kHeader + static_cast<size_t>(data);
  block.times_at = at + kHeader;
  block.time_size = time_size;
  block.indices_at = at + kHeader + static_cast<size_t>(time * time_size);
  block.types_at = block.indices_at + static_cast<size_t>(time);
  block.time_count = static_cast<uint32_t>(time);
  block.type_count = static_cast<uint32_t>(type);
  return block;
}

// The zone in force after the last transition of the data block, as a fixed offset.
TimeZoneInfo LastTypeOffset(std::string_view b, const TzifBlock& block) {
  uint32_t type = 0;
  if (block.time_count > 0) {
    type = static_cast<unsigned char>(b[block.indices_at + block.time_count - 1]);
    if (type >= block.type_count) type = 0;
  }
  const auto utoff = static_cast<int32_t>(Be32(b, block.types_at + type * 6));
  TimeZoneInfo tz;
  tz.bias = -utoff / 60;
  return tz;
}

struct LocalType {
  int32_t utoff = 0;  // seconds east of UTC
  bool dst = false;
};

class Transitions {
 public:
  Transitions(std::string_view b, const TzifBlock& block) : b_(b), block_(block) {}
  uint32_t Count() const { return block_.time_count; }
  int64_t Time(uint32_t i) const {
    const size_t at = block_.times_at + i * block_.time_size;
    if (block_.time_size == 4) return static_cast<int32_t>(Be32(b_, at));
    return static_cast<int64_t>((static_cast<uint64_t>(Be32(b_, at)) << 32) | Be32(b_, at + 4));
  }
  LocalType TypeAfter(uint32_t i) const {
    return TypeRecord(static_cast<unsigned char>(b_[block_.indices_at + i]));
  }
  LocalType TypeRecord(uint32_t type) const {
    if (type >= block_.type_count) type = 0;
    const size_t at = block_.types_at + type * 6;
    return {static_cast<int32_t>(Be32(b_, at)), b_[at + 4] != 0};
  }
  bool AnyDaylight() const {
    for (uint32_t t = 0; t < block_.type_count; ++t) {
      if (TypeRecord(t).dst) return true;
    }
    return false;
  }

 private:
  std::string_view b_;
  const TzifBlock& block_;
};

// The rule form of a change at a local wall time given in seconds since 1970: its month,
// its weekday, which of that weekday in the month it is (5 for the last) and its time.
SystemTime RuleAt(int64_t local) {
  int64_t days = local / 86400;
  if (local % 86400 < 0) --days;
  const int64_t seconds = local - days * 86400;
  // Civil date from a day count (1970-01-01 is day 0), proleptic Gregorian.
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  static constexpr int kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  const int64_t month_days = kDaysIn[month - 1] + (month == 2 && leap ? 1 : 0);
  SystemTime rule;
  rule.month = static_cast<uint16_t>(month);
  rule.day_of_week = static_cast<uint16_t>(((days % 7) + 11) % 7);  // day 0 was a Thursday
  rule.day = static_cast<uint16_t>(day + 7 > month_days ? 5 : (day - 1) / 7 + 1);
  rule.hour = static_cast<int16_t>(seconds / 3600);
  rule.minute = static_cast<uint16_t>(seconds % 3600 / 60);
  rule.second = static_cast<uint16_t>(seconds % 60);
  return rule;
}

// The rules of a zone file without a rule string, from its last changes into and out of
// daylight time. Only while the file still lists changes to come: data that ends in the past
// cannot tell a zone that keeps its rules from one that gave up daylight time.
std::optional<TimeZoneInfo> RulesFromTransitions(const Transitions& t, int64_t now) {
  const uint32_t n = t.Count();
  if (n < 3 || t.Time(n - 1) <= now) return std::nullopt;
  std::optional<uint32_t> into;
  std::optional<uint32_t> out_of;
  for (uint32_t i = n - 1; i >= 1 && (!into || !out_of); --i) {
    const bool before = t.TypeAfter(i - 1).dst;
    const bool after = t.TypeAfter(i).dst;
    if (!into && !before && after) into = i;
    if (!out_of && before && !after) out_of = i;
  }
  if (!into || !out_of) return std::nullopt;
  const int32_t standard = t.TypeAfter(*out_of).utoff;
  const int32_t daylight = t.TypeAfter(*into).utoff;
  if (t.TypeAfter(*into - 1).utoff != standard || t.TypeAfter(*out_of - 1).utoff != daylight ||
      daylight == standard) {
    return std::nullopt;
  }
  TimeZoneInfo info;
  info.bias = -standard / 60;
  info.daylight_bias = -(daylight - standard) / 60;
  // A change happens at the wall time in force before it.
  info.daylight_date = RuleAt(t.Time(*into) + standard);
  info.standard_date = RuleAt(t.Time(*out_of) + daylight);
  return info;
}

// The zone of a file whose rule string is missing or empty: the rules its changes show, else
// the last offset, with a problem line when that loses daylight time the file knows of (or
// always, for a damaged file).
TimeZoneInfo WithoutRuleString(std::string_view b, const TzifBlock& block, const std::string& path,
                               bool damaged, std::string* problem) {
  const Transitions transitions(b, block);
  if (auto derived = RulesFromTransitions(transitions, static_cast<int64_t>(std::time(nullptr)))) {
    return *derived;
  }
  if (damaged || transitions.AnyDaylight()) {
    SetProblem(problem, "time zone file " + path + " has no rule; its last offset is used");
  }
  return LastTypeOffset(b, block);
}

std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace

TimeZoneInfo ParsePosixTz(const std::string& tz, std::string* problem) {
  SetProblem(problem, "");
  TimeZoneInfo info;
  Scanner in(tz);
  long std_offset = 0;
  if (!in.Name() || !in.Time(24, std_offset)) {
    SetProblem(problem, "time zone \"" + tz + "\" cannot be read; UTC is used");
    return info;
  }
  info.bias = Minutes(std_offset);
  if (in.AtEnd()) return info;
  if (!in.Name()) {
    SetProblem(problem, "time zone \"" + tz +
                            "\" has a malformed daylight-time name; "
                            "no daylight saving time is used");
    return info;
  }
  long dst_offset = std_offset - 3600;
  if (!in.AtEnd() && in.Peek() != ',' && !in.Time(24, dst_offset)) {
    SetProblem(problem, "time zone \"" + tz +
                            "\" has a malformed daylight-time offset; "
                            "no daylight saving time is used");
    return info;
  }
  // Without rules the C library falls back to the United States rules; so do we.
  std::string rules(in.Rest());
  if (rules.empty() || rules == ",") rules = ",M3.2.0,M11.1.0";
  Scanner r(rules);
  SystemTime start;
  SystemTime end;
  std::string why;
  if (!r.Take(',') || !ParseRule(r, start, why) || !r.Take(',') || !ParseRule(r, end, why) ||
      !r.AtEnd()) {
    if (why.empty()) why = "malformed rules";
    SetProblem(problem, "time zone \"" + tz + "\": " + why + "; no daylight saving time is used");
    return info;
  }
  info.standard_bias = 0;
  info.daylight_bias = Minutes(dst_offset - std_offset);
  info.daylight_date = start;
  info.standard_date = end;
  return info;
}

TimeZoneInfo ReadSystemTimeZone(std::string* problem) {
  SetProblem(problem, "");
  const char* env = std::getenv("TZ");
  std::string path = "/etc/localtime";
  std::string posix;
  if (env != nullptr) {
    std::string_view value(env);
    if (value.empty()) return TimeZoneInfo{};  // TZ set but empty: UTC
    const bool file_only = value.front() == ':';
    if (file_only) value.remove_prefix(1);
    if (!value.empty() && value.front() == '/') {
      path = std::string(value);
    } else {
      const char* dir = std::getenv("TZDIR");
      path = std::string(dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo") + "/" +
             std::string(value);
    }
    if (!file_only) posix = std::string(value);
    if (value.empty() || value.find("..") != std::string_view::npos) path.clear();
  }
  const std::optional<std::string> bytes = path.empty() ? std::nullopt : ReadFile(path);
  if (!bytes || bytes->compare(0, 4, "TZif") != 0) {
    if (!posix.empty()) return ParsePosixTz(posix, problem);
    SetProblem(problem, "time zone file " + (path.empty() ? std::string(env) : path) +
                            " cannot be read; UTC is used");
    return TimeZoneInfo{};
  }
  const std::string_view b(*bytes);
  const std::optional<TzifBlock> v1 = ReadTzifBlock(b, 0, 4);
  if (!v1) {
    SetProblem(problem, "time zone file " + path + " is damaged; UTC is used");
    return TimeZoneInfo{};
  }
  if (b.size() < 5 || b[4] < '2') return WithoutRuleString(b, *v1, path, false, problem);
  const std::optional<TzifBlock> v2 = ReadTzifBlock(b, v1->size, 8);
  if (!v2) {
    SetProblem(problem, "time zone file " + path + " is damaged; UTC is used");
    return TimeZoneInfo{};
  }
  const size_t footer_at = v1->size + v2->size;
  const size_t footer_end =
      footer_at + 1 < b.size() ? b.find('\n', footer_at + 1) : std::string_view::npos;
  if (footer_at >= b.size() || b[footer_at] != '\n' || footer_end == std::string_view::npos) {
    return WithoutRuleString(b, *v2, path, true, problem);
  }
  const std::string footer(b.substr(footer_at + 1, footer_end - footer_at - 1));
  if (footer.empty()) return WithoutRuleString(b, *v2, path, false, problem);
  return ParsePosixTz(footer, problem);
}

}  // namespace tivolo::platform
