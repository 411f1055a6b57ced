// The timer list actions with the real channel picker and timer editor over the tables of a
// real box's files, driven with key and mouse events at fixed wall-clock times.
#include <QAction>
#include <QCalendarWidget>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <algorithm>
#include <memory>
#include <sstream>
#include <utility>

#include "app/app_test_support.h"
#include "app/main_window.h"
#include "app/settings_dialog.h"
#include "boxdata/box_reader.h"
#include "boxdata/timer_writer.h"
#include "store/date_format.h"
#include "ui/channel_picker.h"
#include "ui/timer_editor.h"
#include "ui/timer_list_actions.h"
#include "ui_test_support.h"
#include "widgets/bound_controls.h"
#include "widgets/message_service.h"
#include "widgets/record_grid.h"

namespace tivolo::ui {
namespace {

using namespace testing;
namespace fields = boxdata::fields;

// The real timer of the large set begins on 7 November 2024 at 21:02 local time.
const platform::DateTime kBeforeRealTimer = At(2024, 11, 7, 18, 0);

using Picker = widgets::BoundDateTimeEdit;
using Grid = widgets::RecordGrid;

// A control of a dialog by its object name.
template <class W = QWidget>
W* Get(QDialog& d, const char* name) {
  return &Control<W>(d, name);
}
QCheckBox* Day(QDialog& d, int i) {
  return Get<QCheckBox>(d, ("DayBox" + std::to_string(i)).c_str());
}

// How many rows a grid shows whole.
int WholeRows(Grid& g) {
  int whole = 0;
  for (int row = 0; row < g.model()->rowCount(); ++row) {
    const QRect cell = g.visualRect(g.model()->index(row, 0));
    if (cell.top() >= 0 && cell.bottom() < g.viewport()->height()) ++whole;
  }
  return whole;
}

std::string Stamp(platform::DateTime t) {
  return store::FormatDateTime("yyyy-mm-dd hh:nn:ss", t);
}

// The fields a timer is written with, one line per record in table order.
std::string DumpTimers(store::MemTable& timers) {
  std::ostringstream out;
  for (timers.First(); !timers.Eof(); timers.Next()) {
    for (const char* f : {fields::kZender, fields::kServiceref, fields::kName}) {
      out << timers.FieldNamed(f).AsString() << "|";
    }
    out << Stamp(timers.FieldNamed(fields::kBegin).AsDateTime()) << "|"
        << Stamp(timers.FieldNamed(fields::kEnd).AsDateTime()) << "|";
    for (const char* f :
         {fields::kRepeatedOrg, fields::kAfterevent, fields::kJustplay, fields::kDisabled,
          fields::kEit, fields::kExtraAttributes, fields::kChildLines}) {
      out << timers.FieldNamed(f).AsString() << "|";
    }
    out << "\n";
  }
  return out.str();
}

class DialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = ZoneClock();
    now_ = std::make_unique<platform::ScopedNow>(0);
    SetNow(kBeforeRealTimer);
    w_ = app::testing::StartOnCopies(work_.Path(), messages_);
    messages_.beeps = 0;
    w_->show();
    w_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get(), 2000));
  }
  void TearDown() override { EXPECT_TRUE(messages_.boxes.empty()) << messages_.Trace().front(); }

  boxdata::BoxTables& T() { return w_->Tables(); }
  void SetNow(platform::DateTime local) { now_->Set(platform::EpochSecondsOfLocal(local, clock_)); }

  // Puts a timer of its own into the table (its begin a Wednesday unless given).
  void AddTimer(int64_t repeated_org, platform::DateTime begin = At(2026, 7, 15, 20, 30),
                const char* afterevent = "nothing",
                const char* serviceref = "1:0:1:B2:C:3E8:FFFF0000:0:0:0:") {
    store::MemTable& t = T().timers;
    const store::MemTable::Event insert = std::exchange(t.AfterInsert, nullptr);
    t.Append();
    t.FieldNamed(fields::kZender).SetAsString("Own");
    t.FieldNamed(fields::kServiceref).SetAsString(serviceref);
    t.FieldNamed(fields::kBegin).SetAsDateTime(begin);
    t.FieldNamed(fields::kEnd).SetAsDateTime(platform::AddHours(begin, 1));
    t.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(repeated_org);
    t.FieldNamed(fields::kAfterevent).SetAsString(afterevent);
    t.Post();
    t.AfterInsert = insert;
  }
  // Makes the record with this begin current.
  void GoTo(platform::DateTime begin) {
    store::MemTable& t = T().timers;
    for (t.First(); !t.Eof(); t.Next()) {
      if (Stamp(t.FieldNamed(fields::kBegin).AsDateTime()) == Stamp(begin)) return;
    }
    FAIL() << "no timer at " << Stamp(begin);
  }

  // The window's button bar, by its Alt accelerators.
  bool Append(DialogScript& script) {
    return script.Run([this] { Alt(Qt::Key_A); });
  }
  bool Edit(DialogScript& script) {
    return script.Run([this] { Alt(Qt::Key_E); });
  }
  // Alt accelerators reach only the active window, which a closed dialog does not hand back.
  void Alt(Qt::Key key) {
    w_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w_.get(), 2000));
    QTest::keyClick(w_.get(), key, Qt::AltModifier);
  }

  std::string ActionStates() const {
    return std::string("edit ") + (w_->Edit()->isEnabled() ? "on" : "off") + ", delete " +
           (w_->Delete()->isEnabled() ? "on" : "off") + ", save&exit " +
           (w_->SaveExit()->isEnabled() ? "on" : "off") + ", changes " +
           std::to_string(w_->ChangeCount());
  }
  std::string LastLogLine() const {
    const std::string log = w_->LogText();
    const size_t end = log.find_last_not_of('\n');
    return log.substr(log.rfind('\n', end) + 1, end - log.rfind('\n', end));
  }

  static void Key(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    w->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(w, key, mods);
  }
  static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

  tivolo::testing::TempDir work_;
  platform::ClockSettings clock_;
  std::unique_ptr<platform::ScopedNow> now_;
  widgets::ScriptedMessageService messages_;
  std::unique_ptr<app::MainWindow> w_;
};

