// The timer list through the real main window, on an earlier run's copies of the large real
// set (the box refuses the connection): a sort is the view's and Edit and Delete follow the row
// selected, the filter and its count, the on/off switch written back as that one attribute,
// undo back to no changes and redo, the layout kept between runs. Against vsftpd and busybox
// telnetd: the question before closing with changes, and where the list came from.
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "app/list_status.h"
#include "app/main_window.h"
#include "app_test_support.h"
#include "boxdata/box_tables.h"
#include "ui/channel_picker.h"
#include "ui/timer_editor.h"
#include "ui/timer_list_view.h"
#include "ui/undo_commands.h"
#include "widgets/message_service.h"

namespace tivolo::app {
namespace {

using namespace testing;
namespace fields = boxdata::fields;

const platform::DateTime kNow = platform::EncodeDate(2024, 11, 1);
const char kOjciec[] = "Ojciec Mateusz 32 (odc. 2)";
constexpr int kAnimatedClickMs = 250;

class ListWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(1); }
  void TearDown() override { EXPECT_TRUE(messages.boxes.empty()) << messages.Trace().front(); }

  // A window on the profile's copies, shown and active, its start-up's boxes forgotten.
  void Start(int ftp_port) {
    if (!fs::exists(Profile() + "/config.ini")) {
      FillBoxFolder(Profile());
      WriteConfig(Profile() + "/config.ini", ftp_port, Profile());
    }
    StartOptions options;
    options.config_file = Profile() + "/config.ini";
    options.local_dir = Profile() + "/";
    options.messages = &messages;
    options.fetch_dialog_delay_ms = 0;
    w = std::make_unique<MainWindow>(options);
    w->StartUp();
    messages.boxes.clear();
    w->show();
    Activate();
  }
  std::string Profile() const { return work.Path() + "/profile"; }
  void Activate() {
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get(), 2000));
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods) {
    Activate();
    QTest::keyClick(w.get(), key, mods);
  }
  // A button's Alt accelerator, which clicks it a moment later, as a click is shown.
  void Button(Qt::Key key) {
    Key(key, Qt::AltModifier);
    QTest::qWait(kAnimatedClickMs);
  }
  // The list as a save would write it.
  std::string Written() {
    return transfer::PrepareSave(w->Tables(), {}, w->Box(), Profile(), w->ListAtStart(), w->Clock())
        .timer_list;
  }
  std::string ViewNames() const {
    std::string names;
    const QAbstractItemModel* m = w->TimerGrid()->model();
    for (int row = 0; row < m->rowCount(); ++row)
      names += (row ? "," : "") + m->index(row, 1).data().toString().toStdString();
    return names;
  }
  std::string CurrentName() const {
    return w->Tables().timers.FieldNamed(fields::kName).AsString();
  }
  void ClickTitle(int column) {
    QHeaderView* h = w->TimerGrid()->horizontalHeader();
    QTest::mouseClick(
        h->viewport(), Qt::LeftButton, {},
        {h->sectionViewportPosition(column) + h->sectionSize(column) / 2, h->height() / 2});
  }
  void ClickRow(int row) {
    ui::TimerGrid* grid = w->TimerGrid();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(row, 2)).center());
  }
  // As the user types, so that the bound control writes the record.
  static void Retype(QLineEdit& edit, const char* text) {
    edit.selectAll();
    QTest::keyClicks(&edit, text);
  }
  std::string Caption() const { return Control<QGroupBox>(*w, "GroupBox1").title().toStdString(); }

  const platform::ScopedNow now{SecondsOf(kNow)};
  tivolo::testing::TempDir work;
  widgets::ScriptedMessageService messages;
  std::unique_ptr<MainWindow> w;
};

