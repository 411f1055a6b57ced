#include "transfer/receiver_list.h"

#include <map>
#include <thread>

#include "transfer/live_plan.h"
#include "web/web_error.h"
#include "web/web_interface.h"

namespace tivolo::transfer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Between two questions to an interface that is starting again.
constexpr milliseconds kRetryPause{500};

}  // namespace

std::string WriteReceiverList(const web::HttpEndpoint& endpoint, const web::HttpBounds& bounds,
                              const std::atomic<bool>* stop) {
  try {
    web::WebInterface box(endpoint, bounds);
    box.Http().SetStop(stop);
    if (box.WriteTimerList().ok) return {};
    return "the receiver said it did not write it";
  } catch (const std::exception& e) {
    return e.what();
  }
}

std::optional<std::vector<web::BoxTimer>> ReceiverListAfterRestart(
    const web::HttpEndpoint& endpoint, milliseconds bound, const std::atomic<bool>& stop) {
  const auto deadline = Clock::now() + bound;
  while (!stop.load()) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    if (left <= milliseconds(0)) break;
    try {
      return web::WebInterface(endpoint, {left / 2, left - left / 2}).TimerList();
    } catch (const web::WebError&) {
      // Still starting: the receiver loads its list before its interface serves again.
    }
    std::this_thread::sleep_for(std::min(kRetryPause, std::max(left, milliseconds(0))));
  }
  return std::nullopt;
}

std::vector<ListedTimer> SwitchedOffAtLoad(const TimerList& sent,
                                           const std::vector<web::BoxTimer>& loaded,
                                           const platform::ClockSettings& clock) {
  const TimerList held = ListedFromBox(loaded, clock);
  std::multimap<std::string, const ListedTimer*> by_identity;
  for (const ListedTimer& t : held.timers)
    by_identity.emplace(t.identity, &t);
  std::vector<ListedTimer> off;
  for (const ListedTimer& t : sent.timers) {
    if (t.values.disabled != 0) continue;
    auto [first, last] = by_identity.equal_range(t.identity);
    for (auto it = first; it != last; ++it) {
      if (it->second->values.disabled == 0) continue;
      off.push_back(t);
      break;
    }
  }
  return off;
}

}  // namespace tivolo::transfer
