#include "transfer/save_to_box.h"

#include <algorithm>

#include "boxdata/text_lines.h"
#include "boxdata/timer_writer.h"
#include "net/ftp_client.h"
#include "net/net_error.h"
#include "net/socket_stack.h"
#include "platform/now.h"
#include "transfer/box_backup.h"
#include "transfer/list_conflicts.h"
#include "transfer/pending_restart.h"
#include "transfer/receiver_list.h"
#include "transfer/receiver_restart.h"
#include "transfer/running_timers.h"
#include "transfer/timer_merge.h"

namespace tivolo::transfer {
namespace {

std::vector<ExpectedTimer> ExpectedOf(std::vector<ListedTimer> timers) {
  SortForWriting(timers);
  std::vector<ExpectedTimer> out;
  for (const ListedTimer& t : timers)
    out.push_back({t.Begin(), t.End(), t.values.serviceref, t.values.name, std::nullopt});
  return out;
}

std::time_t Now() {
  return static_cast<std::time_t>(platform::NowEpochSeconds());
}

std::string BoxListSentence(const SaveResult& result) {
  switch (result.box_list) {
    case BoxListState::kUnchanged:
      return "The box's timer list is unchanged.";
    case BoxListState::kReplaced:
      return "The box's timer list has been replaced by the new one.";
    case BoxListState::kDamaged:
      return "The box's timer list is damaged.";
    case BoxListState::kUnknown:
      break;
  }
  return "What the box's timer list holds now is not known.";
}

// Where the box's list from before is kept, when this save took a copy of it.
std::string BackupSentence(const SaveResult& result) {
  if (result.backup.empty()) return {};
  return " The box's list from before this save is in " + result.backup.string() + ".";
}

}  // namespace

struct SaveToBox::Plan {
  TimerList base;
  TimerList ours;
  std::optional<TimerList> theirs;  // none: the box has no list
  MergeResult merge;
  std::string text;  // the merged list as it is written
};

std::string SaveStepText(SaveStep step) {
  switch (step) {
    case SaveStep::kWrite:
      return "Writing the timer list";
    case SaveStep::kCheck:
      return "Checking the timer list";
    case SaveStep::kBackup:
      return "Backing up the box's timer list";
    case SaveStep::kUpload:
      return "Uploading the timer list";
    case SaveStep::kRestart:
      return "Restarting the receiver";
    case SaveStep::kVerify:
      return "Checking the box's timer list after the restart";
  }
  return {};
}

void TakeTimerList(SaveInput& input, store::MemTable& timers, const platform::ClockSettings& clock,
                   const platform::CodePage& code_page) {
  // One moment for both, so that they read every wall time alike.
  const platform::DateTime now = platform::NowUtc();
  input.timer_list = boxdata::BuildTimerList(timers, clock, code_page, now);
  input.timers = ExpectedTimers(timers, clock, now);
}

SaveInput PrepareSave(boxdata::BoxTables& tables, const boxdata::ChannelNames& channels,
                      const BoxAddress& box, const std::filesystem::path& local_dir,
                      const ListAtStart& start, const platform::ClockSettings& clock) {
  SaveInput input;
  input.box = box;
  input.local_dir = local_dir;
  input.start = start;
  input.clock = clock;
  TakeTimerList(input, tables.timers, clock);
  // The first channel of a reference names it, as it names the timers read.
  for (const boxdata::Channel& channel : channels)
    input.channel_names.emplace(channel.service, channel.name);
  store::MemTable& timers = tables.timers;
  const store::Field& service = timers.FieldNamed(boxdata::fields::kServiceref);
  const store::Field& name = timers.FieldNamed(boxdata::fields::kZender);
  for (int row = 0; row < timers.RecordCount(); ++row) {
    const store::RecordBuffer r = timers.ViewRecordAt(row);
    input.channel_names.emplace(r.AsString(service), r.AsString(name));
  }
  return input;
}

SaveToBox::SaveToBox(SaveInput input, SaveObserver& observer, BoxBounds bounds)
    : input_(std::move(input)),
      observer_(observer),
      bounds_(bounds),
      labeller_(input_.clock, input_.channel_names) {}

SaveToBox::~SaveToBox() = default;

bool SaveToBox::Ask(const std::string& question) {
  cancel_.ThrowIfCancelled();
  // A question that could not be asked is not a Yes: the box keeps what it holds.
  try {
    return observer_.Ask(question);
  } catch (...) {
    return false;
  }
}

void SaveToBox::Step(SaveStep step) {
  ThrowIfStopped();
  cancel_.ThrowIfCancelled();
  observer_.Progress(step);
}

void SaveToBox::ThrowIfStopped() const {
  if (stopped_.load()) throw SaveStopped();
}

std::string SaveRefusal(const SaveInput& input) {
  const ListAtStart& start = input.start;
  if (!input.box.SameFilesAs(start.box))
    return "The timer list was read from the box " + start.box.Label() +
           ", and the configuration now names the box " + input.box.Label() +
           ". Saving would replace that box's timers with these. Use \"Reload from box\" to "
           "read the new box's timers first. Nothing was written to either box.";
  if (start.state == boxdata::TimerListState::kIncomplete)
    return "The timer list read from the box at start was incomplete, so saving would lose "
           "timers. Nothing was written to the box.";
  if (start.state == boxdata::TimerListState::kMissing && !start.fetch_ok)
    return "There was no timer list at start and the box could not be reached then, so its "
           "timers are not known. Nothing was written to the box.";
  return {};
}

SaveResult SaveToBox::Run() {
  SaveResult result;
  try {
    if (std::string reason = SaveRefusal(input_); !reason.empty()) {
      result.outcome = SaveOutcome::kRefused;
      result.message = reason;
      return result;
    }
    SendToBox(result);
  } catch (const std::exception& e) {
    // Whatever the closed connection raised on its way out, the news is the cancel; it is
    // honoured only before the first change, so nothing was sent.
    if (cancel_.Cancelled()) {
      const SaveCancelled cancelled;
      result.outcome = SaveOutcome::kCancelled;
      result.box_list = BoxListState::kUnchanged;
      result.message = cancelled.what();
      return result;
    }
    result.outcome = SaveOutcome::kFailed;
    result.message = e.what();
    result.error_type = platform::TypeNameOf(e);
  }
  const bool restart_told = result.outcome == SaveOutcome::kRestarted ||
                            result.outcome == SaveOutcome::kOverwritten ||
                            result.outcome == SaveOutcome::kListMissing ||
                            result.outcome == SaveOutcome::kSwitchedOff || result.RestartPending();
  if (!restart_told)
    result.message += (result.message.empty() ? "" : "\n") + BoxListSentence(result);
  return result;
}

namespace {

std::string SecondsText(std::chrono::milliseconds bound) {
  const auto ms = bound.count();
  if (ms % 1000 == 0) return std::to_string(ms / 1000) + " s";
  return std::to_string(ms) + " ms";
}

void OpenBoxFolder(net::FtpClient& ftp, const BoxAddress& box, const BoxBounds& bounds) {
  // A box that takes the connection and then says nothing does not answer either: its
  // greeting and the login come within the connect bound too, so that a save does not stand
  // for the longer reply bound before it says so.
  const net::NetBounds working = ftp.Bounds();
  net::NetBounds login = working;
  login.idle = std::min(working.idle, bounds.connect);
  ftp.SetBounds(login);
  try {
    ftp.OpenAndLogin(true);
  } catch (const net::SocketError& e) {
    if (e.Code() != net::kErrTimedOut) throw;
    throw BoxNotAnswering("The box at " + box.Label() + " did not answer within " +
                          SecondsText(bounds.connect) + " (" + e.what() +
                          "). Check that the box is switched on and that its address in "
                          "Configuration is right, then save again.");
  }
  ftp.SetBounds(working);
  ftp.ChangeRemoteDir(box.folder);
}

}  // namespace

std::unique_ptr<net::FtpClient> ConnectToBoxFolder(
    const BoxAddress& box, const BoxBounds& bounds,
    const std::function<void(const std::string&)>& log) {
  std::unique_ptr<net::FtpClient> ftp =
      MakeBoxFtpClient(box, bounds, [log](net::NetStatus, const std::string& line) { log(line); });
  OpenBoxFolder(*ftp, box, bounds);
  return ftp;
}

std::unique_ptr<net::FtpClient> SaveToBox::Connect() {
  std::unique_ptr<net::FtpClient> ftp =
      MakeBoxFtpClient(input_.box, bounds_, [this](net::NetStatus status, const std::string& line) {
        observer_.Log(line);
        // A Cancel that came before the socket existed had nothing to close: stop before the
        // connect, which could wait for a box that does not answer.
        if (status == net::NetStatus::kResolving || status == net::NetStatus::kConnecting)
          cancel_.ThrowIfCancelled();
      });
  const SaveCancel::Watching watching(cancel_, *ftp);
  OpenBoxFolder(*ftp, input_.box, bounds_);
  return ftp;
}

void SaveToBox::BeginChanges() {
  if (cancel_.BeginChanges()) observer_.ChangesBegin();
}

void MarkOrigins(TimerList& ours, const SaveInput& input) {
  const ListAtStart& start = input.start;
  const TimerList shown =
      ReadTimerList(start.shown.empty() ? start.text : start.shown, input.clock);
  for (size_t i = 0; i < ours.timers.size() && i < input.timers.size(); ++i) {
    const std::optional<int64_t> index = input.timers[i].list_index;
    if (!index || *index < 0 || static_cast<size_t>(*index) >= shown.timers.size()) continue;
    auto stands_in = start.shown_origins.find(*index);
    ours.timers[i].origin = stands_in != start.shown_origins.end()
                                ? stands_in->second
                                : shown.timers[static_cast<size_t>(*index)].identity;
  }
}

void SaveToBox::WriteAndCheck(const std::vector<ListedTimer>& timers, const std::string& text) {
  boxdata::WriteTimerListText(text, input_.local_dir);
  const std::string written = boxdata::ReadWholeFile(input_.local_dir / "timers.new");
  if (std::string fault = CheckWrittenList(written, ExpectedOf(timers)); !fault.empty())
    throw SaveError("The merged timer list was not uploaded: " + fault + ".");
}

void SaveToBox::SendToBox(SaveResult& result) {
  Plan plan;
  if (input_.start.state != boxdata::TimerListState::kMissing)
    plan.base = ReadTimerList(input_.start.text, input_.clock);
  Step(SaveStep::kWrite);
  boxdata::WriteTimerListText(input_.timer_list, input_.local_dir);
  Step(SaveStep::kCheck);
  const std::string written = boxdata::ReadWholeFile(input_.local_dir / "timers.new");
  if (std::string fault = CheckWrittenList(written, input_.timers); !fault.empty()) {
    result.outcome = SaveOutcome::kRefused;
    result.message = "The new timer list was not uploaded: " + fault + ".";
    return;
  }
  plan.ours = ReadTimerList(input_.timer_list, input_.clock);
  MarkOrigins(plan.ours, input_);
  if (input_.start.restart_done && !input_.start.uploaded.empty() &&
      SameTimers(plan.ours.timers, ReadTimerList(input_.start.uploaded, input_.clock).timers)) {
    VerifyOnly(result);
    return;
  }

  Step(SaveStep::kBackup);
  if (!WriteReceiverListFirst()) {
    result.outcome = SaveOutcome::kDeclined;
    result.message = "Nothing was sent to the box.";
    return;
  }
  {
    const std::unique_ptr<net::FtpClient> ftp = Connect();
    std::optional<SaveCancel::Watching> watching(std::in_place, cancel_, *ftp);
    BoxListTransfer box(*ftp, input_.local_dir);
    // What a run that was killed half-way left behind.
    box.DeleteIfThere(kUploadName);
    const std::filesystem::path backup = BackupDir(input_.local_dir) / BackupName(Now());
    std::error_code ec;
    std::filesystem::create_directories(backup.parent_path(), ec);
    const std::optional<std::string> theirs = box.Fetch(kBoxListName, backup);
    if (theirs) {
      result.backup = backup;
      plan.theirs = ReadTimerList(*theirs, input_.clock);
    }
    PruneBackups(input_.local_dir);
    if (!MergeWithBox(plan, result) || !AcceptTunerConflicts(plan) ||
        !AcceptRunningRecordings(plan)) {
      result.outcome = SaveOutcome::kDeclined;
      if (result.message.empty()) result.message = "Nothing was sent to the box.";
      return;
    }
    if (plan.theirs && SameTimers(plan.merge.merged, plan.theirs->timers)) {
      observer_.Log("The box holds this timer list already; it is not sent again.");
      // Until the receiver loads it, the next start must still offer its restart.
      const std::optional<PendingRestart> recorded = ReadPendingRestart(input_.local_dir);
      if (!recorded || recorded->restarted)
        RecordPendingRestart(input_.local_dir, {input_.box.Label(), Now(), plan.text});
    } else {
      BeginChanges();
      watching.reset();
      Step(SaveStep::kUpload);
      UploadMerged(box, plan, result);
      if (result.outcome == SaveOutcome::kDeclined) return;
    }
    try {
      ftp->Close();
    } catch (...) {
      // The list is in place; a close that fails changes nothing on the box.
    }
  }
  BeginChanges();
  Step(SaveStep::kRestart);
  Restart(result);
  if (result.outcome == SaveOutcome::kNotRestarted) return;
  Step(SaveStep::kVerify);
  Verify(plan.text, result);
  if (result.outcome == SaveOutcome::kOverwritten || result.outcome == SaveOutcome::kListMissing)
    result.merged_list = plan.text;
}

void SaveToBox::VerifyOnly(SaveResult& result) {
  observer_.Log(
      "The receiver was restarted by the last save, but its list was not checked; it is only "
      "checked now.");
  const std::string& sent = input_.start.uploaded;
  result.uploaded_list = sent;
  result.box_list = BoxListState::kReplaced;
  Step(SaveStep::kVerify);
  Verify(sent, result);
  if (result.outcome == SaveOutcome::kOverwritten || result.outcome == SaveOutcome::kListMissing)
    result.merged_list = sent;
}

bool SaveToBox::WriteReceiverListFirst() {
  // A list this program uploaded and the receiver did not load yet would be written over by
  // the receiver's old one.
  if (!input_.web || !input_.write_first || !input_.start.uploaded.empty()) return true;
  observer_.Log("Asking the receiver to write its timer list before it is fetched.");
  const std::string problem =
      WriteReceiverList(*input_.web, {bounds_.connect, bounds_.reply}, &cancel_.Flag());
  if (problem.empty()) return true;
  cancel_.ThrowIfCancelled();
  observer_.Log("The receiver did not write its timer list: " + problem);
  return Ask("The box's web interface did not make the receiver write its timer list (" + problem +
             "). Timers changed through the interface since the receiver last wrote its list "
             "would be lost with the restart.\nUpload the timer list and restart the receiver "
             "anyway?");
}

bool SaveToBox::MergeWithBox(Plan& plan, SaveResult& result) {
  static const std::vector<ListedTimer> kNone;
  if (!plan.theirs && !plan.base.timers.empty()) {
    if (!Ask(EmptyBoxQuestion(plan.base.timers.size()))) return false;
    plan.merge = MergeTimerLists(kNone, kNone, plan.ours.timers);
  } else if (plan.theirs && !plan.theirs->complete) {
    const std::string why =
        plan.theirs->problems.empty() ? "" : " (" + plan.theirs->problems.front() + ")";
    if (!Ask("The box's timer list (timers.xml) is damaged" + why +
             ": the receiver sets such a list aside and starts without timers. It is "
             "kept in " +
             result.backup.string() +
             ".\nReplace it with this list? Timers that only the damaged list holds "
             "are not kept."))
      return false;
    plan.merge = MergeTimerLists(plan.base.timers, plan.base.timers, plan.ours.timers);
  } else {
    const std::vector<ListedTimer>& theirs = plan.theirs ? plan.theirs->timers : kNone;
    // A box that still holds what an earlier save sent changed nothing since.
    const bool holds_upload =
        !input_.start.uploaded.empty() &&
        SameTimers(theirs, ReadTimerList(input_.start.uploaded, input_.clock).timers);
    plan.merge =
        MergeTimerLists(holds_upload ? theirs : plan.base.timers, theirs, plan.ours.timers);
    if (!input_.start.fetched && !holds_upload)
      observer_.Log("The timer list was not fetched at this start; merging with the copy read.");
    for (const std::string& line : MergeLogLines(plan.merge, labeller_))
      observer_.Log(line);
    if (plan.merge.HasConflicts() && !Ask(ConflictQuestion(plan.merge, labeller_))) {
      result.message = "Nothing was sent to the box: it keeps its own versions of those timers.";
      return false;
    }
  }
  plan.text = TimerListText(plan.merge.merged);
  return true;
}

bool SaveToBox::AcceptTunerConflicts(const Plan& plan) {
  const std::string question =
      MergedListQuestion(plan.merge.merged, input_.tuners, labeller_, input_.clock,
                         static_cast<int64_t>(platform::NowEpochSeconds()), false);
  return question.empty() || Ask(question);
}

bool SaveToBox::AcceptRunningRecordings(const Plan& plan) {
  if (!plan.theirs) return true;
  const std::vector<RunningRecording> running = RunningRecordings(
      plan.theirs->timers, static_cast<int64_t>(platform::NowEpochSeconds()), input_.clock);
  if (running.empty()) return true;
  return Ask(RunningRecordingQuestion(running, labeller_));
}

void SaveToBox::UploadMerged(BoxListTransfer& box, Plan& plan, SaveResult& result) {
  for (int round = 1;; ++round) {
    WriteAndCheck(plan.merge.merged, plan.text);
    try {
      box.StoreChecked(kUploadName, plan.text);
    } catch (...) {
      // Whatever arrived of it is no use to anyone; "timers.xml" was not touched.
      try {
        box.DeleteIfThere(kUploadName);
      } catch (...) {
      }
      throw;
    }
    ThrowIfStopped();
    const std::optional<std::string> now = box.Read(kBoxListName);
    const std::optional<TimerList> theirs_now =
        now ? std::optional<TimerList>(ReadTimerList(*now, input_.clock)) : std::nullopt;
    const bool unchanged = theirs_now.has_value() == plan.theirs.has_value() &&
                           (!theirs_now || SameTimers(theirs_now->timers, plan.theirs->timers));
    if (unchanged) break;
    if (round == kMergeRounds)
      throw SaveError(
          "The box's timer list changed again each time it was merged; nothing was "
          "put in place. Save again in a moment.");
    observer_.Log("The box's timer list changed while saving; merging again.");
    plan.theirs = theirs_now;
    if (!MergeWithBox(plan, result)) {
      box.DeleteIfThere(kUploadName);
      result.outcome = SaveOutcome::kDeclined;
      return;
    }
  }
  RecordPendingRestart(input_.local_dir, {input_.box.Label(), Now(), plan.text});
  PutInPlace(box, plan.text, result);
}

void SaveToBox::PutInPlace(BoxListTransfer& box, const std::string& text, SaveResult& result) {
  std::string refused;
  try {
    box.PutUploadInPlace();
    result.uploaded_list = text;
    result.box_list = BoxListState::kReplaced;
    return;
  } catch (const net::ProtocolReplyError& e) {
    refused = e.what();
  } catch (const std::exception& e) {
    FindOutAfterBreak(text, e.what(), result);
    return;
  }
  observer_.Log("The box refused the rename (" + refused + ").");
  if (!Ask("The box refused to put the new list in place of timers.xml by renaming it (" + refused +
           ").\nStore the list straight over timers.xml instead? If that transfer "
           "breaks, the box is left with a cut list until it is saved again; its list "
           "from before is kept in " +
           result.backup.string() + ".")) {
    box.DeleteIfThere(kUploadName);
    ClearPendingRestart(input_.local_dir);
    result.outcome = SaveOutcome::kDeclined;
    result.message =
        "The box refused to rename the new list into place, and it was not stored "
        "directly.";
    return;
  }
  try {
    box.StoreChecked(kBoxListName, text);
  } catch (const std::exception& e) {
    result.box_list = BoxListState::kDamaged;
    throw SaveError(std::string(e.what()) +
                    "\nThe box's timers.xml may be cut now, and the receiver would set it aside "
                    "and start without timers. The whole new list is on the box as " +
                    kUploadName + ", and the box's list from before is in " +
                    result.backup.string() + ". Save && Exit again stores it once more.");
  }
  // Only now that timers.xml is known whole does the checked upload go.
  box.DeleteIfThere(kUploadName);
  result.uploaded_list = text;
  result.box_list = BoxListState::kReplaced;
}

void SaveToBox::FindOutAfterBreak(const std::string& text, const std::string& error,
                                  SaveResult& result) {
  observer_.Log("The connection broke while the new list was put in place (" + error +
                "); asking the box what it holds.");
  std::optional<std::string> held;
  try {
    const std::unique_ptr<net::FtpClient> ftp = Connect();
    held = BoxListTransfer(*ftp, input_.local_dir).Read(kBoxListName);
  } catch (const std::exception& e) {
    result.box_list = BoxListState::kUnknown;
    throw SaveError("The connection to the box broke while the new list was put in place (" +
                    error + "), and the box could not be reached again to see what it holds (" +
                    e.what() + "). Its list from before is in " + result.backup.string() +
                    ". Save && Exit again finds out and finishes the save.");
  }
  if (held && SameTimers(ReadTimerList(*held, input_.clock).timers,
                         ReadTimerList(text, input_.clock).timers)) {
    result.uploaded_list = text;
    result.box_list = BoxListState::kReplaced;
    return;
  }
  ClearPendingRestart(input_.local_dir);
  result.box_list = BoxListState::kUnchanged;
  throw SaveError("The connection to the box broke while the new list was put in place (" + error +
                  "); the box still holds its own list.");
}

void SaveToBox::Restart(SaveResult& result) {
  const RestartOutcome restart =
      RestartReceiver(input_.box, bounds_.dialogue, [this](const std::string& block) {
        if (!block.empty()) observer_.Log(block);
      });
  if (restart.completed) return;
  result.outcome = SaveOutcome::kNotRestarted;
  result.message =
      "The new timer list is on the box, but the receiver was not restarted: " + restart.reason +
      ".\nThe receiver has not loaded the new list, and any save of its own (a timer ending, a "
      "clean shutdown or a restart of the box) puts its old list back. Do not restart the box "
      "by hand: Save && Exit again retries the restart without sending the list again.";
}

void SaveToBox::Verify(const std::string& expected, SaveResult& result) {
  std::optional<std::string> held;
  try {
    const std::unique_ptr<net::FtpClient> ftp = Connect();
    held = BoxListTransfer(*ftp, input_.local_dir).Read(kBoxListName);
  } catch (const std::exception& e) {
    const std::optional<PendingRestart> recorded = ReadPendingRestart(input_.local_dir);
    RecordPendingRestart(input_.local_dir,
                         {input_.box.Label(), recorded ? recorded->when : Now(), expected, true});
    result.outcome = SaveOutcome::kNotChecked;
    result.message = std::string(
                         "The receiver was restarted, but the box's timer list could not "
                         "be read back to check it: ") +
                     e.what() +
                     ".\nSave && Exit again only reads it back; the receiver is not restarted "
                     "again.";
    return;
  }
  ClearPendingRestart(input_.local_dir);
  if (!held) {
    result.outcome = SaveOutcome::kListMissing;
    result.box_list = BoxListState::kUnknown;
    result.uploaded_list.clear();
    result.message =
        "The receiver was restarted, but the box has no timer list (timers.xml) now: the "
        "receiver may have found the new list unreadable and set it aside as timers.xml_old, "
        "and it runs without timers." +
        BackupSentence(result) + "\nSave && Exit again puts the list shown on the box.";
    return;
  }
  const TimerList box_now = ReadTimerList(*held, input_.clock);
  if (StillHolds(box_now, ReadTimerList(expected, input_.clock),
                 static_cast<int64_t>(platform::NowEpochSeconds()))) {
    result.outcome = SaveOutcome::kRestarted;
    CheckLoaded(expected, result);
    return;
  }
  result.outcome = SaveOutcome::kOverwritten;
  result.box_list = BoxListState::kUnchanged;
  result.uploaded_list.clear();
  result.message =
      "The receiver was restarted, but the box had written its own timer list over the new one "
      "first (it holds " +
      std::to_string(box_now.timers.size()) + " timers now), so the new list was not loaded." +
      BackupSentence(result) + "\nSave && Exit again merges with what the box holds now.";
}

void SaveToBox::CheckLoaded(const std::string& sent, SaveResult& result) {
  if (!input_.web) return;
  observer_.Log("Asking the receiver which timers it loaded.");
  result.box_timers = ReceiverListAfterRestart(*input_.web, bounds_.web_restart, stopped_);
  if (!result.box_timers) {
    observer_.Log(
        "The box's web interface did not answer after the restart; the timers the receiver "
        "loaded were not compared with the list sent.");
    return;
  }
  const std::vector<ListedTimer> off =
      SwitchedOffAtLoad(ReadTimerList(sent, input_.clock), *result.box_timers, input_.clock);
  if (off.empty()) return;
  std::string names;
  for (const ListedTimer& t : off)
    names += "\n" + labeller_.Label(t);
  result.outcome = SaveOutcome::kSwitchedOff;
  result.message =
      "The receiver was restarted and has loaded the new list, but its conflict check switched "
      "off these timers as it loaded them: they collide with other recordings on its tuners, "
      "and they will not record:" +
      names + "\nChange them, or the timers they collide with, and save again.";
  observer_.Log("The receiver switched off at load:" + names);
}

}  // namespace tivolo::transfer
