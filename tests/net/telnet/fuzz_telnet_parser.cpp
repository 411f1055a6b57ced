// Fuzzes the telnet command parser: the input is cut into pieces at bytes chosen by its first
// byte, so that states carried across pieces are reached too. Checks what must always hold:
// the text never grows, every answer is a well-formed command, and piece boundaries do not
// change the result.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/telnet_parser.h"

namespace {

using namespace tivolo::net;

class Sink : public TelnetParserSink {
 public:
  void TelnetCommandSeen(TelnetCommand command) override { log += char('0' + int(command)); }
  void SendAnswer(const std::string& bytes) override {
    if (bytes.size() < 3 || static_cast<uint8_t>(bytes[0]) != telnet::kIac) std::abort();
    log += bytes;
  }
  std::string log;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::size_t step = 1 + data[0] % 17;
  std::string stream(reinterpret_cast<const char*>(data + 1), size - 1);

  TelnetCommandParser whole;
  std::string terminal_a = (data[0] & 0x80) ? "" : "vt100";
  Sink sink_a;
  std::string text_a = whole.Process(stream, terminal_a, sink_a);
  if (text_a.size() > stream.size()) std::abort();

  TelnetCommandParser pieces;
  std::string terminal_b = (data[0] & 0x80) ? "" : "vt100";
  Sink sink_b;
  std::string text_b;
  for (std::size_t at = 0; at < stream.size(); at += step)
    text_b += pieces.Process(std::string_view(stream).substr(at, step), terminal_b, sink_b);
  if (text_a != text_b || sink_a.log != sink_b.log || whole.State() != pieces.State()) std::abort();
  return 0;
}
