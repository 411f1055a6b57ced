#include "transfer/fetch_guide.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <system_error>

#include "boxdata/errors.h"
#include "boxdata/text_lines.h"
#include "net/ftp_client.h"
#include "net/net_error.h"
#include "platform/safe_file.h"
#include "store/date_format.h"
#include "transfer/ftp_job.h"

namespace tivolo::transfer {
namespace {

// The reply of a server to a file it does not have.
constexpr int kNoSuchFile = 550;
constexpr int kSettingsStep = 1;
constexpr int kGuideStep = 2;
constexpr int kSteps = 2;

std::string SourceText(const GuideSource& s) {
  return "path=" + s.remote_path + "\nsize=" + std::to_string(s.size) +
         "\nmodified=" + std::to_string(s.modified) + "\n";
}

bool ParseNumber(std::string_view text, int64_t& out) {
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && ptr == text.data() + text.size();
}

std::string FileNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string GuideFetchResult::AgeText(const platform::ClockSettings& clock) const {
  if (!found) return {};
  const int64_t clamped = std::clamp<int64_t>(source.modified, 0, INT32_MAX);
  const platform::DateTime local =
      platform::UtcToLocal(platform::EpochToDateTime(static_cast<int32_t>(clamped)), clock);
  return "Guide of " + store::FormatDateTime("dd-mm-yy hh:nn", local);
}

std::optional<GuideSource> ReadGuideSource(const std::filesystem::path& local_dir) {
  std::string text;
  try {
    text = boxdata::ReadWholeFile(local_dir / kGuideSourceName);
  } catch (const boxdata::FileOpenError&) {
    return std::nullopt;
  }
  GuideSource source;
  int fields = 0;
  boxdata::ForEachLine(text, [&](std::string_view line) {
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
    if (key == "path") {
      source.remote_path = std::string(value);
      ++fields;
    } else if ((key == "size" && ParseNumber(value, source.size)) ||
               (key == "modified" && ParseNumber(value, source.modified))) {
      ++fields;
    }
  });
  std::error_code ec;
  const auto copy_size = std::filesystem::file_size(local_dir / kGuideCopyName, ec);
  if (fields != 3 || ec || static_cast<int64_t>(copy_size) != source.size) return std::nullopt;
  return source;
}

GuideFetch::GuideFetch(BoxAddress box, std::filesystem::path local_dir,
                       GuideFetchObserver& observer)
    : box_(std::move(box)),
      local_dir_(std::move(local_dir)),
      observer_(observer),
      job_(std::make_unique<FtpJob>(box_, BoxBounds{}, net::FtpTransferType::kBinary, observer_)) {}

GuideFetch::~GuideFetch() = default;

boxdata::BoxSettings GuideFetch::FetchSettings(net::FtpClient& client) {
  observer_.Progress(kSettingsFileName, kSettingsStep, kSteps);
  const std::filesystem::path local = local_dir_ / kSettingsFileName;
  try {
    client.Download(kSettingsFileName, local.string(), true);
  } catch (const net::ProtocolReplyError& e) {
    if (e.Code() != kNoSuchFile) throw;
    observer_.Log("The box has no settings file; the receiver's defaults apply.");
    return {};
  }
  return boxdata::LoadBoxSettings(local);
}

bool GuideFetch::FindGuide(net::FtpClient& client, const boxdata::BoxSettings& settings,
                           GuideSource& found) {
  std::string tried;
  for (const std::string& path : boxdata::GuideFileCandidates(settings, box_.folder)) {
    job_->ThrowIfCancelled();
    try {
      found.size = client.Size(path);
    } catch (const net::ProtocolReplyError& e) {
      if (e.Code() != kNoSuchFile) throw;
      tried += (tried.empty() ? "" : ", ") + path;
      continue;
    }
    found.remote_path = path;
    found.modified = client.ModificationTime(path);
    return true;
  }
  observer_.Log("The box has no guide (" + tried + ").");
  return false;
}

void GuideFetch::FetchAll(net::FtpClient& client, GuideFetchResult& result) {
  client.OpenAndLogin(true);
  job_->ThrowIfCancelled();
  client.ChangeRemoteDir(box_.folder);
  job_->ThrowIfCancelled();
  result.settings = FetchSettings(client);
  FetchGuide(client, result);
  job_->ThrowIfCancelled();
  FetchRules(client, result);
}

void GuideFetch::FetchGuide(net::FtpClient& client, GuideFetchResult& result) {
  if (!FindGuide(client, result.settings, result.source)) return;
  result.found = true;
  result.copy = local_dir_ / kGuideCopyName;
  if (ReadGuideSource(local_dir_) == result.source) {
    observer_.Log("The guide copy is current (" + result.source.remote_path + ").");
    return;
  }
  job_->ThrowIfCancelled();
  observer_.Progress(FileNameOf(result.source.remote_path), kGuideStep, kSteps);
  const int64_t total = result.source.size;
  client.SetOnWork([&](net::NetComponent&, net::WorkMode mode, int64_t bytes) {
    if (mode == net::WorkMode::kRead) observer_.Received(bytes, total);
  });
  client.Download(result.source.remote_path, result.copy.string(), true);
  client.SetOnWork(nullptr);
  platform::ReplaceFile(local_dir_ / kGuideSourceName, SourceText(result.source));
  result.downloaded = true;
}

void GuideFetch::FetchRules(net::FtpClient& client, GuideFetchResult& result) {
  const std::filesystem::path local = local_dir_ / kRulesFileName;
  try {
    client.Download(kRulesFileName, local.string(), true);
  } catch (const net::ProtocolReplyError& e) {
    if (e.Code() != kNoSuchFile) throw;
    // A copy an earlier run left belongs to rules the box no longer has.
    std::error_code ec;
    std::filesystem::remove(local, ec);
    observer_.Log("The box has no series rules (autotimer.xml).");
    return;
  }
  result.rules_found = true;
  result.rules_copy = local;
}

GuideFetchResult GuideFetch::Run() {
  GuideFetchResult result;
  job_->Run([&](net::FtpClient& client) { FetchAll(client, result); }).CopyTo(result);
  return result;
}

GuideFetchResult GuideFetch::RunSettingsOnly() {
  GuideFetchResult result;
  job_->Run([&](net::FtpClient& client) {
        client.OpenAndLogin(true);
        client.ChangeRemoteDir(box_.folder);
        result.settings = FetchSettings(client);
      })
      .CopyTo(result);
  return result;
}

void GuideFetch::Cancel() {
  job_->Cancel();
}

}  // namespace tivolo::transfer
