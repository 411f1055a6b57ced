// The readers of the tuner descriptions and the texts made from them.
#include <gtest/gtest.h>

#include "plan/errors.h"
#include "plan/tuner_texts.h"
#include "plan_test_support.h"

namespace tivolo::plan {
namespace {

using namespace testing;

TEST(NimSocketsTest, ReadsSlotsModesAndEmptySlots) {
  const auto s = ParseNimSockets(
      "NIM Socket 1:\n\tType: DVB-C\n\tName: Si2169\n\tMode 0: DVB-C\n\tMode 1: DVB-T2\n"
      "NIM Socket 0:\r\n\tType: DVB-S2X\r\n\tName: Si2166D FBC\r\n\tMultistream: yes\r\n"
      "NIM Socket 2:\n\tempty\nNIM Socket 99:\n\tType: DVB-S\n");
  ASSERT_EQ(s.size(), 3u);  // in slot order; 99 is beyond any box
  EXPECT_EQ(s[0].type, "DVB-S2X");
  EXPECT_EQ(s[0].name, "Si2166D FBC");
  EXPECT_TRUE(s[0].multistream);
  EXPECT_EQ(s[0].systems, kSystemDvbS | kSystemDvbS2);
  EXPECT_EQ(s[1].modes, (std::vector<std::string>{"DVB-C", "DVB-T2"}));
  EXPECT_EQ(s[1].systems, kSystemDvbC | kSystemDvbT | kSystemDvbT2);
  EXPECT_TRUE(s[2].empty);
  EXPECT_EQ(s[2].systems, 0u);
  for (const char* bad : {"", "garbage\n", "NIM Socket x:\n", "NIM Socket -1:\n"})
    EXPECT_THROW(ParseNimSockets(bad), TunerReadError) << bad;
}

TEST(NimSocketsTest, ReadsTheWebInterfacesList) {
  const auto about = ParseAboutTuners(
      R"j({"info":{"tuners":[{"name":"Tuner A","type":"BCM4506 (internal) (DVB-S2)"},)j"
      R"j({"name":"Tuner B","type":"Si2169 (DVB-C/T2)"},{"name":"Tuner C","type":"N/A"},7]}})j");
  const auto s = SocketsFromAbout(about);
  ASSERT_EQ(s.size(), 3u);
  EXPECT_EQ(s[0].name, "BCM4506 (internal)");
  EXPECT_EQ(s[0].type, "DVB-S2");
  EXPECT_EQ(s[0].systems, kSystemDvbS | kSystemDvbS2);
  EXPECT_EQ(s[1].slot, 1);
  EXPECT_EQ(s[1].systems, kSystemDvbC | kSystemDvbT | kSystemDvbT2);
  EXPECT_TRUE(s[2].empty);
  for (const char* bad : {"", "{", "[]", R"({"info":{}})", R"({"tuners":3})"})
    EXPECT_THROW(ParseAboutTuners(bad), TunerReadError) << bad;
}

TEST(TunerSetupTest, PositionsInputsAndLinks) {
  const TunerSet set = MakeTuners(
      {"DVB-S2", "DVB-S2", "DVB-S2", "DVB-C", ""},
      "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcMode=diseqc_a_b\n"
      "config.Nims.0.diseqcA=192\nconfig.Nims.0.diseqcB=3550\n"
      "config.Nims.1.configMode=loopthrough\n"  // connectedTo=0 is the default
      "config.Nims.2.dvbs.configMode=advanced\nconfig.Nims.2.dvbs.advanced.sat.282.lnb=2\n"
      "config.Nims.2.dvbs.advanced.sat.130.lnb=0\n"
      "config.Nims.2.dvbs.advanced.lnb.2.lof=unicable\n");
  ASSERT_EQ(set.tuners.size(), 5u);
  const Tuner& a = set.tuners[0];
  ASSERT_EQ(a.positions.size(), 2u);
  EXPECT_EQ(a.positions[1].orbital_position, 3550);
  EXPECT_EQ(a.positions[1].input, 1);
  EXPECT_EQ(set.tuners[1].chain_root, 0);
  EXPECT_EQ(set.tuners[1].positions.size(), 2u);
  ASSERT_EQ(set.tuners[2].positions.size(), 1u);  // LNB 0 is no LNB
  EXPECT_EQ(set.tuners[2].positions[0].input, 2);
  EXPECT_NE(set.unknowns & kUnknownUnicable, 0u);
  EXPECT_FALSE(set.tuners[4].usable);
  EXPECT_EQ(DescribeTuners(set),
            "A: DVB-S2, 19.2E and 5.0W; B: DVB-S2, loop-through from A; "
            "C: DVB-S2, 28.2E, unicable; D: DVB-C; E: empty");
  EXPECT_EQ(TunerStatus(set), "Tuners: 3 x DVB-S2 (19.2E, 5.0W, 28.2E), 1 x DVB-C");
  // Without the settings every position is taken as reached, and that is said.
  const TunerSet unread = BuildTunerSet(ParseNimSockets(Sockets({"DVB-S2"})), nullptr);
  EXPECT_TRUE(unread.tuners[0].any_position);
  EXPECT_EQ(UnknownsText(unread.unknowns), "Not checked: the tuners' set-up");
}

// Configuration's words for set-ups as read, and for the user's own set-up.
TEST(TunerTextsTest, DescribesEachKindOfSetup) {
  const struct {
    std::vector<std::string> types;
    const char* settings;
    const char* words;
  } kCases[] = {
      {{"DVB-S2", "DVB-S2", "DVB-C", ""},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcMode=diseqc_a_b\n"
       "config.Nims.0.diseqcA=192\nconfig.Nims.0.diseqcB=130\n"
       "config.Nims.1.configMode=loopthrough\n",
       "A: DVB-S2, 19.2E and 13.0E; B: DVB-S2, loop-through from A; C: DVB-C; D: empty"},
      {{"DVB-S", "DVB-S2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcMode=single\n"
       "config.Nims.0.diseqcA=282\nconfig.Nims.1.configMode=equal\n",
       "A: DVB-S, 28.2E; B: DVB-S2, equal to A"},
      {{"DVB-S2", "DVB-T2"},
       "config.Nims.0.configMode=simple\nconfig.Nims.0.diseqcA=3550\n"
       "config.Nims.1.configMode=nothing\n",
       "A: DVB-S2, 5.0W; B: DVB-T2, not used"},
      {{}, "", "No tuners known"},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(DescribeTuners(c.types.empty() ? TunerSet() : MakeTuners(c.types, c.settings)),
              c.words);
  // The user's own: systems only, which the status bar counts.
  const TunerSet manual = ManualTunerSet({"DVB-S2", "DVB-S2", "DVB-C"});
  EXPECT_EQ(DescribeTuners(manual), "A: DVB-S2; B: DVB-S2; C: DVB-C");
  EXPECT_EQ(TunerStatus(manual), "Tuners: 2 x DVB-S2, 1 x DVB-C");
}

TEST(TransponderListTest, ReadsSystemPositionBandAndKind) {
  const auto list = boxdata::ReadTransponders(
      boxdata::ServiceList(std::string(kLamedb) + "transponders\n"));  // a second block is not read
  EXPECT_EQ(list.size(), 6u);
  const auto* s2 = list.Find(0xC00000, 3, 1);
  ASSERT_NE(s2, nullptr);
  EXPECT_TRUE(s2->second_generation);
  EXPECT_EQ(s2->frequency, 12188000u);
  EXPECT_EQ(s2->polarisation, 0);
  EXPECT_EQ(list.Find(0x11A0000, 5, 1)->orbital_position, 282);
  EXPECT_EQ(list.Find(0xFFFF0000, 6, 1)->kind, boxdata::TransponderKind::kCable);
  EXPECT_EQ(list.Find(0xC00000, 9, 1), nullptr);
  const auto west = boxdata::ReadTransponders(boxdata::ServiceList(
      "transponders\n0dde0000:0001:0002\n\ts 11000000:1:1:0:-50:0:0:1:0:0:0:5:0:0\n/\nend\n"));
  ASSERT_EQ(west.size(), 1u);
  EXPECT_EQ(west.All()[0].orbital_position, 3550);
  EXPECT_TRUE(west.All()[0].multistream);
  // A real list: every transponder of its block, the DVB-S2 ones among them.
  const auto real = boxdata::ReadTransponders(boxdata::ServiceList::Load(
      std::string(TIVOLO_REAL_DATA_DIR) + "/dekoderymailZgemma-enigma2-update"));
  EXPECT_EQ(real.size(), 253u);
}

TEST(TunerTextsTest, EditorAndCommandLine) {
  std::vector<PlanTimer> timers(3);
  const char* names[] = {"X", "Y", "Z"};
  const char* channels[] = {"Canal Vista", "Iris", ""};
  for (int i = 0; i < 3; ++i) {
    timers[i].begin = Local(2026, 12, 15, 20, 0) + i * 900;
    timers[i].end = Local(2026, 12, 15, 21, 0) + i * 900;
    timers[i].serviceref = Ref(i == 2 ? 4 : i + 1);
    timers[i].name = names[i];
    timers[i].channel = channels[i];
  }
  const ConflictModel model(timers, MakeTuners({"DVB-S2", "DVB-S2"}, ""), Transponders(), Cet(),
                            Local(2026, 12, 1, 0, 0));
  const Verdict v = model.VerdictFor(timers[2], 2u);
  EXPECT_EQ(EditorLine(model, v, timers[2], Cet()),
            "Needs a third tuner on Tue 15-12 20:30-21:00, with \"X\" (Canal Vista) and \"Y\" "
            "(Iris)");
  const ConflictReport r = model.Check();
  ASSERT_EQ(r.conflicts.size(), 1u);
  EXPECT_EQ(CommandLineLine(model, r.conflicts[0], Cet()),
            "2026-12-15 20:30 " + Ref(4) + " " + std::to_string(timers[2].begin) + " " +
                std::to_string(timers[2].end) + " Z");
  EXPECT_EQ(OrbitalText(0), "0.0E");
  EXPECT_EQ(Ordinal(2), "second");
}

}  // namespace
}  // namespace tivolo::plan

namespace tivolo::plan {
namespace {

TEST(PlanTimerTest, TakesTheListsValues) {
  boxdata::TimerValues v;
  v.begin = 100;
  v.end = 200;
  v.serviceref = "1:0:1:1:1:1:C00000:0:0:0:";
  v.justplay = 1;
  v.extra_attributes = " tags=\"\" conflict_detection=\"0\"";
  PlanTimer t = PlanTimerFromValues(v, "Iris");
  EXPECT_FALSE(t.conflict_detection);
  EXPECT_TRUE(t.justplay);
  EXPECT_EQ(t.channel, "Iris");
  EXPECT_FALSE(TakesPart(t, 0));
  v.extra_attributes = " conflict_detection=\"1\"";
  EXPECT_TRUE(TakesPart(PlanTimerFromValues(v), 0));
  EXPECT_FALSE(TakesPart(PlanTimerFromValues(v), 201));  // ended
}

}  // namespace
}  // namespace tivolo::plan
