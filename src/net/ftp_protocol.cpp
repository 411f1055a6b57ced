#include "net/ftp_protocol.h"

#include <cctype>
#include <cstdint>

namespace tivolo::net {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

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

}  // namespace

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

int ReplyCodeOf(std::string_view line) {
  if (line.size() >= 3 && EqualNoCase(line.substr(0, 3), "+OK")) return 1;
  if (line.size() >= 4 && EqualNoCase(line.substr(0, 4), "-ERR")) return 0;
  if (line.size() < 3) return 0;
  int code = 0;
  for (char c : line.substr(0, 3)) {
    if (c < '0' || c > '9') return 0;
    code = code * 10 + (c - '0');
  }
  return code;
}

const std::string& FtpReply::Text() const {
  static const std::string kEmpty;
  return lines.empty() ? kEmpty : lines.back();
}

bool FtpReplyParser::Feed(std::string_view bytes) {
  // Drop what is consumed before the buffer grows, so a long session does not accumulate.
  if (scanned_start_ > 0 && scanned_start_ * 2 >= buffer_.size()) {
    buffer_.erase(0, scanned_start_);
    search_from_ -= scanned_start_;
    scanned_start_ = 0;
  }
  buffer_.append(bytes);
  return buffer_.find('\n', search_from_) != std::string::npos ||
         buffer_.size() - scanned_start_ <= kMaxLine;
}

std::optional<std::string> FtpReplyParser::NextLine() {
  std::size_t lf = buffer_.find('\n', search_from_);
  if (lf == std::string::npos) {
    search_from_ = buffer_.size();
    return std::nullopt;
  }
  std::string line =
      TrimControls(std::string_view(buffer_).substr(scanned_start_, lf - scanned_start_));
  scanned_start_ = lf + 1;
  search_from_ = scanned_start_;
  return line;
}

std::optional<FtpReply> FtpReplyParser::Next() {
  while (auto line = NextLine()) {
    if (line->empty()) continue;  // blank lines are skipped, also inside a reply
    if (partial_.lines.empty()) {
      partial_.lines.push_back(*line);
      if (line->size() > 3 && (*line)[3] == '-') {
        end_marker_ = line->substr(0, 3) + ' ';
        continue;
      }
    } else {
      partial_.lines.push_back(*line);
      if (line->size() >= 4 && !EqualNoCase(std::string_view(*line).substr(0, 4), end_marker_))
        continue;
    }
    FtpReply reply = std::move(partial_);
    partial_ = FtpReply();
    reply.code = ReplyCodeOf(reply.lines.back());
    return reply;
  }
  return std::nullopt;
}

}  // namespace tivolo::net
