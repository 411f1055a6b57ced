// The user's Cancel of a save: honoured until the save sends its first change to the box, and
// refused from then on, so that a save is never cut half-way by the user. Whichever comes first
// wins under one lock: a Cancel that is answered true means that nothing was sent, and a save
// that has begun sending runs to its end. A Cancel closes the FTP connection the save is
// waiting on, so that a box that does not answer holds nobody up.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/error.h"

namespace tivolo::net {
class FtpClient;
}

namespace tivolo::transfer {

// The save was ended by its Cancel before anything was sent.
class SaveCancelled : public platform::Error {
 public:
  SaveCancelled() : platform::Error("The save was cancelled: nothing was sent to the box.") {}
  std::string TypeName() const override { return "SaveCancelled"; }
};

class SaveCancel {
 public:
  // Any thread: true when the save stops with nothing sent; false when its first change is
  // already on its way.
  bool Cancel();
  // The save's thread: its first change goes now. SaveCancelled when Cancel came first; from
  // here on Cancel refuses. True the first time only.
  bool BeginChanges();
  // The save's thread: SaveCancelled when Cancel was called.
  void ThrowIfCancelled() const;
  bool Cancelled() const { return cancelled_.load(std::memory_order_acquire); }
  // Set by a Cancel that was honoured: for waits that look at a flag (web::HttpClient::SetStop).
  const std::atomic<bool>& Flag() const { return cancelled_; }
  // The save's thread, for the life of the object: a Cancel closes client's connection, so
  // that the wait it is in ends at once.
  class Watching {
   public:
    Watching(SaveCancel& cancel, net::FtpClient& client);
    ~Watching();
    Watching(const Watching&) = delete;
    Watching& operator=(const Watching&) = delete;

   private:
    SaveCancel& cancel_;
  };

 private:
  mutable std::mutex mutex_;
  std::atomic<bool> cancelled_{false};
  bool changing_ = false;
  net::FtpClient* watched_ = nullptr;
};

}  // namespace tivolo::transfer
