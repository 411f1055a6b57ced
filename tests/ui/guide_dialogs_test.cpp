// The guide in the windows, offline: the box does not answer, so the guide copy an earlier run
// left in the profile folder is read in the background. The picker lists the current
// channel's programmes from now on with the covered one marked, and a picked programme makes
// the timer with the box's margins to the second, also in the hour the end of daylight saving
// time repeats; "Find in guide" adds a timer through the same append flow.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>
#include <sstream>

#include "app/app_test_support.h"
#include "app/guide_status.h"
#include "app/main_window.h"
#include "boxdata/guide_writer.h"
#include "boxdata/timer_writer.h"
#include "store/date_format.h"
#include "ui/channel_picker.h"
#include "ui/find_in_guide.h"
#include "ui/guide_list.h"
#include "ui/timer_editor.h"
#include "ui_test_support.h"
#include "widgets/message_service.h"
#include "widgets/record_grid.h"

namespace tivolo::ui {
namespace {

using namespace testing;
using tivolo::testing::WriteFile;
namespace fields = boxdata::fields;

// Saturday 24 October 2026, 21:00 in Amsterdam (19:00 UTC); daylight saving time ends that
// night, when 02:00 to 03:00 comes twice.
constexpr int64_t kNow = 1792868400;
constexpr int64_t kWritten = 1792476000;  // the box wrote its guide on the 20th
constexpr int kBefore = 5, kAfter = 10;   // the box's margins, in minutes

struct Programme {
  uint16_t id;
  int64_t begin;
  int32_t duration;
  const char* title;
  const char* short_text;
};

// Channel A: one ended, one running, one a timer covers, one in the repeated hour (01:40 UTC
// is 02:40 the second time). Channel B: one at 20:15 UTC. The third channel has none.
const Programme kChannelA[] = {{101, 1792861200, 3600, "Ended", ""},
                               {102, 1792866600, 3600, "Journaal", "Het nieuws."},
                               {103, 1792872000, 3600, "Caf\xC3\xA9 Europa", "Aan de bar."},
                               {104, 1792892400, 3600, "Nachtfilm", "Over middernacht."}};
const Programme kChannelB[] = {{201, 1792872900, 3600, "Cafe du Monde", "Reizen."}};

std::string Attribute(const std::string& name, const std::string& value) {
  return name + "=\"" + value + "\"";
}

class GuideDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock_ = ZoneClock();
    w_ = app::testing::StartOnCopies(work_.Path(), messages_);
    for (int i = 0; i < 3; ++i)
      channels_.push_back(ChannelAt(i));
    WriteGuideCopy();
    w_->show();
    w_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w_.get(), 2000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return w_->Guide() != nullptr; }, 5000));
    ASSERT_TRUE(w_->Guide()->HasGuide()) << w_->LogText();
    // The box did not answer: the copy an earlier run brought, and it says so.
    EXPECT_EQ(w_->GuideStatusBar()->Text(), "Guide of 20-10-26 08:00 (an earlier copy)");
  }
  void TearDown() override { EXPECT_TRUE(messages_.boxes.empty()) << messages_.Trace().front(); }

  boxdata::BoxTables& T() { return w_->Tables(); }
  // The name and service of the first bouquet's channel at row.
  boxdata::Channel ChannelAt(int row) {
    T().zenders.ViewMoveToRow(row);
    boxdata::Channel c{T().zenders.FieldNamed(fields::kService).AsString(),
                       T().zenders.FieldNamed(fields::kZender).AsString()};
    T().zenders.First();
    return c;
  }
  // The guide, the settings and the note of where they came from, as a fetch leaves them.
  void WriteGuideCopy() {
    boxdata::testing::GuideWriter writer;
    auto add = [&writer](const boxdata::Channel& c, std::span<const Programme> programmes) {
      const boxdata::GuideServiceKey key = *boxdata::GuideKeyOf(c.service);
      boxdata::testing::WrittenService service{
          key.service_id, key.original_network_id, key.transport_stream_id, {}};
      for (const Programme& p : programmes) {
        service.events.push_back(
            {p.id, p.begin, p.duration, {writer.Title(p.title), writer.ShortText(p.short_text)}});
      }
      writer.services.push_back(service);
    };
    add(channels_[0], kChannelA);
    add(channels_[1], kChannelB);
    // The reader wants its services in key order, as the receiver writes them.
    std::sort(writer.services.begin(), writer.services.end(), [](const auto& a, const auto& b) {
      return std::tie(a.service_id, a.transport_stream_id, a.original_network_id) <
             std::tie(b.service_id, b.transport_stream_id, b.original_network_id);
    });
    const std::string bytes = writer.Bytes();
    WriteFile(work_ / "epg.dat", bytes);
    WriteFile(work_ / "epg.dat.box",
              "path=/media/hdd/epg.dat\nsize=" + std::to_string(bytes.size()) +
                  "\nmodified=" + std::to_string(kWritten) + "\n");
    WriteFile(work_ / "settings", "config.recording.margin_before=" + std::to_string(kBefore) +
                                      "\nconfig.recording.margin_after=" + std::to_string(kAfter) +
                                      "\n");
  }
  // A timer of the table over channel A from 21:55 to 23:05 local: it covers "Café Europa".
  void AddCoveringTimer() {
    store::MemTable& t = T().timers;
    const store::MemTable::Event insert = std::exchange(t.AfterInsert, nullptr);
    t.Append();
    t.FieldNamed(fields::kZender).SetAsString(channels_[0].name);
    t.FieldNamed(fields::kServiceref).SetAsString(channels_[0].service);
    t.FieldNamed(fields::kBegin).SetAsDateTime(At(2026, 10, 24, 21, 55));
    t.FieldNamed(fields::kEnd).SetAsDateTime(At(2026, 10, 24, 23, 5));
    t.FieldNamed(fields::kRepeatedOrg).SetAsLargeInt(0);
    t.FieldNamed(fields::kAfterevent).SetAsString("nothing");
    t.Post();
    t.AfterInsert = insert;
  }
  // The line the timer list gets for the timer of this event.
  std::string WrittenLine(int eit) {
    std::istringstream list(boxdata::BuildTimerList(T().timers, w_->Clock()));
    for (std::string line; std::getline(list, line);) {
      if (line.find(Attribute("eit", std::to_string(eit))) != std::string::npos) return line;
    }
    return "no timer with eit " + std::to_string(eit);
  }
  static std::vector<std::string> Column(GuideList& list, GuideListModel::Column column) {
    std::vector<std::string> out;
    const int c = list.Model()->ColumnOf(column);
    for (int row = 0; row < list.Model()->rowCount(); ++row)
      out.push_back(list.Model()->index(row, c).data().toString().toStdString());
    return out;
  }
  static void Choose(GuideList& list, int row) {
    list.setFocus(Qt::OtherFocusReason);
    list.setCurrentIndex(list.Model()->index(row, 0));
    QTest::keyClick(&list, Qt::Key_Return);
  }
  void Keys(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    w_->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(w_.get(), 2000));
    QTest::keyClick(w_.get(), key, modifiers);
  }

  platform::ScopedNow now_{static_cast<double>(kNow)};
  tivolo::testing::TempDir work_;
  platform::ClockSettings clock_;
  widgets::ScriptedMessageService messages_;
  std::unique_ptr<app::MainWindow> w_;
  std::vector<boxdata::Channel> channels_;
};

