// The live save against the simulated receiver and its web interface: a save fully applied
// (a running timer's end moved by a change), a conflict refused while the rest is applied and
// the refused change saved again later as a change, the question before the first change, a
// stop after it, and a box without the interface.
#include "transfer/live_save.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>

#include "plan/nim_sockets.h"
#include "support/test_deadline.h"
#include "support/test_files.h"
#include "web/box_sim.h"

namespace tivolo::transfer {
namespace {

using namespace std::chrono_literals;
using testing::BoxSim;
using web::BoxTimer;

const bool kDeadline = tivolo::testing::InstallTestDeadline(90s);

// Three channels on three transponders; the box records with two tuners.
constexpr const char* kA = "1:0:1:100:10:1:C00000:0:0:0:";
constexpr const char* kB = "1:0:1:200:20:1:C00000:0:0:0:";
constexpr const char* kC = "1:0:1:300:30:1:C00000:0:0:0:";
constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
const int64_t kNow = static_cast<int64_t>(std::time(nullptr));
const int64_t kT0 = kNow - kNow % kHour + 2 * kHour;

BoxTimer Timer(const char* ref, int64_t begin, int64_t minutes, const std::string& name) {
  return {.serviceref = ref, .name = name, .begin = begin, .end = begin + minutes * kMinute};
}

// A row of the table: a timer, and its place in the list read at start when it came from there.
struct Row {
  BoxTimer timer;
  std::optional<int64_t> from;
};

class Recorder : public LiveSaveObserver {
 public:
  void Progress(const std::string& step) override {
    steps += step + "; ";
    if (on_step) on_step(step);
  }
  void Log(const std::string& line) override { log += line + "\n"; }
  bool Ask(const std::string& question) override {
    questions += question + "\n";
    return answer;
  }
  std::string steps, log, questions;
  bool answer = false;
  std::function<void(const std::string&)> on_step;
};

class LiveSaveTest : public ::testing::Test {
 protected:
  // What the window hands the save: the box's list at start, the table's rows.
  SaveInput Input(const BoxSim& box, const std::vector<BoxTimer>& at_start,
                  const std::vector<Row>& rows) const {
    SaveInput input;
    const nlohmann::json& status = box.Status();
    input.box.host = "127.0.0.1";
    input.box.ftp_port = status["ftp_port"].get<uint16_t>();
    input.box.user = status["user"].get<std::string>();
    input.box.password = status["password"].get<std::string>();
    input.local_dir = dir.Path();
    input.clock.utc_auto = false;
    input.start.box = input.box;
    input.start.state = boxdata::TimerListState::kComplete;
    input.start.fetch_ok = input.start.fetched = true;
    input.start.text = testing::TimersXml(at_start);
    std::vector<BoxTimer> table;
    for (const Row& row : rows) {
      table.push_back(row.timer);
      input.timers.push_back(
          {row.timer.begin, row.timer.end, row.timer.serviceref, row.timer.name, row.from});
    }
    input.timer_list = testing::TimersXml(table);
    return input;
  }
  // Saving again the list the window shows after result, unchanged.
  SaveInput Again(const BoxSim& box, const LiveSaveResult& result) const {
    SaveInput again = Input(box, {}, {});
    again.start.text = result.box_list.value_or("");
    again.start.shown = result.shown.text;
    again.start.shown_origins = result.shown.origins;
    const TimerList shown = ReadTimerList(result.shown.text, again.clock);
    for (size_t i = 0; i < shown.timers.size(); ++i) {
      const BoxTimer row = ToBoxTimer(shown.timers[i]);
      again.timers.push_back({row.begin, row.end, row.serviceref, row.name, int64_t(i)});
    }
    again.timer_list = result.shown.text;
    return again;
  }
  LiveSaveResult Save(const BoxSim& box, SaveInput input) {
    LiveSave save(std::move(input), box.Endpoint(), recorder);
    return save.Run();
  }
  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
      ++n;
    return n;
  }

