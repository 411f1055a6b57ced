// The merge of the list read at start, the box's list now and the user's list: layout-only
// rewrites by the box change nothing, what the box did is kept, and only a timer both sides
// touched is a conflict. Also which recordings run, and what a restarted box must still hold.
#include "transfer/timer_merge.h"

#include <gtest/gtest.h>

#include "transfer/live_plan.h"
#include "transfer/running_timers.h"

namespace tivolo::transfer {
namespace {

constexpr const char* kRef = "1:0:19:2B66:3F3:1:C00000:0:0:0:";
constexpr const char* kOther = "1:0:1:B2:C:3E8:FFFF0000:0:0:0:";

// Amsterdam's rules: UTC+1, daylight time from the last Sunday of March 02:00 to the last
// Sunday of October 03:00.
platform::ClockSettings Amsterdam() {
  platform::ClockSettings clock;
  clock.time_zone.bias = -60;
  clock.time_zone.daylight_bias = -60;
  clock.time_zone.daylight_date = {0, 3, 0, 5, 2, 0, 0, 0};
  clock.time_zone.standard_date = {0, 10, 0, 5, 3, 0, 0, 0};
  return clock;
}

struct T {
  int64_t begin = 1766000000;
  int64_t end = 1766003600;
  const char* name = "News";
  const char* ref = kRef;
  int repeated = 0;
  const char* extra = "";
  const char* eit = "";
  const char* children = "";  // log lines, each ended by "\n"
};

// Our own writer's layout.
std::string Ours(const T& t) {
  return "<timer begin=\"" + std::to_string(t.begin) + "\" end=\"" + std::to_string(t.end) +
         "\" serviceref=\"" + t.ref + "\" repeated=\"" + std::to_string(t.repeated) + "\" name=\"" +
         t.name + "\" description=\"\" afterevent=\"nothing\" eit=\"" + t.eit + "\" " +
         "disabled=\"0\" justplay=\"0\"" + t.extra + ">\r\n" + t.children + "</timer>\r\n";
}

// A receiver's own layout: tabs, its attribute order, single quotes, self-closing, and the
// empty or default attributes left out.
std::string Receivers(const T& t) {
  return "\t<timer name='" + std::string(t.name) + "' serviceref='" + t.ref + "' begin='" +
         std::to_string(t.begin) + "' end='" + std::to_string(t.end) + "' repeated='" +
         std::to_string(t.repeated) + "' afterevent='nothing' disabled='0'" +
         (*t.eit ? std::string(" eit='") + t.eit + "'" : "") + t.extra +
         (*t.children ? std::string(">\n") + t.children + "\t</timer>\n" : " />\n");
}

std::vector<ListedTimer> List(const std::vector<std::string>& timers) {
  std::string text = "<?xml version=\"1.0\" ?>\n<timers>\n";
  for (const std::string& t : timers)
    text += t;
  const TimerList list = ReadTimerList(text + "</timers>\n", Amsterdam());
  EXPECT_TRUE(list.complete);
  return list.timers;
}

std::string Names(const std::vector<ListedTimer>& timers) {
  std::string out;
  for (const ListedTimer& t : timers)
    out += t.values.name + ";";
  return out;
}

const TimerLabeller kLabeller(Amsterdam(), {{kRef, "NPO 1"}});

TEST(TimerMerge, ALayoutOfTheBoxAloneChangesNothing) {
  const T a{1766000000, 1766003600, "News &amp; Weather"}, b{1766010000, 1766013600, "Film"};
  const T r{1765900000, 1765903600, "Daily", kRef, 31};
  const std::vector<ListedTimer> base = List({Ours(a), Ours(b), Ours(r)});
  std::string a_box = Receivers(a);
  a_box.replace(a_box.find("&amp;"), 5, "&#38;");
  EXPECT_TRUE(SameTimers(base, List({Receivers(b), Receivers(r), a_box})));
  const MergeResult m = MergeTimerLists(base, List({Receivers(r), a_box, Receivers(b)}), base);
  EXPECT_FALSE(m.HasConflicts());
  EXPECT_TRUE(MergeLogLines(m, kLabeller).empty());
  EXPECT_TRUE(SameTimers(m.merged, base));
  // An attribute the user's list kept but the box dropped is a change, though.
  T kept = a;
  kept.extra = " marginBefore=\"5\"";
  EXPECT_FALSE(SameTimers(List({Ours(kept)}), List({Receivers(a)})));
}

TEST(TimerMerge, WhatTheBoxDidIsKeptWithoutAQuestion) {
  const T a{1766000000, 1766003600, "A"}, b{1766010000, 1766013600, "B"},
      ended{1765000000, 1765003600, "Ended"}, added{1766020000, 1766023600, "Added on box"};
  // The box renamed b and added an attribute of its own.
  T b_disabled = b;
  b_disabled.name = "B on box";
  b_disabled.extra = " pipzap=\"1\"";
  const T mine{1766030000, 1766033600, "Mine"};
  T a_renamed = a;
  a_renamed.name = "A renamed";
  const MergeResult m =
      MergeTimerLists(List({Ours(a), Ours(b), Ours(ended)}),
                      List({Receivers(a), Receivers(b_disabled), Receivers(added)}),
                      List({Ours(a_renamed), Ours(b), Ours(ended), Ours(mine)}));
  EXPECT_FALSE(m.HasConflicts());
  EXPECT_EQ(Names(m.merged), "A renamed;B on box;Mine;Added on box;");
  EXPECT_EQ(m.merged[1].content.at("+pipzap"), "1");
  const std::vector<std::string> log = MergeLogLines(m, kLabeller);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].substr(0, 48), "kept 1 timer added on the box: NPO 1 Thu 18-12-2");
  EXPECT_NE(log[0].find("\"Added on box\""), std::string::npos);
  EXPECT_EQ(log[1].substr(0, 36), "kept 1 timer as changed on the box: ");
  EXPECT_EQ(log[2].substr(0, 58), "left out 1 timer that ended or was deleted on the box: NPO");
}

