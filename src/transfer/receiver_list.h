// The receiver's list in memory, through the box's web interface, around an upload: before the
// list to merge with is fetched, the receiver is asked to write what it holds (timers changed
// through the interface live only in its memory until it does, and the restart throws them
// away); after the restart, its list says which timers it switched off at load, which its
// conflict check does to a timer that needs a tuner taken by others.
#pragma once

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "transfer/listed_timer.h"
#include "web/box_timer.h"
#include "web/http_client.h"

namespace tivolo::transfer {

// Makes the receiver write its list to timers.xml; what went wrong, or empty when it did. A
// stop flag set meanwhile ends the call (web::HttpClient::SetStop).
std::string WriteReceiverList(const web::HttpEndpoint& endpoint, const web::HttpBounds& bounds,
                              const std::atomic<bool>* stop = nullptr);

// The receiver's list once its interface answers again after a restart, asking until bound
// has passed (or stop is set); nothing when it did not answer in time.
std::optional<std::vector<web::BoxTimer>> ReceiverListAfterRestart(
    const web::HttpEndpoint& endpoint, std::chrono::milliseconds bound,
    const std::atomic<bool>& stop);

// The timers of sent that were on and that the receiver holds switched off.
std::vector<ListedTimer> SwitchedOffAtLoad(const TimerList& sent,
                                           const std::vector<web::BoxTimer>& loaded,
                                           const platform::ClockSettings& clock);

}  // namespace tivolo::transfer
