// Saving the timer list to the box and restarting its receiver, without the window: write
// "timers.new" and read it back with our own reader; fetch the box's current "timers.xml"
// (kept as a backup) and merge it with the list read at start and the tables' list, asking
// only where both sides touched the same timer; ask before a restart would cut a running
// recording; store the merged list under a temporary name, check it, make sure the box's list
// is still the one merged with, and rename it over "timers.xml"; then log in by telnet and stop
// the receiver once so that the box starts it again with the new list, and read the list back
// to see that the box did not write its own over it meanwhile. Where the box's web interface
// answers, the receiver is asked to write the list it holds before the fetch (with live apply
// off), and its list after the restart names any timer its conflict check switched off at load.
// A save whose restart was done but not checked only checks when it is run again.
//
// Threads: TakeTimerList runs on the thread that owns the tables; Run on any other thread
// (it blocks for seconds) and never touches a table. The observer is called on Run's thread.
// Every network wait is bounded (BoxBounds).
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "boxdata/box_tables.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "store/mem_table.h"
#include "transfer/box_address.h"
#include "transfer/box_list_transfer.h"
#include "transfer/listed_timer.h"
#include "transfer/refusal_comparison.h"
#include "transfer/save_cancel.h"
#include "transfer/timer_list_check.h"
#include "web/box_timer.h"
#include "web/http_client.h"

namespace tivolo::transfer {

// The save stops here without touching the box any further.
class SaveStopped : public platform::Error {
 public:
  SaveStopped() : platform::Error("The save was stopped because the program is closing.") {}
  std::string TypeName() const override { return "SaveStopped"; }
};

// The box took no FTP connection, or took it and did not greet and log in, within the connect
// bound: it is off, or the address names another machine.
class BoxNotAnswering : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "BoxNotAnswering"; }
};

// An FTP connection to the box, logged in and in its settings folder; each status line of
// the client goes to log. A box that does not answer within bounds.connect is a
// BoxNotAnswering.
std::unique_ptr<net::FtpClient> ConnectToBoxFolder(
    const BoxAddress& box, const BoxBounds& bounds,
    const std::function<void(const std::string&)>& log);

enum class SaveStep { kWrite, kCheck, kBackup, kUpload, kRestart, kVerify };

// What a progress dialog shows for a step, such as "Uploading the timer list".
std::string SaveStepText(SaveStep step);

class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  // The step starting now.
  virtual void Progress(SaveStep step) = 0;
  // A line for the log: "asStatusText : " and a status text of the FTP client, a block the
  // box sent by telnet, unchanged, or what the merge did.
  virtual void Log(const std::string& line) = 0;
  // A question to answer with Yes (true) or No. An exception counts as No.
  virtual bool Ask(const std::string& question) = 0;
  // The first change goes to the box now: a Cancel is refused from here on.
  virtual void ChangesBegin() {}
};

// The box's list as read at start, kept in memory: the base of the merge.
struct ListAtStart {
  BoxAddress box;  // the box it was read from
  boxdata::TimerListState state = boxdata::TimerListState::kMissing;
  bool fetch_ok = false;  // this run's fetch ended without an error ...
  bool fetched = false;   // ... and brought "timers.xml"
  std::string text;       // the list's text; empty when it was missing
  // The list the table was last filled from (the list read, or one a save put on the box);
  // `text` when empty. Its timers are the ones the table's rows remember by their place.
  std::string shown;
  // The list an earlier save of this run (or of a run that ended before the restart) put on
  // the box without a completed restart; empty when none. A box that still holds it changed
  // nothing since.
  std::string uploaded;
  // The receiver was restarted after `uploaded` was put on the box, but the list could not be
  // read back: what is left is the check, not a second restart.
  bool restart_done = false;
  // By place in `shown`: the identity of the box's timer that a timer of `shown` stands in
  // for (a change the box refused, shown as the user wants it), when it is not its own.
  std::map<int64_t, std::string> shown_origins;
};

// Everything the sequence needs, taken on the tables' thread before it starts.
struct SaveInput {
  BoxAddress box;                     // the box to save to, as configured now
  std::filesystem::path local_dir;    // the program's folder
  std::string timer_list;             // the text of "timers.new" from the tables
  std::vector<ExpectedTimer> timers;  // what that text must read back as
  ListAtStart start;
  platform::ClockSettings clock;
  std::map<std::string, std::string> channel_names;  // by service reference, for messages
  // The box's web interface, when it answered: after the restart the receiver's list is
  // compared with what was sent; with write_first, the receiver is asked to write its list
  // before the box's list is fetched to merge with.
  std::optional<web::HttpEndpoint> web;
  bool write_first = false;
  // The box's tuners as the window read them: a live call the box refuses for a conflict is
  // compared with this program's own check, and a difference logged.
  TunerFacts tuners;
};

// Fills input.timer_list and input.timers from the table, leaving its cursor and any
// pending change alone.
void TakeTimerList(SaveInput& input, store::MemTable& timers, const platform::ClockSettings& clock,
                   const platform::CodePage& code_page = platform::CodePage::System());

