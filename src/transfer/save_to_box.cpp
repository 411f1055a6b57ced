#include "transfer/save_to_box.h"

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>

#include "boxdata/timer_writer.h"
#include "net/ftp_client.h"
#include "net/telnet_client.h"
#include "platform/safe_file.h"
#include "transfer/box_backup.h"
#include "transfer/telnet_dialogue.h"

namespace tivolo::transfer {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kStatusPrefix = "asStatusText : ";
constexpr const char* kReadBackName = "timers.readback";

// The telnet client hands each received block to "its user-interface thread": for the
// sequence that is the thread running it, which turns this queue while the dialogue runs.
class SequenceLoop : public net::UiHandover {
 public:
  void Post(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(fn));
    cv_.notify_all();
  }

  // Runs queued functions until done() holds or the deadline passes; returns done().
  bool RunUntil(const std::function<bool()>& done, Clock::time_point deadline) {
    // Short slices, so that a reader that ended is noticed soon.
    constexpr std::chrono::milliseconds kSlice{10};
    while (!done()) {
      std::function<void()> fn;
      {
        std::unique_lock lock(mutex_);
        const auto until = std::min(deadline, Clock::now() + kSlice);
        if (!cv_.wait_until(lock, until, [&] { return !queue_.empty(); })) {
          if (Clock::now() >= deadline) return done();
          continue;
        }
        fn = std::move(queue_.front());
        queue_.pop_front();
      }
      fn();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

std::string ReadWholeFile(const std::filesystem::path& path, bool* exists = nullptr) {
  std::ifstream in(path, std::ios::binary);
  if (exists) *exists = static_cast<bool>(in);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Line ends aside: the ASCII transfer type lets the server store its own.
std::string WithoutCr(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

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

SaveToBox::SaveToBox(SaveInput input, SaveObserver& observer, SaveBounds bounds)
    : input_(std::move(input)), observer_(observer), bounds_(bounds) {}

void SaveToBox::Step(SaveResult& result, SaveStep step) {
  result.step = step;
  observer_.Progress(step);
}

std::string SaveToBox::UnknownListReason() const {
  if (input_.read_state == boxdata::TimerListState::kIncomplete)
    return "The timer list read from the box at start was incomplete, so saving would lose "
           "timers. Nothing was written to the box.";
  if (input_.read_state == boxdata::TimerListState::kMissing && !input_.fetch_ok)
    return "There was no timer list at start and the box could not be reached then, so its "
           "timers are not known. Nothing was written to the box.";
  return {};
}

SaveResult SaveToBox::Run() {
  SaveResult result;
  try {
    if (std::string reason = UnknownListReason(); !reason.empty()) {
      result.outcome = SaveOutcome::kRefused;
      result.message = reason;
      return result;
    }
    Step(result, SaveStep::kWrite);
    const std::filesystem::path written = input_.local_dir / "timers.new";
    platform::ReplaceFile(written, input_.timer_list);

    Step(result, SaveStep::kCheck);
    if (std::string fault = CheckWrittenList(ReadWholeFile(written), input_.timers);
        !fault.empty()) {
      result.outcome = SaveOutcome::kRefused;
      result.message = "The new timer list was not uploaded: " + fault + ".";
      return result;
    }
    Upload(result);
    if (result.outcome == SaveOutcome::kDeclined) return result;
    Step(result, SaveStep::kRestart);
    Restart(result);
  } catch (const std::exception& e) {
    result.outcome = SaveOutcome::kFailed;
    result.message = e.what();
    result.error_type = platform::TypeNameOf(e);
  }
  return result;
}

void SaveToBox::Upload(SaveResult& result) {
  net::FtpClient ftp;
  ftp.SetHost(input_.box.host);
  ftp.SetPort(input_.box.ftp_port);
  ftp.SetUser(input_.box.user);
  ftp.SetPassword(input_.box.password);
  ftp.SetTransferType(net::FtpTransferType::kAscii);
  ftp.SetBounds(net::NetBounds{bounds_.connect, bounds_.reply, bounds_.data});
  ftp.SetOnStatus([this](net::NetComponent&, net::NetStatus, const std::string& text) {
    observer_.Log(std::string(kStatusPrefix) + text);
  });
  // Closed on every way out, so that the next attempt connects afresh.
  struct CloseOnExit {
    net::FtpClient& ftp;
    ~CloseOnExit() {
      try {
        ftp.Close();
      } catch (...) {
        // The step's own failure, if any, is the news.
      }
    }
  } close_on_exit{ftp};

  Step(result, SaveStep::kBackup);
  ftp.OpenAndLogin(true);
  ftp.ChangeRemoteDir(input_.box.folder);
  if (!BackupAndConfirm(ftp, result)) {
    result.outcome = SaveOutcome::kDeclined;
    result.message = "Nothing was uploaded: the box keeps its own timer list.";
    return;
  }
  Step(result, SaveStep::kUpload);
  StoreSafely(ftp);
  result.uploaded = true;
}

bool SaveToBox::BackupAndConfirm(net::FtpClient& ftp, SaveResult& result) {
  const std::filesystem::path dir = BackupDir(input_.local_dir);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const std::filesystem::path backup = dir / BackupName(std::time(nullptr));
  bool on_box = true;
  try {
    ftp.Download("timers.xml", backup.string(), true);
    result.backup = backup;
  } catch (const net::ProtocolReplyError& e) {
    // 550 (or 450): the box has no timer list at all.
    if (e.Code() != 550 && e.Code() != 450) throw;
    on_box = false;
  }
  PruneBackups(input_.local_dir);

  bool at_start = false;
  const std::string start_copy = ReadWholeFile(input_.local_dir / "timers.xml", &at_start);
  at_start = at_start && input_.read_state != boxdata::TimerListState::kMissing;
  const std::string now = on_box ? ReadWholeFile(backup) : std::string();
  int differing = CountDifferingTimers(at_start ? start_copy : std::string(), now);
  if (differing == 0 && on_box != at_start) differing = 1;  // a list without timers came or went
  // A box without a list at the fetch is known too: it had none.
  const bool known = input_.timer_list_fetched ||
                     (input_.fetch_ok && input_.read_state == boxdata::TimerListState::kMissing);
  if (known && differing == 0) return true;

  std::string question;
  if (known)
    question = "The timer list on the box has changed since it was read at start: " +
               Plural(differing, "timer differs", "timers differ") + ".";
  else
    question =
        "The timer list was not fetched from the box at this start, so this list comes "
        "from an earlier copy: " +
        Plural(differing, "timer on the box differs", "timers on the box differ") + " from it.";
  question += "\nReplace the box's timer list with this one?";
  try {
    return observer_.Ask(question);
  } catch (...) {
    return false;
  }
}

void SaveToBox::StoreSafely(net::FtpClient& ftp) {
  const std::string local = (input_.local_dir / "timers.new").string();
  try {
    StoreChecked(ftp, kUploadName);
  } catch (...) {
    // Whatever arrived of it is no use to anyone; "timers.xml" was not touched.
    try {
      ftp.Delete(kUploadName);
    } catch (...) {
    }
    throw;
  }
  try {
    ftp.Rename(kUploadName, "timers.xml");
    return;
  } catch (const net::ProtocolReplyError& e) {
    observer_.Log("The box refused the rename (" + std::string(e.what()) +
                  "); storing over timers.xml directly.");
  }
  try {
    ftp.Delete(kUploadName);
  } catch (const net::ProtocolReplyError&) {
  }
  try {
    StoreChecked(ftp, "timers.xml");
  } catch (const std::exception& e) {
    throw SaveError(std::string(e.what()) +
                    "\nThe box's timers.xml may be incomplete now; its list from before is kept "
                    "in the backups folder.");
  }
}

void SaveToBox::StoreChecked(net::FtpClient& ftp, const std::string& remote) {
  ftp.Upload((input_.local_dir / "timers.new").string(), remote, false);
  if (!BoxHolds(ftp, remote))
    throw SaveError("The box did not store the whole timer list (" + remote + ").");
}

bool SaveToBox::BoxHolds(net::FtpClient& ftp, const std::string& remote) {
  // The size settles it when the server stored the bytes as sent; with line ends of its own,
  // only the file read back can tell.
  try {
    if (ftp.Size(remote) == static_cast<int64_t>(input_.timer_list.size())) return true;
  } catch (const net::ProtocolReplyError&) {
  }
  const std::filesystem::path back = input_.local_dir / kReadBackName;
  ftp.Download(remote, back.string(), true);
  const std::string held = ReadWholeFile(back);
  std::error_code ec;
  std::filesystem::remove(back, ec);
  return WithoutCr(held) == WithoutCr(input_.timer_list);
}

void SaveToBox::Restart(SaveResult& result) {
  SequenceLoop loop;
  TelnetDialogue dialogue(input_.box.user, input_.box.password);
  const auto deadline = Clock::now() + bounds_.dialogue;
  std::string reason;
  {
    net::TelnetClient telnet(loop);
    telnet.SetHost(input_.box.host);
    telnet.SetPort(input_.box.telnet_port);
    telnet.SetConnectTimeout(bounds_.dialogue);
    telnet.SetOnDataAvailable([&](const std::string& block) {
      if (!block.empty()) observer_.Log(block);
      DialogueReply reply = dialogue.Receive(block);
      try {
        if (!reply.send.empty()) telnet.SendText(reply.send);
        if (reply.close) telnet.Close();
      } catch (...) {
        // A box that went away shows in the dialogue's end, or in the time running out.
      }
    });
    try {
      telnet.Open();
      loop.RunUntil([&] { return dialogue.Over() || !telnet.ReaderRunning(); }, deadline);
      if (!dialogue.Over() && !telnet.ReaderRunning()) dialogue.ConnectionClosed();
    } catch (const std::exception& e) {
      reason = e.what();
    }
    try {
      telnet.Close();
    } catch (...) {
    }
  }
  if (reason.empty() && dialogue.Completed()) {
    result.outcome = SaveOutcome::kRestarted;
    return;
  }
  if (reason.empty()) reason = dialogue.Reason();
  if (reason.empty()) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(bounds_.dialogue);
    reason = "the box did not complete the telnet dialogue within " +
             std::to_string(seconds.count()) + " s (" + dialogue.Waiting() + ")";
  }
  result.outcome = SaveOutcome::kNotRestarted;
  result.message =
      "The new timer list is on the box, but the receiver was not restarted: " + reason +
      ".\nRestart the box before the receiver overwrites the new list with its "
      "old one.";
}

}  // namespace tivolo::transfer
