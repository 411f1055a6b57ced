#include "transfer/live_save.h"

#include <algorithm>
#include <ctime>

#include "net/ftp_client.h"
#include "platform/now.h"
#include "transfer/box_list_transfer.h"
#include "transfer/list_conflicts.h"
#include "transfer/timer_list_check.h"
#include "transfer/timer_merge.h"
#include "transfer/web_route.h"
#include "web/web_error.h"

namespace tivolo::transfer {
namespace {

using Kind = web::TimerOperation::Kind;
using Status = web::OperationStatus;

bool Applied(Status status) {
  return status == Status::kApplied || status == Status::kShifted;
}

std::string Plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

ListedTimer Listed(const web::BoxTimer& timer, const platform::ClockSettings& clock) {
  return ListedFromBox({timer}, clock).timers.front();
}

web::BoxTimer AsBoxTimer(const web::TimerConflict& c) {
  return {.serviceref = c.serviceref,
          .servicename = c.servicename,
          .name = c.name,
          .begin = c.begin,
          .end = c.end};
}

std::string Joined(const std::vector<std::string>& parts, const char* between) {
  std::string out;
  for (const std::string& part : parts)
    out += (out.empty() ? "" : between) + part;
  return out;
}

// " nothing", or each line after a line break and a dash.
std::string Bullets(const std::vector<std::string>& lines) {
  return lines.empty() ? " nothing" : "\n- " + Joined(lines, "\n- ");
}

// What the user is told when not every change is on the box; problem says why the box's
// list could not be read again, when it could not.
std::string NotAppliedMessage(const web::ApplyReport& report,
                              const std::vector<std::string>& applied,
                              const std::vector<std::string>& not_applied,
                              const std::string& problem) {
  std::string message;
  if (report.failure) {
    message = "The box's web interface failed during the save: " + report.failure->message +
              "\nApplied:" + Bullets(applied) + "\nNot applied" +
              (problem.empty() ? "" : ", or not known") + ":" + Bullets(not_applied);
  } else if (applied.empty()) {
    message = "The box did not take " +
              (not_applied.size() == 1
                   ? std::string("the change:")
                   : "any of the " + std::to_string(not_applied.size()) + " changes:") +
              Bullets(not_applied);
  } else {
    message = "The box did not take " + std::to_string(not_applied.size()) + " of the " +
              Plural(applied.size() + not_applied.size(), "change", "changes") +
              "; the others are applied:" + Bullets(not_applied);
  }
  if (!problem.empty())
    return message + "\nThe box's timer list could not be read again (" + problem +
           "): use \"Reload from box\" to see what it holds before saving again.";
  return message +
         "\nThe timers shown are the box's as it holds them now, with the changes it did not "
         "take still to save: correct them and save again.";
}

}  // namespace

struct LiveSave::Plan {
  TimerList base;  // the list read at start
  TimerList ours;  // the tables' list
  std::vector<web::BoxTimer> box_timers;
  TimerList theirs;  // box_timers, listed
  MergeResult merge;
  std::vector<PlannedOperation> operations;
};

LiveSave::LiveSave(SaveInput input, web::HttpEndpoint endpoint, LiveSaveObserver& observer,
                   BoxBounds bounds, web::HttpBounds web_bounds)
    : input_(std::move(input)),
      endpoint_(std::move(endpoint)),
      observer_(observer),
      bounds_(bounds),
      web_bounds_(web_bounds),
      channel_names_(input_.channel_names) {}

void LiveSave::Step(const std::string& step) {
  if (stopped_.load()) throw SaveStopped();
  cancel_.ThrowIfCancelled();
  observer_.Progress(step);
}

std::string LiveSave::Label(const ListedTimer& timer) const {
  return TimerLabeller(input_.clock, channel_names_).Label(timer);
}

LiveSaveResult LiveSave::Run() {
  LiveSaveResult result;
  try {
    if (std::string reason = SaveRefusal(input_); !reason.empty()) {
      result.outcome = LiveOutcome::kRefused;
      result.message = reason;
      return result;
    }
    if (detect_first_ && !Detect(result)) return result;
    Send(result);
  } catch (const std::exception& e) {
    // Only before the first change: from there on nothing throws but a lack of memory. The
    // Cancel too is honoured only before it, so a cancelled save sent nothing.
    if (cancel_.Cancelled()) {
      result.outcome = LiveOutcome::kCancelled;
      result.message = SaveCancelled().what();
      return result;
    }
    result.outcome = LiveOutcome::kFailed;
    result.message = e.what();
    result.error_type = platform::TypeNameOf(e);
  }
  return result;
}

bool LiveSave::Detect(LiveSaveResult& result) {
  Step("Asking the box's web interface what it is");
  try {
    result.interface = web::DetectInterface(endpoint_);
    return true;
  } catch (const web::WebError& e) {
    cancel_.ThrowIfCancelled();
    if (!InterfaceAbsent(e)) {
      // Not an answer that there is none: the restart is the user's to choose.
      observer_.Log("The box's web interface does not answer: " + std::string(e.what()));
      if (observer_.Ask("The box's web interface does not answer (" + std::string(e.what()) +
                        "), so it is not known whether the changes can be applied live.\n"
                        "Nothing was changed on the box.\nUpload the timer list and restart "
                        "the receiver instead?")) {
        result.outcome = LiveOutcome::kUseUpload;
      } else {
        result.outcome = LiveOutcome::kDeclined;
        result.message = "Nothing was sent to the box: its web interface does not answer.";
      }
      return false;
    }
    result.outcome = LiveOutcome::kNoInterface;
    result.message = e.what();
    observer_.Log("The box has no web interface this program can use (" + std::string(e.what()) +
                  "): the list is uploaded and the receiver restarted.");
    return false;
  }
}

void LiveSave::ReadOurs(Plan& plan) const {
  plan.ours = ReadTimerList(input_.timer_list, input_.clock);
  MarkOrigins(plan.ours, input_);
  if (input_.start.state != boxdata::TimerListState::kMissing)
    plan.base = ReadTimerList(input_.start.text, input_.clock);
  RestrictToWebView(plan.ours.timers);
  RestrictToWebView(plan.base.timers);
}

void LiveSave::Send(LiveSaveResult& result) {
  if (std::string fault = CheckWrittenList(input_.timer_list, input_.timers); !fault.empty()) {
    result.outcome = LiveOutcome::kRefused;
    result.message = "The new timer list was not sent: " + fault + ".";
    return;
  }
  Plan plan;
  ReadOurs(plan);
  web::WebInterface box(endpoint_, web_bounds_);
  box.Http().SetStop(&cancel_.Flag());
  try {
    if (!Merge(box, plan, result) || !AcceptTunerConflicts(plan)) {
      result.outcome = LiveOutcome::kDeclined;
      if (result.message.empty()) result.message = "Nothing was sent to the box.";
      return;
    }
    plan.operations = PlanOperations(plan.merge.merged, plan.theirs.timers, plan.box_timers);
    if (std::string refusal = AfterEventRefusal(box, plan, result); !refusal.empty()) {
      result.outcome = LiveOutcome::kRefused;
      result.message = refusal;
      return;
    }
  } catch (const web::WebError& e) {
    cancel_.ThrowIfCancelled();
    OfferUpload(e.what(), result);
    return;
  }
  // In the order they are sent, so that the record of the save can follow the calls.
  std::stable_sort(plan.operations.begin(), plan.operations.end(),
                   [](const PlannedOperation& a, const PlannedOperation& b) {
                     return a.call.kind < b.call.kind;
                   });
  observer_.Log("Applying " + Plural(plan.operations.size(), "change", "changes") +
                " through the box's web interface.");
  Step("Applying the changes");
  if (cancel_.BeginChanges()) observer_.ChangesBegin();
  std::vector<std::string> calls;
  for (const PlannedOperation& op : plan.operations)
    calls.push_back(CallLine(op));
  LiveSaveRecord record{
      input_.box.Label(), static_cast<std::time_t>(platform::NowEpochSeconds()), {}, calls};
  // Before the first call: a save cut off from here on is told at the next start.
  if (!calls.empty()) RecordLiveSave(input_.local_dir, record);
  const web::ApplyReport report = web::ApplyOperations(
      box, plan.box_timers, Calls(plan.operations),
      [&](size_t step, size_t steps, const std::string& what) {
        if (step <= calls.size()) {
          record.sent.assign(calls.begin(), calls.begin() + static_cast<ptrdiff_t>(step));
          record.not_sent.assign(calls.begin() + static_cast<ptrdiff_t>(step), calls.end());
          KeepRecord(record);
        }
        observer_.Progress(what + " (" + std::to_string(step) + " of " + std::to_string(steps) +
                           ")");
      });
  if (report.failure && !report.changes_sent) {
    ClearLiveSave(input_.local_dir);
    OfferUpload(report.failure->message, result);
    return;
  }
  Report(box, plan, report, result);
  if (result.box_list) {
    ClearLiveSave(input_.local_dir);
    return;
  }
  // What the box holds is not known: the record stands until the box's list is read again.
  record.sent.clear();
  record.not_sent.clear();
  for (size_t i = 0; i < calls.size(); ++i)
    (report.outcomes[i].status == Status::kNotSent ? record.not_sent : record.sent)
        .push_back(calls[i]);
  KeepRecord(record);
}

std::string LiveSave::AfterEventRefusal(web::WebInterface& box, const Plan& plan,
                                        LiveSaveResult& result) {
  std::vector<std::string> nothing_after;
  for (const PlannedOperation& op : plan.operations) {
    if (op.call.kind != Kind::kDelete && op.call.after.afterevent == web::AfterEvent::kNothing)
      nothing_after.push_back(Label(*op.after));
  }
  if (nothing_after.empty()) return {};
  if (!result.interface) {
    Step("Asking the box's web interface what it is");
    result.interface = box.Detect();
  }
  if (web::TakesAfterEventNothing(result.interface->version)) return {};
  return "The box's web interface (" + result.interface->version +
         ") cannot set a timer to do nothing after its recording: it makes that \"auto\". "
         "Nothing was sent to the box. These timers are set to do nothing:" +
         Bullets(nothing_after) +
         "\nSet them to standby, deep standby or auto, or switch off \"Apply changes live\" in "
         "the configuration to save the list by upload and a restart of the receiver.";
}

void LiveSave::CheckEventIds(const Plan& plan, const web::ApplyReport& report) {
  for (size_t i = 0; i < plan.operations.size(); ++i) {
    const web::BoxTimer& sent = plan.operations[i].call.after;
    const web::OperationOutcome& outcome = report.outcomes[i];
    if (plan.operations[i].call.kind == Kind::kDelete || sent.eit == 0 || !Applied(outcome.status))
      continue;
    const int64_t begin = outcome.status == Status::kShifted ? outcome.box_begin : sent.begin;
    for (const web::BoxTimer& held : report.box_list) {
      if (held.begin != begin || held.end != sent.end ||
          web::ReferenceHead(held.serviceref) != web::ReferenceHead(sent.serviceref) ||
          held.name != sent.name)
        continue;
      if (held.eit != sent.eit)
        observer_.Log("The box holds " + Label(*plan.operations[i].after) + " with event id " +
                      std::to_string(held.eit) + ", not " + std::to_string(sent.eit) +
                      ": its web interface takes the event from its own guide.");
      break;
    }
  }
}

void LiveSave::CompareRefusals(const Plan& plan, const web::ApplyReport& report) {
  if (!input_.tuners.tuners.Known()) return;
  const auto labels = [&](const std::vector<web::BoxTimer>& timers) {
    std::vector<std::string> out;
    for (const web::BoxTimer& t : timers)
      out.push_back(Label(Listed(t, input_.clock)));
    return Joined(out, "; ");
  };
  const auto now = static_cast<int64_t>(platform::NowEpochSeconds());
  std::vector<web::BoxTimer> held = plan.box_timers;
  for (size_t i = 0; i < plan.operations.size() && i < report.outcomes.size(); ++i) {
    const web::TimerOperation& call = plan.operations[i].call;
    const web::OperationOutcome& outcome = report.outcomes[i];
    if (outcome.status == Status::kRefused && !outcome.conflicts.empty()) {
      const RefusalComparison c =
          CompareRefusal(held, call, outcome.conflicts, input_.tuners, input_.clock, now);
      if (c.Differs()) {
        std::string line = "The box's conflict list for " + CallLine(plan.operations[i]) +
                           " differs from this program's tuner check" +
                           (c.we_found_conflict ? "" : ", which found no conflict");
        if (!c.box_only.empty())
          line += "; the box named " + labels(c.box_only) + ", the check did not";
        if (!c.ours_only.empty())
          line += "; the check named " + labels(c.ours_only) + ", the box did not";
        observer_.Log(line + ".");
      }
    }
    if (Applied(outcome.status) || outcome.status == Status::kAccepted)
      ApplyToHeld(held, call, outcome);
  }
}

void LiveSave::KeepRecord(const LiveSaveRecord& record) {
  try {
    RecordLiveSave(input_.local_dir, record);
  } catch (const std::exception& e) {
    observer_.Log("The record of this save could not be written: " + std::string(e.what()));
  }
}

bool LiveSave::Merge(web::WebInterface& box, Plan& plan, LiveSaveResult& result) {
  for (int round = 1;; ++round) {
    Step("Reading the box's timer list");
    plan.box_timers = box.TimerList();
    result.box_timers = plan.box_timers;
    plan.theirs = ListedFromBox(plan.box_timers, input_.clock);
    NameChannels(plan.box_timers);
    const size_t questions_before = questions_;
    if (!MergeOnce(plan, result)) return false;
    if (questions_ == questions_before) return true;
    // A question may stand open for minutes while the box changes its list.
    Step("Reading the box's timer list again");
    if (SameTimers(ListedFromBox(box.TimerList(), input_.clock).timers, plan.theirs.timers))
      return true;
    if (round == kMergeRounds)
      throw SaveError(
          "The box's timer list changed again each time it was merged; nothing was changed on "
          "the box. Save again in a moment.");
    observer_.Log("The box's timer list changed while saving; merging again.");
  }
}

bool LiveSave::AcceptTunerConflicts(const Plan& plan) {
  const std::string question = MergedListQuestion(
      plan.merge.merged, input_.tuners, TimerLabeller(input_.clock, channel_names_), input_.clock,
      static_cast<int64_t>(platform::NowEpochSeconds()), true);
  if (question.empty()) return true;
  ++questions_;
  cancel_.ThrowIfCancelled();
  return observer_.Ask(question);
}

bool LiveSave::MergeOnce(Plan& plan, LiveSaveResult& result) {
  static const std::vector<ListedTimer> kNone;
  if (plan.theirs.timers.empty() && !plan.base.timers.empty()) {
    ++questions_;
    cancel_.ThrowIfCancelled();
    if (!observer_.Ask(EmptyBoxQuestion(plan.base.timers.size()))) return false;
    plan.merge = MergeTimerLists(kNone, kNone, plan.ours.timers);
    return true;
  }
  plan.merge = MergeTimerLists(plan.base.timers, plan.theirs.timers, plan.ours.timers);
  const TimerLabeller labeller(input_.clock, channel_names_);
  if (!input_.start.fetched)
    observer_.Log("The timer list was not fetched at this start; merging with the copy read.");
  for (const std::string& line : MergeLogLines(plan.merge, labeller))
    observer_.Log(line);
  if (!plan.merge.HasConflicts()) return true;
  ++questions_;
  cancel_.ThrowIfCancelled();
  if (observer_.Ask(ConflictQuestion(plan.merge, labeller))) return true;
  result.message = "Nothing was sent to the box: it keeps its own versions of those timers.";
  return false;
}

void LiveSave::OfferUpload(const std::string& failure, LiveSaveResult& result) {
  observer_.Log("The box's web interface failed before any change: " + failure);
  if (observer_.Ask("The box's web interface could not be used: " + failure +
                    "\nNothing was changed on the box.\nUpload the timer list and restart the "
                    "receiver instead?")) {
    result.outcome = LiveOutcome::kUseUpload;
    return;
  }
  result.outcome = LiveOutcome::kDeclined;
  result.message =
      "Nothing was sent to the box: its web interface could not be used (" + failure + ").";
}

std::string LiveSave::CallLine(const PlannedOperation& op) const {
  switch (op.call.kind) {
    case Kind::kDelete:
      return "deleting " + Label(*op.before);
    case Kind::kChange:
      return "changing " + Label(*op.before) + " to " + Label(*op.after);
    case Kind::kAdd:
      break;
  }
  return "adding " + Label(*op.after);
}

std::string LiveSave::OutcomeLine(const PlannedOperation& op, const web::OperationOutcome& outcome,
                                  bool done) const {
  std::string line = CallLine(op);
  if (done && !Applied(outcome.status)) return line + ": applied, as the box's list shows";
  line += ": " + std::string(web::StatusText(outcome.status));
  if (outcome.status == Status::kShifted) {
    line += " (" + std::to_string(outcome.box_begin - op.call.after.begin) +
            " s later: another timer begins then)";
  } else if (outcome.status == Status::kRefused && !outcome.conflicts.empty()) {
    std::vector<std::string> in_the_way;
    for (const web::TimerConflict& c : outcome.conflicts)
      in_the_way.push_back(Label(Listed(AsBoxTimer(c), input_.clock)));
    line += ": it collides with " + Joined(in_the_way, "; ");
    if (outcome.left_in_place)
      line +=
          ". Changing it back failed, so the box may hold the change all the same, with "
          "recordings it cannot all make: change or delete one of them and save again";
  } else if (outcome.status == Status::kRefused && op.call.kind != Kind::kDelete &&
             op.call.after.name.empty()) {
    line += ": the box's web interface takes no timer without a name";
  } else if (outcome.status == Status::kRefused) {
    line += ": the box does not take one of its values";
  } else if (outcome.status == Status::kMissing && outcome.covered_by) {
    line += ": it lies within " + Label(Listed(*outcome.covered_by, input_.clock)) +
            " on the same channel";
  }
  return line;
}

void LiveSave::NameChannels(const std::vector<web::BoxTimer>& timers) {
  for (const web::BoxTimer& t : timers) {
    if (!t.servicename.empty())
      channel_names_.emplace(Listed(t, input_.clock).values.serviceref, t.servicename);
  }
}

void LiveSave::Report(web::WebInterface& box, const Plan& plan, const web::ApplyReport& report,
                      LiveSaveResult& result) {
  if (report.verified) {
    result.box_timers = report.box_list;
    CheckEventIds(plan, report);
  }
  for (const web::OperationOutcome& outcome : report.outcomes) {
    std::vector<web::BoxTimer> in_the_way;
    for (const web::TimerConflict& c : outcome.conflicts)
      in_the_way.push_back(AsBoxTimer(c));
    NameChannels(in_the_way);
  }
  if (report.failure) {
    // The receiver writes its file after adds and deletes, not after a change: whatever
    // reached it must be in the file before the file is read.
    try {
      box.WriteTimerList();
    } catch (const std::exception& e) {
      observer_.Log("The box did not write its timer list: " + std::string(e.what()));
    }
  }
  std::string problem = FetchBoxList(result);
  if (!problem.empty()) problem = ListFromInterface(box, report, problem, result);
  std::optional<TimerList> held;
  if (problem.empty()) held = ReadTimerList(*result.box_list, input_.clock);
  // What the box's file shows done counts as done, whatever the answer was.
  std::vector<bool> undone(plan.operations.size());
  std::vector<std::string> applied, not_applied;
  for (size_t i = 0; i < undone.size(); ++i) {
    const PlannedOperation& op = plan.operations[i];
    // A refused change the box kept shows in its file, yet it is not what the user asked:
    // the box refused it for a conflict it now holds.
    const web::OperationOutcome& outcome = report.outcomes[i];
    const bool done = Applied(outcome.status) ||
                      (!outcome.left_in_place && held && ShowsDone(*held, op, plan.theirs.timers));
    undone[i] = !done;
    const std::string line = OutcomeLine(op, report.outcomes[i], done);
    observer_.Log(line);
    (done ? applied : not_applied).push_back(line);
  }
  CompareRefusals(plan, report);
  if (held) result.shown = WithUndone(*held, plan.operations, undone);
  if (!problem.empty()) observer_.Log("The box's timer list could not be read again: " + problem);
  if (report.AllApplied()) {
    result.outcome = LiveOutcome::kApplied;
    observer_.Log("Every change is applied on the box; it was not restarted.");
    return;
  }
  result.outcome = report.failure ? LiveOutcome::kStopped : LiveOutcome::kNotApplied;
  result.message = NotAppliedMessage(report, applied, not_applied, problem);
}

std::string LiveSave::ListFromInterface(web::WebInterface& box, const web::ApplyReport& report,
                                        const std::string& problem, LiveSaveResult& result) {
  std::vector<web::BoxTimer> timers;
  if (report.verified) {
    timers = report.box_list;
  } else {
    observer_.Progress("Reading the box's timer list from its web interface");
    try {
      timers = box.TimerList();
    } catch (const std::exception& e) {
      return problem + "; nor through its web interface: " + e.what();
    }
  }
  observer_.Log("The box's timer list file could not be read (" + problem +
                "); the list its web interface gives stands in for it.");
  result.box_timers = timers;
  result.box_list = BoxListText(timers);
  result.box_list_state = boxdata::TimerListState::kComplete;
  return {};
}

std::string LiveSave::FetchBoxList(LiveSaveResult& result) {
  observer_.Progress("Reading the box's timer list file");
  try {
    const std::unique_ptr<net::FtpClient> ftp = ConnectToBoxFolder(
        input_.box, bounds_, [this](const std::string& line) { observer_.Log(line); });
    std::optional<std::string> text = BoxListTransfer(*ftp, input_.local_dir).Read(kBoxListName);
    try {
      ftp->Close();
    } catch (...) {
      // The list is read; a close that fails changes nothing.
    }
    if (!text) return "the box has no timers.xml";
    result.box_list_state = ReadTimerList(*text, input_.clock).complete
                                ? boxdata::TimerListState::kComplete
                                : boxdata::TimerListState::kIncomplete;
    result.box_list = std::move(text);
    return {};
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace tivolo::transfer