// ---- The list flows ----

TEST_F(DialogsTest, CancelInThePickerAddsNothing) {
  const std::string before = DumpTimers(T().timers);
  DialogScript script;
  script.Then<ChannelPicker>([](ChannelPicker& p) {
    EXPECT_EQ(p.windowTitle().toStdString(), "Select channel");
    EXPECT_EQ(p.size(), QSize(224, 535));
    EXPECT_TRUE(Get<Grid>(p, "ChannelGrid")->hasFocus());
    Key(Get<Grid>(p, "ChannelGrid"), Qt::Key_Escape);  // as Cancel
    EXPECT_FALSE(p.isVisible());
  });
  ASSERT_TRUE(Append(script));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit off, changes 0");
}

TEST_F(DialogsTest, CancelInTheEditorAfterSelectAddsNothing) {
  const std::string before = DumpTimers(T().timers);
  DialogScript script;
  script.Then<ChannelPicker>(
      [](ChannelPicker& p) { Key(Get<Grid>(p, "ChannelGrid"), Qt::Key_Return); });
  script.Then<TimerEditor>([](TimerEditor& e) {
    EXPECT_EQ(e.windowTitle().toStdString(), "New Timer");
    QTest::keyClicks(Get<QLineEdit>(e, "EditName"), "typed");
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_C,
        Qt::ControlModifier);  // Ctrl+C from the description
  });
  ASSERT_TRUE(Append(script));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit off, changes 0");
}

