// The series rules file: read and written back without losing a byte, edited rules written as
// the box's rule plugin writes them, and the rule a timer names.
#include <gtest/gtest.h>

#include <string>

#include "boxdata/autotimer_file.h"
#include "boxdata/text_lines.h"

namespace tivolo::boxdata {
namespace {

std::string DataFile(const char* name) {
  return ReadWholeFile(std::string(TIVOLO_SOURCE_DIR) + "/tests/data/autotimer/" + name);
}

TEST(AutoTimerFile, RealFilesComeBackByteForByte) {
  for (const char* name : {"plugin_written.xml", "hand_edited.xml"}) {
    SCOPED_TRACE(name);
    const std::string bytes = DataFile(name);
    const AutoTimerFile file = ParseAutoTimerFile(bytes);
    EXPECT_TRUE(file.Complete()) << (file.problems.empty() ? "" : file.problems[0]);
    EXPECT_EQ(file.rules.size(), 3u);
    EXPECT_EQ(BuildAutoTimerFile(file), bytes);
  }
}

TEST(AutoTimerFile, ReadsEveryAttributeAndChildWithTheDefaults) {
  const AutoTimerFile plugin = ParseAutoTimerFile(DataFile("plugin_written.xml"));
  const AutoTimerRule& r = plugin.rules[0].rule;
  EXPECT_EQ(r.from, (TimeOfDay{20, 0}));
  EXPECT_EQ(r.to, (TimeOfDay{23, 30}));
  EXPECT_EQ(r.after, 1767571200);
  EXPECT_EQ(r.max_duration_minutes, 120);
  EXPECT_EQ(r.offset_before, 5);
  EXPECT_EQ(r.offset_after, 10);
  EXPECT_EQ(r.Left(), 3);
  EXPECT_EQ(r.set_endtime, 0);
  EXPECT_EQ(r.search_for_duplicate_description, 1);
  EXPECT_EQ(r.search_type, RuleSearchType::kExact);
  EXPECT_TRUE(r.case_sensitive);
  EXPECT_FALSE(r.conflict_detection);
  EXPECT_EQ(r.services.size(), 2u);
  EXPECT_EQ(r.after_events[0], (RuleAfterEvent{"standby", TimeOfDay{22, 0}, TimeOfDay{6, 0}}));
  EXPECT_EQ(r.excludes[2], (RuleFilter{RuleFilterWhere::kDescription, "\\(Wh\\.\\)"}));
  EXPECT_EQ(r.includes[3], (RuleFilter{RuleFilterWhere::kDayOfWeek, "6"}));
  // The plugin's attributes we do not use are kept, in file order.
  ASSERT_EQ(plugin.rules[0].kept_attributes.size(), 5u);
  EXPECT_EQ(plugin.rules[0].kept_attributes[0].name, "overrideAlternatives");
  EXPECT_EQ(plugin.rules[1].rule.match, "Tagesschau <20 Uhr>");
  EXPECT_EQ(plugin.rules[1].rule.DisplayName(), "Nachrichten & Wetter");
  EXPECT_EQ(plugin.rules[1].rule.offset_after, 2);  // one number: before and after

  const AutoTimerFile hand = ParseAutoTimerFile(DataFile("hand_edited.xml"));
  const AutoTimerRule& maus = hand.rules[1].rule;
  EXPECT_EQ(maus.DisplayName(), "Die Sendung mit der Maus");
  EXPECT_TRUE(maus.enabled);
  EXPECT_EQ(maus.offset_before, 0);
  EXPECT_EQ(maus.offset_after, 15);
  EXPECT_EQ(maus.Left(), 2);  // no "left": as many as the counter
  EXPECT_EQ(maus.counter_format, "%W");
  EXPECT_FALSE(hand.rules[2].rule.enabled);  // a value the plugin does not know disables
  ASSERT_EQ(hand.rules[2].kept_children.size(), 1u);
  EXPECT_EQ(hand.rules[2].kept_children[0], "<exclude where=\"somewhere\">x</exclude>");
}

TEST(AutoTimerFile, EditedRuleIsWrittenAsThePluginWritesItAndTheOthersStayAsRead) {
  const std::string bytes = DataFile("hand_edited.xml");
  AutoTimerFile file = ParseAutoTimerFile(bytes);
  file.rules[0].rule.match = "Sportschau live";
  const std::string expected_rule =
      "<timer name=\"Sport\" match=\"Sportschau live\" enabled=\"yes\" from=\"18:00\" "
      "to=\"19:59\" searchType=\"end\" extra_flag=\"kept\">\n"
      "  <serviceref>1:0:19:2B66:3F3:1:C00000:0:0:0:</serviceref>\n"
      "  <exclude where=\"title\">Bundesliga</exclude>\n"
      "  <include where=\"dayofweek\">5</include>\n"
      "  <include where=\"dayofweek\">6</include>\n"
      "  <!-- only the early edition -->\n"
      "  <future kind=\"x\"><nested>a</nested></future>\n"
      " </timer>";
  std::string expected = bytes;
  const std::string& raw = file.rules[0].raw;
  expected.replace(expected.find(raw), raw.size(), expected_rule);
  EXPECT_EQ(BuildAutoTimerFile(file), expected);

  // The channel's name the plugin writes after a service stays with it.
  AutoTimerFile plugin = ParseAutoTimerFile(DataFile("plugin_written.xml"));
  plugin.rules[0].rule.enabled = false;
  EXPECT_NE(BuildRuleElement(plugin.rules[0])
                .find("  <serviceref>1:0:19:2B7A:3F3:1:C00000:0:0:0:</serviceref> <!-- WDR HD Köln "
                      "-->\n"),
            std::string::npos);
}

TEST(AutoTimerFile, EveryValueSurvivesTheWriterAndDefaultsAreLeftOut) {
  AutoTimerFile file = EmptyAutoTimerFile();
  AutoTimerRule plain;
  plain.match = "Quiz";
  AppendRule(file, plain);
  EXPECT_EQ(BuildRuleElement(file.rules[0]),
            "<timer name=\"Quiz\" match=\"Quiz\" enabled=\"yes\">\n </timer>");

  AutoTimerRule full;
  full.match = "A & \"B\" <C>";
  full.name = "Rule";
  full.enabled = false;
  full.from = TimeOfDay{23, 5};
  full.to = TimeOfDay{1, 0};
  full.after = 100;
  full.before = 200;
  full.max_duration_minutes = 90;
  full.location = "/media/hdd/x y/";
  full.offset_before = 4;
  full.offset_after = 9;
  full.justplay = 1;
  full.set_endtime = 0;
  full.avoid_duplicate_description = 3;
  full.search_for_duplicate_description = 0;
  full.search_type = RuleSearchType::kDescription;
  full.case_sensitive = true;
  full.counter = 5;
  full.left = 1;
  full.counter_format = "%m";
  full.last_activation = "07";
  full.last_begin = 1767571200;
  full.encoding = "ISO8859-15";
  full.conflict_detection = false;
  full.always_zap = 1;
  full.services = {"1:0:1:1:1:1:C00000:0:0:0:"};
  full.bouquets = {"1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"b.tv\" ORDER BY bouquet"};
  full.after_events = {{"standby", TimeOfDay{22, 0}, TimeOfDay{6, 0}}, {"none", {}, {}}};
  full.tags = {"T1", "T2"};
  full.excludes = {{RuleFilterWhere::kShortDescription, "a<b"}, {RuleFilterWhere::kDayOfWeek, "5"}};
  full.includes = {{RuleFilterWhere::kTitle, "^x&y$"}, {RuleFilterWhere::kDescription, "z"}};
  AppendRule(file, full);
  const AutoTimerFile again = ParseAutoTimerFile(BuildAutoTimerFile(file));
  ASSERT_TRUE(again.Complete()) << again.problems[0];
  ASSERT_EQ(again.rules.size(), 2u);
  AutoTimerRule plain_read = plain;
  plain_read.name = "Quiz";  // the plugin always writes the name
  EXPECT_EQ(again.rules[0].rule, plain_read);
  EXPECT_EQ(again.rules[1].rule, full);
}

TEST(AutoTimerFile, DamagedFilesAreReadWithoutACrashAndKeptAsTheyWere) {
  const std::string deep(20000, '<');
  const std::string cases[] = {
      "",
      "<autotimer version=\"8\">",
      "<autotimer><timer match='a' from=\"25:00\"",
      "<autotimer><timer match=\"x\"><serviceref>1:0:1</autotimer>",
      "<autotimer><timer match=\"x\"><timer match=\"y\"/></autotimer>",
      "<autotimer><timer match=\"\xff\" name=\"a\" name=\"b\"/></autotimer>",
      "<autotimer><timer match=\"x\"><a><b><c></timer></autotimer>",
      "<autotimer><timer match=\"x\">" + deep + "</timer></autotimer>",
      "<autotimer><timer match=\"x\" counter=\"99999999999999999999\" offset=\"1,2,3\"/>",
  };
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.substr(0, 60));
    AutoTimerFile file = ParseAutoTimerFile(bytes);
    EXPECT_FALSE(file.Complete());
    EXPECT_EQ(BuildAutoTimerFile(file), bytes);
    for (AutoTimerEntry& e : file.rules)
      e.rule.enabled = !e.rule.enabled;  // a damaged rule still goes back as it was
    for (const AutoTimerEntry& e : file.rules) {
      if (!e.well_formed) {
        EXPECT_NE(BuildAutoTimerFile(file).find(e.raw), std::string::npos);
      }
    }
  }
}

TEST(AutoTimerFile, TimersNameTheRuleThatMadeThem) {
  const struct {
    const char* extra;
    bool by_rule;
    const char* name;
  } cases[] = {
      {" flags=\"autotimer Tatort\"", true, "Tatort"},
      {" flags=\"autotimer Nachrichten &amp; Wetter\"", true, "Nachrichten & Wetter"},
      {" isAutoTimer=\"1\"", true, ""},
      {" isAutoTimer=\"0\"", false, ""},
      {" flags=\"autotimerX\" tags=\"autotimer\"", false, ""},
      {" vps=\"1\" flags='autotimer Film'", true, "Film"},
      {"", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.extra);
    const TimerRuleOrigin origin = RuleOriginOf(c.extra);
    EXPECT_EQ(origin.by_rule, c.by_rule);
    EXPECT_EQ(origin.rule_name, c.name);
  }
}

}  // namespace
}  // namespace tivolo::boxdata
