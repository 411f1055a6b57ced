// The live apply against the simulated receiver: a mixed set applied and checked, each trap
// of the receiver, refusals for conflicts, and failures before and after the first change.
#include <gtest/gtest.h>

#include <chrono>

#include "net/peer.h"
#include "support/test_deadline.h"
#include "web/box_sim.h"
#include "web/live_apply.h"

namespace tivolo::web {
namespace {

using namespace std::chrono_literals;
using testing::BoxSim;
using Kind = TimerOperation::Kind;
using Status = OperationStatus;

const bool kDeadline = tivolo::testing::InstallTestDeadline(60s);

// Three channels on three transponders; the box records with two tuners.
constexpr const char* kA = "1:0:1:100:10:1:C00000:0:0:0:";
constexpr const char* kB = "1:0:1:200:20:1:C00000:0:0:0:";
constexpr const char* kC = "1:0:1:300:30:1:C00000:0:0:0:";
constexpr int64_t kT0 = 2000000000;
constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;

BoxTimer Timer(const char* ref, int64_t begin, int64_t minutes, const std::string& name) {
  return {.serviceref = ref, .name = name, .begin = begin, .end = begin + minutes * kMinute};
}

const BoxTimer kLong = Timer(kA, kT0, 120, "Lang");
const BoxTimer kKept = Timer(kA, kT0 + 10 * kHour, 60, "Blijft");
const BoxTimer kGone = Timer(kB, kT0 + 20 * kHour, 60, "Weg");
const BoxTimer kOld = Timer(kC, kT0 + 30 * kHour, 60, "Oud");
const std::vector<BoxTimer> kBox = {kLong, kKept, kGone, kOld};

TimerOperation Add(const BoxTimer& t) {
  return {Kind::kAdd, {}, t};
}
TimerOperation Delete(const BoxTimer& t) {
  return {Kind::kDelete, t, {}};
}
TimerOperation Change(const BoxTimer& from, const BoxTimer& to) {
  return {Kind::kChange, from, to};
}

bool Has(const std::vector<BoxTimer>& list, const BoxTimer& t) {
  for (const BoxTimer& b : list) {
    if (b.serviceref == t.serviceref && b.begin == t.begin && b.end == t.end && b.name == t.name)
      return true;
  }
  return false;
}

TEST(LiveApplyTest, SendsDeletesChangesAddsThenWritesAndChecks) {
  BoxSim box(kBox);
  WebInterface web(box.Endpoint());
  BoxTimer renamed = kOld;
  renamed.name = "Nieuw";
  renamed.end += 15 * kMinute;
  renamed.tags = "serie";
  std::vector<std::string> steps;
  ApplyReport report = ApplyOperations(
      web, web.TimerList(),
      {Add(Timer(kB, kT0 + 40 * kHour, 30, "Erbij")), Change(kOld, renamed), Delete(kGone)},
      [&](size_t step, size_t total, const std::string& what) {
        steps.push_back(std::to_string(step) + "/" + std::to_string(total) + " " + what);
      });

  EXPECT_TRUE(report.AllApplied()) << (report.failure ? report.failure->message : "");
  EXPECT_TRUE(report.changes_sent);
  EXPECT_EQ(steps,
            (std::vector<std::string>{"1/5 Deleting \"Weg\"", "2/5 Changing \"Nieuw\"",
                                      "3/5 Adding \"Erbij\"", "4/5 Writing the box's timer list",
                                      "5/5 Reading the box's timer list back"}));
  EXPECT_TRUE(Has(report.box_list, renamed));
  EXPECT_FALSE(Has(report.box_list, kGone));
  std::string file = box.TimersFile();  // the change reached the file through the write
  EXPECT_NE(file.find("name=\"Nieuw\""), std::string::npos);
  EXPECT_NE(file.find("tags=\"serie\""), std::string::npos);
}

TEST(LiveApplyTest, ReportsWhatTheReceiverDidInsteadOfWhatItSaid) {
  BoxSim box(kBox);
  WebInterface web(box.Endpoint());
  ApplyReport report = ApplyOperations(
      web, web.TimerList(),
      {Add(Timer(kC, kT0, 30, "Zelfde begin")),  // the begin of "Lang": moved a second on
       Add(Timer(kA, kT0 + 10 * kMinute, 10, "Erbinnen")),  // within "Lang": dropped
       Add(kKept)});                                        // a double: dropped

  ASSERT_TRUE(report.verified);
  EXPECT_EQ(report.outcomes[0].status, Status::kShifted);
  EXPECT_EQ(report.outcomes[0].box_begin, kT0 + 1);
  EXPECT_EQ(report.outcomes[1].status, Status::kMissing);
  ASSERT_TRUE(report.outcomes[1].covered_by);
  EXPECT_EQ(report.outcomes[1].covered_by->name, "Lang");
  EXPECT_EQ(report.outcomes[2].status, Status::kMissing);
  EXPECT_FALSE(report.AllApplied());
}

TEST(LiveApplyTest, ARefusedTimerKeepsItsConflictsAndTheRestStaysApplied) {
  std::vector<BoxTimer> two_recording = kBox;  // "Lang" and "Tweede" take both tuners
  two_recording.push_back(Timer(kB, kT0 + 30 * kMinute, 30, "Tweede"));
  BoxSim box(two_recording);
  WebInterface web(box.Endpoint());
  BoxTimer moved = kOld;  // onto the third transponder while those two record
  moved.begin = kT0 + 40 * kMinute;
  moved.end = kT0 + 70 * kMinute;
  ApplyReport report =
      ApplyOperations(web, web.TimerList(),
                      {Add(Timer(kC, kT0 + 30 * kMinute, 30, "Derde")), Change(kOld, moved),
                       Add(Timer(kB, kT0 + 50 * kHour, 30, "Later")), Delete(kGone)});

  ASSERT_TRUE(report.verified);
  for (size_t refused : {0u, 1u}) {
    const OperationOutcome& o = report.outcomes[refused];
    EXPECT_EQ(o.status, Status::kRefused);
    ASSERT_EQ(o.conflicts.size(), 2u) << refused;  // the timers in the way, not itself
    EXPECT_EQ(o.conflicts[0].name, "Lang");
    EXPECT_EQ(o.conflicts[1].name, "Tweede");
  }
  EXPECT_EQ(report.outcomes[2].status, Status::kApplied);
  EXPECT_EQ(report.outcomes[3].status, Status::kApplied);
  // The box had put the refused change in place; it is back as it was.
  EXPECT_TRUE(Has(report.box_list, kOld));
  EXPECT_FALSE(Has(report.box_list, moved));
}

// The box puts a change in place before its conflict check; when changing it back fails
// (an error, or a refusal), the box holds it, and the outcome says so.
TEST(LiveApplyTest, ARefusedChangeThatCouldNotBeChangedBackIsLeftInPlace) {
  std::vector<BoxTimer> two_recording = kBox;
  two_recording.push_back(Timer(kB, kT0 + 30 * kMinute, 30, "Tweede"));
  BoxTimer moved = kOld;
  moved.begin = kT0 + 40 * kMinute;
  moved.end = kT0 + 70 * kMinute;
  for (const char* how : {"", ":refuse"}) {
    SCOPED_TRACE(how);
    BoxSim box(two_recording);
    box.SetSwitches({{"web_change_fails", std::to_string(moved.begin) + how}});
    WebInterface web(box.Endpoint());
    ApplyReport report = ApplyOperations(web, web.TimerList(), {Change(kOld, moved)});

    const OperationOutcome& o = report.outcomes[0];
    EXPECT_EQ(o.status, Status::kRefused);
    EXPECT_TRUE(o.left_in_place);
    EXPECT_EQ(o.conflicts.size(), 2u);
    EXPECT_TRUE(report.changes_sent);
    EXPECT_FALSE(report.AllApplied());
    EXPECT_EQ(report.failure.has_value(), std::string(how).empty());
    box.SetSwitches({});
    EXPECT_TRUE(Has(web.TimerList(), moved));
  }
}

TEST(LiveApplyTest, AFailureTellsWhetherAChangeMayHaveReachedTheBox) {
  BoxSim box(kBox);
  HttpEndpoint closed = box.Endpoint();
  closed.port = net::testing::UnusedPort();
  WebInterface nowhere(closed);
  ApplyReport refused = ApplyOperations(nowhere, kBox, {Delete(kGone)});
  ASSERT_TRUE(refused.failure);
  EXPECT_EQ(refused.failure->type_name, "WebRefusedError");
  EXPECT_FALSE(refused.changes_sent);  // another route may still be taken
  EXPECT_EQ(refused.outcomes[0].status, Status::kNotSent);

  WebInterface web(box.Endpoint());
  std::vector<BoxTimer> before = web.TimerList();
  ApplyReport cut = ApplyOperations(
      web, before,
      {Add(Timer(kB, kT0 + 40 * kHour, 30, "Een")), Add(Timer(kB, kT0 + 41 * kHour, 30, "Twee")),
       Add(Timer(kB, kT0 + 42 * kHour, 30, "Drie"))},
      [&](size_t step, size_t, const std::string&) {
        if (step == 2) box.SetSwitches({{"web_cut", "10"}});
      });
  ASSERT_TRUE(cut.failure);
  EXPECT_EQ(cut.failure->type_name, "WebCutReplyError");
  EXPECT_TRUE(cut.changes_sent);
  EXPECT_FALSE(cut.verified);
  EXPECT_EQ(cut.outcomes[0].status, Status::kAccepted);
  EXPECT_EQ(cut.outcomes[1].status, Status::kUnanswered);
  EXPECT_EQ(cut.outcomes[2].status, Status::kNotSent);
  box.SetSwitches({});
  EXPECT_EQ(web.TimerList().size(), before.size() + 2);  // the unanswered one was carried out
}

}  // namespace
}  // namespace tivolo::web
