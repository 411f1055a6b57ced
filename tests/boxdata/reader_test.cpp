// Reading the box's files into the tables: the three real sets, and each way the readers
// must cope with receivers other than the oldest one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "box_test_support.h"
#include "boxdata/box_reader.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"

namespace tivolo::boxdata {
namespace {

using namespace testing;

class ReaderTest : public ::testing::Test {
 protected:
  ReaderTest() { tables_.Open(); }

  ReadReport Read(const std::filesystem::path& dir, platform::ClockSettings clock = UtcClock()) {
    return ReadBoxFiles(tables_, Context(dir, clock, &log_));
  }
  void Write(const std::string& name, std::string_view bytes) { WriteFile(dir_ / name, bytes); }
  // A minimal set: one service in the service list, one bouquet listing it.
  void WriteMinimalSet() {
    Write("lamedb", "eDVB services /4/\nservices\n1a2b:00c00000:03c4:0001:1:0\nNed 1\np:x\nend\n");
    Write("bouquets.tv",
          "#NAME TV\n#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.a.tv\" ORDER BY "
          "bouquet\n");
    Write("bouquets.radio", "#NAME Radio\n");
    Write("userbouquet.a.tv", "#NAME A\n#SERVICE 1:0:1:1A2B:3C4:1:C00000:0:0:0:\n");
  }
  static std::string Timers(const std::string& body) {
    return "<?xml version=\"1.0\" ?>\n<timers>\n" + body + "</timers>\n";
  }