TEST_F(GuideDialogsTest, APickedProgrammeMakesTheTimerToTheSecond) {
  AddCoveringTimer();
  DialogScript script;
  script.Then<ChannelPicker>([this](ChannelPicker& p) {
    GuideList& list = Control<GuideList>(p, "GuideList");
    EXPECT_EQ(Control<QLabel>(p, "GuideNote").text().toStdString(), "Guide of 20-10-26 08:00");
    // From the running programme on; the one a timer records marked.
    EXPECT_EQ(Column(list, GuideListModel::kTitle),
              (std::vector<std::string>{"Journaal", "Caf\xC3\xA9 Europa", "Nachtfilm"}));
    EXPECT_EQ(Column(list, GuideListModel::kTimes),
              (std::vector<std::string>{"20:30-21:30", "22:00-23:00", "02:40-03:40"}));
    EXPECT_EQ(Column(list, GuideListModel::kMark),
              (std::vector<std::string>{"", GuideListModel::kCoveredMark, ""}));
    Choose(list, 2);
  });
  script.Then<TimerEditor>([](TimerEditor& e) {
    EXPECT_EQ(Control<QLineEdit>(e, "EditName").text().toStdString(), "Nachtfilm");
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(script.Run([this] { Keys(Qt::Key_A, Qt::AltModifier); }));
  EXPECT_EQ(w_->ChangeCount(), 1);
  // 02:35 and 03:50 of the second pass through the repeated hour: 01:35 and 02:50 UTC.
  const std::string line = WrittenLine(104);
  EXPECT_NE(line.find(Attribute("begin", std::to_string(1792892400 - kBefore * 60))),
            std::string::npos)
      << line;
  EXPECT_NE(line.find(Attribute("end", std::to_string(1792896000 + kAfter * 60))),
            std::string::npos)
      << line;
  EXPECT_NE(line.find(Attribute("serviceref", channels_[0].service)), std::string::npos) << line;
  EXPECT_NE(line.find(Attribute("name", "Nachtfilm") + " " +
                      Attribute("description", "Over middernacht.")),
            std::string::npos)
      << line;
}

// A programme on now records the rest of it: the begin is now, to the minute, and not red.
// Its row, bold where a timer covers it, fits its columns; Escape closes Find in guide.
TEST_F(GuideDialogsTest, AProgrammeOnNowBeginsNowAndEscapeClosesFindInGuide) {
  now_.Set(static_cast<double>(kNow + 37));
  DialogScript script;
  script.Then<ChannelPicker>([](ChannelPicker& p) {
    GuideList& list = Control<GuideList>(p, "GuideList");
    QFont bold = list.font();
    bold.setBold(true);
    EXPECT_GE(list.columnWidth(list.Model()->ColumnOf(GuideListModel::kTimes)),
              QFontMetrics(bold).horizontalAdvance("20:30-21:30"));
    Choose(list, 0);  // Journaal, on since 20:30
  });
  script.Then<TimerEditor>([](TimerEditor& e) {
    EXPECT_TRUE(e.Validity().CanSave());
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(script.Run([this] { Keys(Qt::Key_A, Qt::AltModifier); }));
  const std::string line = WrittenLine(102);
  EXPECT_NE(line.find(Attribute("begin", std::to_string(kNow))), std::string::npos) << line;
  DialogScript find;
  find.Then<FindInGuide>([](FindInGuide& f) {
    QTest::keyClick(&Control<QLineEdit>(f, "SearchText"), Qt::Key_Escape);
    EXPECT_FALSE(f.isVisible());
  });
  ASSERT_TRUE(find.Run([this] { Keys(Qt::Key_F, Qt::ControlModifier); }));
}

TEST_F(GuideDialogsTest, AChannelWithoutProgrammesKeepsTheUsualNewTimer) {
  DialogScript script;
  script.Then<ChannelPicker>([this](ChannelPicker& p) {
    auto& channels = Control<widgets::RecordGrid>(p, "ChannelGrid");
    channels.setFocus(Qt::OtherFocusReason);
    QTest::keyClick(&channels, Qt::Key_Down);
    QTest::keyClick(&channels, Qt::Key_Down);
    QTest::qWait(20);  // the guide follows the channel from the event loop
    EXPECT_EQ(Control<GuideList>(p, "GuideList").Model()->rowCount(), 0);
    EXPECT_EQ(Control<QLabel>(p, "GuideNote").text().toStdString(),
              "Guide of 20-10-26 08:00: no programmes of this channel");
    QTest::keyClick(&channels, Qt::Key_Return);
  });
  script.Then<TimerEditor>([](TimerEditor& e) {
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  ASSERT_TRUE(script.Run([this] { Keys(Qt::Key_A, Qt::AltModifier); }));
  const std::string line = WrittenLine(kDefaultEit);
  EXPECT_NE(line.find(Attribute("serviceref", channels_[2].service)), std::string::npos) << line;
  EXPECT_NE(line.find(Attribute("begin", std::to_string(kNow))), std::string::npos) << line;
  EXPECT_NE(line.find(Attribute("name", "")), std::string::npos) << line;
}

TEST_F(GuideDialogsTest, FindInGuideAddsATimerThroughTheAppendFlow) {
  AddCoveringTimer();
  std::vector<std::string> marks_after;
  DialogScript script;
  script.Then<FindInGuide>([this](FindInGuide& f) {
    QLineEdit& text = Control<QLineEdit>(f, "SearchText");
    EXPECT_TRUE(text.hasFocus());
    QTest::keyClicks(&text, "CAFE");  // case and accents do not count
    QTest::keyClick(&text, Qt::Key_Return);
    GuideList& list = Control<GuideList>(f, "FoundList");
    EXPECT_TRUE(list.hasFocus());
    EXPECT_EQ(Column(list, GuideListModel::kTitle),
              (std::vector<std::string>{"Caf\xC3\xA9 Europa", "Cafe du Monde"}));
    EXPECT_EQ(Column(list, GuideListModel::kChannel),
              (std::vector<std::string>{channels_[0].name, channels_[1].name}));
    EXPECT_EQ(Column(list, GuideListModel::kMark),
              (std::vector<std::string>{GuideListModel::kCoveredMark, ""}));
    EXPECT_EQ(Control<QLabel>(f, "FoundCount").text().toStdString(), "2 programmes");
    // The editor opens from the list's Enter; this step ends first.
    QTimer::singleShot(0, &list, [&list] { Choose(list, 1); });
  });
  script.Then<TimerEditor>([this](TimerEditor& e) {
    EXPECT_EQ(e.windowTitle().toStdString(), "New Timer");
    EXPECT_EQ(Control<QLineEdit>(e, "EditChannel").text().toStdString(), channels_[1].name);
    QTest::keyClick(&Control<QLineEdit>(e, "EditName"), Qt::Key_S, Qt::ControlModifier);
  });
  script.Then<FindInGuide>([&marks_after](FindInGuide& f) {
    marks_after = Column(Control<GuideList>(f, "FoundList"), GuideListModel::kMark);
    QTest::mouseClick(&Control<QPushButton>(f, "ButtonClose"), Qt::LeftButton);
  });
  ASSERT_TRUE(script.Run([this] { Keys(Qt::Key_F, Qt::ControlModifier); }));
  EXPECT_EQ(marks_after,
            (std::vector<std::string>{GuideListModel::kCoveredMark, GuideListModel::kCoveredMark}));
  EXPECT_EQ(w_->ChangeCount(), 1);
  EXPECT_TRUE(w_->SaveExit()->isEnabled());
  const std::string line = WrittenLine(201);
  EXPECT_NE(line.find(Attribute("begin", std::to_string(1792872900 - kBefore * 60)) + " " +
                      Attribute("end", std::to_string(1792876500 + kAfter * 60)) + " " +
                      Attribute("serviceref", channels_[1].service)),
            std::string::npos)
      << line;
  EXPECT_NE(
      line.find(Attribute("name", "Cafe du Monde") + " " + Attribute("description", "Reizen.")),
      std::string::npos)
      << line;
}

}  // namespace
}  // namespace tivolo::ui
