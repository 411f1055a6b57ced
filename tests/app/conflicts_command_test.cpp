// The command line's conflict check on the copies kept in a profile (the box not asked): what
// it prints, its exit code, and what it says when it cannot check.
#include "app/conflicts_command.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_files.h"
#include "transfer/tuner_read.h"

namespace tivolo::app {
namespace {

constexpr int64_t kEvening = 1797019200;  // 2026-12-11 20:00 UTC

std::string Ref(int tsid) {
  return "1:0:1:1:" + std::to_string(tsid) + ":1:C00000:0:0:0:";
}

std::string Timer(int tsid, int64_t begin, const std::string& name) {
  return "<timer begin=\"" + std::to_string(begin) + "\" end=\"" + std::to_string(begin + 3600) +
         "\" serviceref=\"" + Ref(tsid) + "\" repeated=\"0\" name=\"" + name +
         "\" description=\"\" afterevent=\"auto\" eit=\"\" disabled=\"0\" justplay=\"0\" />\n";
}

struct Case {
  const char* what;
  bool config, timers, tuners;
  int timer_count;  // on transponders 1, 2, 3, each a quarter of an hour after the one before
  int exit_code;
  std::string out;
  const char* err;  // a part of standard error
};

class ConflictsCommandTest : public ::testing::TestWithParam<Case> {};

TEST_P(ConflictsCommandTest, PrintsTheConflictsOfTheCopies) {
  const Case& c = GetParam();
  tivolo::testing::TempDir dir;
  const std::string local = dir.Path() + "/";
  if (c.config)
    tivolo::testing::WriteFile(local + "config.ini",
                               "[DB7025]\nIp=127.0.0.1\nUTC_Auto=0\nUTC_Offset=0\n");
  if (c.timers) {
    std::string list = "<?xml version=\"1.0\" ?>\n<timers>\n";
    const char* names[] = {"Een", "Twee", "Drie"};
    for (int i = 0; i < c.timer_count; ++i)
      list += Timer(i + 1, kEvening + i * 900, names[i]);
    tivolo::testing::WriteFile(local + "timers.xml", list + "</timers>\n");
  }
  if (c.tuners)
    tivolo::testing::WriteFile(local + transfer::kTunerCopyName,
                               "NIM Socket 0:\n\tType: DVB-S2\nNIM Socket 1:\n\tType: DVB-S2\n");
  ConflictsRun run{.config_file = local + "config.ini", .local_dir = local, .ask_box = false};
  run.now = kEvening - 86400;
  const ConflictsOutput out = RunConflictsCommand(run);
  EXPECT_EQ(out.exit_code, c.exit_code) << out.err;
  EXPECT_EQ(out.out, c.out);
  EXPECT_NE(out.err.find(c.err), std::string::npos) << out.err;
}

INSTANTIATE_TEST_SUITE_P(
    Copies, ConflictsCommandTest,
    ::testing::Values(Case{"none", true, true, true, 2, kNoConflicts, "", "the box is not asked"},
                      Case{"one", true, true, true, 3, kConflictsFound,
                           "2026-12-11 20:30 " + Ref(3) + " 1797021000 1797024600 Drie\n",
                           "Note: the timer list checked was fetched"},
                      Case{"no configuration", false, true, true, 3, kCannotCheck, "",
                           "set the box up in its configuration"},
                      Case{"no timer list", true, false, true, 3, kCannotCheck, "",
                           "No copy of the box's timer list"},
                      Case{"no tuners", true, true, false, 3, kCannotCheck, "",
                           "tuners are not known"}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name = info.param.what;
      for (char& ch : name)
        if (ch == ' ') ch = '_';
      return name;
    });

}  // namespace
}  // namespace tivolo::app