TEST_F(DialogsTest, SelectAndSavePostsTheNewTimerInBeginOrder) {
  SetNow(At(2024, 11, 7, 16, 0, 0));
  std::string channel;
  DialogScript script;
  script.Then<ChannelPicker>([&channel, this](ChannelPicker& p) {
    EXPECT_EQ(WholeRows(*Get<Grid>(p, "BouquetGrid")),
              std::min(T().bouquet.RecordCount(), ChannelPicker::kMaxBouquetRows));
    // Enter in the bouquet grid does not select.
    Key(Get<Grid>(p, "BouquetGrid"), Qt::Key_Return);
    EXPECT_TRUE(p.isVisible());
    const QModelIndex second = Get<Grid>(p, "ChannelGrid")->model()->index(1, 0);
    channel = second.data().toString().toStdString();
    const QRect cell = Get<Grid>(p, "ChannelGrid")->visualRect(second);
    QTest::mouseClick(Get<Grid>(p, "ChannelGrid")->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(Get<Grid>(p, "ChannelGrid")->viewport(), Qt::LeftButton, {}, cell.center());
  });
  script.Then<TimerEditor>([](TimerEditor& e) {
    EXPECT_EQ(e.Validity(), TimerValidity{});
    EXPECT_FALSE(Get(e, "Panel1")->isVisible());
    QTest::keyClicks(Get<QLineEdit>(e, "EditName"), "Nieuw");
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(Append(script));
  ASSERT_FALSE(channel.empty());
  // 20:30 today, ending exactly two hours later: after the timer at 18:20, before the real
  // one at 21:02.
  const std::string dump = DumpTimers(T().timers);
  const std::string added = channel + "|" + T().zenders.FieldNamed(fields::kService).AsString() +
                            "|Nieuw|2024-11-07 20:30:00|2024-11-07 22:30:00|0|nothing|0|0|98|||\n";
  ASSERT_NE(dump.find(added), std::string::npos) << dump;
  EXPECT_LT(dump.find("|First|"), dump.find(added));
  EXPECT_LT(dump.find(added), dump.find("|Ojciec"));
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit on, changes 1");
  EXPECT_EQ(LastLogLine(), "0");
  EXPECT_EQ(Stamp(w_->LastSavedEnd()), "2024-11-07 22:30:00");
}

TEST_F(DialogsTest, EditAndSaveWithoutChangeCountsAndKeepsEveryValue) {
  const std::string before = DumpTimers(T().timers);
  DialogScript script;
  script.Then<TimerEditor>([](TimerEditor& e) {
    EXPECT_EQ(e.windowTitle().toStdString(), "Edit Timer");
    // The receiver's "auto" is offered and kept, not turned into another value.
    EXPECT_EQ(Get<QComboBox>(e, "ComboAfterevent")->currentText().toStdString(), "auto");
    EXPECT_EQ(Get<QComboBox>(e, "ComboAfterevent")->count(), 3);
    Key(Get<Picker>(e, "PickerBegin"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit on, changes 1");
}

TEST_F(DialogsTest, EditAndCancelKeepsEveryValue) {
  const std::string before = DumpTimers(T().timers);
  DialogScript script;
  script.Then<TimerEditor>([](TimerEditor& e) {
    QTest::keyClicks(Get<QLineEdit>(e, "EditName"), " and more");
    Key(Get<Picker>(e, "PickerBegin"), Qt::Key_Plus, Qt::AltModifier);
    Get<QComboBox>(e, "ComboAfterevent")->setFocus();
    QTest::keyClick(Get<QComboBox>(e, "ComboAfterevent"), Qt::Key_Up);
    Click(Get<QPushButton>(e, "ButtonCancel"));
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit off, changes 0");
}

TEST_F(DialogsTest, DeletingTheLastTimerLeavesOnlySaveAndExit) {
  int count = T().timers.RecordCount();
  ASSERT_EQ(count, 3);
  while (count > 0) {
    Alt(Qt::Key_D);  // the button's click comes a moment later
    ASSERT_TRUE(QTest::qWaitFor([&] { return T().timers.RecordCount() == count - 1; }, 2000));
    --count;
  }
  EXPECT_EQ(ActionStates(), "edit off, delete off, save&exit on, changes 3");
  Alt(Qt::Key_D);  // disabled: nothing happens
  Alt(Qt::Key_E);
  QTest::qWait(150);
  EXPECT_EQ(ActionStates(), "edit off, delete off, save&exit on, changes 3");
}

// A short bouquet list shows every row, without a scroll bar, whatever the font's height;
// with no channel at all the picker still selects, but the editor will not save a timer the
// box could not record, and says why.
TEST_F(DialogsTest, ShortBouquetListsShowWholeAndATimerNeedsAChannel) {
  while (T().bouquet.RecordCount() > 2) {
    T().bouquet.Last();
    while (T().zenders.RecordCount() > 0)
      T().zenders.Delete();
    T().bouquet.Delete();
  }
  DialogScript script;
  script.Then<ChannelPicker>([](ChannelPicker& p) {
    Grid& bouquets = *Get<Grid>(p, "BouquetGrid");
    EXPECT_EQ(WholeRows(bouquets), 2);
    EXPECT_FALSE(bouquets.verticalScrollBar()->isVisible());
    Click(Get<QPushButton>(p, "ButtonCancel"));
  });
  ASSERT_TRUE(Append(script));

  for (T().bouquet.First(); T().bouquet.RecordCount() > 0;) {
    while (T().zenders.RecordCount() > 0)
      T().zenders.Delete();
    T().bouquet.Delete();
  }
  const std::string before = DumpTimers(T().timers);
  script.Then<ChannelPicker>([](ChannelPicker& p) {
    EXPECT_EQ(WholeRows(*Get<Grid>(p, "BouquetGrid")), 0);
    Click(Get<QPushButton>(p, "ButtonSelect"));
  });
  script.Then<TimerEditor>([this](TimerEditor& e) {
    EXPECT_TRUE(e.Validity().no_channel);
    Click(Get<QPushButton>(e, "ButtonSave"));
    EXPECT_TRUE(e.isVisible());
    ASSERT_EQ(messages_.Trace().size(), 1u);
    EXPECT_NE(messages_.Trace()[0].find("information: This timer has no channel"),
              std::string::npos)
        << messages_.Trace()[0];
    messages_.boxes.clear();
    Click(Get<QPushButton>(e, "ButtonCancel"));
  });
  ASSERT_TRUE(Append(script));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit off, changes 0");
}

TEST_F(DialogsTest, CloseAfterAChangeAsksAndDiscardEndsTheProgram) {
  DialogScript script;
  script.Then<TimerEditor>(
      [](TimerEditor& e) { Key(Get<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier); });
  ASSERT_TRUE(Edit(script));
  QAction* close = nullptr;
  for (QAction* a : w_->findChildren<QAction*>()) {
    if (a->text() == "Close") close = a;
  }
  ASSERT_NE(close, nullptr);
  messages_.save_answers = {widgets::SaveAnswer::kDiscard};
  close->trigger();
  EXPECT_FALSE(w_->isVisible());
  EXPECT_EQ(messages_.Trace(),
            std::vector<std::string>{"save question: Save the changes to the box before closing?"});
  messages_.boxes.clear();
}

TEST_F(DialogsTest, TypingInTheChannelGridFindsTheChannelByItsName) {
  std::string wanted;
  DialogScript script;
  script.Then<ChannelPicker>([&wanted](ChannelPicker& p) {
    // The last channel whose name no earlier channel starts with.
    QAbstractItemModel* m = Get<Grid>(p, "ChannelGrid")->model();
    for (int row = m->rowCount() - 1; row > 0 && wanted.empty(); --row) {
      const QString name = m->index(row, 0).data().toString();
      bool clash = false;
      for (int up = 0; up < row; ++up)
        clash = clash || m->index(up, 0).data().toString().startsWith(name);
      if (!clash) wanted = name.toStdString();
    }
    ASSERT_FALSE(wanted.empty());
    Get<Grid>(p, "ChannelGrid")->setFocus();
    QTest::keyClicks(Get<Grid>(p, "ChannelGrid"), QString::fromStdString(wanted));
    QTest::keyClick(Get<Grid>(p, "ChannelGrid"), Qt::Key_Enter);
  });
  script.Then<TimerEditor>([&wanted](TimerEditor& e) {
    EXPECT_EQ(Get<QLineEdit>(e, "EditChannel")->text().toStdString(), wanted);
    Click(Get<QPushButton>(e, "ButtonCancel"));
  });
  ASSERT_TRUE(Append(script));
}

// ---- The editor's repetition days ----

struct RepeatCase {
  const char* name;
  int64_t stored;
  bool opens_repeated;
  std::array<bool, 7> opens_ticked;
  std::function<void(TimerEditor&)> change;
  int64_t saved;
};

class RepeatTest : public DialogsTest, public ::testing::WithParamInterface<RepeatCase> {};

INSTANTIATE_TEST_SUITE_P(
    Masks, RepeatTest,
    ::testing::Values(
        RepeatCase{"WeekendOnAWednesday", 96, true, {0, 0, 1, 0, 0, 1, 1}, nullptr, 100},
        RepeatCase{"HighBitGivesTheBeginsDay", 128, true, {0, 0, 1, 0, 0, 0, 0}, nullptr, 4},
        RepeatCase{"NoneThenTickRepeated",
                   0,
                   false,
                   {},
                   [](TimerEditor& e) {
                     QTest::mouseClick(Get<QCheckBox>(e, "CheckBoxRepeated"), Qt::LeftButton, {},
                                       Get<QCheckBox>(e, "CheckBoxRepeated")->rect().center());
                     EXPECT_TRUE(Get(e, "Panel1")->isVisible());
                   },
                   4},
        RepeatCase{"AllUnticked",
                   3,
                   true,
                   {1, 1, 1, 0, 0, 0, 0},
                   [](TimerEditor& e) {
                     for (int i = 0; i < 3; ++i) {
                       Day(e, i)->setFocus();
                       QTest::keyClick(Day(e, i), Qt::Key_Space);
                     }
                   },
                   0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_P(RepeatTest, OpensFromTheMaskAndSavesTheBoxes) {
  SetNow(At(2026, 7, 15, 12, 0));
  AddTimer(GetParam().stored);
  GoTo(At(2026, 7, 15, 20, 30));
  DialogScript script;
  script.Then<TimerEditor>([](TimerEditor& e) {
    const RepeatCase& c = GetParam();
    EXPECT_EQ(Get<QCheckBox>(e, "CheckBoxRepeated")->isChecked(), c.opens_repeated);
    EXPECT_EQ(Get(e, "Panel1")->isVisible(), c.opens_repeated);
    std::array<bool, 7> ticked{};
    for (int i = 0; i < 7; ++i)
      ticked[static_cast<size_t>(i)] = Day(e, i)->isChecked();
    EXPECT_EQ(ticked, c.opens_ticked);
    if (c.change) c.change(e);
    Click(Get<QPushButton>(e, "ButtonSave"));
  });
  ASSERT_TRUE(Edit(script));
  GoTo(At(2026, 7, 15, 20, 30));
  EXPECT_EQ(T().timers.FieldNamed(fields::kRepeatedOrg).AsLargeInt(), GetParam().saved);
  EXPECT_EQ(LastLogLine(), std::to_string(GetParam().saved));
}

// ---- The editor's times, colours and keys ----

TEST_F(DialogsTest, QuickButtonsAndColoursAcrossMidnight) {
  SetNow(At(2026, 7, 15, 21, 5));
  AddTimer(0, At(2026, 7, 15, 23, 30));
  GoTo(At(2026, 7, 15, 23, 30));
  std::vector<std::string> seen;
  DialogScript script;
  script.Then<TimerEditor>([&seen, this](TimerEditor& e) {
    auto state = [&] {
      seen.push_back(Stamp(Get<Picker>(e, "PickerEnd")->Value()) +
                     (e.Validity().end_red ? " red" : ""));
    };
    Click(Get<QPushButton>(e, "QuickButton60"));
    state();
    Click(Get<QPushButton>(e, "QuickButton0"));
    state();
    Click(Get<QPushButton>(e, "ButtonSave"));  // refused: the end is red
    EXPECT_TRUE(e.isVisible());
    EXPECT_TRUE(Get<Picker>(e, "PickerEnd")->hasFocus());
    EXPECT_EQ(messages_.beeps, 1);
    Click(Get<QPushButton>(e, "QuickButton165"));
    state();
    Click(Get<QPushButton>(e, "ButtonSave"));
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(seen, (std::vector<std::string>{"2026-07-16 00:30:00", "2026-07-15 23:30:00 red",
                                            "2026-07-16 02:15:00"}));
  GoTo(At(2026, 7, 15, 23, 30));
  EXPECT_EQ(Stamp(T().timers.FieldNamed(fields::kEnd).AsDateTime()), "2026-07-16 02:15:00");
}

// With one tuner (the user's own set-up: the box refuses), a begin moved into the real timer's
// recording on another transponder shows the conflict line under the pickers; moved past its
// end, the line goes. Save still takes the timer.
TEST_F(DialogsTest, TheConflictLineFollowsTheBegin) {
  DialogScript configure;
  configure.Then<app::SettingsDialog>([](app::SettingsDialog& d) {
    Control<QSpinBox>(d, "SpinManualTuners").setValue(1);
    Control<QPushButton>(d, "ButtonSave").click();
  });
  ASSERT_TRUE(configure.Run([this] { w_->ConfigurationClick(); }));
  auto* tuners = w_->statusBar()->findChild<QLabel*>("TunerStatus");
  ASSERT_TRUE(QTest::qWaitFor([&] { return tuners->text() == "Tuners: 1 x DVB-S2"; }, 15000))
      << tuners->text().toStdString();
  // The real timer records 21:02-22:10 on 13.0E; this one is on another transponder there.
  AddTimer(0, At(2024, 11, 7, 23, 0), "nothing", "1:0:1:1:5E:55:820000:0:0:0:");
  GoTo(At(2024, 11, 7, 23, 0));
  std::vector<std::string> seen;
  DialogScript script;
  script.Then<TimerEditor>([&seen](TimerEditor& e) {
    auto* line = Get<QLabel>(e, "ConflictLine");
    auto state = [&] { seen.push_back(line->isVisible() ? line->text().toStdString() : "-"); };
    state();
    Get<Picker>(e, "PickerBegin")->SetValue(At(2024, 11, 7, 21, 30));
    state();
    Get<Picker>(e, "PickerBegin")->SetValue(At(2024, 11, 7, 22, 10));  // at its end: overlaps
    state();
    Get<Picker>(e, "PickerBegin")->SetValue(At(2024, 11, 7, 22, 11));
    state();
    Get<Picker>(e, "PickerBegin")->SetValue(At(2024, 11, 7, 21, 0));
    Click(Get<QPushButton>(e, "ButtonSave"));
    EXPECT_FALSE(e.isVisible());
  });
  ASSERT_TRUE(Edit(script));
  const std::string with = "Needs a second tuner on Thu 07-11 ";
  const std::string real = ", with \"Ojciec Mateusz 32 (odc. 2)\"";
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], "-");
  EXPECT_EQ(seen[1].rfind(with + "21:30-22:10" + real, 0), 0u) << seen[1];
  EXPECT_EQ(seen[2].rfind(with + "22:10-22:10" + real, 0), 0u) << seen[2];
  EXPECT_EQ(seen[3], "-");
  EXPECT_EQ(w_->ChangeCount(), 1);
}

// An existing timer that already runs opens without red; a begin changed into the past turns
// red until it is back where it was or ahead. The keys step the focused picker, and Ctrl with
// the main keyboard's minus leaves the focus and the cursor where they were.
TEST_F(DialogsTest, KeysMoveTheFocusedPickerAndItsColour) {
  SetNow(At(2026, 7, 15, 16, 0));
  AddTimer(0, At(2026, 7, 15, 15, 54));  // running for six minutes
  GoTo(At(2026, 7, 15, 15, 54));
  std::vector<std::string> seen;
  DialogScript script;
  script.Then<TimerEditor>([&seen, this](TimerEditor& e) {
    Picker* begin = Get<Picker>(e, "PickerBegin");
    Picker* end = Get<Picker>(e, "PickerEnd");
    auto state = [&] {
      seen.push_back(Stamp(begin->Value()) + (e.Validity().begin_red ? " red" : "") + " / " +
                     Stamp(end->Value()) + (e.Validity().end_red ? " red" : ""));
    };
    state();
    Key(begin, Qt::Key_Minus, Qt::AltModifier);  // 15:49: changed, and in the past
    state();
    Key(begin, Qt::Key_S, Qt::ControlModifier);  // refused, focus stays on begin
    EXPECT_TRUE(e.isVisible());
    EXPECT_TRUE(begin->hasFocus());
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_Plus, Qt::AltModifier);  // nothing: not a picker
    Key(begin, Qt::Key_Plus, Qt::AltModifier);                          // back where it was
    state();
    Key(begin, Qt::Key_Plus, Qt::AltModifier);  // 15:59, one minute ago
    state();
    Key(end, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    state();
    Key(end, Qt::Key_Plus, Qt::ControlModifier);
    end->setCurrentSection(QDateTimeEdit::DaySection);  // where "-" is a separator
    const int cursor = end->inputMethodQuery(Qt::ImCursorPosition).toInt();
    QTest::keyClick(end, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), end);
    EXPECT_EQ(end->currentSection(), QDateTimeEdit::DaySection);
    EXPECT_EQ(end->inputMethodQuery(Qt::ImCursorPosition).toInt(), cursor);
    state();
    Key(end, Qt::Key_Plus, Qt::ControlModifier);
    Key(end, Qt::Key_Minus, Qt::AltModifier);
    state();
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(seen, (std::vector<std::string>{
                      "2026-07-15 15:54:00 / 2026-07-15 16:54:00",
                      "2026-07-15 15:49:00 red / 2026-07-15 16:54:00",
                      "2026-07-15 15:54:00 / 2026-07-15 16:54:00",
                      "2026-07-15 15:59:00 / 2026-07-15 16:54:00",
                      "2026-07-15 15:59:00 / 2026-07-15 15:54:00 red",
                      "2026-07-15 15:59:00 / 2026-07-15 15:54:00 red",
                      "2026-07-15 15:59:00 / 2026-07-15 16:49:00",
                  }));
  EXPECT_EQ(messages_.beeps, 1);
  EXPECT_EQ(w_->ChangeCount(), 1);
}

// While Save would refuse, the line under the pickers says why; Enter is Save (refused with
// the beep), Escape is Cancel; the red stays on the picker, out of its calendar.
TEST_F(DialogsTest, TheEditorSaysWhySaveRefusesAndEnterAndEscapeAreSaveAndCancel) {
  SetNow(At(2026, 7, 15, 16, 0));
  AddTimer(0);
  GoTo(At(2026, 7, 15, 20, 30));
  const std::string before = DumpTimers(T().timers);
  std::vector<std::string> reasons;
  DialogScript cancel;
  cancel.Then<TimerEditor>([&reasons, this](TimerEditor& e) {
    const QLabel* line = Get<QLabel>(e, "ReasonLine");
    Picker* begin = Get<Picker>(e, "PickerBegin");
    reasons.push_back(line->text().toStdString());
    Click(Get<QPushButton>(e, "QuickButton0"));
    reasons.push_back(line->text().toStdString());
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_Return);
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(messages_.beeps, 1);
    Click(Get<QPushButton>(e, "QuickButton60"));
    reasons.push_back(line->text().toStdString());
    begin->SetValue(At(2026, 7, 15, 15, 0));
    reasons.push_back(line->text().toStdString());
    EXPECT_EQ(begin->palette().color(QPalette::Base), QColor(Qt::red));
    EXPECT_NE(begin->calendarWidget()->palette().color(QPalette::Base), QColor(Qt::red));
    Key(begin, Qt::Key_Escape);
    EXPECT_FALSE(e.isVisible());
  });
  ASSERT_TRUE(Edit(cancel));
  EXPECT_EQ(reasons,
            (std::vector<std::string>{"", "End is not after Begin", "", "Begin lies in the past"}));
  EXPECT_EQ(DumpTimers(T().timers), before);
  EXPECT_EQ(w_->ChangeCount(), 0);
  DialogScript save;
  save.Then<TimerEditor>([](TimerEditor& e) {
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_FALSE(e.isVisible());
  });
  ASSERT_TRUE(Edit(save));
  EXPECT_EQ(w_->ChangeCount(), 1);
}

// Where the save goes through the box's web interface, the editor says before Save that a
// timer needs a name, and Save waits for one; elsewhere an empty name is taken.
TEST_F(DialogsTest, OnTheLiveRouteTheEditorAsksForANameBeforeSave) {
  SetNow(At(2026, 7, 15, 16, 0));
  AddTimer(0);  // no name
  GoTo(At(2026, 7, 15, 20, 30));
  TimerSession session;
  session.tables = &T();
  session.clock = [this] { return clock_; };
  session.beep = [this] { messages_.Beep(); };
  bool live = true;
  session.names_required = [&live] { return live; };
  store::MemTable& t = T().timers;
  auto edit_alone = [&t] {
    const store::MemTable::Event after = std::exchange(t.AfterEdit, nullptr);
    t.Edit();
    t.AfterEdit = after;
  };
  edit_alone();
  bool cancelled = true;
  std::string said;
  DialogScript script;
  script.Then<TimerEditor>([&](TimerEditor& e) {
    const QLabel* line = Get<QLabel>(e, "ReasonLine");
    said = line->text().toStdString();
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_Return);
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(messages_.beeps, 1);
    QTest::keyClicks(Get<QLineEdit>(e, "EditName"), "News");
    EXPECT_EQ(line->text().toStdString(), "");
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_Return);
  });
  ASSERT_TRUE(script.Run([&] {
    TimerEditor editor(w_.get(), session);
    editor.SetDialogCancelled(&cancelled);
    editor.exec();
  }));
  t.Cancel();
  EXPECT_EQ(said, "The box's web interface takes no timer without a name");
  EXPECT_FALSE(cancelled);
  live = false;
  edit_alone();
  {
    TimerEditor editor(w_.get(), session);
    EXPECT_TRUE(editor.Validity().CanSave());
    EXPECT_EQ(Get<QLabel>(editor, "ReasonLine")->text().toStdString(), "");
  }
  t.Cancel();
}

TEST_F(DialogsTest, TabWalksTheEditorsControlsInOrder) {
  std::vector<std::string> order;
  DialogScript script;
  script.Then<TimerEditor>([&order](TimerEditor& e) {
    Get<QLineEdit>(e, "EditName")->setFocus();
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* at = QApplication::focusWidget();
      auto* button = qobject_cast<QPushButton*>(at);
      order.push_back(button ? button->text().toStdString() : at->objectName().toStdString());
    }
    Click(Get<QPushButton>(e, "ButtonCancel"));
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(order, (std::vector<std::string>{"PickerBegin", "PickerEnd", "CheckBoxRepeated",
                                             "ComboAfterevent", "&Save", "&Cancel"}));
}

TEST_F(DialogsTest, TheDescriptionTakesNamesOfAnyLength) {
  const std::string long_name(120, 'x');
  DialogScript script;
  script.Then<TimerEditor>([&long_name](TimerEditor& e) {
    Get<QLineEdit>(e, "EditName")->selectAll();
    QTest::keyClicks(Get<QLineEdit>(e, "EditName"), QString::fromStdString(long_name));
    Key(Get<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(Edit(script));
  EXPECT_EQ(T().timers.FieldNamed(fields::kName).AsString(), long_name);
}

TEST_F(DialogsTest, AnErrorInADialogsHandlerIsShownAndTheDialogGoesOn) {
  DialogScript script;
  script.Then<TimerEditor>([this](TimerEditor& e) {
    T().timers.Cancel();  // the record is no longer being edited: Save cannot store the mask
    Click(Get<QPushButton>(e, "ButtonSave"));
    EXPECT_TRUE(e.isVisible());
    Click(Get<QPushButton>(e, "ButtonCancel"));
  });
  ASSERT_TRUE(Edit(script));
  ASSERT_EQ(messages_.Trace().size(), 1u);
  EXPECT_NE(messages_.Trace()[0].find("not in edit or insert mode"), std::string::npos)
      << messages_.Trace()[0];
  messages_.boxes.clear();
  EXPECT_EQ(ActionStates(), "edit on, delete on, save&exit off, changes 0");
}

// ---- The round trip ----

TEST_F(DialogsTest, EditingOneTimerChangesOnlyItsLineInTheList) {
  AddTimer(31, At(2024, 11, 8, 6, 0), "standby");
  const std::string before = boxdata::BuildTimerList(T().timers, w_->Clock());
  GoTo(At(2024, 11, 7, 21, 2));
  DialogScript script;
  script.Then<TimerEditor>([](TimerEditor& e) {
    Key(Get<Picker>(e, "PickerBegin"), Qt::Key_Plus, Qt::AltModifier);
    Key(Get<Picker>(e, "PickerBegin"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(Edit(script));
  const std::string after = boxdata::BuildTimerList(T().timers, w_->Clock());
  auto lines = [](const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
      out.push_back(line);
    return out;
  };
  const auto a = lines(before), b = lines(after);
  ASSERT_EQ(a.size(), b.size());
  std::vector<std::string> changed;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) changed.push_back(b[i]);
  }
  // The real timer's line alone, with its begin 300 seconds later and everything else kept.
  const auto line = std::find_if(a.begin(), a.end(), [](const std::string& l) {
    return l.find("begin=\"1731009720\"") != std::string::npos;
  });
  ASSERT_NE(line, a.end());
  std::string expected = *line;
  expected.replace(expected.find("1731009720"), 10, "1731010020");
  EXPECT_EQ(changed, std::vector<std::string>{expected});
}

}  // namespace
}  // namespace tivolo::ui
