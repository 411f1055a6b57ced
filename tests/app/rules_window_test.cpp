// The series rules window against the simulated demo box and its two rules: the list shows
// them, the switch, copy and delete change the session's rules, the editor's preview says
// why each programme is recorded or left out and follows the edits, and a rule without a
// match is not taken; Save && Exit stores the rules without a restart, never over rules changed
// on the box; the timers a rule made are marked, and their editor warns.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <map>
#include <set>

#include "app/main_window.h"
#include "app_test_support.h"
#include "boxdata/autotimer_file.h"
#include "ui/rule_editor.h"
#include "ui/rules_overview_dialog.h"
#include "ui/series_rules_window.h"
#include "ui/timer_editor.h"
#include "ui/timer_grid.h"
#include "web/box_sim.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;
using tivolo::testing::BoxSim;

constexpr int kGuideBoundMs = 20000;
constexpr int kPreviewBoundMs = 3000;

std::vector<std::string> Row(QTreeWidget& list, int row) {
  std::vector<std::string> cells;
  QTreeWidgetItem* item = list.topLevelItem(row);
  for (int c = 0; item && c < item->columnCount(); ++c)
    cells.push_back(item->text(c).toStdString());
  return cells;
}

std::set<std::string> Reasons(QTreeWidget& preview) {
  std::set<std::string> reasons;
  for (int r = 0; r < preview.topLevelItemCount(); ++r)
    reasons.insert(preview.topLevelItem(r)->text(4).toStdString());
  return reasons;
}

void Click(QWidget& root, const char* name) {
  QTest::mouseClick(&Control<QPushButton>(root, name), Qt::LeftButton);
}

class RulesWindowTest : public ::testing::Test {
 protected:
  std::unique_ptr<MainWindow> Window(const BoxSim& box) {
    const std::string profile = work.Path() + "/profile";
    fs::create_directories(profile);
    const web::HttpEndpoint login = box.Endpoint();
    WriteFile(profile + "/config.ini",
              "[DB7025]\nIp=127.0.0.1\nUsername=" + login.user + "\nPassword=" + login.password +
                  "\nUTC_Offset=0\nUTC_Auto=1\nFtpPort=" + std::to_string(box.FtpPort()) +
                  "\nTelnetPort=" + std::to_string(box.TelnetPort()) + "\n");
    StartOptions options;
    options.config_file = profile + "/config.ini";
    options.local_dir = profile + "/";
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    auto w = std::make_unique<MainWindow>(options);
    w->StartUp();
    w->show();
    EXPECT_TRUE(QTest::qWaitFor([&w] { return w->Guide() != nullptr; }, kGuideBoundMs));
    return w;
  }

  tivolo::testing::TempDir work;
  widgets::ScriptedMessageService messages;
};

