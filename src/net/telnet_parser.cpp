#include "net/telnet_parser.h"

namespace tivolo::net {

using namespace telnet;

const char* TelnetCommandName(TelnetCommand command) {
  switch (command) {
    case TelnetCommand::kRemoteEcho:
      return "ecRemoteEcho";
    case TelnetCommand::kLocalEcho:
      return "ecLocalEcho";
    case TelnetCommand::kNoEcho:
      return "ecNoEcho";
  }
  return "?";
}

TelnetAnswer AnswerFor(uint8_t verb, uint8_t option) {
  switch (verb) {
    case kWill:
      if (option == kOptEcho) return {kDo, TelnetCommand::kRemoteEcho};
      if (option == kOptEndOfRecord) return {kDo, std::nullopt};
      return {kDont, std::nullopt};
    case kWont:
      if (option == kOptEcho) return {kDont, TelnetCommand::kLocalEcho};
      return {kDont, std::nullopt};
    case kDo:
      if (option == kOptEcho) return {kWill, TelnetCommand::kLocalEcho};
      if (option == kOptTerminalType) return {kWill, std::nullopt};
      return {kWont, std::nullopt};
    default:  // kDont
      if (option == kOptEcho) return {kWont, TelnetCommand::kNoEcho};
      return {kWont, std::nullopt};
  }
}

void TelnetCommandParser::Answer(uint8_t verb, uint8_t option, TelnetParserSink& sink) {
  TelnetAnswer answer = AnswerFor(verb, option);
  reply_verb_ = answer.reply_verb;
  if (answer.report) sink.TelnetCommandSeen(*answer.report);
  std::string bytes{static_cast<char>(kIac), static_cast<char>(reply_verb_),
                    static_cast<char>(option)};
  sink.SendAnswer(bytes);
}

void TelnetCommandParser::HandleSubNegotiation(std::string& terminal, TelnetParserSink& sink) {
  // Only a SEND request is answered, whatever option it names.
  if (sub_data_.size() != 1 || static_cast<uint8_t>(sub_data_[0]) != kSubSend) return;
  if (terminal.empty()) terminal = "dumb";
  std::string bytes{static_cast<char>(kIac), static_cast<char>(kSb),
                    static_cast<char>(kOptTerminalType), static_cast<char>(kSubIs)};
  bytes += terminal;
  bytes += static_cast<char>(kIac);
  bytes += static_cast<char>(kSe);
  sink.SendAnswer(bytes);
}

std::string TelnetCommandParser::Process(std::string_view piece, std::string& terminal,
                                         TelnetParserSink& sink) {
  using S = TelnetParseState;
  std::string result;
  result.reserve(piece.size());
  for (char ch : piece) {
    const auto b = static_cast<uint8_t>(ch);
    switch (state_) {
      case S::kData:
        if (b == kIac) {
          state_ = S::kCommand;
        } else {
          result += ch;
        }
        break;
      case S::kCommand:
        switch (b) {
          case kIac:
            result += ch;
            state_ = S::kData;
            break;
          case kSb:
            state_ = S::kSubOption;
            break;
          case kWill:
            state_ = S::kWill;
            break;
          case kWont:
            state_ = S::kWont;
            break;
          case kDo:
            state_ = S::kDo;
            break;
          case kDont:
            state_ = S::kDont;
            break;
          default:  // any other command is dropped without an answer
            state_ = S::kData;
            break;
        }
        break;
      case S::kWill:
        Answer(kWill, b, sink);
        state_ = S::kData;
        break;
      case S::kWont:
        Answer(kWont, b, sink);
        state_ = S::kData;
        break;
      case S::kDo:
        Answer(kDo, b, sink);
        state_ = S::kData;
        break;
      case S::kDont:
        Answer(kDont, b, sink);
        state_ = S::kData;
        break;
      case S::kSubOption:
        if (b == kIac) {
          state_ = S::kSubSkip;
        } else {
          sub_option_ = b;
          sub_data_.clear();
          state_ = S::kSubData;
        }
        break;
      case S::kSubSkip:
        state_ = S::kData;
        break;
      case S::kSubData:
        if (b == kIac) {
          state_ = S::kSubCommand;
        } else if (sub_data_.size() < kMaxSubData) {
          sub_data_ += ch;
        }
        break;
      case S::kSubCommand:
        if (b == kSe) {
          HandleSubNegotiation(terminal, sink);
          sub_option_ = 0;
          sub_data_.clear();
          state_ = S::kData;
        } else if (b == kSb) {
          HandleSubNegotiation(terminal, sink);
          sub_option_ = 0;
          sub_data_.clear();
          state_ = S::kSubOption;
        } else if (b == kIac) {
          if (sub_data_.size() < kMaxSubData) sub_data_ += ch;
          state_ = S::kSubData;
        } else {
          sub_data_.clear();
          state_ = S::kData;
        }
        break;
    }
  }
  return result;
}

}  // namespace tivolo::net