TEST(TimerMerge, ATimerBothSidesTouchedIsAConflict) {
  const T a{1766000000, 1766003600, "A"}, b{1766010000, 1766013600, "B"},
      c{1766020000, 1766023600, "C"}, d{1766030000, 1766033600, "D"};
  T a_box = a, a_ours = a, b_ours = b, c_box = c, d_box = d, d_ours = d;
  a_box.name = "A on box";
  a_ours.name = "A here";
  b_ours.name = "B here";
  c_box.name = "C on box";
  d_box.name = d_ours.name = "D both";
  // a: changed differently on both; b: changed here, deleted on the box; c: changed on the
  // box, deleted here; d: changed the same way on both.
  const MergeResult m =
      MergeTimerLists(List({Ours(a), Ours(b), Ours(c), Ours(d)}),
                      List({Receivers(a_box), Receivers(c_box), Receivers(d_box)}),
                      List({Ours(a_ours), Ours(b_ours), Ours(d_ours)}));
  ASSERT_EQ(m.conflicts.size(), 3u);
  EXPECT_EQ(Names(m.merged), "A here;B here;D both;");
  const std::string q = ConflictQuestion(m, kLabeller);
  EXPECT_NE(q.find("\"A here\": the box changed it, this list changed it (on the box: NPO 1"),
            std::string::npos)
      << q;
  EXPECT_NE(q.find("\"B here\": the box deleted it, this list changed it"), std::string::npos);
  EXPECT_NE(q.find("\"C on box\": the box changed it, this list deleted it"), std::string::npos);
  EXPECT_EQ(q.substr(q.size() - 25), "Save this list's version?");
}

