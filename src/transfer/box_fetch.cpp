#include "transfer/box_fetch.h"

#include <algorithm>
#include <exception>

#include "net/ftp_client.h"
#include "platform/error.h"

namespace tivolo::transfer {

namespace {

// Listed in this order; every listing happens before the first download.
constexpr const char* kMasks[] = {"userbouquet*.*", "lamedb", "bouquets.tv", "bouquets.radio",
                                  "timers.xml"};

}  // namespace

bool FetchResult::Fetched(std::string_view name) const {
  return std::find(fetched.begin(), fetched.end(), name) != fetched.end();
}

std::string FetchResult::AlertText() const {
  return "FTP fout bij het ophalen van bestanden vanaf de DM7025\n"
         "Mogelijk zijn er geen of oude timers ingelezen.\n\n" +
         error_type + error_message;
}

BoxFetch::BoxFetch(BoxAddress box, std::filesystem::path local_dir, FetchObserver& observer,
                   BoxBounds bounds)
    : box_(std::move(box)),
      bounds_(bounds),
      local_dir_(std::move(local_dir)),
      observer_(observer) {}

BoxFetch::~BoxFetch() = default;

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

void BoxFetch::ThrowIfCancelled() const {
  if (cancelled_.load(std::memory_order_acquire)) throw FetchCancelled();
}

std::vector<std::string> BoxFetch::ListWanted(net::FtpClient& client) {
  std::vector<std::string> wanted;
  std::vector<std::string> listing;
  for (const char* mask : kMasks) {
    ThrowIfCancelled();
    client.ListDirectory(listing, mask, false);
    for (auto& name : listing) {
      // A blank line names no file; a path would land outside the program's folder.
      if (name.empty()) continue;
      if (!IsPlainFileName(name)) throw UnsafeRemoteName(name);
      wanted.push_back(std::move(name));
    }
  }
  return wanted;
}

void BoxFetch::FetchAll(net::FtpClient& client, FetchResult& result) {
  ThrowIfCancelled();
  client.OpenAndLogin(true);
  ThrowIfCancelled();
  client.ChangeRemoteDir(box_.folder);
  const std::vector<std::string> wanted = ListWanted(client);
  const int count = static_cast<int>(wanted.size());
  for (int i = 0; i < count; ++i) {
    ThrowIfCancelled();
    const std::string& name = wanted[static_cast<size_t>(i)];
    observer_.Progress(name, i + 1, count);
    client.Download(name, (local_dir_ / name).string(), true);
    result.fetched.push_back(name);
  }
}

void BoxFetch::Fail(FetchResult& result, const std::string& type, const std::string& message) {
  result.ok = false;
  // Whatever the closed sockets raised on their way out, the news is the cancel.
  if (cancelled_.load(std::memory_order_acquire)) {
    FetchCancelled cancelled;
    result.cancelled = true;
    result.error_type = cancelled.TypeName();
    result.error_message = cancelled.what();
    return;
  }
  result.error_type = type;
  result.error_message = message;
}

FetchResult BoxFetch::Run() {
  FetchResult result;
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
  {
    std::lock_guard lock(client_mutex_);
    client_ = &client;
  }
  try {
    FetchAll(client, result);
    result.ok = true;
  } catch (const std::exception& e) {
    Fail(result, platform::TypeNameOf(e), e.what());
  } catch (...) {
    Fail(result, "Exception", "Unknown error.");
  }
  closing = true;
  try {
    client.Close();
  } catch (...) {
    // The outcome of the fetch is what the caller needs; a failing close changes nothing.
  }
  {
    std::lock_guard lock(client_mutex_);
    client_ = nullptr;
  }
  return result;
}

void BoxFetch::Cancel() {
  cancelled_.store(true, std::memory_order_seq_cst);
  std::lock_guard lock(client_mutex_);
  if (client_ == nullptr) return;
  // Closing the sockets wakes every wait of the fetch's thread at once. No ABOR: the fetch's
  // thread may be sending a command on the control connection right now, and a server drops
  // the transfer anyway when the control connection goes.
  client_->DropDataConnection();
  client_->Socket().ReleaseSocket(true);
}

}  // namespace tivolo::transfer
