// Pure pieces of the FTP client's protocol: command texts, the reply scheme, the passive
// reply, listings. No sockets here, so each can be tested and fuzzed alone.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tivolo::net {

// "PORT " + the address with "." replaced by "," + "," + port div 256 + "," + port mod 256.
std::string FtpPortCommand(std::string_view ip, int port);

// Removes leading and trailing blanks and control characters (codes up to 32).
std::string TrimControls(std::string_view text);

// True when text holds a CR or an LF: such an argument would end the command line early and
// let the rest be read as a second command.
bool HasLineBreak(std::string_view text);

// The server system from the reply to "syst": "Unknown" for 500, otherwise the reply text from
// its fourth character on (starting with the blank after the code).
std::string SystemFromReply(int code, std::string_view reply_text);

// The data address of a reply to "PASV": the text between the first "(" and the first ")"
// when both occur, else the text after the last blank; four numbers joined by "." are the
// address and the fifth times 256 plus the sixth the port. Nothing when it does not parse to
// an address of four bytes and a port from 1 to 65535.
struct FtpPassiveAddress {
  std::string ip;
  int port = 0;
};
std::optional<FtpPassiveAddress> ParsePassiveReply(std::string_view reply_text);

// The lines of a listing: a line ends at CR LF, LF or CR; a final line without an end counts;
// a byte 0 ends the text; lines are kept as they are, empty ones included.
std::vector<std::string> SplitListing(std::string_view text);

// Reply code of a reply line: 1 for "+OK", 0 for "-ERR" (any case), else the first three
// characters as a decimal number, 0 when they are not one.
int ReplyCodeOf(std::string_view line);

// One numbered reply: all its lines (trimmed) and the code of its last line.
struct FtpReply {
  int code = 0;
  std::vector<std::string> lines;
  const std::string& Text() const;  // the last line
};

// Assembles replies from received bytes the way the control connection reads them: lines end
// at LF (a CR before it is dropped), are trimmed of blanks and control characters, and blank
// lines are skipped; a first line whose fourth character is "-" opens a multi-line reply that
// ends at a line shorter than four characters or beginning with the code and a blank.
class FtpReplyParser {
 public:
  // A line longer than this without its end makes Feed fail (the peer is not an FTP server).
  static constexpr std::size_t kMaxLine = 1 << 20;

  // Adds received bytes; returns false when a line grew past kMaxLine.
  bool Feed(std::string_view bytes);
  // The next complete reply, if one has been received.
  std::optional<FtpReply> Next();
  // Bytes received that do not yet form a complete reply.
  std::size_t Pending() const { return buffer_.size() - scanned_start_; }

 private:
  std::optional<std::string> NextLine();

  std::string buffer_;
  std::size_t scanned_start_ = 0;  // bytes before this are consumed
  std::size_t search_from_ = 0;    // no LF before this position
  FtpReply partial_;
  std::string end_marker_;
};

}  // namespace tivolo::net
