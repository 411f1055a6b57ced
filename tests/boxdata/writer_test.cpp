// Writing the timer list: the exact text, and the round trip from the box's file through the
// tables back to a file that keeps every value, child line and second.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "box_test_support.h"
#include "boxdata/box_reader.h"
#include "boxdata/errors.h"
#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "boxdata/timer_writer.h"
#include "boxdata/xml_scan.h"
#include "boxdata/xml_text.h"

namespace tivolo::boxdata {
namespace {

using namespace std::string_literals;

using namespace testing;

constexpr const char* kHead = "<?xml version=\"1.0\" ?>\r\n<timers>\r\n";

// Per timer: its attributes decoded, and its child lines.
struct Canonical {
  std::map<std::string, std::string> attributes;
  std::vector<std::string> children;
};

std::vector<Canonical> CanonicalTimers(std::string_view bytes) {
  std::vector<Canonical> out;
  for (const TimerElement& e : ParseTimerList(bytes).timers) {
    Canonical c;
    for (const XmlAttribute& a : e.attributes)
      c.attributes[a.name] = XmlUnescape(a.value);
    c.children = e.child_lines;
    out.push_back(std::move(c));
  }
  return out;
}

class WriterTest : public ::testing::Test {
 protected:
  // Reads `timers` (with the minimal channel files) and writes it back; returns the text.
  std::string RoundTrip(std::string_view timers, platform::ClockSettings clock = UtcClock()) {
    WriteFile(dir_ / "timers.xml", timers);
    BoxTables tables;
    tables.Open();
    report_ = ReadBoxFiles(tables, Context(dir_.Path(), clock));
    WriteTimerList(tables.timers, dir_.Path(), clock, Utf8());
    return ReadFile(dir_ / "timers.new");
  }

  // Every attribute and child line of the source, in the same timer order (the source lists
  // them by begin), is in the written file with the same value.
  void ExpectPreserved(std::string_view source, std::string_view written) {
    const auto in = CanonicalTimers(source);
    const auto out = CanonicalTimers(written);
    ASSERT_EQ(in.size(), out.size());
    for (size_t i = 0; i < in.size(); ++i) {
      for (const auto& [name, value] : in[i].attributes) {
        const auto it = out[i].attributes.find(name);
        ASSERT_NE(it, out[i].attributes.end()) << name;
        EXPECT_EQ(it->second, value) << "timer " << i << " attribute " << name;
      }
      EXPECT_EQ(in[i].children, out[i].children) << "timer " << i;
    }
    EXPECT_TRUE(ParseTimerList(written).Complete());
  }

