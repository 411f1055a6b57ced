// Saving through the box's web interface, without a restart: read the box's list from the
// interface, merge it with the list read at start and the tables' list by the same rules and
// with the same question as the upload route, send the difference as deletes, changes and adds,
// make the receiver write its file and check every change on the list read back; then fetch
// the box's timers.xml by FTP, so that the window shows what the box holds and the next save
// merges with it.
//
// - A timer the box refused or did not keep leaves the other changes in place; the result
//   names it, with the timers it collides with, and gives the box's list with the undone
//   changes put back in, still to be saved.
// - A failure of the interface before the first change asks whether to upload the list and
//   restart the receiver instead; after it, the save stops and says what was applied.
// - The save is recorded in the program's folder before its first call and the record
//   cleared once the box's list is read back (live_save_record.h): a save cut off is told at
//   the next start.
// - Nothing is restarted, so a running recording needs no question: a change of a running
//   timer is sent as a change, which the receiver applies to the recording under way.
//
// Threads: Run on any thread but the tables' (it blocks for seconds); the observer is called
// on Run's thread. Every wait is bounded (web::HttpBounds, BoxBounds).
#pragma once

#include <atomic>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "transfer/live_plan.h"
#include "transfer/live_save_record.h"
#include "transfer/save_to_box.h"
#include "web/http_client.h"
#include "web/web_interface.h"

namespace tivolo::transfer {

class LiveSaveObserver {
 public:
  virtual ~LiveSaveObserver() = default;
  // The call starting now, such as "Adding \"Journaal\" (3 of 7)".
  virtual void Progress(const std::string& step) = 0;
  // A line for the log: what the merge did, each change and how it ended, the FTP status.
  virtual void Log(const std::string& line) = 0;
  // A question to answer with Yes (true) or No. An exception counts as No.
  virtual bool Ask(const std::string& question) = 0;
  // The first change goes to the box now: a Cancel is refused from here on.
  virtual void ChangesBegin() {}
};

enum class LiveOutcome {
  kApplied,      // every change is on the box, checked, and written to its file
  kNotApplied,   // the box refused or dropped some changes; the others are applied
  kStopped,      // the interface failed after the first change was sent
  kUseUpload,    // it failed before any change; the user chose to upload and restart instead
  kNoInterface,  // asked first (DetectFirst), the box has no web interface: upload instead
  kRefused,      // nothing sent: the list is not known, not this box's, or failed its check
  kDeclined,     // the user kept the box as it is after a question: nothing sent
  kFailed,       // an error before any change (other than the interface failing)
  kCancelled,    // the user cancelled before the first change: nothing sent
};

struct LiveSaveResult {
  LiveOutcome outcome = LiveOutcome::kFailed;
  std::string message;     // for the user; empty after kApplied
  std::string error_type;  // the error's class name after kFailed
  // The box's timers.xml as fetched after changes were sent, with its state; when it could
  // not be fetched, the list the web interface gave in its place; none when neither could
  // be read.
  std::optional<std::string> box_list;
  boxdata::TimerListState box_list_state = boxdata::TimerListState::kMissing;
  // kNotApplied and kStopped with box_list: the list to show, with the changes not applied
  // still in it, and what the window keeps of it for the next save.
  ListWithUndone shown;
  // The box's list as the interface gave it last; none when it never did.
  std::optional<std::vector<web::BoxTimer>> box_timers;
  // After DetectFirst: what the interface said.
  std::optional<web::InterfaceInfo> interface;

  bool EndProgram() const { return outcome == LiveOutcome::kApplied; }
  // The upload route is to be taken now.
  bool UseUpload() const {
    return outcome == LiveOutcome::kUseUpload || outcome == LiveOutcome::kNoInterface;
  }
  // A declined or cancelled save is news, not an error.
  bool MessageIsError() const {
    return outcome != LiveOutcome::kDeclined && outcome != LiveOutcome::kCancelled;
  }
};

class LiveSave {
 public:
  LiveSave(SaveInput input, web::HttpEndpoint endpoint, LiveSaveObserver& observer,
           BoxBounds bounds = {}, web::HttpBounds web_bounds = {});

  // Asks the interface what it is before anything else (it was not known yet); a box without
  // one gives kNoInterface at once.
  void DetectFirst() { detect_first_ = true; }
  // The whole sequence; never throws.
  LiveSaveResult Run();
  // Any thread: the sequence stops before its next step (the application is quitting).
  void Stop() { stopped_.store(true); }
  // Any thread: the user's Cancel (SaveCancel::Cancel).
  bool Cancel() { return cancel_.Cancel(); }

 private:
  struct Plan;
  void Send(LiveSaveResult& result);
  bool Detect(LiveSaveResult& result);
  void ReadOurs(Plan& plan) const;
  bool Merge(web::WebInterface& box, Plan& plan, LiveSaveResult& result);
  bool MergeOnce(Plan& plan, LiveSaveResult& result);
  bool AcceptTunerConflicts(const Plan& plan);
  void OfferUpload(const std::string& failure, LiveSaveResult& result);
  void Report(web::WebInterface& box, const Plan& plan, const web::ApplyReport& report,
              LiveSaveResult& result);
  // The box's timers.xml by FTP into result; what went wrong, or empty.
  std::string FetchBoxList(LiveSaveResult& result);
  // When the file could not be read: the interface's list in its place (the one read back,
  // else read now), so that the next save merges with what the box holds and does not send
  // again what it took; what went wrong, or empty.
  std::string ListFromInterface(web::WebInterface& box, const web::ApplyReport& report,
                                const std::string& problem, LiveSaveResult& result);
  void NameChannels(const std::vector<web::BoxTimer>& timers);
  // What became of op, for the log and the user; done when the box's list shows it done.
  std::string OutcomeLine(const PlannedOperation& op, const web::OperationOutcome& outcome,
                          bool done) const;
  // "adding ...", "changing ... to ...", "deleting ...".
  std::string CallLine(const PlannedOperation& op) const;
  std::string Label(const ListedTimer& timer) const;
  // Why the operations cannot be sent as they are, or empty: an interface too old for an
  // after-event of "nothing". Asks the interface its version when it is not known yet.
  std::string AfterEventRefusal(web::WebInterface& box, const Plan& plan, LiveSaveResult& result);
  // Logs where the box's conflict list for a refused call differs from our tuner check of the
  // list the box held when it was asked.
  void CompareRefusals(const Plan& plan, const web::ApplyReport& report);
  // Logs each applied add and change whose event id the box did not take as sent.
  void CheckEventIds(const Plan& plan, const web::ApplyReport& report);
  // Writes the record of this save; a failure is logged, never thrown (calls are under way).
  void KeepRecord(const LiveSaveRecord& record);
  void Step(const std::string& step);

  SaveInput input_;
  web::HttpEndpoint endpoint_;
  LiveSaveObserver& observer_;
  BoxBounds bounds_;
  web::HttpBounds web_bounds_;
  std::map<std::string, std::string> channel_names_;  // the tables' and the box's
  bool detect_first_ = false;
  size_t questions_ = 0;  // asked of the observer so far
  std::atomic<bool> stopped_{false};
  SaveCancel cancel_;
};

}  // namespace tivolo::transfer
