// Which tuners the box has, read in the background once the window shows: from the web
// interface's about reply when it answered, otherwise with "cat" of the socket list over the
// telnet login (read only, never the kill), joined with the tuners' set-up from the settings
// file the guide fetch brought. The last answer is kept in the profile folder and used when the
// box cannot be asked. Qt-free; blocks for at most the bound.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "plan/tuner_setup.h"
#include "transfer/box_address.h"
#include "transfer/receiver_restart.h"

namespace tivolo::transfer {

// The copy of the last answer: the socket list's text, or the about reply (JSON).
inline constexpr const char* kTunerCopyName = "tuners";
inline constexpr const char* kNimSocketsCommand = "cat /proc/bus/nim_sockets\n";

struct TunerRead {
  plan::TunerSet set;   // not Known() when neither the box nor a copy told
  std::string source;   // "the box's web interface", "the box", "the copy of 09-12-26 18:05"
  std::string problem;  // why the box was not asked or did not answer; empty when it did
};

// about_json: the interface's about reply when it answered (empty: ask by telnet, reporting
// to watch, which may be null or cancel the read).
TunerRead ReadBoxTuners(const BoxAddress& box, const std::string& about_json,
                        const std::filesystem::path& local_dir, std::chrono::milliseconds bound,
                        const std::function<void(const std::string&)>& log,
                        const TelnetWatch* watch = nullptr);

// The set from the copy alone (the box is not asked): for the command line's fallback.
TunerRead ReadTunerCopy(const std::filesystem::path& local_dir);

}  // namespace tivolo::transfer