// The whole input from the tables (the timer list, the channels' names) and what the window
// keeps of this run.
SaveInput PrepareSave(boxdata::BoxTables& tables, const boxdata::ChannelNames& channels,
                      const BoxAddress& box, const std::filesystem::path& local_dir,
                      const ListAtStart& start, const platform::ClockSettings& clock);

// Why the list must not be saved at all (read from another box than the one configured, read
// incomplete, or not known); empty when it may.
std::string SaveRefusal(const SaveInput& input);

// Gives each timer of the user's list (read from input.timer_list) that was read from the box
// its identity as read, so that the merge pairs a changed begin or end with the box's timer.
void MarkOrigins(TimerList& ours, const SaveInput& input);

// A question may stand open for minutes while the box changes its list again; merging again
// this often before giving up keeps a busy box from holding the save forever.
inline constexpr int kMergeRounds = 3;

// After a save that restarted the receiver, the program ends this much later.
inline constexpr std::chrono::milliseconds kEndDelay{1000};

enum class SaveOutcome {
  kRestarted,     // the merged list is on the box and loaded by the restarted receiver
  kRefused,       // nothing sent: the list is not known, not ours to send, or failed its check
  kDeclined,      // the user kept the box as it is after a question: nothing sent
  kFailed,        // an error
  kNotRestarted,  // the new list is on the box, the receiver was not restarted
  kOverwritten,   // the receiver was restarted, but the box had written its own list first
  kNotChecked,    // the receiver was restarted, but its list could not be read back
  kListMissing,   // the receiver was restarted, and the box has no timers.xml now
  kSwitchedOff,   // the receiver loaded the list, but switched some of its timers off
  kCancelled,     // the user cancelled before the first change: nothing sent
};

// What the box's "timers.xml" holds after the save, as far as it is known.
enum class BoxListState { kUnchanged, kReplaced, kDamaged, kUnknown };

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kFailed;
  BoxListState box_list = BoxListState::kUnchanged;
  std::string message;           // for the user; empty after kRestarted
  std::string error_type;        // the error's class name after kFailed
  std::filesystem::path backup;  // the copy of the box's list taken, if any
  // The list this save put on the box (the merged list), when it did; the window shows it
  // from then on, and the next save knows it for its own.
  std::string uploaded_list;
  // The merged list when the box wrote its own over it or set it aside (kOverwritten,
  // kListMissing): the window shows it, so that saving again puts it on the box.
  std::string merged_list;
  // The receiver's list as its web interface gave it after the restart, when it did.
  std::optional<std::vector<web::BoxTimer>> box_timers;
  // Only after a completed, checked restart does the program end (kEndDelay later).
  bool EndProgram() const { return outcome == SaveOutcome::kRestarted; }
  // A declined or cancelled save is news, not an error.
  bool MessageIsError() const {
    return outcome != SaveOutcome::kDeclined && outcome != SaveOutcome::kCancelled;
  }
  // The list is on the box, and its restart, or the check of it, is still to be done.
  bool RestartPending() const {
    return outcome == SaveOutcome::kNotRestarted || outcome == SaveOutcome::kNotChecked;
  }
};

class SaveToBox {
 public:
  SaveToBox(SaveInput input, SaveObserver& observer, BoxBounds bounds = {});
  ~SaveToBox();

  // The whole sequence; never throws.
  SaveResult Run();
  // Any thread: the sequence stops before its next step (the application is quitting).
  void Stop() { stopped_.store(true); }
  // Any thread: the user's Cancel (SaveCancel::Cancel).
  bool Cancel() { return cancel_.Cancel(); }

 private:
  struct Plan;
  void BeginChanges();
  void WriteAndCheck(const std::vector<ListedTimer>& timers, const std::string& text);
  void SendToBox(SaveResult& result);
  bool MergeWithBox(Plan& plan, SaveResult& result);
  bool AcceptRunningRecordings(const Plan& plan);
  bool AcceptTunerConflicts(const Plan& plan);
  void UploadMerged(BoxListTransfer& box, Plan& plan, SaveResult& result);
  void PutInPlace(BoxListTransfer& box, const std::string& text, SaveResult& result);
  void FindOutAfterBreak(const std::string& text, const std::string& error, SaveResult& result);
  void Restart(SaveResult& result);
  void Verify(const std::string& expected, SaveResult& result);
  // The restart was done by an earlier save; only its check is left.
  void VerifyOnly(SaveResult& result);
  bool WriteReceiverListFirst();
  void CheckLoaded(const std::string& sent, SaveResult& result);
  void Step(SaveStep step);
  bool Ask(const std::string& question);
  void ThrowIfStopped() const;
  std::unique_ptr<net::FtpClient> Connect();

  SaveInput input_;
  SaveObserver& observer_;
  BoxBounds bounds_;
  TimerLabeller labeller_;
  std::atomic<bool> stopped_{false};
  SaveCancel cancel_;
};

}  // namespace tivolo::transfer
