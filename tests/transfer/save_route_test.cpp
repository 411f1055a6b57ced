// Which way a save goes, from the user's setting, the web interface's answer and an upload
// that waits for its restart, and the line that tells the user so.
#include <gtest/gtest.h>

#include "transfer/web_route.h"

namespace tivolo::transfer {
namespace {

enum class Answer { kNone, kFound, kAbsent };

WebDetection Detection(Answer answer) {
  WebDetection d;
  d.found = answer == Answer::kFound;
  d.info.version = "OWIF 1.5.2";
  return d;
}

struct RouteCase {
  bool apply_live;
  Answer answer;
  bool upload_pending;
  SaveRoute expected;
};

TEST(SaveRouteTest, ChooseSaveRoute) {
  const RouteCase cases[] = {
      // Live apply off: always the upload, whatever the interface said.
      {false, Answer::kNone, false, SaveRoute::kUpload},
      {false, Answer::kFound, false, SaveRoute::kUpload},
      {false, Answer::kAbsent, false, SaveRoute::kUpload},
      // On: the interface's answer decides; none yet means asking at the save.
      {true, Answer::kNone, false, SaveRoute::kAskFirst},
      {true, Answer::kFound, false, SaveRoute::kLive},
      {true, Answer::kAbsent, false, SaveRoute::kUpload},
      // An upload waiting for its restart is finished only by another upload.
      {true, Answer::kNone, true, SaveRoute::kUpload},
      {true, Answer::kFound, true, SaveRoute::kUpload},
      {false, Answer::kFound, true, SaveRoute::kUpload},
  };
  for (const RouteCase& c : cases) {
    const WebDetection detection = Detection(c.answer);
    const WebDetection* answer = c.answer == Answer::kNone ? nullptr : &detection;
    EXPECT_EQ(ChooseSaveRoute(c.apply_live, answer, c.upload_pending), c.expected)
        << "apply_live " << c.apply_live << ", answer " << static_cast<int>(c.answer)
        << ", upload pending " << c.upload_pending;
  }
}

struct TextCase {
  Answer answer;
  const char* absence;  // nullptr: the default
  bool apply_live;
  const char* expected;
};

TEST(SaveRouteTest, SaveRouteText) {
  const TextCase cases[] = {
      {Answer::kFound, nullptr, true,
       "Box 10.0.0.7: web interface OWIF 1.5.2, changes are applied live"},
      {Answer::kFound, nullptr, false,
       "Box 10.0.0.7: web interface OWIF 1.5.2, live apply is off: changes are uploaded and "
       "the receiver restarted"},
      {Answer::kAbsent, nullptr, true,
       "Box 10.0.0.7: no web interface: changes are uploaded and the receiver restarted"},
      {Answer::kAbsent, "the web interface refused the login", true,
       "Box 10.0.0.7: the web interface refused the login: changes are uploaded and the "
       "receiver restarted"},
      {Answer::kAbsent, nullptr, false,
       "Box 10.0.0.7: no web interface: changes are uploaded and the receiver restarted"},
  };
  for (const TextCase& c : cases) {
    WebDetection detection = Detection(c.answer);
    if (c.absence) detection.absence = c.absence;
    EXPECT_EQ(SaveRouteText("10.0.0.7", detection, c.apply_live), c.expected);
  }
}

}  // namespace
}  // namespace tivolo::transfer
