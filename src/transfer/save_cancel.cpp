#include "transfer/save_cancel.h"

#include "transfer/ftp_job.h"

namespace tivolo::transfer {

bool SaveCancel::Cancel() {
  std::lock_guard lock(mutex_);
  if (changing_) return false;
  cancelled_.store(true, std::memory_order_release);
  if (watched_ != nullptr) BreakOffWaits(*watched_);
  return true;
}

bool SaveCancel::BeginChanges() {
  std::lock_guard lock(mutex_);
  if (Cancelled()) throw SaveCancelled();
  const bool first = !changing_;
  changing_ = true;
  return first;
}

void SaveCancel::ThrowIfCancelled() const {
  if (Cancelled()) throw SaveCancelled();
}

SaveCancel::Watching::Watching(SaveCancel& cancel, net::FtpClient& client) : cancel_(cancel) {
  std::lock_guard lock(cancel_.mutex_);
  cancel_.watched_ = &client;
}

SaveCancel::Watching::~Watching() {
  std::lock_guard lock(cancel_.mutex_);
  cancel_.watched_ = nullptr;
}

}  // namespace tivolo::transfer