  TempDir dir_;
  BoxTables tables_;
  std::vector<std::string> log_;
};

struct RealSet {
  std::filesystem::path dir;
  int bouquets, channels;
  std::vector<std::pair<std::string, std::string>> known;  // service -> name
  std::vector<std::string> failed;
};

class RealSetTest : public ReaderTest, public ::testing::WithParamInterface<RealSet> {};

TEST_P(RealSetTest, ReadsEveryBouquetAndChannel) {
  const RealSet& set = GetParam();
  const ReadReport report = Read(set.dir);
  EXPECT_EQ(report.bouquets, set.bouquets);
  EXPECT_EQ(report.channels, set.channels);
  EXPECT_EQ(report.skipped_entries, 0);
  EXPECT_EQ(tables_.bouquet.RecordCount(), set.bouquets);
  std::vector<std::string> failed;
  for (const auto& f : report.failures)
    failed.push_back(f.file);
  EXPECT_EQ(failed, set.failed);

  const auto channels = AllChannels(tables_);
  EXPECT_EQ(static_cast<int>(channels.size()), set.channels);
  for (const auto& [service, name] : set.known) {
    const auto it = std::find_if(channels.begin(), channels.end(),
                                 [&](const auto& c) { return c.first == service; });
    ASSERT_NE(it, channels.end()) << service;
    EXPECT_EQ(it->second, name) << service;
  }
  for (const auto& [service, name] : channels) {
    EXPECT_FALSE(IsMarker(ParseReferenceFields(service))) << service << " " << name;
  }
  // Left as the timer list reader leaves them: first bouquet, its first channel.
  tables_.bouquet.First();
  EXPECT_GT(tables_.zenders.RecordCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, RealSetTest,
    ::testing::Values(
        RealSet{kLarge, 19, 5670, {{"1:0:1:3ABD:514:13E:820000:0:0:0:", "TVP 1 HD"}}, {}},
        RealSet{kMedium,
                6,
                176,
                {{"1:0:19:2855:401:1:C02D3E:0:0:0:", "BR Fernsehen Süd HD"}},
                {"userbouquet.LastScanned.tv"}},
        RealSet{kSmall, 10, 310, {{"1:0:1:23:A:3E8:FFFF0000:0:0:0:", "Film1 Comedy & Kids"}}, {}}));

TEST_F(ReaderTest, LargeSetNamesAndTheRealTimer) {
  const ReadReport report = Read(kLarge);
  EXPECT_EQ(report.timer_list, TimerListState::kComplete);
  const std::string dump = DumpBouquets(tables_, 3);
  EXPECT_NE(dump.find("POLSKIE ALL (1): TVP 1 HD; TVP 2 HD; TVP 3; ..."), std::string::npos)
      << dump;
  EXPECT_NE(dump.find("Favourites (Radio) (2):"), std::string::npos) << dump;
  EXPECT_EQ(dump.find("Favourites (TV)"), std::string::npos) << dump;  // no channels
  bool polish = false, ampersand = false, stream = false;
  // A stream channel named by its #DESCRIPTION; its URL, over 1,500 characters, keeps its case.
  std::string stream_line;
  const std::string dbe10 = ReadFile(kLarge / "userbouquet.dbe10.tv");
  for (std::string_view line : SplitLines(dbe10)) {
    if (line.find("GrjngoWesterny") != std::string_view::npos) stream_line = line.substr(9);
  }
  ASSERT_GT(stream_line.size(), 800u);
  size_t longest = 0;
  for (const auto& [service, name] : AllChannels(tables_)) {
    longest = std::max(longest, service.size());
    polish |= name == "TVP Barwy Szczęścia";
    ampersand |= name == "Royalworld - Arystok" ||  // cut to 20 characters
                 name == "Jazz & Fusion";
    stream |= service == stream_line && name == "Grjngo Westerny";
  }
  EXPECT_TRUE(polish);
  EXPECT_TRUE(ampersand);
  EXPECT_TRUE(stream);
  EXPECT_EQ(longest, 1569u - 9);  // the longest "#SERVICE " line of the set
  // The timer's channel is in the last bouquet only ("Last Scanned").
  EXPECT_EQ(DumpTimers(tables_),
            "TVP 1 HD|Ojciec Mateusz 32 (odc. 2)|1731009720-1731013800|"
            "1:0:1:3ADB:514:13E:820000:0:0:0:|0|Policjanci badają sprawę kradzieży laptopa, "
            "która jest powiązana z zamordowaniem dziennikarza. Śledztwo oficjalnie prowadzi "
            "komenda sandomierska.|auto|19677|0|0\n");
}

TEST_F(ReaderTest, MissingFilesAreReportedAndTheRestIsRead) {
  Write("bouquets.tv",
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.gone.tv\" ORDER BY bouquet\n"
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"../lamedb\" ORDER BY bouquet\n"
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.a.tv\" ORDER BY bouquet\n");
  Write("userbouquet.a.tv",
        "#NAME A\n#SERVICE 1:0:1:1A2B:3C4:1:C00000:0:0:0:\n"
        "#SERVICE 4097:0:1:1:2:3:0:0:0:0:http%3a//x/Y\n#DESCRIPTION Stream\n"
        "#SERVICE 1:0:1:1G:3C4:1:C00000:0:0:0:\n#SERVICE 1:0:1:2:3C4\n");
  Write("timers.xml", Timers("<timer begin=\"1800000000\" end=\"1800003600\" "
                             "serviceref=\"1:0:1:1A2B:3C4:1:C00000:0:0:0:\" name=\"N\">\n"
                             "</timer>\n"));
  const ReadReport report = Read(dir_.Path());
  std::vector<std::string> failed;
  for (const auto& f : report.failures)
    failed.push_back(f.file + " " + f.type_name);
  EXPECT_EQ(failed,
            (std::vector<std::string>{"lamedb FileOpenError", "userbouquet.gone.tv FileOpenError",
                                      "../lamedb FileOpenError", "bouquets.radio FileOpenError"}));
  EXPECT_EQ(report.skipped_entries, 2);
  EXPECT_EQ(DumpBouquets(tables_), "A (1): ?; Stream;\n");
  EXPECT_EQ(report.timer_list, TimerListState::kComplete);
  EXPECT_EQ(report.timers, 1);
  EXPECT_EQ(DumpTimers(tables_),
            "?|N|1800000000-1800003600|1:0:1:1A2B:3C4:1:C00000:0:0:0:|0||nothing||0|0\n");
  const auto logged = [&](std::string_view text) {
    return std::any_of(log_.begin(), log_.end(),
                       [&](const std::string& l) { return l.find(text) != std::string::npos; });
  };
  EXPECT_TRUE(logged("userbouquet.gone.tv"));
  EXPECT_TRUE(logged("userbouquet.a.tv line 5:"));
  EXPECT_TRUE(logged("userbouquet.a.tv line 6:"));
}

TEST_F(ReaderTest, BouquetFilesOfEveryForm) {
  Write("lamedb",
        "services\n1a2b:00c00000:03c4:0001:1:0\nNed? 1\n1a2b:00c00000:03c4:0002:1:0\nNed 1 "
        "HD\n0002:00c00000:0001:1:0\nT\xC3\xA9l\xC3\xA9 ? Monde Long Name Here\nend\n");
  Write("bouquets.tv",
        "#service 1:7:1:0:0:0:0:0:0:0:userbouquet.old.tv\r\n"
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.b.tv\" ORDER BY bouquet\r\n");
  Write("bouquets.radio",
        "#SERVICE 1:7:2:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.r.radio\" ORDER BY bouquet\n");
  Write("userbouquet.old.tv",
        "#NAME Old form\r\n#SERVICE: 1:0:1:1a2b:3c4:1:c00000:0:0:0:\r\n"
        "#service 1:0:1:2:1:1:C00000:0:0:0:\r\n");
  Write("userbouquet.b.tv",
        "#NAME B\n#SERVICE 1:64:1:0:0:0:0:0:0:0::--- Heading ---\n#DESCRIPTION --- Heading ---\n"
        "#SERVICE 1:0:1:2:1:1:C00000:0:0:0:\n"
        "#SERVICE 4097:0:1:ab:2:3:0:0:0:0:http%3a//Host/Live?A=1&b=2:Stream One\n"
        "#DESCRIPTION Stream One\n");
  Write("userbouquet.r.radio", "#NAME Radio\n#SERVICE 1:832:2:0:0:0:0:0:0:0::Numbered\n");
  ASSERT_TRUE(Read(dir_.Path()).failures.empty());
  // The radio bouquet holds only a marker: it has no channels and is left out.
  EXPECT_EQ(DumpBouquets(tables_),
            "Old form (1): Ned 1 HD;\nB (1): Télé  Monde Long Nam; Stream One;\n");
  const auto channels = AllChannels(tables_);
  ASSERT_EQ(channels.size(), 3u);
  EXPECT_EQ(channels[0].first, "1:0:1:1A2B:3C4:1:C00000:0:0:0:");
  EXPECT_EQ(channels[2].first, "4097:0:1:AB:2:3:0:0:0:0:http%3a//Host/Live?A=1&b=2:Stream One");
}

TEST_F(ReaderTest, TimerLinesOfNewerReceivers) {
  WriteMinimalSet();
  Write("userbouquet.b.tv",
        "#NAME B\n#SERVICE 1:0:1:77:3C4:1:C00000:0:0:0:\n#DESCRIPTION Only B\n");
  Write("bouquets.tv",
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.a.tv\" ORDER BY bouquet\n"
        "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.b.tv\" ORDER BY bouquet\n");
  const std::string long_name(150, 'L');
  Write("timers.xml",
        Timers("\t<timer begin=\"1800000000\" end=\"1800003600\" serviceref=\"1:0:1:77:3c4:1:"
               "c00000:0:0:0:\" repeated=\"0\" name=\"" +
               long_name +
               "\" description=\"A &amp; B\" afterevent=\"auto\" eit=\"12\" disabled=\"1\" "
               "justplay=\"0\" tags=\"x y\" marginBefore=\"180\">\n"
               "\t\t<log code=\"500\" time=\"1\">made</log>\n\t</timer>\n"
               "  <timer begin=\"1800007200\" end=\"1800010800\" "
               "serviceref=\"1:0:1:1a2b:3c4:1:c00000:0:0:0:\" name=\"caf&#233; &#xE9;\"/>\n"
               "<timer begin=\"1000\" end=\"2000\" serviceref=\"1:0:1:9:9:9:C00000:0:0:0:\" "
               "repeated=\"31\" name=\"Weekly\"></timer>\n"
               "<timer begin=\"1000\" end=\"2000\" serviceref=\"1:0:1:9:9:9:C00000:0:0:0:\" "
               "repeated=\"0\" name=\"Gone\"></timer>\n"
               "<timer begin=\"1730500000\" end=\"" +
               std::to_string(kNowSeconds - 23 * 3600) +
               "\" serviceref=\"1:0:1:0:0:0:0:0:0:0\" name=\"23 hours\"></timer>\n"
               "<timer begin=\"1730500000\" end=\"" +
               std::to_string(kNowSeconds - 25 * 3600) +
               "\" serviceref=\"1:0:1:0:0:0:0:0:0:0\" name=\"25 hours\"></timer>\n"));
  const ReadReport report = Read(dir_.Path());
  EXPECT_EQ(report.timer_list, TimerListState::kComplete);
  EXPECT_EQ(report.timers, 4);
  EXPECT_EQ(report.timers_dropped, 2);
  EXPECT_EQ(
      DumpTimers(tables_),
      "|Weekly|1000-2000|1:0:1:9:9:9:C00000:0:0:0:|31||nothing||0|0\n"
      "|23 hours|1730500000-1730595600|1:0:1:0:0:0:0:0:0:0|0||nothing||0|0\n"
      "Only B|" +
          long_name +
          "|1800000000-1800003600|1:0:1:77:3C4:1:C00000:0:0:0:|0|"
          "A &amp; B|auto|12|1|0\n"
          "Ned 1|café é|1800007200-1800010800|1:0:1:1A2B:3C4:1:C00000:0:0:0:|0||nothing||0|0\n");
  tables_.timers.First();
  tables_.timers.Next();
  tables_.timers.Next();
  EXPECT_EQ(tables_.timers.FieldNamed("ExtraAttributes").AsString(),
            " tags=\"x y\" marginBefore=\"180\"");
  EXPECT_EQ(tables_.timers.FieldNamed("ChildLines").AsString(),
            "\t\t<log code=\"500\" time=\"1\">made</log>\n");
  ASSERT_GE(log_.size(), 5u);
  EXPECT_EQ(log_[0].substr(0, 20), "\t<timer begin=\"18000");
}

TEST_F(ReaderTest, ServiceListOnlyNamesTimersOutsideEveryBouquet) {
  WriteMinimalSet();
  Write("lamedb", "services\n0099:00c00000:03c4:0001:1:0\nTVP? Info\nend\n");
  Write("timers.xml", Timers("<timer begin=\"1800000000\" end=\"1800000001\" "
                             "serviceref=\"1:0:1:99:3C4:1:C00000:0:0:0:\"></timer>\n"));
  Read(dir_.Path());
  tables_.timers.First();
  EXPECT_EQ(tables_.timers.FieldNamed("Zender").AsString(), "TVP Info");
}

TEST_F(ReaderTest, CutOffOrMissingTimerListsAreNotComplete) {
  WriteMinimalSet();
  EXPECT_EQ(Read(dir_.Path()).timer_list, TimerListState::kMissing);
  BoxTables second;
  second.Open();
  Write("timers.xml",
        "<?xml version=\"1.0\" ?>\n<timers>\n<timer begin=\"1800000000\" "
        "end=\"1800000001\" serviceref=\"1:0:1:1A2B:3C4:1:C00000:0:0:0:\">\n");
  const ReadReport cut = ReadBoxFiles(second, Context(dir_.Path()));
  EXPECT_EQ(cut.timer_list, TimerListState::kIncomplete);
  EXPECT_EQ(cut.timers, 1);  // what was there is shown all the same
  BoxTables third;
  third.Open();
  Write("timers.xml", Timers("<timer end=\"1800000001\"></timer>\n"));
  EXPECT_EQ(ReadBoxFiles(third, Context(dir_.Path())).timer_list, TimerListState::kIncomplete);
}

// Timers written by other tools or by hand: every start tag becomes a row, or the list is
// not complete (a save would delete the timers that were not read).
struct LayoutCase {
  const char* what;
  std::string file;
  std::string names;  // of the rows, in table order
  TimerListState state;
};

std::string TimerTag(int hour, const char* name, const char* close = ">") {
  return "<timer begin=\"" + std::to_string(1800000000 + hour * 3600) + "\" end=\"" +
         std::to_string(1800001800 + hour * 3600) +
         "\" serviceref=\"1:0:1:1A2B:3C4:1:C00000:0:0:0:\" name=\"" + name + "\"" + close;
}

class TimerListLayoutTest : public ReaderTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(TimerListLayoutTest, EveryTimerBecomesARowOrTheListIsIncomplete) {
  WriteMinimalSet();
  Write("timers.xml", GetParam().file);
  const ReadReport report = Read(dir_.Path());
  std::string names;
  for (tables_.timers.First(); !tables_.timers.Eof(); tables_.timers.Next()) {
    names += (names.empty() ? "" : ",") + tables_.timers.FieldNamed("Name").AsString();
  }
  EXPECT_EQ(names, GetParam().names);
  EXPECT_EQ(report.timer_list, GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TimerListLayoutTest,
    ::testing::Values(
        LayoutCase{"all on one line",
                   "<?xml version=\"1.0\" ?><timers>" + TimerTag(1, "A") + "</timer>" +
                       TimerTag(2, "B") + "</timer></timers>",
                   "A,B", TimerListState::kComplete},
        LayoutCase{"two on a line",
                   "<timers>\n" + TimerTag(1, "A") + "<log/></timer>  " + TimerTag(2, "B") +
                       "</timer>\n</timers>\n",
                   "A,B", TimerListState::kComplete},
        LayoutCase{
            "self-closing, then another",
            "<timers>\n" + TimerTag(1, "A", "/>") + TimerTag(2, "B") + "\n</timer>\n</timers>\n",
            "A,B", TimerListState::kComplete},
        LayoutCase{"byte-order mark before the first",
                   "\xEF\xBB\xBF" + TimerTag(1, "A") + "</timer>\n</timers>\n", "A",
                   TimerListState::kComplete},
        LayoutCase{"NUL before the first",
                   std::string("<timers>\n\0", 10) + TimerTag(1, "A") + "</timer>\n</timers>\n",
                   "A", TimerListState::kComplete},
        LayoutCase{"attributes on lines of their own",
                   "<timers>\n<timer\r\n begin=\"1800000000\"\n\tend=\"1800001800\"\r\n"
                   "name = 'A'\n>\n</timer>\n</timers>\n",
                   "A", TimerListState::kComplete},
        LayoutCase{"no attributes", "<timers>\n<timer></timer>\n</timers>\n", "",
                   TimerListState::kIncomplete},
        LayoutCase{"a timer inside a timer",
                   "<timers>\n" + TimerTag(1, "A") + TimerTag(2, "B") + "</timer>\n</timers>\n",
                   "A,B", TimerListState::kIncomplete},
        LayoutCase{"a raw ampersand", "<timers>\n" + TimerTag(1, "A & B") + "</timer>\n</timers>\n",
                   "A & B", TimerListState::kIncomplete},
        LayoutCase{"content that is not well formed",
                   "<timers>\n" + TimerTag(1, "A") + "\n<log>x</gol>\n</timer>\n</timers>\n", "A",
                   TimerListState::kIncomplete}),
    [](const auto& info) {
      std::string name;
      for (const char* c = info.param.what; *c; ++c) {
        if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
      }
      return name;
    });

TEST_F(ReaderTest, AfterInsertIsDetachedWhileReadingAndAttachedAgain) {
  WriteMinimalSet();
  Write("timers.xml", Timers("<timer begin=\"1800000000\" end=\"1800000001\"></timer>\n"));
  int calls = 0;
  tables_.timers.AfterInsert = [&](store::MemTable&) { ++calls; };
  Read(dir_.Path());
  EXPECT_EQ(calls, 0);
  ASSERT_TRUE(tables_.timers.AfterInsert);
  tables_.timers.AfterInsert(tables_.timers);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace tivolo::boxdata
