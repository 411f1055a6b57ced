// One command over the box's telnet login, and the one that matters most: restarting the
// receiver, by logging in as root and stopping it once, so that the box starts it again and it
// loads the timer list on the box. The dialogue runs on the calling thread, which it blocks for
// at most the dialogue bound: read with a deadline, let TelnetDialogue decide, answer, send.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "transfer/box_address.h"

namespace tivolo::transfer {

struct TelnetOutcome {
  bool completed = false;  // the command ran to its prompt (the kill: the receiver was stopped)
  std::string reason;      // why not, for the user; empty after completion
  std::string output;      // what the box printed for the command
};
using RestartOutcome = TelnetOutcome;

// What a caller on another thread sees of a telnet command, and how it ends it early.
struct TelnetWatch {
  enum Step { kConnecting = 1, kLoggingIn, kCommandSent };
  static constexpr int kSteps = 3;
  // Each step as it begins, on the command's thread.
  std::function<void(Step)> step;
  // Set from any thread: the dialogue ends within a fifth of a second (a connection being made
  // still takes up to its bound) and the outcome's reason says it was cancelled.
  const std::atomic<bool>* cancelled = nullptr;
};

// command ends with a line end; log receives every block the box sends, unchanged; watch may
// be null.
TelnetOutcome RunTelnetCommand(const BoxAddress& box, const std::string& command,
                               std::chrono::milliseconds bound,
                               const std::function<void(const std::string&)>& log,
                               const TelnetWatch* watch = nullptr);

// log receives every block the box sends, unchanged.
RestartOutcome RestartReceiver(const BoxAddress& box, std::chrono::milliseconds bound,
                               const std::function<void(const std::string&)>& log);

}  // namespace tivolo::transfer
