// Fuzzes the FTP reply parser and the other parsers of server text (passive reply, listing):
// the input is fed in pieces whose size its first byte picks, and the replies must not depend
// on where the pieces were cut.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ftp_protocol.h"

using namespace tivolo::net;

namespace {

std::string Replies(std::string_view stream, std::size_t step) {
  FtpReplyParser parser;
  std::string out;
  for (std::size_t at = 0; at < stream.size(); at += step) {
    if (!parser.Feed(stream.substr(at, step))) return out + "!";
    while (auto reply = parser.Next()) {
      if (reply->lines.empty()) std::abort();
      if (reply->code != ReplyCodeOf(reply->Text())) std::abort();
      out += std::to_string(reply->code);
      for (const auto& line : reply->lines) {
        if (line.empty() || line.find('\n') != std::string::npos) std::abort();
        out += '|' + line;
      }
      out += ';';
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
  if (Replies(stream, stream.size() + 1) != Replies(stream, 1 + data[0] % 13)) std::abort();

  if (auto address = ParsePassiveReply(stream)) {
    if (address->port < 1 || address->port > 65535) std::abort();
    if (address->ip.size() < 7 || address->ip.size() > 15) std::abort();
  }
  std::size_t total = 0;
  for (const auto& line : SplitListing(stream))
    total += line.size();
  if (total > stream.size()) std::abort();
  return 0;
}