TEST_F(RulesWindowTest, TheRulesAreListedEditedAndPreviewed) {
  BoxSim box({}, {}, true);
  auto w = Window(box);
  ASSERT_TRUE(w->SeriesRules()->isEnabled()) << w->LogText();
  DialogScript script;
  script.Then<ui::SeriesRulesWindow>([](ui::SeriesRulesWindow& d) {
    QTreeWidget& list = Control<QTreeWidget>(d, "RuleList");
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(Row(list, 0), (std::vector<std::string>{"Journaal", "Journaal", "3 channels",
                                                      "18:00-22:00", "every day", "yes"}));
    EXPECT_EQ(Row(list, 1), (std::vector<std::string>{"Natuur", "Natuur Dichtbij", "2 channels",
                                                      "any time", "every day", "yes"}));
    Click(d, "ButtonSwitch");
    EXPECT_EQ(Row(list, 0)[5], "no");
    Click(d, "ButtonSwitch");
    Click(d, "ButtonCopy");
    ASSERT_EQ(list.topLevelItemCount(), 3);
    EXPECT_EQ(Row(list, 2)[0], "Journaal (copy)");
    Click(d, "ButtonDelete");  // the copy, current after the copy
    ASSERT_EQ(list.topLevelItemCount(), 2);
    EXPECT_EQ(Row(list, 1)[0], "Natuur");
    list.setCurrentItem(list.topLevelItem(0));
    // From the event loop: the editor's exec must not run inside this step.
    QTimer::singleShot(0, &d, [&d] { Click(d, "ButtonEdit"); });
  });
  script.Then<ui::RuleEditor>([](ui::RuleEditor& e) {
    QTreeWidget& preview = Control<QTreeWidget>(e, "RulePreview");
    const std::set<std::string> first = Reasons(preview);
    EXPECT_TRUE(first.count("recorded") && first.count("left out: channel"))
        << preview.topLevelItemCount();
    const std::string count = Control<QLabel>(e, "PreviewCount").text().toStdString();
    // The rule's three channels by name.
    EXPECT_EQ(Control<QLabel>(e, "RuleChannelNames").text().count(','), 2)
        << Control<QLabel>(e, "RuleChannelNames").text().toStdString();
    // The preview follows the edits: without the span, the evening is no longer a check.
    Control<QCheckBox>(e, "RuleUseSpan").setChecked(false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return Control<QLabel>(e, "PreviewCount").text().toStdString() != count; },
        kPreviewBoundMs));
    EXPECT_FALSE(Reasons(preview).count("left out: time span"));
    // Without a match the rule is not taken.
    QLineEdit& match = Control<QLineEdit>(e, "RuleMatch");
    match.clear();
    Click(e, "ButtonSave");
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(Control<QLabel>(e, "RuleProblem").text().toStdString(),
              "The rule needs a text to match.");
    match.setText("Journaal");
    Click(e, "ButtonSave");
  });
  script.Then<ui::SeriesRulesWindow>([](ui::SeriesRulesWindow& d) {
    EXPECT_EQ(Row(Control<QTreeWidget>(d, "RuleList"), 0)[3], "any time");
    EXPECT_NE(Control<QLabel>(d, "RulesNote").text().indexOf("Changed"), -1);
    Click(d, "ButtonClose");
  });
  ASSERT_TRUE(script.Run([&w] { w->SeriesRules()->trigger(); }));
  ASSERT_EQ(w->Rules()->rules.size(), 2u);
  EXPECT_FALSE(w->Rules()->rules[0].rule.from.has_value());
  EXPECT_TRUE(w->Rules()->rules[0].rule.enabled);
  EXPECT_TRUE(messages.boxes.empty());

  // Save && Exit takes the rules to the box, but not over rules changed there meanwhile.
  const fs::path on_box = fs::path(box.BoxDir()) / "etc/enigma2/autotimer.xml";
  const std::string before = ReadFile(on_box);
  const std::string natuur = before.substr(before.find("\t<timer name=\"Natuur\""));
  ASSERT_TRUE(w->SaveExit()->isEnabled());
  WriteFile(on_box, before + "<!-- edited on the box -->\n");
  w->SaveExit()->trigger();
  ASSERT_EQ(messages.boxes.size(), 1u);
  EXPECT_EQ(messages.boxes[0].text.rfind("The series rules were changed on the box", 0), 0u);
  EXPECT_EQ(ReadFile(on_box), before + "<!-- edited on the box -->\n");
  EXPECT_TRUE(w->SaveExit()->isEnabled());
  WriteFile(on_box, before);
  const int starts = box.LiveStatus().value("receiver_starts", 0);
  w->SaveExit()->trigger();
  EXPECT_EQ(messages.boxes.size(), 1u);
  const std::string saved = ReadFile(on_box);
  EXPECT_EQ(saved, boxdata::BuildAutoTimerFile(*w->Rules()));
  EXPECT_EQ(saved.find("from=\"18:00\""), std::string::npos) << saved;
  EXPECT_NE(saved.find(natuur), std::string::npos) << saved;  // untouched, byte for byte
  EXPECT_FALSE(fs::exists(on_box.parent_path() / "autotimer.xml.upload"));
  EXPECT_EQ(box.LiveStatus().value("receiver_starts", 0), starts);
  EXPECT_TRUE(w->TimerTerminate().isActive());  // the program ends
}

