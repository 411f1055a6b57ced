// The box's settings, the guide beside the channels and timers (keys, covered events, the
// timer a picked event makes, also across a daylight-saving change), and the title search.
#include <gtest/gtest.h>

#include <cstdlib>

#include "box_test_support.h"
#include "boxdata/box_settings.h"
#include "boxdata/guide_link.h"
#include "boxdata/guide_search.h"
#include "boxdata/search_fold.h"
#include "guide_writer.h"
#include "store/date_format.h"

namespace tivolo::boxdata {
namespace {

using testing::GuideWriter;

constexpr int64_t kMonday = 1767571200;  // 2026-01-05 00:00 UTC
// The channel "1:0:19:283D:3FB:1:C00000:0:0:0:": service 283D, stream 3FB, network 1.
constexpr const char* kChannel = "1:0:19:283D:3FB:1:C00000:0:0:0:";

std::string Local(platform::DateTime t) {
  return store::FormatDateTime("dd-mm-yyyy hh:nn:ss", t);
}

TEST(BoxSettingsTest, GuidePathAndMarginsWithDefaults) {
  BoxSettings s = ParseBoxSettings(
      "\xEF\xBB\xBF"
      "config.misc.epgcache_filename=/media/usb/epg.dat\r\n"
      "config.recording.margin_before=10\r\n"
      "config.recording.margin_after = 0\n"
      "config.misc.other=1\n");
  EXPECT_EQ(s.guide_file, "/media/usb/epg.dat");
  EXPECT_EQ(s.margin_before_minutes, 10);
  EXPECT_EQ(s.margin_after_minutes, 0);
  EXPECT_EQ(GuideFileCandidates(s, "/etc/enigma2"),
            (std::vector<std::string>{"/media/usb/epg.dat"}));
  // What the receiver would not take keeps its default, as there.
  s = ParseBoxSettings(
      "config.recording.margin_before=121\nconfig.recording.margin_after=5m\n"
      "config.misc.epgcache_filename=\n");
  EXPECT_FALSE(s.guide_file);
  EXPECT_EQ(s.margin_before_minutes, kDefaultMarginBeforeMinutes);
  EXPECT_EQ(s.margin_after_minutes, kDefaultMarginAfterMinutes);
  EXPECT_EQ(GuideFileCandidates(s, "/etc/enigma2/"),
            (std::vector<std::string>{"/media/hdd/epg.dat", "/etc/enigma2/epg.dat"}));
}

class GuideLinkTest : public ::testing::Test {
 protected:
  GuideLinkTest() {
    const uint32_t news = w.Title("Journaal");
    w.services.push_back({0x283D,
                          0x1,
                          0x3FB,
                          {{10, kMonday, 1800, {news, w.ShortText("Het nieuws.")}, 0},
                           {11, kMonday + 1800, 3600, {w.Title("Film")}, 0}}});
    w.services.push_back({0x283D, 0x2, 0x3FB, {{12, kMonday, 1800, {news}, 0}}});
    guide = ReadGuide(w.Bytes());
  }
  GuideWriter w;
  Guide guide;
};

TEST_F(GuideLinkTest, ChannelsFindTheirServiceWithoutTheNamespace) {
  EXPECT_EQ(GuideKeyOf(kChannel), (GuideServiceKey{0x283D, 0x3FB, 0x1}));
  const std::optional<uint32_t> service = FindGuideService(guide, kChannel);
  ASSERT_TRUE(service);
  EXPECT_EQ(guide.Services()[*service].key.original_network_id, 1u);
  EXPECT_EQ(FindGuideService(guide, "1:0:19:283D:3FB:1:EEEE0000:0:0:0:"), service);
  EXPECT_FALSE(FindGuideService(guide, "1:0:19:283E:3FB:1:C00000:0:0:0:"));
  EXPECT_FALSE(FindGuideService(guide, "1:64:0:0:0:0:"));  // a marker
  EXPECT_FALSE(GuideKeyOf("1:0:1:283D:3FB:"));
  EXPECT_FALSE(GuideKeyOf("1:0:1:XYZ:3FB:1:0:0:0:0:"));
}

TEST_F(GuideLinkTest, TimersCoverWhatTheySpanOnTheirOwnChannel) {
  const uint32_t service = *FindGuideService(guide, kChannel);
  const TimerSpan whole{kChannel, kMonday - 180, kMonday + 1800 + 300};
  const TimerSpan late{kChannel, kMonday + 60, kMonday + 5400};
  const TimerSpan other{"1:0:19:283D:3FB:2:C00000:0:0:0:", kMonday, kMonday + 5400};
  const GuideEvent& news = guide.EventsOf(service)[0];
  EXPECT_TRUE(Covers(guide, whole, news));
  EXPECT_FALSE(Covers(guide, late, news));
  const std::vector<bool> covered = CoveredEvents(guide, std::vector{whole, late, other});
  std::vector<int> ids;
  for (size_t i = 0; i < covered.size(); ++i) {
    if (covered[i]) ids.push_back(guide.Events()[i].event_id);
  }
  EXPECT_EQ(ids, (std::vector<int>{10, 11, 12}));
}

// Picked events become timers with the box's margins, in the clock's local time: in winter
// one hour ahead of UTC, two in summer, and across the change in March the hour jumps.
TEST(GuideTimerTest, MarginsAndLocalTimeAcrossDaylightSaving) {
  GuideWriter w;
  const int64_t change = 1774746000;  // 2026-03-29 01:00 UTC: 02:00 becomes 03:00 in CET
  w.services.push_back({1,
                        1,
                        1,
                        {{42, change - 1800, 3600, {w.Title("Nacht"), w.ShortText("Tekst")}, 0},
                         {43, change + 1800, 1800, {w.Title("Ochtend")}, 0}}});
  const Guide guide = ReadGuide(w.Bytes());
  BoxSettings margins;  // 3 before, 5 after
  const TimerFromEvent night =
      TimerForEvent(guide, guide.Events()[0], margins, testing::CetClock());
  EXPECT_EQ(Local(night.begin), "29-03-2026 01:27:00");
  EXPECT_EQ(Local(night.end), "29-03-2026 03:35:00");
  EXPECT_EQ(night.name, "Nacht");
  EXPECT_EQ(night.description, "Tekst");
  EXPECT_EQ(night.eit, 42);
  margins.margin_before_minutes = 0;
  margins.margin_after_minutes = 0;
  const TimerFromEvent morning =
      TimerForEvent(guide, guide.Events()[1], margins, testing::CetClock());
  EXPECT_EQ(Local(morning.begin), "29-03-2026 03:30:00");
  EXPECT_EQ(Local(morning.end), "29-03-2026 04:00:00");
  EXPECT_EQ(Local(TimerForEvent(guide, guide.Events()[1], margins, testing::UtcClock()).begin),
            "29-03-2026 01:30:00");
  // The list shows the same local times; a timer of the table made from them covers the
  // event, across the change too.
  const LocalTimes night_times = EventLocalTimes(guide.Events()[0], testing::CetClock());
  EXPECT_EQ(Local(night_times.begin) + " " + Local(night_times.end),
            "29-03-2026 01:30:00 29-03-2026 03:30:00");
  const TimerSpan table_timer =
      TimerSpanOf("1:0:1:1:1:1:0:0:0:0:", night_times.begin, night_times.end, testing::CetClock());
  EXPECT_EQ(table_timer.begin, change - 1800);
  EXPECT_EQ(table_timer.end, change + 1800);
}

// The simulated box writes its guide with a writer of its own (tools/boxsim/guide_file.py):
// what it writes is what the reader reads, channel by channel.
TEST(SimulatedBoxGuideTest, FitsTheDemoChannels) {
  tivolo::testing::TempDir dir;
  const std::string out = (dir / "epg.dat").string();
  const std::string command = "/usr/bin/python3 " + std::string(TIVOLO_SOURCE_DIR) +
                              "/tools/boxsim/guide_file.py demo " + out;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Guide guide = LoadGuide(out);
  EXPECT_EQ(guide.Version(), 8);
  EXPECT_FALSE(guide.BigEndian());
  ASSERT_EQ(guide.Services().size(), 180u);
  // The first television channel of the demo box: service 100, stream 10, network 1.
  const std::optional<uint32_t> first = FindGuideService(guide, "1:0:1:100:10:1:C00000:0:0:0:");
  ASSERT_TRUE(first);
  const GuideEvent& news = guide.EventsOf(*first)[0];
  EXPECT_EQ(news.begin, kMonday - 86400);
  EXPECT_EQ(guide.Title(news), "Journaal");
  EXPECT_EQ(guide.Texts(news).short_text, "Het nieuws van de dag.");
  const GuideEvent& cafe = guide.EventsOf(*first)[4];
  EXPECT_EQ(guide.Title(cafe), "Café Europa");
  EXPECT_EQ(guide.Texts(cafe).extended_text, "Met gasten uit Zürich, Łódź en Sevilla.");
  const std::vector<uint32_t> donau = GuideSearch(guide).Find("DONAU");
  ASSERT_GT(donau.size(), 180u);  // on every channel, several times
  for (uint32_t e : donau)
    ASSERT_EQ(guide.Title(guide.Events()[e]), "De Donau van bron tot delta");
}

TEST(SearchFoldTest, CaseAndAccentsAreIgnored) {
  EXPECT_EQ(SearchFolded("Café ZÜRICH Ærø Straße ŁÓDŹ"), "cafe zurich aero strasse lodz");
  EXPECT_EQ(SearchFolded("ΆΛΦΑ Ёлка ПРАВДА"), "αλφα елка правда");
  EXPECT_EQ(SearchFolded("5 × 3 ÷ x\xFF"), "5 × 3 ÷ x");
}

TEST(GuideSearchTest, TitlesAcrossChannelsInTimeOrder) {
  GuideWriter w;
  const uint32_t cafe = w.Title("Café Europa"), tour = w.Title("Tour de France");
  w.services.push_back(
      {1,
       1,
       1,
       {{1, kMonday + 7200, 600, {cafe}, 0}, {2, kMonday + 9000, 600, {w.Title("Het Café")}, 0}}});
  w.services.push_back({2,
                        1,
                        1,
                        {{3, kMonday, 600, {cafe}, 0},
                         {4, kMonday + 7200, 600, {tour}, 0},
                         {5, kMonday + 9600, 600, {w.Title("Kaffee")}, 0}}});
  const Guide guide = ReadGuide(w.Bytes());
  const GuideSearch search(guide);
  auto ids = [&](const std::vector<uint32_t>& found) {
    std::vector<int> out;
    for (uint32_t e : found)
      out.push_back(guide.Events()[e].event_id);
    return out;
  };
  EXPECT_EQ(ids(search.Find("CAFE")), (std::vector<int>{3, 1, 2}));
  EXPECT_EQ(ids(search.Find("cafe", kMonday + 600)), (std::vector<int>{1, 2}));
  EXPECT_EQ(ids(search.Find("e", kMonday + 600, 2)), (std::vector<int>{1, 4}));
  EXPECT_TRUE(search.Find("").empty());
  EXPECT_TRUE(search.Find("europatour").empty());  // never across two titles
  EXPECT_TRUE(search.Find("europa\ntour").empty());
}

}  // namespace
}  // namespace tivolo::boxdata
