// Timer lists as the box's web interface sees them, and the calls that make the box's list
// the merged one.
//
// The interface reports fewer values than a timer list file holds (no log lines, no
// attributes of other tools), so a live save compares lists from files and from the interface
// on what the interface reports only (RestrictToWebView, the one place that says which). The
// box's timers are read through the same reader as a file, so that service references, the
// times of day of repeated timers and names compare alike.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "transfer/listed_timer.h"
#include "web/box_timer.h"
#include "web/live_apply.h"

namespace tivolo::transfer {

// Keeps of each timer's content what the interface reports: service, begin and end (times of
// day for a repeated timer), repeat mask, name, description, after-event, disabled, justplay,
// recording folder and tags (as words). Log lines and other attributes are left out.
void RestrictToWebView(std::vector<ListedTimer>& timers);

// The box's timers as a list, one listed timer per box timer in the same order, restricted
// to the web view.
TimerList ListedFromBox(const std::vector<web::BoxTimer>& timers,
                        const platform::ClockSettings& clock);

// The box's timers as a timer list text in the receiver's layout, for a list that stands in
// for the box's file when that cannot be read.
std::string BoxListText(const std::vector<web::BoxTimer>& timers);

// A listed timer as the interface takes it: every value of it, the event id included (which
// the interface does not send on).
web::BoxTimer ToBoxTimer(const ListedTimer& timer);

struct PlannedOperation {
  web::TimerOperation call;
  std::optional<ListedTimer> before;  // the box's timer, as listed (deletes and changes)
  std::optional<ListedTimer> after;   // the merged timer, whole (adds and changes)
};

// The calls that turn the box's list into merged. A merged timer paired with a box timer (by
// the same identity and content, else by its origin, else by its identity) and different from
// it is a change with that box timer as `before`, so a running timer whose begin or end moved
// is changed, not deleted and added again; unpaired merged timers are adds; unpaired box timers
// are deletes. box is box_timers as ListedFromBox gives it.
std::vector<PlannedOperation> PlanOperations(const std::vector<ListedTimer>& merged,
                                             const std::vector<ListedTimer>& box,
                                             const std::vector<web::BoxTimer>& box_timers);

std::vector<web::TimerOperation> Calls(const std::vector<PlannedOperation>& plan);

// Whether a list (the box's file after the save) shows the operation carried out. An add
// the box moved on by a few seconds (another timer began then) counts, when the moved timer
// is not one of box_before, the box's timers before the save.
bool ShowsDone(const TimerList& list, const PlannedOperation& op,
               const std::vector<ListedTimer>& box_before = {});

// The list the window shows after a live save that left operations undone: the box's list as
// it is, with each undone add and change put in as the user wants it and each undone delete
// left out, so that saving again sends them again.
struct ListWithUndone {
  std::string text;
  // By place in text: for a change, the identity of the box's timer it stands in for.
  std::map<int64_t, std::string> origins;
  size_t undone = 0;
};
ListWithUndone WithUndone(const TimerList& box_list, const std::vector<PlannedOperation>& plan,
                          const std::vector<bool>& undone);

// The box's state of each timer of a timer list text (the table's rows in their order, as
// TakeTimerList writes them): "waiting", "running", "done" or "disabled" as web::StatusText
// gives it, or empty for a timer the box does not hold (as it stands in the table).
std::vector<std::string> TimerStates(const std::vector<web::BoxTimer>& box,
                                     std::string_view timer_list,
                                     const platform::ClockSettings& clock);

}  // namespace tivolo::transfer
