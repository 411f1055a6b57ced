#include "transfer/ftp_job.h"

#include <exception>
#include <memory>

#include "platform/error.h"

namespace tivolo::transfer {
FtpJob::FtpJob(const BoxAddress& box, const BoxBounds& bounds, net::FtpTransferType type,
               FetchObserver& observer)
    : box_(box), bounds_(bounds), type_(type), observer_(observer) {}

void FtpJob::ThrowIfCancelled() const {
  if (cancelled_.load(std::memory_order_acquire)) throw FetchCancelled();
}

void FtpJob::Fail(Outcome& outcome, const std::string& type, const std::string& message) const {
  outcome.ok = false;
  // Whatever the closed sockets raised on their way out, the news is the cancel.
  if (cancelled_.load(std::memory_order_acquire)) {
    const FetchCancelled cancelled;
    outcome.cancelled = true;
    outcome.error_type = cancelled.TypeName();
    outcome.error_message = cancelled.what();
    return;
  }
  outcome.error_type = type;
  outcome.error_message = message;
}

FtpJob::Outcome FtpJob::Run(const std::function<void(net::FtpClient&)>& work) {
  Outcome outcome;
  bool closing = false;
  const std::unique_ptr<net::FtpClient> own_client =
      MakeBoxFtpClient(box_, bounds_, [&](net::NetStatus status, const std::string& line) {
        observer_.Log(line);
        // A Cancel that came before the socket existed had nothing to close: stop before the
        // connect, which could wait for an unreachable box.
        if (!closing &&
            (status == net::NetStatus::kResolving || status == net::NetStatus::kConnecting))
          ThrowIfCancelled();
      });
  net::FtpClient& client = *own_client;
  client.SetTransferType(type_);
  {
    std::lock_guard lock(client_mutex_);
    client_ = &client;
  }
  try {
    ThrowIfCancelled();
    work(client);
    outcome.ok = true;
  } catch (const std::exception& e) {
    Fail(outcome, platform::TypeNameOf(e), e.what());
  } catch (...) {
    Fail(outcome, "Exception", "Unknown error.");
  }
  closing = true;
  try {
    client.Close();
  } catch (...) {
    // The outcome of the job is what the caller needs; a failing close changes nothing.
  }
  {
    std::lock_guard lock(client_mutex_);
    client_ = nullptr;
  }
  return outcome;
}

void FtpJob::Cancel() {
  cancelled_.store(true, std::memory_order_seq_cst);
  std::lock_guard lock(client_mutex_);
  if (client_ != nullptr) BreakOffWaits(*client_);
}

void BreakOffWaits(net::FtpClient& client) {
  client.DropDataConnection();
  client.Socket().ReleaseSocket(true);
}

}  // namespace tivolo::transfer