  tivolo::testing::TempDir dir;
  Recorder recorder;
};

TEST_F(LiveSaveTest, AppliedWithoutARestartAndARunningTimerIsChangedNotReplaced) {
  const BoxTimer running = Timer(kA, kNow - 10 * kMinute, 30, "Loopt");
  const BoxTimer gone = Timer(kB, kT0, 60, "Weg");
  const BoxTimer kept = Timer(kC, kT0 + kHour, 60, "Blijft");
  BoxSim box({running, gone, kept});
  BoxTimer longer = running;
  longer.end += 45 * kMinute;
  BoxTimer added = Timer(kB, kT0 + 5 * kHour, 30, "Erbij");
  added.eit = 4711;  // the box takes the event from its own guide, which has none
  const LiveSaveResult result =
      Save(box, Input(box, {running, gone, kept}, {{longer, 0}, {kept, 2}, {added, {}}}));

  ASSERT_EQ(result.outcome, LiveOutcome::kApplied) << result.message << recorder.log;
  EXPECT_TRUE(result.EndProgram());
  const std::string web_log = box.WebLog();
  EXPECT_EQ(Count(web_log, "/api/timerchange?"), 1) << web_log;
  EXPECT_NE(web_log.find("endOld=" + std::to_string(running.end)), std::string::npos);
  EXPECT_EQ(Count(web_log, "/api/timerdelete?"), 1);
  EXPECT_EQ(Count(web_log, "/api/timeradd?"), 1);
  EXPECT_EQ(Count(web_log, "/api/timerlistwrite"), 1);
  // Not restarted, and the file the receiver wrote is what the window gets.
  EXPECT_EQ(box.LiveStatus()["kills"], 0);
  ASSERT_TRUE(result.box_list);
  std::string held = *result.box_list;
  std::erase(held, '\r');  // the ASCII transfer gives the lines our own ends
  EXPECT_EQ(held, box.TimersFile());
  EXPECT_NE(result.box_list->find("end=\"" + std::to_string(longer.end) + "\""), std::string::npos);
  EXPECT_EQ(result.shown.undone, 0u);
  EXPECT_NE(recorder.steps.find("Changing \"Loopt\" (2 of 5)"), std::string::npos)
      << recorder.steps;
  EXPECT_NE(web_log.find("eit=4711"), std::string::npos);
  EXPECT_NE(recorder.log.find("\"Erbij\" with event id 0, not 4711"), std::string::npos)
      << recorder.log;
  EXPECT_EQ(Count(recorder.log, "with event id"), 1);
}

// Interfaces before 1.4 take "nothing" after a recording for "auto": such timers are refused
// before anything is sent, and only there.
TEST_F(LiveSaveTest, AnInterfaceThatCannotDoNothingAfterwardsIsNotSentSuchTimers) {
  BoxSim box({});
  struct Case {
    const char* version;
    web::AfterEvent after;
    LiveOutcome outcome;
  };
  int64_t begin = kT0;
  auto adds = [&] {
    try {
      return Count(box.WebLog(), "/api/timeradd?");
    } catch (const std::exception&) {
      return 0;  // no request yet
    }
  };
  for (const Case& c : {Case{"OWIF 1.3.5", web::AfterEvent::kNothing, LiveOutcome::kRefused},
                        Case{"OWIF 1.3.5", web::AfterEvent::kStandby, LiveOutcome::kApplied},
                        Case{"OWIF 1.4.0", web::AfterEvent::kNothing, LiveOutcome::kApplied}}) {
    SCOPED_TRACE(std::string(c.version) + " " + std::string(web::AfterEventName(c.after)));
    box.SetSwitches({{"webif_version", c.version}});
    BoxTimer timer = Timer(kA, begin += kHour, 30, "Daarna");
    timer.afterevent = c.after;
    const int adds_before = adds();
    const LiveSaveResult result = Save(box, Input(box, {}, {{timer, {}}}));
    EXPECT_EQ(result.outcome, c.outcome) << result.message;
    const bool refused = c.outcome == LiveOutcome::kRefused;
    EXPECT_EQ(adds(), adds_before + (refused ? 0 : 1));
    EXPECT_EQ(result.message.find("\"Daarna\"") != std::string::npos, refused) << result.message;
  }
}

TEST_F(LiveSaveTest, ARefusedTimerIsNamedWithItsConflictsAndSavedAgainLater) {
  const BoxTimer first = Timer(kA, kT0, 120, "Lang");
  const BoxTimer second = Timer(kB, kT0 + 30 * kMinute, 60, "Tweede");
  const BoxTimer later = Timer(kC, kT0 + 10 * kHour, 60, "Later");
  BoxSim box({first, second, later});
  BoxTimer moved = later;  // onto the third transponder while the two record
  moved.begin = kT0 + 40 * kMinute;
  moved.end = kT0 + 70 * kMinute;
  const BoxTimer fine = Timer(kC, kT0 + 20 * kHour, 30, "Past wel");
  SaveInput input =
      Input(box, {first, second, later}, {{first, 0}, {second, 1}, {moved, 2}, {fine, {}}});
  // Our check counts a third tuner the box lacks: the log says that the box saw otherwise.
  input.tuners.tuners = plan::BuildTunerSet(
      plan::ParseNimSockets("NIM Socket 0:\n\tType: DVB-S2\nNIM Socket 1:\n\tType: DVB-S2\n"
                            "NIM Socket 2:\n\tType: DVB-S2\n"),
      nullptr);
  const LiveSaveResult result = Save(box, std::move(input));

  ASSERT_EQ(result.outcome, LiveOutcome::kNotApplied) << result.message << recorder.log;
  EXPECT_FALSE(result.EndProgram());
  const size_t difference = recorder.log.find("which found no conflict; the box named ");
  EXPECT_NE(difference, std::string::npos) << recorder.log;
  for (const char* name : {"\"Lang\"; ", "\"Tweede\", the check did not."})
    EXPECT_NE(recorder.log.find(name, difference), std::string::npos) << recorder.log;
  EXPECT_NE(result.message.find("\"Later\": refused: it collides with "), std::string::npos)
      << result.message;
  EXPECT_NE(result.message.find("\"Lang\"; "), std::string::npos);
  EXPECT_NE(result.message.find("\"Tweede\""), std::string::npos);
  EXPECT_EQ(result.message.find("Past wel"), std::string::npos);  // applied: not named
  EXPECT_NE(box.TimersFile().find("Past wel"), std::string::npos);
  // Shown: the box's list now, with the refused change in place of the box's timer.
  EXPECT_EQ(result.shown.undone, 1u);
  ASSERT_EQ(result.shown.origins.size(), 1u);
  EXPECT_NE(result.shown.text.find("begin=\"" + std::to_string(moved.begin)), std::string::npos);
  EXPECT_EQ(result.shown.text.find("begin=\"" + std::to_string(later.begin)), std::string::npos);

  // With a tuner more, saving the list as shown sends the refused change once more, as a
  // change of the box's timer.
  box.SetSwitches({{"tuners", "3"}});
  const LiveSaveResult second_save = Save(box, Again(box, result));
  ASSERT_EQ(second_save.outcome, LiveOutcome::kApplied) << second_save.message << recorder.log;
  // The refused change, its undoing, and the change now.
  EXPECT_EQ(Count(box.WebLog(), "/api/timerchange?"), 3);
  EXPECT_EQ(Count(box.WebLog(), "/api/timerdelete?"), 0);
  EXPECT_NE(box.TimersFile().find("begin=\"" + std::to_string(moved.begin)), std::string::npos);
}

// An add the box moved a second on (another timer begins then) is on the box, whether the
// box's file could not be read after the save or the add's answer was lost: saving the list
// shown afterwards does not send it again.
TEST_F(LiveSaveTest, AnAddTheBoxMovedASecondOnIsNeverSentAgain) {
  const BoxTimer first = Timer(kA, kT0, 120, "Lang");
  const BoxTimer second = Timer(kB, kT0 + 30 * kMinute, 60, "Tweede");
  const BoxTimer twin = Timer(kC, kT0, 20, "Dubbel");                     // begins with "Lang"
  const BoxTimer too_many = Timer(kC, kT0 + 40 * kMinute, 30, "Teveel");  // no tuner left
  struct Case {
    const char* name;
    nlohmann::json switches;  // during the first save
    const char* cut_at;       // the step whose answer breaks off, if any
    LiveOutcome outcome;
  };
  for (const Case& c :
       {Case{"file unreadable", {{"refuse_login", "ftp"}}, nullptr, LiveOutcome::kNotApplied},
        Case{"answer lost", {}, "Adding \"Dubbel\"", LiveOutcome::kStopped}}) {
    SCOPED_TRACE(c.name);
    BoxSim box({first, second});
    box.SetSwitches(c.switches);
    recorder.on_step = [&](const std::string& step) {
      if (c.cut_at && step.rfind(c.cut_at, 0) == 0) box.SetSwitches({{"web_cut", "10"}});
    };
    const LiveSaveResult result = Save(
        box, Input(box, {first, second}, {{first, 0}, {second, 1}, {twin, {}}, {too_many, {}}}));
    recorder.on_step = nullptr;
    box.SetSwitches({});
    EXPECT_EQ(result.outcome, c.outcome) << result.message << recorder.log;
    ASSERT_TRUE(result.box_list) << result.message;
    EXPECT_NE(result.box_list->find("begin=\"" + std::to_string(kT0 + 1)), std::string::npos);

    Save(box, Again(box, result));
    EXPECT_EQ(Count(box.WebLog(), "name=Dubbel"), 1) << box.WebLog();
  }
}

// The box keeps a change it refused when changing it back fails: its file shows the change,
// which is still no change applied.
TEST_F(LiveSaveTest, ARefusedChangeTheBoxKeptIsNotToldAsApplied) {
  const BoxTimer first = Timer(kA, kT0, 120, "Lang");
  const BoxTimer second = Timer(kB, kT0 + 30 * kMinute, 60, "Tweede");
  const BoxTimer later = Timer(kC, kT0 + 10 * kHour, 60, "Later");
  BoxSim box({first, second, later});
  BoxTimer moved = later;
  moved.begin = kT0 + 40 * kMinute;
  moved.end = kT0 + 70 * kMinute;
  box.SetSwitches({{"web_change_fails", std::to_string(moved.begin)}});
  const LiveSaveResult result =
      Save(box, Input(box, {first, second, later}, {{first, 0}, {second, 1}, {moved, 2}}));

  EXPECT_EQ(result.outcome, LiveOutcome::kStopped) << result.message;
  EXPECT_NE(result.message.find("Changing it back failed"), std::string::npos) << result.message;
  EXPECT_EQ(result.message.find("as the box's file shows"), std::string::npos) << result.message;
  EXPECT_NE(box.TimersFile().find("begin=\"" + std::to_string(moved.begin)), std::string::npos);
}

TEST_F(LiveSaveTest, AFailureBeforeTheFirstChangeAsksForTheUploadRoute) {
  const BoxTimer kept = Timer(kA, kT0, 60, "Blijft");
  BoxSim box({kept}, {"web_forbidden"});
  const std::string before = box.TimersFile();
  const SaveInput input = Input(box, {kept}, {{kept, 0}, {Timer(kB, kT0, 60, "Nieuw"), {}}});
  recorder.answer = true;
  EXPECT_EQ(Save(box, input).outcome, LiveOutcome::kUseUpload);
  EXPECT_NE(recorder.questions.find("Upload the timer list and restart the receiver instead?"),
            std::string::npos);
  recorder.answer = false;
  const LiveSaveResult declined = Save(box, input);
  EXPECT_EQ(declined.outcome, LiveOutcome::kDeclined);
  EXPECT_FALSE(declined.MessageIsError());
  EXPECT_EQ(box.TimersFile(), before);
  EXPECT_EQ(box.WebLog().find("/api/timeradd"), std::string::npos);

  // Asked first, a box without the interface goes the upload way without a question.
  BoxSim bare({kept}, {"no_web=404"});
  recorder.questions.clear();
  LiveSave save(Input(bare, {kept}, {{kept, 0}}), bare.Endpoint(), recorder);
  save.DetectFirst();
  const LiveSaveResult none = save.Run();
  EXPECT_EQ(none.outcome, LiveOutcome::kNoInterface);
  EXPECT_TRUE(none.UseUpload());
  EXPECT_EQ(recorder.questions, "");
}

TEST_F(LiveSaveTest, AFailureAfterTheFirstChangeStopsAndKeepsWhatWasNotApplied) {
  const BoxTimer kept = Timer(kA, kT0, 60, "Blijft");
  BoxSim box({kept});
  const std::vector<Row> rows = {{kept, 0},
                                 {Timer(kB, kT0 + 2 * kHour, 30, "Een"), {}},
                                 {Timer(kB, kT0 + 3 * kHour, 30, "Twee"), {}},
                                 {Timer(kB, kT0 + 4 * kHour, 30, "Drie"), {}}};
  std::optional<LiveSaveRecord> during;  // the record as the second call goes out
  recorder.on_step = [&](const std::string& step) {
    if (step.find("(2 of ") == std::string::npos) return;
    during = ReadLiveSave(dir.Path());
    box.SetSwitches({{"web_cut", "10"}});
  };
  const LiveSaveResult result = Save(box, Input(box, {kept}, rows));

  ASSERT_TRUE(during);
  ASSERT_EQ(during->sent.size(), 2u);
  EXPECT_NE(during->sent[1].find("\"Twee\""), std::string::npos);
  EXPECT_EQ(during->not_sent.size(), 1u);
  EXPECT_FALSE(ReadLiveSave(dir.Path()));  // the box's list was read back
  ASSERT_EQ(result.outcome, LiveOutcome::kStopped) << result.message;
  EXPECT_EQ(recorder.questions, "");  // too late for another route
  EXPECT_NE(result.message.find("Applied:\n- adding "), std::string::npos) << result.message;
  EXPECT_NE(result.message.find("\"Drie\": not sent"), std::string::npos) << result.message;
  // The box carried out the unanswered add; only the one never sent is still to save.
  ASSERT_TRUE(result.box_list);
  EXPECT_NE(result.box_list->find("Twee"), std::string::npos);
  EXPECT_EQ(result.shown.undone, 1u);
  EXPECT_NE(result.shown.text.find("Drie"), std::string::npos);

  // Neither the file nor the interface answers after the cut: the record stays, as it ends.
  box.SetSwitches({});
  recorder.on_step = [&](const std::string& step) {
    if (step.find("(1 of ") != std::string::npos)
      box.SetSwitches({{"web_cut", "10"}, {"refuse_login", "ftp"}});
  };
  const LiveSaveResult unknown =
      Save(box, Input(box, {kept}, {{kept, 0}, {Timer(kC, kT0 + 5 * kHour, 30, "Vier"), {}}}));
  EXPECT_FALSE(unknown.box_list);
  EXPECT_NE(unknown.message.find("Reload from box"), std::string::npos) << unknown.message;
  const std::optional<LiveSaveRecord> kept_record = ReadLiveSave(dir.Path());
  ASSERT_TRUE(kept_record);
  ASSERT_EQ(kept_record->sent.size(), 1u);
  EXPECT_NE(kept_record->sent[0].find("\"Vier\""), std::string::npos);
}

// The box's state per row, for the grid: by identity, so a repeated timer the box moved on
// to its next day is still found, and two rows alike take two of the box's timers.
TEST(TimerStatesTest, TheBoxsStateGoesToTheRowOfEachTimer) {
  platform::ClockSettings clock;
  clock.utc_auto = false;
  BoxTimer weekly = Timer(kA, kT0, 30, "Wekelijks");
  weekly.repeated = 1;
  BoxTimer moved_on = weekly;  // as the box holds it a week later
  moved_on.begin += 7 * 24 * kHour;
  moved_on.end += 7 * 24 * kHour;
  BoxTimer running = Timer(kB, kT0, 60, "Loopt");
  running.state = web::TimerState::kRunning;
  BoxTimer off = Timer(kC, kT0, 60, "Uit");
  off.disabled = true;
  const BoxTimer only_here = Timer(kC, kT0 + kHour, 60, "Nieuw");
  EXPECT_EQ(TimerStates({running, moved_on, off, running},
                        testing::TimersXml({weekly, running, only_here, off, running}), clock),
            (std::vector<std::string>{"waiting", "running", "", "disabled", "running"}));
}

}  // namespace
}  // namespace tivolo::transfer
