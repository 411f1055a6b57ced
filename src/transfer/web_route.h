// Which way Save && Exit goes: through the box's web interface, applied live, or by uploading
// the list and restarting the receiver. The interface is asked what it is once the box's
// files are read; the answer decides, together with the user's setting.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "web/box_timer.h"
#include "web/http_client.h"
#include "web/web_interface.h"

namespace tivolo::transfer {

// What the box's web interface said when asked.
struct WebDetection {
  bool found = false;
  web::InterfaceInfo info;  // when found
  std::string problem;      // why there is none, for the log
  // What the user is told when there is none.
  std::string absence = "no web interface";
  // None was found because the interface did not answer (no connection, no reply in time, a
  // failure half-way): whether the box has one is not known.
  bool not_answering = false;
  // The box's timers as the interface listed them, when they came within the bound.
  std::optional<std::vector<web::BoxTimer>> timers;
};

// Asks the interface at endpoint what it is, then for its timer list; both together within
// bound. Never throws: the answer says what went wrong.
WebDetection DetectWeb(const web::HttpEndpoint& endpoint,
                       std::chrono::milliseconds bound = web::kDetectBound);

// Whether a failure of the interface is an answer that the box has none this program can use
// (nothing there, or not the interface), as opposed to an answer that did not come.
bool InterfaceAbsent(const std::exception& failure);

// The same interface: host, port and scheme.
bool SameInterface(const web::HttpEndpoint& a, const web::HttpEndpoint& b);

// What the window keeps of the interface between its detection and a save.
struct WebRoute {
  web::HttpEndpoint endpoint;             // the interface asked last
  std::optional<WebDetection> detection;  // its answer; none while it is being asked
  std::vector<web::BoxTimer> box_timers;  // the box's list as the interface gave it last
  int asked = 0;                          // detections started: a late answer is dropped

  // The answer, when there is one for this interface.
  const WebDetection* AnswerFor(const web::HttpEndpoint& interface) const;
};

enum class SaveRoute {
  kLive,      // through the web interface
  kAskFirst,  // through the web interface if it answers when asked now, else kUpload
  kUpload,    // upload the list and restart the receiver
};

// An interface that did not answer is asked again first. apply_live is the user's setting;
// upload_pending says that a list this program uploaded
// waits for its restart, which only the upload route finishes (the receiver's own list in
// memory is not that list).
SaveRoute ChooseSaveRoute(bool apply_live, const WebDetection* answer, bool upload_pending);

// For the log and the status bar: "Box 192.168.1.10: web interface OWIF 1.5.2, changes are
// applied live", or "Box 192.168.1.10: no web interface: changes are uploaded and the
// receiver restarted" (or, for an interface that turned this program away, why), or "Box
// 192.168.1.10: web interface not answering: Save && Exit asks it again".
std::string SaveRouteText(const std::string& host, const WebDetection& answer, bool apply_live);

}  // namespace tivolo::transfer