TEST(TimerMerge, ATimerMovedHereIsTheSameTimerByWhereItWasRead) {
  const T a{1766000000, 1766003600, "A"};
  T later = a, box_renamed = a;
  later.end += 1800;  // the user extends the end
  box_renamed.name = "A on box";
  std::vector<ListedTimer> ours = List({Ours(later)});
  ours[0].origin = List({Ours(a)})[0].identity;
  // The box left it alone: the later end is taken, and no copy of the old one stays.
  MergeResult m = MergeTimerLists(List({Ours(a)}), List({Receivers(a)}), ours);
  EXPECT_FALSE(m.HasConflicts());
  ASSERT_EQ(m.merged.size(), 1u);
  EXPECT_EQ(m.merged[0].End(), later.end);
  // The box renamed it meanwhile: one timer with both changes, not a deletion and an addition.
  m = MergeTimerLists(List({Ours(a)}), List({Receivers(box_renamed)}), ours);
  EXPECT_FALSE(m.HasConflicts());
  ASSERT_EQ(m.merged.size(), 1u);
  EXPECT_EQ(m.merged[0].values.name, "A on box");
  EXPECT_EQ(m.merged[0].End(), later.end);
}

// "name@begin+minutes" of each merged timer, the begin in minutes after kAt, and whether it
// holds log lines.
constexpr int64_t kAt = 1766000000;
std::string Summary(const std::vector<ListedTimer>& timers) {
  std::string out;
  for (const ListedTimer& t : timers)
    out += t.values.name + "@" + std::to_string((t.Begin() - kAt) / 60) + "+" +
           std::to_string((t.End() - t.Begin()) / 60) + (t.children.empty() ? ";" : "(logged);");
  return out;
}

