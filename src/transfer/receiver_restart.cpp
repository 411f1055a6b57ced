#include "transfer/receiver_restart.h"

#include <algorithm>

#include "net/telnet_session.h"
#include "transfer/telnet_dialogue.h"

namespace tivolo::transfer {
namespace {

using Clock = std::chrono::steady_clock;

// The longest wait between two looks at the watch's cancel flag.
constexpr std::chrono::milliseconds kCancelSlice{200};
constexpr char kCancelledReason[] = "cancelled";

bool Cancelled(const TelnetWatch* watch) {
  return watch && watch->cancelled && watch->cancelled->load();
}

void Report(const TelnetWatch* watch, TelnetWatch::Step step) {
  if (watch && watch->step) watch->step(step);
}

// Runs the dialogue until it is over, the box goes away, the deadline passes or the watch
// cancels it.
void RunDialogue(net::TelnetSession& telnet, TelnetDialogue& dialogue, Clock::time_point deadline,
                 const std::function<void(const std::string&)>& log, const TelnetWatch* watch) {
  bool command_sent = false;
  while (!dialogue.Over()) {
    if (Cancelled(watch)) return;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    const std::string block = telnet.Receive(watch ? std::min(left, kCancelSlice) : left);
    if (block.empty()) {
      if (telnet.Closed()) dialogue.ConnectionClosed();
      continue;
    }
    if (log) log(block);
    const DialogueReply reply = dialogue.Receive(block);
    if (!reply.send.empty()) telnet.SendText(reply.send);
    if (!command_sent && dialogue.State() == DialogueState::kCommandSent) {
      command_sent = true;
      Report(watch, TelnetWatch::kCommandSent);
    }
    if (reply.close) return;
  }
}

}  // namespace

TelnetOutcome RunTelnetCommand(const BoxAddress& box, const std::string& command,
                               std::chrono::milliseconds bound,
                               const std::function<void(const std::string&)>& log,
                               const TelnetWatch* watch) {
  TelnetDialogue dialogue(box.user, box.password, command);
  const auto deadline = Clock::now() + bound;
  TelnetOutcome outcome;
  try {
    net::TelnetSession telnet;
    telnet.SetHost(box.host);
    telnet.SetPort(box.telnet_port);
    telnet.SetConnectTimeout(bound);
    Report(watch, TelnetWatch::kConnecting);
    telnet.Open();
    Report(watch, TelnetWatch::kLoggingIn);
    try {
      RunDialogue(telnet, dialogue, deadline, log, watch);
    } catch (...) {
      // A box that went away mid-dialogue: what the dialogue saw decides below.
      if (!dialogue.Over()) dialogue.ConnectionClosed();
    }
    try {
      telnet.Close();
    } catch (...) {
    }
  } catch (const std::exception& e) {
    outcome.reason = e.what();
    return outcome;
  }
  if (dialogue.Completed()) {
    outcome.completed = true;
    outcome.output = dialogue.Output();
    return outcome;
  }
  outcome.reason = Cancelled(watch) ? kCancelledReason : dialogue.Reason();
  if (outcome.reason.empty()) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bound);
    outcome.reason = "the box did not complete the telnet dialogue within " +
                     std::to_string(seconds.count()) + " s (" + dialogue.Waiting() + ")";
  }
  return outcome;
}

RestartOutcome RestartReceiver(const BoxAddress& box, std::chrono::milliseconds bound,
                               const std::function<void(const std::string&)>& log) {
  return RunTelnetCommand(box, std::string(TelnetDialogue::kKillCommand), bound, log);
}

}  // namespace tivolo::transfer
