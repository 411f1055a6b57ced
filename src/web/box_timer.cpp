#include "web/box_timer.h"

#include <array>
#include <cctype>
#include <sstream>

namespace tivolo::web {

namespace {
constexpr std::array<std::string_view, 4> kAfterEventNames = {"nothing", "standby", "deepstandby",
                                                              "auto"};
constexpr int kReferenceFields = 11;
}  // namespace

std::string_view AfterEventName(AfterEvent event) {
  return kAfterEventNames.at(static_cast<size_t>(event));
}

std::optional<AfterEvent> AfterEventFromName(std::string_view name) {
  for (size_t i = 0; i < kAfterEventNames.size(); ++i) {
    if (kAfterEventNames[i] == name) return static_cast<AfterEvent>(i);
  }
  return std::nullopt;
}

std::string_view StatusText(const BoxTimer& timer) {
  switch (timer.state) {
    case TimerState::kRunning:
      return "running";
    case TimerState::kEnded:
      return "done";
    case TimerState::kWaiting:
    case TimerState::kPrepared:
      break;
  }
  return timer.disabled ? "disabled" : "waiting";
}

std::string ReferenceHead(std::string_view serviceref) {
  std::string head;
  int fields = 0;
  for (char c : serviceref) {
    if (c == ':' && ++fields == kReferenceFields) break;
    head += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return head;
}

std::string TagWords(const std::string& tags) {
  std::istringstream in(tags);
  std::string words;
  for (std::string word; in >> word;)
    words += (words.empty() ? "" : " ") + word;
  return words;
}

}  // namespace tivolo::web
