// The main window and the box's web interface: asked once the box's files are read, without
// holding up the window and with the FTP login when it asks for one, the log and the status
// bar name the way Save && Exit goes; the setting that turns live apply off, and a box without
// the interface, are named as well; the grid shows each timer's state as the box gives it.
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <set>
#include <utility>

#include "app/main_window.h"
#include "app_test_support.h"
#include "ui/undo_commands.h"
#include "web/box_sim.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;

TEST(WebWindowTest, TheStatusBarSaysWhichWaySaveAndExitGoes) {
  // The demo box (channels and ten timers), whose interface asks for the box's login: the
  // FTP user name and password are given.
  const tivolo::testing::BoxSim box({}, {"web_auth"}, true);
  const nlohmann::json& status = box.Status();
  tivolo::testing::TempDir work;
  const std::string config = work.Path() + "/config.ini";
  const std::string password = status["password"].get<std::string>();
  auto configure = [&](const std::string& more, const std::string& given_password) {
    WriteFile(config, "[DB7025]\nIp=127.0.0.1\nUsername=" + status["user"].get<std::string>() +
                          "\nPassword=" + given_password +
                          "\nFtpPort=" + std::to_string(status["ftp_port"].get<int>()) +
                          "\nWebPort=" + std::to_string(status["web_port"].get<int>()) + "\n" +
                          more);
  };
  configure("", password);
  widgets::ScriptedMessageService messages;
  StartOptions options;
  options.config_file = config;
  options.local_dir = work.Path() + "/";
  options.messages = &messages;
  options.fetch_dialog_delay_ms = 0;
  MainWindow w(options);
  w.StartUp();
  ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
  auto route_shown = [&](const std::string& text) {
    return QTest::qWaitFor(
        [&] {
          auto* route = w.statusBar()->findChild<QLabel*>("SaveRoute");
          return route && route->text().toStdString() == text;
        },
        5000);
  };
  const std::string live = "Box 127.0.0.1: web interface OWIF 1.5.2, changes are applied live";
  EXPECT_TRUE(route_shown(live));
  EXPECT_NE(w.LogText().find("\n" + live), std::string::npos) << w.LogText();
  EXPECT_EQ(w.WebRouteState().box_timers.size(), 10u);
  // Each timer's state as the box gives it, after the program's own columns.
  const auto box_column = [&] {
    std::multiset<std::string> states;
    QAbstractItemModel* model = w.TimerGrid()->model();
    const int column = model->columnCount() - 1;
    if (w.TimerGrid()->isColumnHidden(column)) return states;
    for (int row = 0; row < model->rowCount(); ++row)
      states.insert(model->index(row, column).data().toString().toStdString());
    return states;
  };
  EXPECT_EQ(w.TimerGrid()->model()->headerData(14, Qt::Horizontal).toString(), "Box");
  const std::vector<std::string> waiting(8, "waiting");
  std::multiset<std::string> demo_states(waiting.begin(), waiting.end());
  demo_states.insert({"disabled", "done"});
  EXPECT_EQ(box_column(), demo_states);
  // Fitted to its values once they are measured, as the other columns are.
  const int disabled_width = w.TimerGrid()->fontMetrics().horizontalAdvance("disabled");
  EXPECT_TRUE(QTest::qWaitFor([&] { return w.TimerGrid()->columnWidth(14) > disabled_width; }))
      << w.TimerGrid()->columnWidth(14);

  configure("ApplyLive=0\n", password);
  w.LoadConfiguration();
  w.ReloadClick();
  EXPECT_TRUE(
      route_shown("Box 127.0.0.1: web interface OWIF 1.5.2, live apply is off: changes "
                  "are uploaded and the receiver restarted"));

  box.SetSwitches({{"web_auth", "1"}, {"no_web", "404"}});
  w.ReloadClick();
  EXPECT_TRUE(route_shown(
      "Box 127.0.0.1: no web interface: changes are uploaded and the receiver restarted"));
  EXPECT_TRUE(box_column().empty());

  // A wrong password (the fetch fails as well, and says so).
  configure("", "wrong");
  w.LoadConfiguration();
  box.SetSwitches({{"web_auth", "1"}});
  w.ReloadClick();
  EXPECT_TRUE(
      route_shown("Box 127.0.0.1: the web interface refused the login: changes are "
                  "uploaded and the receiver restarted"));

  // The FTP login refused: the copy shown is older, and the route is not known.
  configure("", password);
  w.LoadConfiguration();
  box.SetSwitches({{"web_auth", "1"}, {"refuse_login", "ftp"}});
  messages.answers = {false};  // not the earlier copy's timers
  w.ReloadClick();
  EXPECT_FALSE(w.FetchResult().ok);
  EXPECT_TRUE(
      route_shown("Box 127.0.0.1: the save route is not known until the box has been read"));
  EXPECT_TRUE(box_column().empty());
}

