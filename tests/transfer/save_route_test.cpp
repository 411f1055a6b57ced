// Which way a save goes, from the user's setting, the web interface's answer and an upload
// that waits for its restart, and the line that tells the user so.
#include <gtest/gtest.h>

#include "plan/nim_sockets.h"
#include "transfer/list_conflicts.h"
#include "transfer/refusal_comparison.h"
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

// The box's conflict list for a refused call against our tuner check of the list it held.
namespace tivolo::transfer {
namespace {

TunerFacts Tuners(int count) {
  std::string sockets;
  for (int i = 0; i < count; ++i)
    sockets += "NIM Socket " + std::to_string(i) + ":\n\tType: DVB-S2\n";
  return {plan::BuildTunerSet(plan::ParseNimSockets(sockets), nullptr), {}};
}

TEST(RefusalComparisonTest, NamesWhatOnlyOneSideSaw) {
  constexpr int64_t kT0 = 2000000000, kMin = 60;
  const auto timer = [](int tsid, int64_t begin, int64_t minutes, const char* name) {
    return web::BoxTimer{.serviceref = "1:0:1:1:" + std::to_string(tsid) + ":1:C00000:0:0:0:",
                         .name = name,
                         .begin = begin,
                         .end = begin + minutes * kMin};
  };
  const web::BoxTimer lang = timer(1, kT0, 120, "Lang"),
                      tweede = timer(2, kT0 + 30 * kMin, 60, "Tweede");
  const web::BoxTimer extra = timer(4, kT0, 60, "Elders");
  const auto named = [](std::vector<web::BoxTimer> ts) {
    std::vector<web::TimerConflict> out;
    for (const web::BoxTimer& t : ts)
      out.push_back({t.serviceref, "", t.name, t.begin, t.end});
    return out;
  };
  const web::TimerOperation add{.kind = web::TimerOperation::Kind::kAdd,
                                .after = timer(3, kT0 + 40 * kMin, 30, "Later")};
  struct Case {
    const char* what;
    int tuners;
    std::vector<web::BoxTimer> box_named;
    bool differs, ours_found;
    std::vector<std::string> box_only, ours_only;
  };
  const Case cases[] = {
      {"the same", 2, {lang, tweede}, false, true, {}, {}},
      {"the box saw fewer", 2, {lang}, true, true, {}, {"Tweede"}},
      {"the box saw one not in the list", 2, {lang, tweede, extra}, true, true, {"Elders"}, {}},
      {"we saw no conflict", 3, {tweede, lang}, true, false, {"Lang", "Tweede"}, {}},
  };
  const auto names = [](const std::vector<web::BoxTimer>& ts) {
    std::vector<std::string> out;
    for (const web::BoxTimer& t : ts)
      out.push_back(t.name);
    return out;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RefusalComparison r =
        CompareRefusal({lang, tweede}, add, named(c.box_named), Tuners(c.tuners), {}, kT0 - 3600);
    EXPECT_EQ(r.Differs(), c.differs);
    EXPECT_EQ(r.we_found_conflict, c.ours_found);
    EXPECT_EQ(names(r.box_only), c.box_only);
    EXPECT_EQ(names(r.ours_only), c.ours_only);
  }
  // Without the tuners nothing is compared; a delete is never refused for a conflict.
  EXPECT_FALSE(CompareRefusal({lang, tweede}, add, {}, TunerFacts{}, {}, kT0).compared);
  std::vector<web::BoxTimer> held{lang, tweede};
  ApplyToHeld(held, {.kind = web::TimerOperation::Kind::kDelete, .before = lang}, {});
  ApplyToHeld(held, add, {.status = web::OperationStatus::kShifted, .box_begin = kT0 + 1});
  EXPECT_EQ(names(held), (std::vector<std::string>{"Tweede", "Later"}));
  EXPECT_EQ(held.back().begin, kT0 + 1);
}

// The question before a save, asked of the list as it will stand on the box.
TEST(MergedListQuestionTest, AsksOnlyWhenTheKnownTunersDoNotSuffice) {
  constexpr int64_t kT0 = 2000000000;
  std::string xml = "<timers>\n";
  for (int tsid : {1, 2, 3}) {
    xml += "<timer begin=\"" + std::to_string(kT0 + tsid * 60) + "\" end=\"" +
           std::to_string(kT0 + 3600) + "\" serviceref=\"1:0:1:1:" + std::to_string(tsid) +
           ":1:C00000:0:0:0:\" repeated=\"0\" name=\"T" + std::to_string(tsid) +
           "\" disabled=\"0\" justplay=\"0\" />\n";
  }
  const std::vector<ListedTimer> merged = ReadTimerList(xml + "</timers>\n", {}).timers;
  const TimerLabeller labeller({}, {{"1:0:1:1:3:1:C00000:0:0:0:", "Drie"}});
  const std::string live = MergedListQuestion(merged, Tuners(2), labeller, {}, kT0 - 60, true);
  EXPECT_NE(live.find("\"T3\" (Drie)"), std::string::npos) << live;
  EXPECT_NE(live.find("The box will refuse these."), std::string::npos) << live;
  EXPECT_NE(MergedListQuestion(merged, Tuners(2), labeller, {}, kT0 - 60, false)
                .find("The receiver will switch these off"),
            std::string::npos);
  EXPECT_EQ(MergedListQuestion(merged, Tuners(3), labeller, {}, kT0 - 60, true), "");
  EXPECT_EQ(MergedListQuestion(merged, TunerFacts{}, labeller, {}, kT0 - 60, true), "");
  // Ended before now: the receiver checks them no more.
  EXPECT_EQ(MergedListQuestion(merged, Tuners(2), labeller, {}, kT0 + 7200, true), "");
}

}  // namespace
}  // namespace tivolo::transfer
