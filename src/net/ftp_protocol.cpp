#include "net/ftp_protocol.h"

#include <algorithm>

#include <cctype>
#include <cstdint>

#include "platform/clock.h"

namespace tivolo::net {

namespace {

// A decimal number of at most six digits, nothing else; -1 otherwise.
int SmallNumber(std::string_view text) {
  std::string_view t = text;
  while (!t.empty() && t.front() == ' ')
    t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ')
    t.remove_suffix(1);
  if (t.empty() || t.size() > 6) return -1;
  int value = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The decimal number of the `width` digits at text[at], or -1.
int Digits(std::string_view text, size_t at, size_t width) {
  if (at + width > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<int64_t> ParseModificationTime(std::string_view reply_text) {
  const std::string trimmed =
      TrimControls(reply_text.substr(std::min<size_t>(3, reply_text.size())));
  const std::string_view t = trimmed;
  const int year = Digits(t, 0, 4), month = Digits(t, 4, 2), day = Digits(t, 6, 2);
  const int hour = Digits(t, 8, 2), minute = Digits(t, 10, 2), second = Digits(t, 12, 2);
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 60)
    return std::nullopt;
  if (t.size() > 14) {
    if (t[14] != '.' || t.size() == 15) return std::nullopt;
    for (size_t i = 15; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') return std::nullopt;
    }
  }
  const auto days =
      static_cast<int64_t>(platform::EncodeDate(year, month, day) - platform::kUnixEpochDay);
  return days * 86400 + hour * 3600 + minute * 60 + second;
}

std::string FtpPortCommand(std::string_view ip, int port) {
  std::string command = "PORT ";
  for (char c : ip)
    command += (c == '.') ? ',' : c;
  command += ',' + std::to_string(port / 256) + ',' + std::to_string(port % 256);
  return command;
}

std::string TrimControls(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
    --end;
  return std::string(text.substr(begin, end - begin));
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string SystemFromReply(int code, std::string_view reply_text) {
  if (code == 500) return "Unknown";
  return reply_text.size() > 3 ? std::string(reply_text.substr(3)) : std::string();
}

std::optional<FtpPassiveAddress> ParsePassiveReply(std::string_view reply_text) {
  std::string trimmed = TrimControls(reply_text);
  std::string_view text = trimmed;
  std::size_t open = text.find('(');
  std::size_t close = text.find(')');
  if (open != std::string_view::npos && close != std::string_view::npos && open < close) {
    text = text.substr(open + 1, close - open - 1);
  } else {
    std::size_t blank = text.rfind(' ');
    if (blank != std::string_view::npos) text = text.substr(blank + 1);
  }
  int numbers[6];
  for (int i = 0; i < 6; ++i) {
    std::size_t comma = text.find(',');
    if ((i < 5) != (comma != std::string_view::npos)) return std::nullopt;
    numbers[i] = SmallNumber(text.substr(0, comma));
    if (numbers[i] < 0 || numbers[i] > 255) return std::nullopt;
    text = (comma == std::string_view::npos) ? std::string_view() : text.substr(comma + 1);
  }
  FtpPassiveAddress address;
  address.ip = std::to_string(numbers[0]) + '.' + std::to_string(numbers[1]) + '.' +
               std::to_string(numbers[2]) + '.' + std::to_string(numbers[3]);
  address.port = numbers[4] * 256 + numbers[5];
  if (address.port == 0) return std::nullopt;
  return address;
}

std::vector<std::string> SplitListing(std::string_view text) {
  std::size_t zero = text.find('\0');
  if (zero != std::string_view::npos) text = text.substr(0, zero);
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace tivolo::net
