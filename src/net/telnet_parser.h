// The telnet command parser: removes telnet commands from received text and works out the
// answers to option negotiations. Pure (no sockets), so it can be tested and fuzzed alone; the
// telnet client feeds it each received piece and sends the answers it produces.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tivolo::net {

// The box's echo negotiation, as reported through OnTelnetCommand.
enum class TelnetCommand {
  kRemoteEcho,  // the box offered to echo (WILL ECHO)
  kLocalEcho,   // the box refused to echo (WONT ECHO) or asked us to echo (DO ECHO)
  kNoEcho,      // the box asked us not to echo (DONT ECHO)
};

const char* TelnetCommandName(TelnetCommand command);

namespace telnet {
constexpr uint8_t kIac = 255;
constexpr uint8_t kDont = 254;
constexpr uint8_t kDo = 253;
constexpr uint8_t kWont = 252;
constexpr uint8_t kWill = 251;
constexpr uint8_t kSb = 250;
constexpr uint8_t kSe = 240;
constexpr uint8_t kOptEcho = 1;
constexpr uint8_t kOptTerminalType = 24;
constexpr uint8_t kOptEndOfRecord = 25;
constexpr uint8_t kSubSend = 1;
constexpr uint8_t kSubIs = 0;
}  // namespace telnet

// Parser states; the value is the client's "negotiation state" byte.
enum class TelnetParseState : uint8_t {
  kData = 0,
  kCommand,
  kWill,
  kWont,
  kDo,
  kDont,
  kSubOption,
  kSubSkip,
  kSubData,
  kSubCommand,
};

// The answer to one WILL, WONT, DO or DONT: the reply verb to send with the option, and the
// echo report to give first, if any.
struct TelnetAnswer {
  uint8_t reply_verb;
  std::optional<TelnetCommand> report;
};

// verb is one of telnet::kWill, kWont, kDo, kDont.
TelnetAnswer AnswerFor(uint8_t verb, uint8_t option);

// Receives what the parser produces while it walks a piece, in order.
class TelnetParserSink {
 public:
  virtual ~TelnetParserSink() = default;
  // Called before the answer to an echo negotiation is sent.
  virtual void TelnetCommandSeen(TelnetCommand command) = 0;
  // Bytes to send to the peer at once (an answer or the terminal type).
  virtual void SendAnswer(const std::string& bytes) = 0;
};

class TelnetCommandParser {
 public:
  // Sub-negotiation data beyond this is not kept (a SEND request is one byte).
  static constexpr std::size_t kMaxSubData = 1024;

  // Walks one received piece and returns its text without telnet commands. Answers go to the
  // sink as they are found. terminal is the terminal type to report; an empty one becomes
  // "dumb" when the peer asks. The state carries over to the next piece, and so do the option
  // and data of a sub-negotiation that a piece boundary cut in two.
  std::string Process(std::string_view piece, std::string& terminal, TelnetParserSink& sink);

  TelnetParseState State() const { return state_; }
  uint8_t ReplyVerb() const { return reply_verb_; }

 private:
  void Answer(uint8_t verb, uint8_t option, TelnetParserSink& sink);
  void HandleSubNegotiation(std::string& terminal, TelnetParserSink& sink);

  TelnetParseState state_ = TelnetParseState::kData;
  uint8_t reply_verb_ = 0;
  uint8_t sub_option_ = 1;
  std::string sub_data_;
};

}  // namespace tivolo::net
