// What every fetch from the box shares: one FTP client set up for the box, its status texts
// in the log, and a cancel from any thread that closes its sockets at once, so that every
// wait of the working thread ends.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "net/ftp_client.h"
#include "platform/error.h"
#include "transfer/box_address.h"

namespace tivolo::transfer {

// The fetch was ended by its Cancel.
class FetchCancelled : public platform::Error {
 public:
  FetchCancelled() : platform::Error("The fetch was cancelled.") {}
  std::string TypeName() const override { return "FetchCancelled"; }
};

// Called on the thread that runs the fetch.
class FetchObserver {
 public:
  virtual ~FetchObserver() = default;
  // A line for the log: "asStatusText : " followed by each status text of the FTP client.
  virtual void Log(const std::string& line) = 0;
  // Before each download: the file's name, its place (1-based) and the number of files.
  virtual void Progress(const std::string& file, int index, int count) = 0;
};

// Any thread: ends every wait of the thread using client at once, by closing its sockets. No
// ABOR: that thread may be sending a command on the control connection right now, and a server
// drops the transfer anyway when the control connection goes.
void BreakOffWaits(net::FtpClient& client);

class FtpJob {
 public:
  FtpJob(const BoxAddress& box, const BoxBounds& bounds, net::FtpTransferType type,
         FetchObserver& observer);
  FtpJob(const FtpJob&) = delete;
  FtpJob& operator=(const FtpJob&) = delete;

  struct Outcome {
    bool ok = false;
    bool cancelled = false;     // ended by Cancel; ok is false then too
    std::string error_type;     // when !ok: the error's class name ...
    std::string error_message;  // ... and its message
    // Into a fetch's result, which has these four members of its own.
    template <class Result>
    void CopyTo(Result& result) const {
      result.ok = ok;
      result.cancelled = cancelled;
      result.error_type = error_type;
      result.error_message = error_message;
    }
  };
  // Runs `work` with a fresh client (not yet connected) and closes it afterwards, whatever
  // happened; any error of `work` becomes the outcome. Never throws.
  Outcome Run(const std::function<void(net::FtpClient&)>& work);

  // Any thread: ends a running job within a second; a job not yet started ends at once.
  void Cancel();
  // FetchCancelled when Cancel was called.
  void ThrowIfCancelled() const;

 private:
  void Fail(Outcome& outcome, const std::string& type, const std::string& message) const;

  const BoxAddress& box_;
  const BoxBounds bounds_;
  net::FtpTransferType type_;
  FetchObserver& observer_;
  std::atomic<bool> cancelled_{false};
  std::mutex client_mutex_;
  net::FtpClient* client_ = nullptr;  // the running job's client, for Cancel
};

}  // namespace tivolo::transfer