TEST(WebWindowTest, AnInterfaceThatDoesNotAnswerIsAskedAgainAndTheRestartAskedAbout) {
  const tivolo::testing::BoxSim box({}, {}, true);
  const nlohmann::json& status = box.Status();
  tivolo::testing::TempDir work;
  // Nothing listens on port 1.
  WriteFile(work.Path() + "/config.ini",
            "[DB7025]\nIp=127.0.0.1\nUsername=" + status["user"].get<std::string>() +
                "\nPassword=" + status["password"].get<std::string>() +
                "\nFtpPort=" + std::to_string(box.FtpPort()) +
                "\nTelnetPort=" + std::to_string(box.TelnetPort()) + "\nWebPort=1\n");
  widgets::ScriptedMessageService messages;
  StartOptions options;
  options.config_file = work.Path() + "/config.ini";
  options.local_dir = work.Path() + "/";
  options.messages = &messages;
  options.fetch_dialog_delay_ms = 0;
  MainWindow w(options);
  w.StartUp();
  ASSERT_TRUE(messages.boxes.empty()) << messages.Trace().front();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        auto* route = w.statusBar()->findChild<QLabel*>("SaveRoute");
        return route && route->text().toStdString() ==
                            "Box 127.0.0.1: web interface not answering: Save && Exit asks it "
                            "again";
      },
      5000));

  // Asked again, still no answer: the restart is the user's to choose, and No sends nothing.
  const std::string before = box.TimersFile();
  w.AddChange();
  w.SaveExitExecute();
  ASSERT_EQ(messages.boxes.size(), 2u) << messages.Trace().back();
  EXPECT_NE(messages.boxes[0].text.find("The box's web interface does not answer"),
            std::string::npos)
      << messages.boxes[0].text;
  EXPECT_EQ(messages.boxes[1].text,
            "Nothing was sent to the box: its web interface does not answer.");
  EXPECT_EQ(box.LiveStatus()["kills"], 0);
  EXPECT_EQ(box.TimersFile(), before);
  EXPECT_FALSE(w.TimerTerminate().isActive());

  // Yes: uploaded and restarted.
  messages.answers = {true};
  w.SaveExitExecute();
  EXPECT_TRUE(w.TimerTerminate().isActive()) << messages.Trace().back();
  // The box notes the kill in its status a moment later.
  EXPECT_TRUE(QTest::qWaitFor([&] { return box.LiveStatus()["kills"] == 1; }, 5000))
      << box.LiveStatus().dump();
}

// After a live save the status bar says what the box took, in the second before the end.
TEST(WebWindowTest, ALiveSaveSaysWhatTheBoxTookBeforeTheEnd) {
  const tivolo::testing::BoxSim box({}, {}, true);
  const nlohmann::json& status = box.Status();
  tivolo::testing::TempDir work;
  const std::string config = work.Path() + "/config.ini";
  WriteFile(config, "[DB7025]\nIp=127.0.0.1\nUsername=" + status["user"].get<std::string>() +
                        "\nPassword=" + status["password"].get<std::string>() +
                        "\nFtpPort=" + std::to_string(status["ftp_port"].get<int>()) +
                        "\nWebPort=" + std::to_string(status["web_port"].get<int>()) + "\n");
  widgets::ScriptedMessageService messages;
  StartOptions options;
  options.config_file = config;
  options.local_dir = work.Path() + "/";
  options.messages = &messages;
  options.fetch_dialog_delay_ms = 0;
  MainWindow w(options);
  w.StartUp();
  w.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.WebRouteState().detection.has_value(); }, 5000));
  // A delete undone: the timer has its state from the box again.
  store::MemTable& timers = w.Tables().timers;
  QAbstractItemModel* grid = w.TimerGrid()->model();
  const int box_column = grid->columnCount() - 1;
  timers.ViewMoveToRow(3);
  const QString state = grid->index(3, box_column).data().toString();
  ASSERT_FALSE(state.isEmpty());
  w.DeleteExecute();
  w.Undo()->UndoAction()->trigger();
  EXPECT_EQ(grid->index(3, box_column).data().toString(), state);
  // Two changes, as the list's actions make them (without their dialogs).
  const store::MemTable::Event open_editor = std::exchange(timers.AfterEdit, nullptr);
  for (int row : {1, 2}) {
    timers.ViewMoveToRow(row);
    timers.Edit();
    timers.FieldNamed("Name").SetAsString("Renamed " + std::to_string(row));
    timers.Post();
    w.AddChange();
  }
  timers.AfterEdit = open_editor;
  w.RefreshActions();
  w.SaveExitExecute();
  ASSERT_TRUE(QTest::qWaitFor([&] { return w.TimerTerminate().isActive(); }, 10000))
      << (messages.boxes.empty() ? "" : messages.Trace().back());
  EXPECT_EQ(w.statusBar()->currentMessage().toStdString(), "Saved: 2 changes applied on the box");
}

}  // namespace
}  // namespace tivolo::app
