// Restarting the box's receiver by telnet: log in as root and stop the receiver once, so that
// the box starts it again and it loads the timer list on the box. The dialogue runs on the
// calling thread, which it blocks for at most the dialogue bound: read with a deadline, let
// TelnetDialogue decide, answer, send.
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "transfer/box_address.h"

namespace tivolo::transfer {

struct RestartOutcome {
  bool completed = false;  // the receiver was stopped; the box starts it again
  std::string reason;      // why not, for the user; empty after completion
};

// log receives every block the box sends, unchanged.
RestartOutcome RestartReceiver(const BoxAddress& box, std::chrono::milliseconds bound,
                               const std::function<void(const std::string&)>& log);

}  // namespace tivolo::transfer
