#include "transfer/box_fetch.h"

#include <algorithm>

#include "net/ftp_client.h"
#include "transfer/ftp_job.h"

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
      observer_(observer),
      job_(std::make_unique<FtpJob>(box_, bounds_, net::FtpTransferType::kAscii, observer_)) {}

BoxFetch::~BoxFetch() = default;

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::vector<std::string> BoxFetch::ListWanted(net::FtpClient& client) {
  std::vector<std::string> wanted;
  std::vector<std::string> listing;
  for (const char* mask : kMasks) {
    job_->ThrowIfCancelled();
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
  job_->ThrowIfCancelled();
  client.OpenAndLogin(true);
  job_->ThrowIfCancelled();
  client.ChangeRemoteDir(box_.folder);
  const std::vector<std::string> wanted = ListWanted(client);
  const int count = static_cast<int>(wanted.size());
  for (int i = 0; i < count; ++i) {
    job_->ThrowIfCancelled();
    const std::string& name = wanted[static_cast<size_t>(i)];
    observer_.Progress(name, i + 1, count);
    client.Download(name, (local_dir_ / name).string(), true);
    result.fetched.push_back(name);
  }
}

FetchResult BoxFetch::Run() {
  FetchResult result;
  job_->Run([&](net::FtpClient& client) { FetchAll(client, result); }).CopyTo(result);
  return result;
}

void BoxFetch::Cancel() {
  job_->Cancel();
}

}  // namespace tivolo::transfer
