// Pure pieces of the FTP client's protocol: command texts, the passive reply, listings. No sockets
// here, so each can be tested and fuzzed alone.
#pragma once

#include <cstddef>
#include <cstdint>
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

// The time of a reply to "MDTM" ("213 20261207221000", optionally with a fraction of a second
// such as ".123", which is passed over) as whole seconds since 1970, UTC as the command
// reports it. Nothing when the text after the code is not such a time: a date that does not
// exist, a field out of range or anything else after it.
std::optional<int64_t> ParseModificationTime(std::string_view reply_text);

// The lines of a listing: a line ends at CR LF, LF or CR; a final line without an end counts;
// a byte 0 ends the text; lines are kept as they are, empty ones included.
std::vector<std::string> SplitListing(std::string_view text);

}  // namespace tivolo::net
