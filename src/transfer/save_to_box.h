// Saving the timer list to the box and restarting its receiver, without the window: write
// "timers.new", read it back with our own reader, fetch the box's current "timers.xml" (kept
// as a backup, and a question when it changed since the start), store the new list under a
// temporary name in "/etc/enigma2", check it and rename it over "timers.xml", then log in by
// telnet and stop the receiver once so that the box starts it again with the new list.
//
// Threads: TakeTimerList runs on the thread that owns the tables; Run on any other thread
// (it blocks for seconds) and never touches a table. The observer is called on Run's thread.
// Every network wait is bounded (BoxBounds).
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "boxdata/box_reader.h"
#include "platform/clock.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "store/mem_table.h"
#include "transfer/fetch_box_files.h"
#include "transfer/timer_list_check.h"

namespace tivolo::net {
class FtpClient;
}

namespace tivolo::transfer {

enum class SaveStep { kWrite, kCheck, kBackup, kUpload, kRestart };

// What a progress dialog shows for a step, such as "Uploading the timer list".
std::string SaveStepText(SaveStep step);

class SaveObserver {
 public:
  virtual ~SaveObserver() = default;
  // The step starting now.
  virtual void Progress(SaveStep step) = 0;
  // A line for the log: "asStatusText : " and a status text of the FTP client, or a block
  // the box sent by telnet, unchanged.
  virtual void Log(const std::string& line) = 0;
  // A question to answer with Yes (true) or No. An exception counts as No.
  virtual bool Ask(const std::string& question) = 0;
};

// The name the new list is stored under before it is renamed over "timers.xml".
inline constexpr const char* kUploadName = "timers.xml.upload";

// Everything the sequence needs, taken on the tables' thread before it starts.
struct SaveInput {
  BoxAddress box;
  std::filesystem::path local_dir;    // holds "timers.xml" as read at start
  std::string timer_list;             // the text of "timers.new"
  std::vector<ExpectedTimer> timers;  // what that text must read back as
  boxdata::TimerListState read_state = boxdata::TimerListState::kMissing;  // at start
  bool fetch_ok = false;            // this run's fetch ended without an error ...
  bool timer_list_fetched = false;  // ... and brought "timers.xml"
};

// Fills input.timer_list and input.timers from the table, leaving its cursor and any
// pending change alone.
void TakeTimerList(SaveInput& input, store::MemTable& timers, const platform::ClockSettings& clock,
                   const platform::CodePage& code_page = platform::CodePage::System());

// After a save that restarted the receiver, the program ends this much later.
inline constexpr std::chrono::milliseconds kEndDelay{1000};

enum class SaveOutcome {
  kRestarted,     // the new list is on the box and the receiver was stopped
  kRefused,       // nothing sent: the box's list is not known or the new list failed its check
  kDeclined,      // the box's list had changed and the user kept it: nothing uploaded
  kFailed,        // an error; `uploaded` says whether the new list reached the box
  kNotRestarted,  // the new list is on the box, the receiver was not restarted
};

struct SaveResult {
  SaveOutcome outcome = SaveOutcome::kFailed;
  SaveStep step = SaveStep::kWrite;  // the step the sequence ended in
  bool uploaded = false;             // "timers.xml" on the box is the new list
  std::string message;               // for the user; empty after kRestarted
  std::string error_type;            // the error's class name after kFailed
  std::filesystem::path backup;      // the copy of the box's list taken, if any
  // Only after a completed restart does the program end (kEndDelay later).
  bool EndProgram() const { return outcome == SaveOutcome::kRestarted; }
};

// A check of the upload that failed; the message says what the box holds.
class SaveError : public platform::Error {
 public:
  using platform::Error::Error;
  std::string TypeName() const override { return "SaveError"; }
};

class SaveToBox {
 public:
  SaveToBox(SaveInput input, SaveObserver& observer, BoxBounds bounds = {});

  // The whole sequence; never throws. A second Run starts again from writing.
  SaveResult Run();

 private:
  std::string UnknownListReason() const;
  void Upload(SaveResult& result);
  // Fetches the box's list into a backup and asks when it changed; false when the user keeps it.
  bool BackupAndConfirm(net::FtpClient& ftp, SaveResult& result);
  void StoreSafely(net::FtpClient& ftp);
  void StoreChecked(net::FtpClient& ftp, const std::string& remote);
  bool BoxHolds(net::FtpClient& ftp, const std::string& remote);
  void Restart(SaveResult& result);
  void Step(SaveResult& result, SaveStep step);

  SaveInput input_;
  SaveObserver& observer_;
  BoxBounds bounds_;
};

}  // namespace tivolo::transfer
