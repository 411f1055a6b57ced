// Copying the box's files into the program's folder at start-up: the bouquet files
// ("userbouquet*.*"), "lamedb", "bouquets.tv", "bouquets.radio" and "timers.xml" from
// "/etc/enigma2", every listing before the first download. Qt-free: it reports through
// FetchObserver and runs on whatever thread calls Run, so that a window can show progress
// and offer Cancel while it runs.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "transfer/box_address.h"
#include "transfer/ftp_job.h"

namespace tivolo::transfer {

// A listed name that is not a plain file name ("..", "a/b", ...): downloaded, it would land
// outside the program's folder.
class UnsafeRemoteName : public platform::Error {
 public:
  explicit UnsafeRemoteName(const std::string& name)
      : platform::Error("The box listed \"" + name + "\", which is not a plain file name.") {}
  std::string TypeName() const override { return "UnsafeRemoteName"; }
};

// True for a name that stays inside a folder: not empty, ".", "..", no "/" and no NUL.
bool IsPlainFileName(std::string_view name);

struct FetchResult {
  bool ok = false;
  bool cancelled = false;            // ended by Cancel; ok is false then too
  std::vector<std::string> fetched;  // the names this run downloaded whole, in order
  std::string error_type;            // when !ok: the error's class name ...
  std::string error_message;         // ... and its message
  // True when this run brought `name` from the box (a fresh copy, not one of an earlier run).
  bool Fetched(std::string_view name) const;
  // The "Alert!" text: the two Dutch lines, a blank line, then type name and message.
  std::string AlertText() const;
};

class BoxFetch {
 public:
  BoxFetch(BoxAddress box, std::filesystem::path local_dir, FetchObserver& observer,
           BoxBounds bounds = {});
  ~BoxFetch();
  BoxFetch(const BoxFetch&) = delete;
  BoxFetch& operator=(const BoxFetch&) = delete;

  // Runs the whole fetch and closes the connection whatever happened; never throws.
  FetchResult Run();
  // Any thread: ends a running fetch within a second (the result says cancelled).
  void Cancel();

 private:
  void FetchAll(net::FtpClient& client, FetchResult& result);
  // The names of every mask's listing, in order; raises UnsafeRemoteName.
  std::vector<std::string> ListWanted(net::FtpClient& client);

  BoxAddress box_;
  BoxBounds bounds_;
  std::filesystem::path local_dir_;
  FetchObserver& observer_;
  std::unique_ptr<FtpJob> job_;
};

}  // namespace tivolo::transfer