TEST_F(ListWindowTest, ASortIsTheViewsAndEditAndDeleteFollowTheRowSelected) {
  const std::string written = Written();
  ASSERT_EQ(ViewNames(), std::string("First,") + kOjciec + ",Third");
  ClickTitle(1);  // ascending: as the begins
  ClickTitle(1);  // descending
  EXPECT_EQ(ViewNames(), std::string("Third,") + kOjciec + ",First");
  EXPECT_EQ(w->TimerGrid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(Written(), written);  // the table keeps its begin order
  ClickRow(0);
  EXPECT_EQ(CurrentName(), "Third");
  Button(Qt::Key_D);
  EXPECT_EQ(ViewNames(), std::string(kOjciec) + ",First");
  EXPECT_EQ(Written().find("name=\"Third\""), std::string::npos);
  ClickRow(1);
  EXPECT_EQ(CurrentName(), "First");
  // A third click: the begin order again.
  ClickTitle(1);
  EXPECT_EQ(ViewNames(), std::string("First,") + kOjciec);
  EXPECT_EQ(w->TimerGrid()->horizontalHeader()->sortIndicatorSection(), -1);
}

TEST_F(ListWindowTest, TheFilterKeepsTheRowsThatMatchAndTheCaptionCountsThem) {
  {  // An accented name, as the editor would store it.
    store::MemTable& timers = w->Tables().timers;
    const boxdata::ChangeEventsDetached detached(timers);
    timers.ViewMoveToRow(2);
    timers.Edit();
    timers.FieldNamed(fields::kName).SetAsString("Café Zürich");
    timers.Post();
  }
  ClickRow(0);
  Key(Qt::Key_L, Qt::ControlModifier);
  QLineEdit* filter = w->ListView()->Filter();
  ASSERT_TRUE(filter->hasFocus());
  QTest::keyClicks(filter, "ZURICH");
  EXPECT_EQ(ViewNames(), "Café Zürich");
  EXPECT_EQ(Caption(), "Timers: 1 of 3");
  // The selection went with the row shown; Edit and Delete act on it.
  EXPECT_EQ(CurrentName(), "Café Zürich");
  EXPECT_TRUE(w->Delete()->isEnabled());
  filter->setText("tvp 1");  // the channel
  EXPECT_EQ(Caption(), "Timers: 3 of 3");
  filter->setText("nothing like it");
  EXPECT_EQ(Caption(), "Timers: 0 of 3");
  EXPECT_FALSE(w->Edit()->isEnabled() || w->Delete()->isEnabled() || w->Switch()->isEnabled());
  w->DeleteExecute();
  EXPECT_EQ(w->ChangeCount(), 0);
  QTest::keyClick(filter, Qt::Key_Escape);
  EXPECT_TRUE(filter->text().isEmpty());
  EXPECT_EQ(Caption(), "Timers: ");
  EXPECT_TRUE(w->Edit()->isEnabled());
  // Clearing the filter keeps the timer chosen, selected among all the others.
  filter->setText("ZURICH");
  filter->clear();
  EXPECT_EQ(CurrentName(), "Café Zürich");
  const QModelIndex selected = w->TimerGrid()->currentIndex();
  EXPECT_EQ(selected.siblingAtColumn(1).data().toString().toStdString(), "Café Zürich");
}

TEST_F(ListWindowTest, TheSwitchWritesOnlyItsAttributeAndUndoTakesEveryChangeBack) {
  const std::string original = Written();
  ClickRow(1);
  EXPECT_EQ(w->Switch()->text(), "Disable");
  Key(Qt::Key_N, Qt::AltModifier);
  std::string expected = original;
  const size_t line = expected.find("name=\"Ojciec");
  expected.replace(expected.find(" disabled=\"0\"", line), 13, " disabled=\"1\"");
  EXPECT_EQ(Written(), expected);
  EXPECT_EQ(w->Switch()->text(), "Enable");
  EXPECT_TRUE(w->SaveExit()->isEnabled());
  const QModelIndex shown = w->TimerGrid()->model()->index(1, 1);
  EXPECT_EQ(shown.data().toString().toStdString(), std::string("(off) ") + kOjciec);
  EXPECT_TRUE(shown.data(Qt::FontRole).value<QFont>().italic());

  // Every other kind of change on top: a delete, an edit and an append through the dialogs.
  ClickRow(0);
  Button(Qt::Key_D);
  DialogScript edit;
  edit.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    Retype(Control<QLineEdit>(e, "EditName"), "Renamed");
    QTest::keyClick(&e, Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(edit.Run([this] { Key(Qt::Key_E, Qt::AltModifier); }));
  DialogScript append;
  append.Then<ui::ChannelPicker>([](ui::ChannelPicker& p) {
    QTest::keyClick(&Control<QWidget>(p, "ChannelGrid"), Qt::Key_Return);
  });
  append.Then<ui::TimerEditor>([](ui::TimerEditor& e) {
    Retype(Control<QLineEdit>(e, "EditName"), "Added");
    QTest::keyClick(&e, Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(append.Run([this] { Key(Qt::Key_A, Qt::AltModifier); }));
  ASSERT_EQ(w->ChangeCount(), 4);
  const std::string changed = Written();
  EXPECT_EQ(w->Undo()->UndoAction()->text().toStdString(), "Undo append of Added");
  for (int step = 0; step < 4; ++step)
    Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(w->ChangeCount(), 0);
  EXPECT_FALSE(w->SaveExit()->isEnabled());
  EXPECT_EQ(Written(), original);
  EXPECT_EQ(w->Undo()->RedoAction()->text().toStdString(),
            std::string("Redo disabling of ") + kOjciec);
  for (int step = 0; step < 4; ++step)
    Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(w->ChangeCount(), 4);
  EXPECT_EQ(Written(), changed);

  // Reading the box again leaves nothing to undo.
  messages.answers = {true};
  w->ReloadClick();
  messages.boxes.clear();
  EXPECT_FALSE(w->Undo()->UndoAction()->isEnabled());
}

// The grid's keys: Delete deletes (asking nothing), Enter edits. After a delete, an undo and
// a redo the status bar counts the grid's rows and the title marks unsaved changes; while the
// box's lists are read again it says so, over columns that keep their widths.
TEST_F(ListWindowTest, TheGridsKeysAndTheStatusBarCountTheRowsShown) {
  ui::TimerGrid* grid = w->TimerGrid();
  // A first start: the description readable, the window within the screen.
  EXPECT_GE(grid->columnWidth(1), grid->ColumnPixels(40));
  EXPECT_LE(w->width(), std::max(kWindowWidth, w->screen()->availableGeometry().width()));
  auto counted = [this] {
    const std::string text = w->Status()->text().toStdString();
    const size_t from = text.find(" - ") + 3;
    return text.substr(from, text.find(" - ", from) - from);
  };
  auto rows = [grid] { return std::to_string(grid->model()->rowCount()) + " timers"; };
  ClickRow(0);
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_EQ(rows(), "2 timers");
  EXPECT_EQ(counted(), rows());
  EXPECT_TRUE(w->isWindowModified());
  Key(Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(counted(), "3 timers");
  EXPECT_FALSE(w->isWindowModified());
  Key(Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(counted(), "2 timers");
  DialogScript edit;
  bool edited = false;
  edit.Then<ui::TimerEditor>([&edited](ui::TimerEditor& e) {
    edited = e.windowTitle() == "Edit Timer";
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_Escape);
  });
  ASSERT_TRUE(edit.Run([grid] {
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Return);
  }));
  EXPECT_TRUE(edited);
  // F10 opens the menu bar's first menu.
  Key(Qt::Key_F10, Qt::NoModifier);
  EXPECT_EQ(w->menuBar()->activeAction(), Control<QMenu>(*w, "MainMenu").menuAction());
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();

  std::vector<int> widths, widths_during;
  for (int i = 0; i < 4; ++i)
    widths.push_back(grid->columnWidth(i));
  std::string during;
  messages.on_box = [&](const widgets::ScriptedMessageService::Box& box) {
    if (box.kind != widgets::ScriptedMessageService::Kind::kAlert) return;
    during = w->Status()->text().toStdString();
    QCoreApplication::processEvents();  // the widths measured, were they not held
    for (int i = 0; i < 4; ++i)
      widths_during.push_back(grid->columnWidth(i));
  };
  messages.answers = {true};
  w->ReloadClick();
  messages.on_box = nullptr;
  messages.boxes.clear();
  EXPECT_EQ(during, "Reading the box's lists\u2026");
  EXPECT_EQ(widths_during, widths);
  EXPECT_EQ(counted(), "3 timers");
}

TEST_F(ListWindowTest, TheWindowsSizeAndTheListsLayoutAreKeptBetweenRuns) {
  EXPECT_EQ(w->minimumWidth(), kWindowWidth);
  EXPECT_EQ(w->width(), kWindowWidth);
  const int description = w->TimerGrid()->columnWidth(1);
  w->resize(1100, 650);
  // The description takes the room the window gives: the columns fill the grid exactly.
  QTRY_COMPARE(w->TimerGrid()->horizontalHeader()->length(), w->TimerGrid()->viewport()->width());
  EXPECT_GT(w->TimerGrid()->columnWidth(1), description);
  ClickTitle(2);
  ClickTitle(2);
  w->TimerGrid()->horizontalHeader()->resizeSection(0, 150);  // as the user drags it
  EXPECT_EQ(w->Status()->text().toStdString().rfind(
                "Box " + w->Box().Label() + " - 3 timers - earlier copy of ", 0),
            0u)
      << w->Status()->text().toStdString();
  const std::string config = ReadFile(Profile() + "/config.ini");
  EXPECT_TRUE(w->close());  // no change: no question
  Start(1);
  EXPECT_EQ(w->size(), QSize(1100, 650));
  EXPECT_EQ(w->TimerGrid()->horizontalHeader()->sortIndicatorSection(), 2);
  EXPECT_EQ(w->TimerGrid()->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_EQ(w->TimerGrid()->columnWidth(0), 150);
  EXPECT_EQ(ViewNames(), std::string("Third,") + kOjciec + ",First");
  EXPECT_EQ(ReadFile(Profile() + "/config.ini"), config);
}

// With a box to save to: the close question's answers, and the box named in the status bar.
class ListSaveTest : public ListWindowTest {
 protected:
  void SetUp() override {
    if (!HaveBoxPeers()) GTEST_SKIP() << "vsftpd or busybox is not installed";
    const std::string error = StartBoxPeers(work, ftp, telnet);
    ASSERT_TRUE(error.empty()) << error;
    WriteBoxConfig(Profile() + "/config.ini", ftp.Port(), telnet.Port(), BoxFolder());
    Start(ftp.Port());
  }
  std::string BoxFolder() const { return work.Path() + "/root/etc/enigma2"; }

  tivolo::testing::ServerProcess ftp, telnet;
};

TEST_F(ListSaveTest, CloseWithChangesAsksAndSaveSavesAndEndsWithoutAskingAgain) {
  const std::string status = w->Status()->text().toStdString();
  EXPECT_EQ(status.rfind("Box " + w->Box().Label() + " - 3 timers - read ", 0), 0u) << status;
  ClickRow(1);
  Key(Qt::Key_N, Qt::AltModifier);
  messages.save_answers = {widgets::SaveAnswer::kCancel, widgets::SaveAnswer::kSave};
  EXPECT_FALSE(w->close());
  EXPECT_TRUE(w->isVisible());
  EXPECT_EQ(w->ChangeCount(), 1);
  w->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !w->isVisible(); }, 10000))
      << (messages.boxes.empty() ? "" : messages.Trace().back());
  EXPECT_EQ(messages.Trace(), (std::vector<std::string>{
                                  "save question: Save the changes to the box before closing?",
                                  "save question: Save the changes to the box before closing?"}));
  messages.boxes.clear();
  const std::string saved = ReadFile(BoxFolder() + "/timers.xml");
  const size_t line = saved.find(std::string("name=\"") + kOjciec);
  ASSERT_NE(line, std::string::npos);
  EXPECT_NE(saved.find(" disabled=\"1\"", saved.rfind("<timer", line)), std::string::npos);
  EXPECT_EQ(SaveCommands(work / "notes"), "user:root\ncmd:killall -9 enigma2\n");
}

}  // namespace
}  // namespace tivolo::app