// The timers the demo's rules made carry the rule's name: a mark beside the name, the name in
// the tooltip, and a line in the editor that the rule may undo a change.
TEST_F(RulesWindowTest, ATimerARuleMadeIsMarkedAndItsEditorWarns) {
  BoxSim box({}, {}, true, "--series");
  auto w = Window(box);
  QAbstractItemModel* grid = w->TimerGrid()->model();
  constexpr int kNameColumn = 1;
  int by_rule = -1, made = 0, plain = 0;
  for (int row = 0; row < grid->rowCount(); ++row) {
    const QModelIndex name = grid->index(row, kNameColumn);
    const QString tip = name.data(Qt::ToolTipRole).toString();
    const bool marked = name.data(Qt::DecorationRole).isValid();
    EXPECT_EQ(marked, tip.contains("Made by ")) << tip.toStdString();  // also isAutoTimer="1"
    if (tip.contains("Made by the series rule \"Journaal\"")) {
      ++made;
      by_rule = row;
    } else if (!marked) {
      ++plain;
    }
  }
  EXPECT_EQ(made, 2);
  EXPECT_GT(plain, 0);
  ASSERT_GE(by_rule, 0);
  w->TimerGrid()->setCurrentIndex(grid->index(by_rule, kNameColumn));
  DialogScript script;
  script.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    EXPECT_TRUE(
        Control<QLabel>(e, "RuleWarning")
            .text()
            .startsWith("Made by the series rule \"Journaal\": at its next run the rule may undo"));
    Click(e, "ButtonCancel");
  });
  ASSERT_TRUE(script.Run([&w] { w->EditExecute(); }));
  // A timer made by hand has no such line.
  for (int row = 0; row < grid->rowCount(); ++row) {
    if (grid->index(row, kNameColumn).data(Qt::DecorationRole).isValid()) continue;
    w->TimerGrid()->setCurrentIndex(grid->index(row, kNameColumn));
    break;
  }
  script.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    EXPECT_EQ(e.findChild<QLabel*>("RuleWarning"), nullptr);
    Click(e, "ButtonCancel");
  });
  ASSERT_TRUE(script.Run([&w] { w->EditExecute(); }));
}

// Preview all rules on the demo box, whose list holds timers the rules made and three timers
// at once on three transponders for two tuners: every enabled rule's programmes with their
// rule, those a timer covers marked, the same episode on several channels marked twice, and
// the tuners' check run; the rules stay as they were.
TEST_F(RulesWindowTest, PreviewAllMarksCoveredTwiceAndConflicts) {
  BoxSim box({}, {}, true, "--series --conflict");
  auto w = Window(box);
  auto* tuners = w->statusBar()->findChild<QLabel*>("TunerStatus");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tuners->text().contains("DVB"); }, kGuideBoundMs))
      << tuners->text().toStdString();
  const std::string as_set = boxdata::BuildAutoTimerFile(*w->Rules());

  std::vector<std::vector<std::string>> rows;
  std::string summary;
  DialogScript script;
  script.Then<ui::SeriesRulesWindow>([](ui::SeriesRulesWindow& d) {
    QTimer::singleShot(0, &d, [&d] { Click(d, "PreviewAll"); });
  });
  script.Then<ui::RulesOverviewDialog>([&](ui::RulesOverviewDialog& o) {
    QTreeWidget& list = Control<QTreeWidget>(o, "OverviewList");
    for (int r = 0; r < list.topLevelItemCount(); ++r)
      rows.push_back(Row(list, r));
    summary = Control<QLabel>(o, "OverviewSummary").text().toStdString();
    Click(o, "ButtonClose");
  });
  script.Then<ui::SeriesRulesWindow>([](ui::SeriesRulesWindow& d) { Click(d, "ButtonClose"); });
  ASSERT_TRUE(script.Run([&w] { w->SeriesRules()->trigger(); }));

  std::map<std::string, int> covered, twice;
  int conflicts = 0;
  for (const std::vector<std::string>& r : rows) {
    ASSERT_EQ(r.size(), 6u);
    if (r[5].find("covered by the timer '" + r[4] + "'") == 0) ++covered[r[0]];
    if (r[5].find("twice: the same episode") != std::string::npos) ++twice[r[0]];
    if (r[5].find("conflict: ") != std::string::npos) ++conflicts;
  }
  // The two timers each demo rule made; the same episode on both of Natuur's channels.
  EXPECT_EQ(covered["Journaal"], 2);
  EXPECT_EQ(covered["Natuur"], 2);
  EXPECT_GT(twice["Natuur"], 0);
  EXPECT_NE(summary.find(", 4 covered already"), std::string::npos) << summary;
  // The tuners are known: the check ran, and its count is that of the rows it marked.
  EXPECT_NE(summary.find(conflicts ? ", " + std::to_string(conflicts) + " in a conflict"
                                   : std::string(", no conflict")),
            std::string::npos)
      << summary;
  EXPECT_EQ(boxdata::BuildAutoTimerFile(*w->Rules()), as_set);
}

}  // namespace
}  // namespace tivolo::app
