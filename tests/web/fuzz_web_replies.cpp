// The readers of the interface's replies: any bytes give a result or a WebReplyError, never a
// crash, every timer read has a state and an after-event the enums know, and every programme
// of a channel's guide lasts some time.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "web/web_error.h"
#include "web/web_replies.h"

using namespace tivolo::web;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  try {
    for (const BoxTimer& t : ParseTimerList(body)) {
      if (static_cast<int>(t.state) > 3 || static_cast<int>(t.afterevent) > 3) std::abort();
    }
  } catch (const WebReplyError&) {
  }
  try {
    for (const auto& e : ParseEpgService(body)) {
      if (e.end <= e.begin || e.event_id <= 0) std::abort();
    }
  } catch (const WebReplyError&) {
  }
  try {
    ParseCallResult(body);
  } catch (const WebReplyError&) {
  }
  try {
    ParseAbout(body);
  } catch (const WebReplyError&) {
  }
  try {
    ParseDeviceInfo(body);
  } catch (const WebReplyError&) {
  }
  return 0;
}
