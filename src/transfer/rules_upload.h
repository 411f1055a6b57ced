// Putting the edited series rules on the box: the file is stored under a temporary name and
// read back, renamed over "autotimer.xml" and read back again, as the timer list is. The rule
// plugin reads its file again when the file's time changes, so nothing is restarted. Rules
// changed on the box since they were read are not overwritten.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "transfer/box_address.h"

namespace tivolo::transfer {

inline constexpr const char* kRulesUploadName = "autotimer.xml.upload";
inline constexpr const char* kRulesBoxName = "autotimer.xml";

struct RulesUploadResult {
  bool ok = false;
  // The box's rules differ from those read: nothing was stored.
  bool changed_on_box = false;
  std::string error_type;  // when !ok
  std::string error_message;
  // What the user is told when !ok: what happened and what to do.
  std::string MessageText() const;
};

// text: the file to store. as_read: the box's file as it was read (nothing: the box had none).
// Never throws.
RulesUploadResult UploadRules(const BoxAddress& box, const BoxBounds& bounds,
                              const std::filesystem::path& local_dir, const std::string& text,
                              const std::optional<std::string>& as_read,
                              const std::function<void(const std::string&)>& log);

}  // namespace tivolo::transfer
