#include "transfer/telnet_dialogue.h"

#include <utility>

#include "boxdata/text_lines.h"

namespace tivolo::transfer {
namespace {

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// A login prompt asked again: the block ends with "login:" (a "Last login: ..." notice does
// not).
bool EndsWithLoginPrompt(std::string_view lower) {
  size_t end = lower.find_last_not_of(" \t\r\n");
  if (end == std::string_view::npos) return false;
  constexpr std::string_view kPrompt = "login:";
  return end + 1 >= kPrompt.size() &&
         lower.substr(end + 1 - kPrompt.size(), kPrompt.size()) == kPrompt;
}

// The line of the original block that holds "killall:", without its line end.
std::string LineAt(std::string_view block, size_t pos) {
  size_t begin = pos;
  while (begin > 0 && !IsLineEnd(block[begin - 1]))
    --begin;
  size_t end = pos;
  while (end < block.size() && !IsLineEnd(block[end]))
    ++end;
  return std::string(block.substr(begin, end - begin));
}

}  // namespace

TelnetDialogue::TelnetDialogue(std::string username, std::string password, std::string command)
    : username_(std::move(username)),
      password_(std::move(password)),
      command_(std::move(command)) {}

bool TelnetDialogue::HoldsShellPrompt(std::string_view lower) {
  constexpr std::string_view kUser = "root@";
  for (size_t at = lower.find(kUser); at != std::string_view::npos;
       at = lower.find(kUser, at + 1)) {
    size_t pos = at + kUser.size();
    size_t host = 0;
    for (; pos < lower.size() && !IsLineEnd(lower[pos]); ++pos) {
      if (lower[pos] == '#' && host > 0) return true;
      ++host;
    }
  }
  return false;
}

DialogueReply TelnetDialogue::End(DialogueOutcome outcome) {
  state_ = DialogueState::kOver;
  outcome_ = outcome;
  return DialogueReply{{}, true};
}

DialogueReply TelnetDialogue::Receive(std::string_view block) {
  if (Over() || block.empty()) return {};
  const std::string lower = boxdata::AsciiLowerCopy(block);
  if (state_ == DialogueState::kCommandSent) {
    // The complaint comes first: a block may also hold the prompt that follows it.
    if (size_t pos = lower.find("killall:"); IsKill() && pos != std::string::npos) {
      killall_line_ = LineAt(block, pos);
      return End(DialogueOutcome::kNoProcessKilled);
    }
    output_ += block;
    if (!HoldsShellPrompt(lower)) return {};
    TrimOutput();
    return End(DialogueOutcome::kCommandDone);
  }
  // Sent once only: the box restarts the receiver after the kill, and every further kill
  // would stop it again.
  if (HoldsShellPrompt(lower)) {
    state_ = DialogueState::kCommandSent;
    return DialogueReply{command_, false};
  }
  switch (state_) {
    case DialogueState::kAwaitLogin:
      if (lower.find("login") == std::string::npos) return {};
      state_ = DialogueState::kUserSent;
      return DialogueReply{std::string(kLoginName), false};
    case DialogueState::kUserSent:
      if (lower.find("password") != std::string::npos) {
        if (username_ != "root" || password_.empty()) return End(DialogueOutcome::kPasswordWanted);
        state_ = DialogueState::kPasswordSent;
        return DialogueReply{password_ + "\n", false};
      }
      if (EndsWithLoginPrompt(lower)) return End(DialogueOutcome::kLoginRefused);
      return {};
    case DialogueState::kPasswordSent:
      if (lower.find("password") != std::string::npos || EndsWithLoginPrompt(lower))
        return End(DialogueOutcome::kLoginRefused);
      return {};
    default:
      return {};
  }
}

void TelnetDialogue::TrimOutput() {
  // The box echoes the command on the first line and ends with the prompt on the last.
  const size_t first_end = output_.find('\n');
  const size_t last_start = output_.find_last_of('\n');
  output_ = first_end == std::string::npos || last_start <= first_end
                ? std::string()
                : output_.substr(first_end + 1, last_start - first_end);
}

void TelnetDialogue::ConnectionClosed() {
  if (!Over()) End(DialogueOutcome::kConnectionClosed);
}

std::string TelnetDialogue::Reason() const {
  switch (outcome_) {
    case DialogueOutcome::kNoProcessKilled:
      return "the box answered \"" + killall_line_ + "\": no receiver process was stopped";
    case DialogueOutcome::kPasswordWanted:
      if (username_ != "root")
        return "the box wants a password for root, and the configured user is not root";
      return "the box wants a password for root, and no password is configured";
    case DialogueOutcome::kLoginRefused:
      return "the box refused the login as root";
    case DialogueOutcome::kConnectionClosed:
      return IsKill() ? "the box closed the telnet connection before the receiver was stopped"
                      : "the box closed the telnet connection before the command ended";
    case DialogueOutcome::kPending:
    case DialogueOutcome::kCommandDone:
      break;
  }
  return {};
}

std::string TelnetDialogue::Waiting() const {
  switch (state_) {
    case DialogueState::kAwaitLogin:
      return "no login prompt";
    case DialogueState::kUserSent:
    case DialogueState::kPasswordSent:
      return "no shell prompt after the login";
    case DialogueState::kCommandSent:
      return IsKill() ? "no answer to the stop command" : "no answer to the command";
    case DialogueState::kOver:
      break;
  }
  return {};
}

}  // namespace tivolo::transfer