  TempDir dir_;
  ReadReport report_;
};

TEST_F(WriterTest, EmptyTableGivesThreeLines) {
  BoxTables tables;
  tables.Open();
  WriteTimerList(tables.timers, dir_.Path(), UtcClock(), Utf8());
  EXPECT_EQ(ReadFile(dir_ / "timers.new"), "<?xml version=\"1.0\" ?>\r\n<timers>\r\n</timers>\r\n");
}

TEST_F(WriterTest, RealTimerListIsWrittenBackWhole) {
  CopySet(kLarge, dir_.Path());
  const std::string source = ReadFile(kLarge / "timers.xml");
  const std::string written = RoundTrip(source);
  ASSERT_EQ(report_.timers, 1);
  ExpectPreserved(source, written);
  EXPECT_EQ(written,
            std::string(kHead) +
                "<timer begin=\"1731009720\" end=\"1731013800\" "
                "serviceref=\"1:0:1:3ADB:514:13E:820000:0:0:0:\" repeated=\"0\" name=\"Ojciec "
                "Mateusz 32 (odc. 2)\" description=\"Policjanci badają sprawę kradzieży laptopa, "
                "która jest powiązana z zamordowaniem dziennikarza. Śledztwo oficjalnie prowadzi "
                "komenda sandomierska.\" afterevent=\"auto\" eit=\"19677\" disabled=\"0\" "
                "justplay=\"0\" marginBefore=\"180\" eventBegin=\"1731009900\" "
                "eventEnd=\"1731013500\" marginAfter=\"300\" hasEndTime=\"True\" "
                "rename_repeat=\"1\" always_zap=\"0\" descramble=\"1\" record_ecm=\"0\" "
                "isAutoTimer=\"1\">\r\n"
                "\t\t<log code=\"500\" time=\"1731006891\">[AutoTimer] Try to add new timer "
                "based on AutoTimer Ojciec Mateusz 32 (odc. 2).</log>\r\n"
                "\t\t<log code=\"509\" time=\"1731006891\">[AutoTimer] Timer start on: Thu Nov  "
                "7 20:02:00 2024</log>\r\n"
                "</timer>\r\n</timers>\r\n");
}

TEST_F(WriterTest, ConstructedListsKeepEveryValue) {
  CopySet(kSmall, dir_.Path());
  const std::string long_name(700, 'x');
  const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<timers>\r\n";
  const std::string first =
      "\t<timer begin=\"1731000000\" end=\"1731003600\" serviceref=\"4097:0:1:1E7:A11A:2268:0:0:"
      "0:0:https%3a//Host/Live.m3u8?a=1&amp;B=2\" repeated=\"0\" name=\"Tom &amp; Jerry "
      "&lt;&gt;&quot;&apos; caf&#233; &#xE9;\" description=\"A &amp; B &lt;x&gt;\" "
      "afterevent=\"auto\" eit=\"\" disabled=\"1\" justplay=\"1\" tags=\"a b\" "
      "location=\"/media/hdd/movie/\"/>\r\n";
  const std::string second =
      "\t<timer begin=\"1730010000\" end=\"1730013600\" serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:"
      "0:0:\" repeated=\"127\" name=\"" +
      long_name +
      "\" description=\"\" afterevent=\"nothing\""
      " eit=\"4711\" disabled=\"0\" justplay=\"0\">\r\n"
      "\t\t<log code=\"15\" time=\"1\">start</log>\r\n"
      "\r\n"
      "\t\t<log code=\"16\" time=\"2\">end &amp; more</log>\r\n"
      "\t</timer>\r\n";
  // A repeating timer whose first occurrence ended long ago.
  const std::string weekend =
      "<timer begin=\"1700000000\" end=\"1700003600\" serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:"
      "0:\" repeated=\"96\" name=\"Weekend\" description=\"d\" afterevent=\"deepstandby\" "
      "eit=\"1\" disabled=\"0\" justplay=\"0\"></timer>\r\n";
  const std::string tail = "</timers>\r\n";
  const std::string written = RoundTrip(head + first + second + weekend + tail);
  EXPECT_EQ(report_.timer_list, TimerListState::kComplete);
  ASSERT_EQ(report_.timers, 3);
  // The table lists by begin.
  const std::string sorted_source = head + weekend + second + first + tail;
  ExpectPreserved(sorted_source, written);
  EXPECT_NE(written.find("https%3a//Host/Live.m3u8?a=1&amp;B=2\""), std::string::npos);
  EXPECT_NE(written.find(" name=\"Tom &amp; Jerry &lt;&gt;&quot;&apos; café é\""),
            std::string::npos);
  EXPECT_NE(written.find(" description=\"A &amp; B &lt;x&gt;\""), std::string::npos);
  // Written from the file again, the text is the same.
  EXPECT_EQ(RoundTrip(written), written);
}

// Every second count around both changes of daylight time comes back as it was read, also in
// the hour that the clock gives twice.
TEST_F(WriterTest, BeginAndEndSecondsSurviveDaylightChanges) {
  CopySet(kSmall, dir_.Path());
  std::string source = kHead;
  std::vector<std::pair<int64_t, int64_t>> times;
  for (const int64_t change : {int64_t{1711846800}, int64_t{1729990800}}) {  // 2024-03-31, 10-27
    for (int64_t t = change - 7200; t <= change + 7200; t += 599)
      times.emplace_back(t, t + 1);
  }
  for (const auto& [b, e] : times) {
    source += "<timer begin=\"" + std::to_string(b) + "\" end=\"" + std::to_string(e) +
              "\" serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" repeated=\"1\" name=\"n\" "
              "description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" "
              "justplay=\"0\">\r\n</timer>\r\n";
  }
  source += "</timers>\r\n";
  const std::string written = RoundTrip(source, CetClock());
  // In the hour the clock shows twice the local order is not the order of the seconds, so
  // compare the pairs as sets.
  std::vector<std::pair<std::string, std::string>> in, out;
  for (const auto& c : CanonicalTimers(source)) {
    in.emplace_back(c.attributes.at("begin"), c.attributes.at("end"));
  }
  for (const auto& c : CanonicalTimers(written)) {
    out.emplace_back(c.attributes.at("begin"), c.attributes.at("end"));
  }
  std::sort(in.begin(), in.end());
  std::sort(out.begin(), out.end());
  EXPECT_EQ(in, out);
  EXPECT_EQ(written.size(), source.size());
}

TEST_F(WriterTest, ChangedTimesAreConvertedAndNamesEscaped) {
  CopySet(kSmall, dir_.Path());
  WriteFile(dir_ / "timers.xml", std::string(kHead) +
                                     "<timer begin=\"1752580800\" end=\"1752584400\" "
                                     "serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" name=\"a\" "
                                     "description=\"x &lt; y\"></timer>\r\n</timers>\r\n");
  BoxTables tables;
  tables.Open();
  ReadBoxFiles(tables, Context(dir_.Path(), CetClock()));
  store::MemTable& t = tables.timers;
  t.First();
  // 15 July 2025 14:00 local (summer, UTC+2) = 12:00 UTC = 1752580800; moved by an hour.
  EXPECT_DOUBLE_EQ(t.FieldNamed("Begin").AsDateTime(), 45853.0 + 14.0 / 24);
  t.Edit();
  t.FieldNamed("Begin").SetAsDateTime(45853.0 + 15.0 / 24);
  t.FieldNamed("Name").SetAsString(std::string("Q&A \"1\" <'2'>\x01\x1f\t."));
  t.Post();
  // A new timer, as the channel picker makes one.
  t.Append();
  t.FieldNamed("Begin").SetAsDateTime(45658.0 + 20.0 / 24);  // 1 January 2025 20:00, UTC+1
  t.FieldNamed("End").SetAsDateTime(45658.0 + 21.0 / 24);
  t.FieldNamed("Serviceref").SetAsString("1:0:1:B2:C:3E8:FFFF0000:0:0:0:");
  t.FieldNamed("Afterevent").SetAsString("nothing");
  t.FieldNamed("RepeatedOrg").SetAsLargeInt(0);
  t.Post();
  WriteTimerList(t, dir_.Path(), CetClock(), Utf8());
  EXPECT_EQ(ReadFile(dir_ / "timers.new"),
            std::string(kHead) +
                "<timer begin=\"1735758000\" end=\"1735761600\" "
                "serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" repeated=\"0\" name=\"\" "
                "description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"\" "
                "justplay=\"\">\r\n</timer>\r\n"
                "<timer begin=\"1752584400\" end=\"1752584400\" "
                "serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" repeated=\"0\" "
                "name=\"Q&amp;A &quot;1&quot; &lt;&apos;2&apos;&gt;&#9;.\" "
                "description=\"x &lt; y\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" "
                "justplay=\"0\">\r\n</timer>\r\n"
                "</timers>\r\n");
}

// Text with a NUL, read from a broken file: the list is not complete, and what is written of
// it is still well formed and holds the timer.
class NulWriterTest : public WriterTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(NulWriterTest, ListIsIncompleteAndTheWrittenFileWellFormed) {
  CopySet(kSmall, dir_.Path());
  const std::string written = RoundTrip(std::string(kHead) +
                                        "<timer begin=\"1800000000\" end=\"1800003600\" "
                                        "serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" name=\"n\"" +
                                        GetParam() + "</timer>\r\n</timers>\r\n");
  EXPECT_EQ(report_.timer_list, TimerListState::kIncomplete);
  std::string why;
  EXPECT_TRUE(IsWellFormedXml(written, &why)) << why << "\n" << written;
  EXPECT_EQ(CanonicalTimers(written).size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Places, NulWriterTest,
                         // The literals' own lengths, NUL included.
                         ::testing::Values(" tags=\"t\0g\">\r\n"s, ">\r\n<log>a\0b</log>\r\n"s,
                                           " description=\"d\0e\">\r\n"s));

TEST_F(WriterTest, DoubleQuotesInPassedThroughValuesAreEscaped) {
  CopySet(kSmall, dir_.Path());
  const std::string source = std::string(kHead) +
                             "<timer begin=\"1800000000\" end=\"1800003600\" "
                             "serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" name=\"n\" "
                             "description='say \"hi\"' tags='a \"b\"'></timer>\r\n</timers>\r\n";
  WriteFile(dir_ / "timers.xml", source);
  BoxTables tables;
  tables.Open();
  ASSERT_TRUE(ReadBoxFiles(tables, Context(dir_.Path())).TimerListComplete());
  // A second timer as the editor leaves it, with quotes typed into its texts.
  store::MemTable& t = tables.timers;
  t.Append();
  t.FieldNamed("Begin").SetAsDateTime(kNow + 2);
  t.FieldNamed("End").SetAsDateTime(kNow + 2.5);
  t.FieldNamed("Serviceref").SetAsString("1:0:1:B2:C:3E8:FFFF0000:0:0:0:");
  t.FieldNamed("Description").SetAsString("a \"quoted\" <word>");
  t.FieldNamed("Afterevent").SetAsString("\"x\"");
  for (const char* number : {"RepeatedOrg", "Disabled", "Justplay"})
    t.FieldNamed(number).SetAsLargeInt(0);
  t.Post();
  const std::string written = BuildTimerList(t, UtcClock(), Utf8());
  std::string why;
  ASSERT_TRUE(IsWellFormedXml(written, &why)) << why << "\n" << written;
  EXPECT_NE(
      written.find(" description=\"a &quot;quoted&quot; &lt;word>\" afterevent=\"&quot;x&quot;\""),
      std::string::npos)
      << written;
  EXPECT_NE(written.find(" description=\"say &quot;hi&quot;\""), std::string::npos) << written;
  EXPECT_NE(written.find(" tags='a \"b\"'"), std::string::npos) << written;
  // Read again, the values are those of the first reading.
  const std::string again = RoundTrip(written);
  EXPECT_EQ(report_.timer_list, TimerListState::kComplete);
  EXPECT_EQ(again, written);
}

TEST_F(WriterTest, AFailedWriteLeavesTheEarlierFileAndNoTemporary) {
  BoxTables tables;
  tables.Open();
  try {
    WriteTimerList(tables.timers, dir_ / "missing", UtcClock(), Utf8());
    FAIL() << "no error";
  } catch (const FileCreateError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file " + (dir_ / "missing" / "timers.new").string());
    EXPECT_EQ(e.TypeName(), "FileCreateError");
  }
  // "timers.new" is a folder with a file in it: the rename cannot replace it.
  std::filesystem::create_directory(dir_ / "timers.new");
  WriteFile(dir_ / "timers.new" / "keep", "old");
  EXPECT_THROW(WriteTimerList(tables.timers, dir_.Path(), UtcClock(), Utf8()), FileCreateError);
  EXPECT_EQ(ReadFile(dir_ / "timers.new" / "keep"), "old");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir_.Path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1);
  // Replacing an ordinary file works and keeps nothing else behind.
  std::filesystem::remove_all(dir_ / "timers.new");
  WriteFile(dir_ / "timers.new", "old");
  WriteTimerList(tables.timers, dir_.Path(), UtcClock(), Utf8());
  EXPECT_EQ(ReadFile(dir_ / "timers.new").substr(0, 5), "<?xml");
}

// ---- Times are instants ----

std::string TimerAt(int64_t begin, int64_t end, const char* name) {
  return "<timer begin=\"" + std::to_string(begin) + "\" end=\"" + std::to_string(end) +
         "\" serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" repeated=\"0\" name=\"" + name +
         "\" description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" "
         "justplay=\"0\">\r\n</timer>\r\n";
}

// "begin-end" of every timer written, sorted: in the repeated hour the table's local order is
// not the order of the instants.
std::vector<std::string> Spans(std::string_view written) {
  std::vector<std::string> out;
  for (const auto& c : CanonicalTimers(written))
    out.push_back(c.attributes.at("begin") + "-" + c.attributes.at("end"));
  std::sort(out.begin(), out.end());
  return out;
}

// 26 October 2025: 02:30 Central European time is both 00:30 UTC (summer time) and 01:30.
constexpr int64_t k0030Utc = 1761438600;
constexpr int64_t k0130Utc = 1761442200;
constexpr int64_t k0150Utc = 1761443400;
const platform::DateTime kSecondPass0210 = platform::EpochSecondsToDateTime(1761441000);

class InstantWriterTest : public WriterTest {
 protected:
  void Read(const std::string& timers) {
    CopySet(kSmall, dir_.Path());
    WriteFile(dir_ / "timers.xml", kHead + timers + "</timers>\r\n");
    tables_.Open();
    ASSERT_TRUE(ReadBoxFiles(tables_, Context(dir_.Path(), CetClock())).TimerListComplete());
  }
  void SetTimes(const char* name, std::optional<platform::DateTime> begin,
                std::optional<platform::DateTime> end) {
    store::MemTable& t = tables_.timers;
    if (name) {
      for (t.First(); t.FieldNamed("Name").AsString() != name; t.Next()) {
      }
      t.Edit();
    } else {
      t.Append();
      t.FieldNamed("Serviceref").SetAsString("1:0:1:B2:C:3E8:FFFF0000:0:0:0:");
      t.FieldNamed("Name").SetAsString("new");
    }
    if (begin) t.FieldNamed("Begin").SetAsDateTime(*begin);
    if (end) t.FieldNamed("End").SetAsDateTime(*end);
    t.Post();
  }
  std::vector<std::string> Written(const platform::ClockSettings& clock, platform::DateTime now) {
    return Spans(BuildTimerList(tables_.timers, clock, Utf8(), now));
  }
  static std::string Span(int64_t begin, int64_t end) {
    return std::to_string(begin) + "-" + std::to_string(end);
  }
  BoxTables tables_;
};

TEST_F(InstantWriterTest, TheRepeatedHourKeepsReadSecondsAndReadsChangesAhead) {
  // Both show 02:30 to 02:30 or 02:50 on the grid; unchanged, each keeps what was read.
  Read(TimerAt(k0030Utc, k0130Utc, "twice") + TimerAt(k0130Utc, k0150Utc, "second"));
  EXPECT_EQ(Written(CetClock(), kSecondPass0210),
            (std::vector{Span(k0030Utc, k0130Utc), Span(k0130Utc, k0150Utc)}));
  // A changed end is read after its begin and ahead of now (02:10 the second time); a new
  // timer typed as 02:30 to 02:50 then is the one still to come.
  const platform::DateTime day = platform::EncodeDate(2025, 10, 26);
  SetTimes("twice", std::nullopt, platform::AddMinutes(day, 160));
  SetTimes(nullptr, platform::AddMinutes(day, 150), platform::AddMinutes(day, 170));
  EXPECT_EQ(Written(CetClock(), kSecondPass0210),
            (std::vector{Span(k0030Utc, k0130Utc + 600), Span(k0130Utc, k0150Utc),
                         Span(k0130Utc, k0150Utc)}));
  // Before the first 02:30 the earlier readings lie ahead.
  EXPECT_EQ(Written(CetClock(), platform::EpochSecondsToDateTime(k0030Utc - 1200)),
            (std::vector{Span(k0030Utc, k0030Utc + 600), Span(k0030Utc, k0030Utc + 1200),
                         Span(k0130Utc, k0150Utc)}));
}

TEST_F(InstantWriterTest, ReexpressedTimesKeepTheirInstantsAndTheirReadSeconds) {
  Read(TimerAt(k0030Utc, k0130Utc, "twice") + TimerAt(1752580800, 1752584400, "summer") +
       TimerAt(1792890600, 1792894200, "later"));
  // The summer timer now begins an hour earlier, at 13:00 summer time.
  SetTimes("summer", platform::AddHours(platform::EncodeDate(2025, 7, 15), 13), std::nullopt);
  store::MemTable& t = tables_.timers;
  t.First();
  t.Next();
  const std::string current = t.FieldNamed("Name").AsString();
  int edits_seen = 0;
  t.AfterEdit = [&edits_seen](store::MemTable&) { ++edits_seen; };
  const platform::DateTime now = platform::EpochSecondsToDateTime(1752000000);
  const auto before = Written(CetClock(), now);
  ASSERT_EQ(before[0], Span(1752577200, 1752584400));

  platform::ClockSettings far_east = UtcClock();
  far_east.utc_offset = 20;  // outside the dialog's range, kept as loaded
  ReexpressTimerTimes(t, CetClock(), far_east, now);
  EXPECT_EQ(Written(far_east, now), before);
  EXPECT_EQ(t.FieldNamed("Name").AsString(), current);
  // In the new zone's wall time: the changed begin stays changed, the unchanged one not.
  auto local_seconds = [&t](const char* field) {
    return platform::DateTimeToEpoch(t.FieldNamed(field).AsDateTime());
  };
  t.First();
  EXPECT_EQ(local_seconds("Begin"), 1752577200 + 20 * 3600);
  EXPECT_EQ(local_seconds("BeginRead"), 1752580800 + 20 * 3600);
  t.Next();
  EXPECT_EQ(local_seconds("Begin"), k0030Utc + 20 * 3600);
  EXPECT_EQ(local_seconds("BeginRead"), local_seconds("Begin"));

  ReexpressTimerTimes(t, far_east, CetClock(), now);
  EXPECT_EQ(Written(CetClock(), now), before);
  EXPECT_EQ(edits_seen, 0);
  EXPECT_EQ(t.FieldNamed("Name").AsString(), "twice");  // where the cursor was
  t.AfterEdit = nullptr;
  t.Edit();
  EXPECT_THROW(ReexpressTimerTimes(t, CetClock(), far_east, now), BoxDataError);
  t.Cancel();
}

// Saving must leave the user where they were: the grid's row and a change not yet posted.
TEST_F(WriterTest, WritingMovesNoCursorAndPostsNothing) {
  CopySet(kSmall, dir_.Path());
  std::string source = kHead;
  for (const char* begin : {"1731000000", "1731100000", "1731200000"}) {
    source += std::string("<timer begin=\"") + begin + "\" end=\"" + begin +
              "\" serviceref=\"1:0:1:B2:C:3E8:FFFF0000:0:0:0:\" repeated=\"0\" name=\"n\" "
              "description=\"\" afterevent=\"nothing\" eit=\"\" disabled=\"0\" "
              "justplay=\"0\">\r\n</timer>\r\n";
  }
  source += "</timers>\r\n";
  WriteFile(dir_ / "timers.xml", source);
  BoxTables tables;
  tables.Open();
  ReadBoxFiles(tables, Context(dir_.Path()));
  store::MemTable& t = tables.timers;
  t.ViewMoveToRow(1);
  t.Edit();
  t.FieldNamed("Name").SetAsString("pending");
  const std::string edited = BuildTimerList(t, UtcClock(), Utf8());
  EXPECT_EQ(t.State(), store::DatasetState::kEdit);
  EXPECT_EQ(t.ViewCurrentRow(), 1);
  EXPECT_NE(edited.find("name=\"pending\""), std::string::npos);
  t.Cancel();
  EXPECT_EQ(BuildTimerList(t, UtcClock(), Utf8()), source);
  EXPECT_EQ(t.ViewCurrentRow(), 1);

  // A new record without a place in the order yet is left out and stays pending.
  t.Append();
  t.FieldNamed("Name").SetAsString("new");
  EXPECT_EQ(BuildTimerList(t, UtcClock(), Utf8()), source);
  EXPECT_EQ(t.State(), store::DatasetState::kInsert);
}

}  // namespace
}  // namespace tivolo::boxdata