TEST(TimerMerge, ATimerTheBoxChangedIsStillTheSameTimer) {
  constexpr const char* kStream = "4097:0:1:0:0:0:0:0:0:0:http%3a//10.0.0.5/live:";
  const T news{kAt, kAt + 3600, "News"}, other{kAt, kAt + 3600, "Other"};
  const T with_eit{kAt, kAt + 3600, "News", kRef, 0, "", "4711"};
  const T placeholder{kAt, kAt + 3600, "News", kRef, 0, "", "98"};
  const T stream{kAt, kAt + 3600, "Stream", kStream};
  auto with = [](T t, int64_t begin_by, int64_t end_by, const char* name = nullptr) {
    t.begin += begin_by * 60;
    t.end += end_by * 60;
    if (name) t.name = name;
    return t;
  };
  T logged = with(news, 0, 0);
  logged.extra = " marginBefore='5' eventBegin='1766000300'";
  logged.children = "\t\t<log code=\"15\" time=\"1766000000\">record time changed</log>\n";
  T stream_on_box = stream;
  stream_on_box.ref = "4097:0:1:0:0:0:0:0:0:0:http%3A//10.0.0.5/live";
  struct Case {
    const char* what;
    std::vector<std::string> base, theirs, ours;
    size_t read;  // the first `read` of ours were read from the box: base[i] as read
    const char* merged;
    const char* question;  // a part of it, or none
    size_t log_lines = 0;
  };
  const Case cases[] = {
      {"the box moved the end, nothing here",
       {Ours(news)},
       {Receivers(with(news, 0, 30))},
       {Ours(news)},
       1,
       "News@0+90;",
       nullptr,
       1},
      {"the box moved the end, renamed here",
       {Ours(news)},
       {Receivers(with(news, 0, 30))},
       {Ours(with(news, 0, 0, "Renamed"))},
       1,
       "Renamed@0+90;",
       nullptr,
       1},
      {"the box moved the begin, the end moved here",
       {Ours(news)},
       {Receivers(with(news, -10, 0))},
       {Ours(with(news, 0, 20))},
       1,
       "News@-10+90;",
       nullptr,
       1},
      {"the box moved and renamed a guide timer, renamed here",
       {Ours(with_eit)},
       {Receivers(with(with_eit, 120, 120, "News (moved)"))},
       {Ours(with(with_eit, 0, 0, "Mine"))},
       1,
       "Mine@120+60;",
       "both changed its name",
       0},
      {"an event id a new timer gets pairs nothing",
       {Ours(placeholder)},
       {Receivers(with(placeholder, 120, 120, "Moved"))},
       {Ours(placeholder)},
       1,
       "Moved@120+60;",
       nullptr,
       2},
      {"the box wrote a stream without its last colon",
       {Ours(stream)},
       {Receivers(stream_on_box)},
       {Ours(with(stream, 0, 0, "Mine"))},
       1,
       "Mine@0+60;",
       nullptr,
       0},
      {"the box logged it and added its own attributes, extended here",
       {Ours(news)},
       {Receivers(logged)},
       {Ours(with(news, 0, 30))},
       1,
       "News@0+90(logged);",
       nullptr,
       0},
      {"the box logged it, deleted here", {Ours(news)}, {Receivers(logged)}, {}, 0, "", nullptr, 0},
      {"two identical guide timers both moved, one renamed here",
       {Ours(with_eit), Ours(with_eit)},
       {Receivers(with(with_eit, 0, 15)), Receivers(with(with_eit, 0, 15))},
       {Ours(with(with_eit, 0, 0, "Mine")), Ours(with_eit)},
       2,
       "News@0+75;Mine@0+75;",
       nullptr,
       2},
      {"the end moved on both sides",
       {Ours(news)},
       {Receivers(with(news, 0, 30))},
       {Ours(with(news, 0, 60))},
       1,
       "News@0+120;",
       "both changed its end",
       0},
      {"the box moved the begin past the end set here",
       {Ours(news)},
       {Receivers(with(news, 50, 0))},
       {Ours(with(news, 0, -20))},
       1,
       "News@0+40;",
       "both changed its times",
       0},
      {"a timer renamed here overlaps two on the box: none is it",
       {Ours(news)},
       {Receivers(with(news, 0, 30)), Receivers(with(news, 30, 60))},
       {Ours(with(news, 0, 0, "Mine"))},
       1,
       "Mine@0+60;News@0+90;News@30+90;",
       "the box deleted it, this list changed it",
       0},
      {"both added X, and Y under two names",
       {},
       {Receivers(other), Receivers(with(news, 60, 60, "Y on box"))},
       {Ours(other), Ours(with(news, 60, 60, "Y here"))},
       0,
       "Other@0+60;Y here@60+60;",
       "\"Y here\": the box added it, this list added it (on the box: NPO 1",
       0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ListedTimer> base = List(c.base);
    std::vector<ListedTimer> ours = List(c.ours);
    for (size_t i = 0; i < c.read; ++i)
      ours[i].origin = base[i].identity;
    const MergeResult m = MergeTimerLists(base, List(c.theirs), ours);
    const std::string question = ConflictQuestion(m, kLabeller);
    if (c.question) {
      EXPECT_EQ(m.conflicts.size(), 1u);
      EXPECT_NE(question.find(c.question), std::string::npos) << question;
      EXPECT_EQ(Summary(m.merged), c.merged);
      continue;
    }
    EXPECT_FALSE(m.HasConflicts()) << question;
    EXPECT_EQ(Summary(m.merged), c.merged);
    EXPECT_EQ(MergeLogLines(m, kLabeller).size(), c.log_lines);
  }
  // A live save changes the timer as the box holds it now: one change, no add and delete.
  const std::vector<ListedTimer> box = List({Receivers(with(news, 0, 30))});
  std::vector<ListedTimer> ours = List({Ours(with(news, -10, 0))});
  ours[0].origin = List({Ours(news)})[0].identity;
  const MergeResult m = MergeTimerLists(List({Ours(news)}), box, ours);
  const std::vector<PlannedOperation> plan = PlanOperations(m.merged, box, {ToBoxTimer(box[0])});
  ASSERT_EQ(plan.size(), 1u);
  EXPECT_EQ(plan[0].call.kind, web::TimerOperation::Kind::kChange);
  EXPECT_EQ(Summary(m.merged), "News@-10+100;");
}

TEST(TimerMerge, ARepeatedTimerMovedOnByTheBoxIsTheSameTimer) {
  // Mondays to Fridays 20:00-20:30 in winter; the box moved it a week on, across nothing.
  const T daily{1765825200, 1765827000, "Journal", kRef, 31};
  T moved = daily;
  moved.begin += 7 * 86400;
  moved.end += 7 * 86400;
  T renamed = daily;
  renamed.name = "Journal (kept)";
  const MergeResult m =
      MergeTimerLists(List({Ours(daily)}), List({Receivers(moved)}), List({Ours(renamed)}));
  EXPECT_FALSE(m.HasConflicts());
  EXPECT_EQ(Names(m.merged), "Journal (kept);");
  EXPECT_EQ(m.merged[0].Begin(), moved.begin);
  // Untouched here: the box's next occurrence is what is sent back.
  const MergeResult kept =
      MergeTimerLists(List({Ours(daily)}), List({Receivers(moved)}), List({Ours(daily)}));
  ASSERT_EQ(kept.merged.size(), 1u);
  EXPECT_EQ(kept.merged[0].Begin(), moved.begin);
  // Another time of day on the same days is another timer.
  T later = daily;
  later.begin += 3600;
  later.end += 3600;
  EXPECT_NE(List({Ours(later)})[0].identity, List({Ours(daily)})[0].identity);
}

TEST(RunningRecordings, OnlyEnabledRecordingsRunningNowIncludingTodaysRepeat) {
  const int64_t now = 1766003000;  // Wednesday 17 December 2025, 21:23 in Amsterdam
  T running{1766000000, 1766004000, "Running"}, over{1765990000, 1766000000, "Over"};
  T zap = running, off = running;
  zap.name = "Zap";
  zap.extra = "";
  std::string zap_line = Ours(zap), off_line = Ours(off);
  zap_line.replace(zap_line.find("justplay=\"0\""), 12, "justplay=\"1\"");
  off_line.replace(off_line.find("disabled=\"0\""), 12, "disabled=\"1\"");
  // Repeated on Wednesdays (bit 2) from 21:00 to 22:00, its stored occurrence a week back;
  // and the same on Thursdays only, which does not run today.
  T weekly{1765396800, 1765400400, "Weekly", kRef, 4}, thursdays = weekly;
  thursdays.repeated = 8;
  thursdays.name = "Thursdays";
  const std::vector<RunningRecording> found = RunningRecordings(
      List({Ours(running), Ours(over), zap_line, off_line, Ours(weekly), Ours(thursdays)}), now,
      Amsterdam());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].timer.values.name, "Running");
  EXPECT_EQ(found[1].timer.values.name, "Weekly");
  EXPECT_EQ(found[1].end, 1766005200);  // 22:00 today
  EXPECT_EQ(RunningRecordingQuestion({found[0]}, kLabeller),
            "A recording is running on the box: NPO 1 Running until 21:40. Restarting the "
            "receiver now cuts it into two files. Save and restart anyway?");
}

TEST(StillHolds, OnlyEndedOneShotTimersMayHaveGone) {
  const int64_t now = 1766005000;
  const T ended{1766000000, 1766003600, "Ended"}, ahead{1766010000, 1766013600, "Ahead"};
  const TimerList sent{List({Ours(ended), Ours(ahead)}), true, {}};
  EXPECT_TRUE(StillHolds({List({Receivers(ahead), Receivers(ended)}), true, {}}, sent, now));
  EXPECT_TRUE(StillHolds({List({Receivers(ahead)}), true, {}}, sent, now));
  EXPECT_FALSE(StillHolds({List({Receivers(ended)}), true, {}}, sent, now));
  const T own{1766020000, 1766023600, "Own"};
  EXPECT_FALSE(StillHolds({List({Receivers(ahead), Receivers(own)}), true, {}}, sent, now));
}

}  // namespace
}  // namespace tivolo::transfer
