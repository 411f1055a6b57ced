// The tuner check of the list a save is about to send: the user's list merged with what the
// box holds now, so that a timer added on the box since the start counts as the box will count
// it. Asked once, before anything is sent. Qt-free.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transfer/listed_timer.h"
#include "transfer/refusal_comparison.h"

namespace tivolo::transfer {

// The question naming every moment the merged list has too few tuners (live: the box will
// refuse those timers; otherwise the receiver switches them off at load). Empty when there is
// none, or while the box's tuners are not known.
std::string MergedListQuestion(const std::vector<ListedTimer>& merged, const TunerFacts& facts,
                               const TimerLabeller& labeller, const platform::ClockSettings& clock,
                               int64_t now, bool live);

}  // namespace tivolo::transfer
