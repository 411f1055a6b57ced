// The rule editor shows every attribute of the rules of two real files and gives each rule
// back unchanged when nothing was edited: Edit and Save must not rewrite a rule (nor lose an
// after-event or a value the editor's lists do not name).
#include "ui/rule_editor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>

#include "boxdata/text_lines.h"
#include "support/dialog_driver.h"

namespace tivolo::ui {
namespace {

boxdata::AutoTimerFile Sample(const char* name) {
  return boxdata::ParseAutoTimerFile(
      boxdata::ReadWholeFile(std::string(TIVOLO_SOURCE_DIR) + "/tests/data/autotimer/" + name));
}

TEST(RuleEditorTest, AnUneditedRuleComesBackAsItWas) {
  TimerSession session;  // no guide: nothing to preview
  const boxdata::ChannelNames channels;
  for (const char* name : {"plugin_written.xml", "hand_edited.xml"}) {
    const boxdata::AutoTimerFile file = Sample(name);
    ASSERT_FALSE(file.rules.empty()) << name;
    for (const boxdata::AutoTimerEntry& entry : file.rules) {
      if (!entry.well_formed) continue;
      RuleEditor editor(nullptr, session, channels, entry.rule);
      EXPECT_TRUE(editor.Rule() == entry.rule) << name << " line " << entry.line_number;
    }
  }
  // Odd values the lists do not name are kept too.
  boxdata::AutoTimerRule odd;
  odd.match = "x";
  odd.after_events.push_back({"nothing", boxdata::TimeOfDay{1, 0}, boxdata::TimeOfDay{6, 0}});
  odd.justplay = 2;
  odd.search_for_duplicate_description = 5;
  odd.after = 1796681430;  // seconds in the minute
  odd.before = 1797681400;
  RuleEditor editor(nullptr, session, channels, odd);
  EXPECT_TRUE(editor.Rule() == odd);
  // An edit shows.
  tivolo::testing::Control<QLineEdit>(editor, "RuleMatch").setText("y");
  EXPECT_EQ(editor.Rule().match, "y");
}

}  // namespace
}  // namespace tivolo::ui
