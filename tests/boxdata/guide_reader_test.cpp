// The guide reader on files made by the test writer: both byte orders and layouts, the text
// tables, the receiver's way of combining texts and ordering events, and files that are cut
// or lie about their counts and lengths.
#include <gtest/gtest.h>

#include <tuple>

#include "boxdata/dvb_text.h"
#include "boxdata/guide_file.h"
#include "guide_writer.h"

namespace tivolo::boxdata {
namespace {

using namespace std::string_view_literals;
using testing::GuideWriter;
using testing::WrittenEvent;
using testing::WrittenService;

constexpr int64_t kMonday = 1767571200;  // 2026-01-05 00:00 UTC

std::string Decoded(std::string_view bytes, int table = dvb_table::kLatin1) {
  std::string out;
  AppendDvbText(bytes, table, out);
  return out;
}

// Two services (written in reverse key order), one with two programmes and one with a long
// text in two parts.
GuideWriter TwoServices(bool big_endian, int version) {
  GuideWriter w;
  w.big_endian = big_endian;
  w.version = version;
  const uint32_t news = w.Title("Nieuws");
  const uint32_t film = w.Title("Café Zürich");
  const uint32_t text = w.ShortText("Het laatste nieuws.");
  const uint32_t part1 = w.Extended("Een film over ", 0, 1);
  const uint32_t part2 = w.Extended("een caf\xE9.", 1, 1);  // ISO 8859-1
  w.services.push_back(
      {0x283D,
       0x1,
       0x3FB,
       {{7, kMonday + 3600, 1800, {film, part1, part2}, 0}, {8, kMonday + 5400, 3600, {news}, 0}}});
  w.services.push_back({0x0101, 0x1, 0x10, {{0xBEEF, kMonday, 900, {news, text}, 0}}});
  return w;
}

class GuideLayoutTest : public ::testing::TestWithParam<std::tuple<bool, int>> {};

TEST_P(GuideLayoutTest, ReadsServicesEventsAndTexts) {
  const auto [big_endian, version] = GetParam();
  GuideWriter w = TwoServices(big_endian, version);
  GuideReadReport report;
  const Guide guide = ReadGuide(w.Bytes(), &report);
  EXPECT_EQ(guide.Version(), version);
  EXPECT_EQ(guide.BigEndian(), big_endian);
  ASSERT_EQ(guide.Services().size(), 2u);
  // In key order, whatever the file's order.
  EXPECT_EQ(guide.Services()[0].key, (GuideServiceKey{0x0101, 0x10, 0x1}));
  EXPECT_EQ(guide.Services()[1].key, (GuideServiceKey{0x283D, 0x3FB, 0x1}));
  ASSERT_EQ(guide.Events().size(), 3u);
  const GuideEvent& first = guide.EventsOf(0)[0];
  EXPECT_EQ(first.event_id, 0xBEEF);
  EXPECT_EQ(first.begin, kMonday);
  EXPECT_EQ(first.End(), kMonday + 900);
  EXPECT_EQ(guide.Title(first), "Nieuws");
  EXPECT_EQ(guide.Texts(first).short_text, "Het laatste nieuws.");
  const GuideEvent& film = guide.EventsOf(1)[0];
  EXPECT_EQ(guide.Title(film), "Café Zürich");
  EXPECT_EQ(guide.Texts(film).extended_text, "Een film over een café.");
  EXPECT_EQ(guide.Title(guide.EventsOf(1)[1]), guide.Title(first));
  EXPECT_EQ(report.events_in_file, 3u);
  EXPECT_EQ(report.events_dropped, 0u);
  EXPECT_EQ(report.missing_descriptors, 0u);
}

INSTANTIATE_TEST_SUITE_P(BothOrdersBothVersions, GuideLayoutTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Values(7, 8)));

TEST(DvbTextTest, TablesAsTheReceiverReadsThem) {
  EXPECT_EQ(Decoded("\x15Gr\xC3\xBC\xC3\x9F Gott"), "Grüß Gott");
  EXPECT_EQ(Decoded("\x15"
                    "ab\xFF"
                    "c"),
            "abc");  // a malformed byte is dropped
  // ISO 6937: accent first, then the letter; alone an accent stands for nothing.
  EXPECT_EQ(Decoded("Caf\xC2"
                    "e \xC8u \xCFz \xA4 \xC2",
                    dvb_table::kIso6937),
            "Café ü ž € ");
  EXPECT_EQ(Decoded("\xC2"
                    "e",
                    dvb_table::kLatin1),
            "Âe");
  EXPECT_EQ(Decoded("\x01\xBD\xDE\xD2\xDE\xE1\xE2\xD8"), "Новости");  // 0x01: ISO 8859-5
  EXPECT_EQ(Decoded("\x10\x00\x02\xA3\xF3\xF3"sv), "Łóó");            // 0x10 0 2: 8859-2
  EXPECT_EQ(Decoded("\xE1\xEB\xF6\xE1", DefaultTableForLanguage("GRE")), "αλφα");
  EXPECT_EQ(Decoded("\x11\x04\x1C\x00\x21\xD8\x3D\xDE\x00\x00"sv), "М!😀");  // UTF-16
  EXPECT_EQ(Decoded("\x11\x00\x41\xD8\x3D\x00\x41\x00"sv), "");  // a broken pair: all gone
  EXPECT_EQ(Decoded("\x10\x00"sv), "");
  // Broadcast control codes: the line break stays, emphasis marks go.
  EXPECT_EQ(Decoded("\x86"
                    "Eins\x87\x8A"
                    "Zwei"),
            "Eins\nZwei");
  std::string title;
  AppendDvbTitle("\x15Line\nbreak\xC2\x8Ahere", dvb_table::kLatin1, title);
  EXPECT_EQ(title, "Line break here");
  EXPECT_EQ(DefaultTableForLanguage("cze"), dvb_table::kIso6937);
  EXPECT_EQ(DefaultTableForLanguage("deu"), dvb_table::kLatin1);
}

TEST(GuideTextsTest, CombinedAsTheReceiverCombinesThem) {
  GuideWriter w;
  const std::string long_short(190, 's');
  const uint32_t title = w.Title("Titel", "deu");
  const uint32_t other_language = w.Title("Title", "eng");
  WrittenService s{1, 2, 3, {}};
  // A short text that starts the long one is shown once, as part of the long one.
  s.events.push_back({1,
                      kMonday,
                      60,
                      {title, other_language, w.ShortText("Begin", "deu"),
                       w.Extended("Begin en meer", 0, 0, "deu")}});
  // From 180 bytes on, a short text followed by an empty long one becomes the long text.
  s.events.push_back({2, kMonday + 60, 60, {w.ShortText(long_short), w.Extended("")}});
  // Czech long texts are decoded whole: a two-byte letter may span two descriptors.
  s.events.push_back({3,
                      kMonday + 120,
                      60,
                      {w.Title("Zpr\xC3\xA1vy", "cze"), w.Extended("Dne\xCF", 0, 1, "cze"),
                       w.Extended("s", 1, 1, "cze"), GuideWriter::kMissing}});
  w.services.push_back(s);
  GuideReadReport report;
  const Guide guide = ReadGuide(w.Bytes(), &report);
  ASSERT_EQ(guide.Events().size(), 3u);
  const auto& e = guide.Events();
  EXPECT_EQ(guide.Title(e[0]), "Titel");
  EXPECT_EQ(guide.Texts(e[0]).short_text, "");
  EXPECT_EQ(guide.Texts(e[0]).extended_text, "Begin en meer");
  EXPECT_EQ(guide.Texts(e[1]).short_text, "");
  EXPECT_EQ(guide.Texts(e[1]).extended_text, long_short);
  EXPECT_EQ(guide.Title(e[2]), "Zprávy");
  EXPECT_EQ(guide.Texts(e[2]).extended_text, "Dneš");
  EXPECT_EQ(report.missing_descriptors, 1u);
}

TEST(GuideOrderTest, TimeOrderWithoutOverlapsAndRepeatedKeysMerged) {
  GuideWriter w;
  const uint32_t a = w.Title("A"), b = w.Title("B"), c = w.Title("C");
  w.services.push_back({5,
                        1,
                        1,
                        {{1, kMonday + 7200, 3600, {a}, 0},
                         {2, kMonday, 3600, {a}, 0},
                         {3, kMonday, 1800, {b}, 0},         // same start: the later counts
                         {4, kMonday + 3000, 1200, {c}, 0},  // after B's end: kept
                         {5, kMonday + 3600, 0, {c}, 0}}});  // no duration
  w.services.push_back({9, 1, 1, {{6, kMonday, 60, {a}, 0}}});
  w.services.push_back({5,
                        1,
                        1,
                        {{7, kMonday + 9000, 600, {b}, 0},      // overlaps event 1
                         {8, kMonday + 10800, 600, {c}, 0}}});  // merged into service 5
  GuideReadReport report;
  const Guide guide = ReadGuide(w.Bytes(), &report);
  ASSERT_EQ(guide.Services().size(), 2u);
  std::vector<int> ids;
  for (const GuideEvent& e : guide.EventsOf(0))
    ids.push_back(e.event_id);
  EXPECT_EQ(ids, (std::vector<int>{3, 4, 1, 8}));
  EXPECT_EQ(report.events_dropped, 3u);
  EXPECT_EQ(guide.EventsFrom(0, kMonday + 3599).size(), 3u);  // event 3 ended at kMonday+1800
  EXPECT_EQ(guide.EventsFrom(0, kMonday + 4200).front().event_id, 1);
  EXPECT_TRUE(guide.EventsFrom(0, kMonday + 99999).empty());
  EXPECT_TRUE(guide.EventsOf(7).empty());
}

// Every way a file can be cut or lie ends in a GuideFormatError with a message: nothing is
// read past the end, and no container is sized from an untrusted count.
TEST(GuideDamageTest, CutAndLyingFilesAreRefused) {
  GuideWriter w = TwoServices(false, 8);
  const std::string good = w.Bytes();
  const testing::GuideLayout at = w.layout;
  for (size_t n = 0; n < good.size(); ++n) {
    // A cut inside the pool's last descriptor, or anywhere before it, is noticed.
    EXPECT_THROW(ReadGuide(good.substr(0, n)), GuideFormatError) << "cut at " << n;
  }
  auto lie = [&](size_t where, uint32_t value) {
    std::string bytes = good;
    testing::Patch32(bytes, where, value, false);
    return bytes;
  };
  EXPECT_THROW(ReadGuide(lie(at.service_count, 0x7FFFFFFF)), GuideDamaged);
  EXPECT_THROW(ReadGuide(lie(at.service_count, 0xFFFFFFFF)), GuideDamaged);
  EXPECT_THROW(ReadGuide(lie(at.first_event_count, 1000000)), GuideDamaged);
  EXPECT_THROW(ReadGuide(lie(at.pool_count, 0x40000000)), GuideDamaged);
  for (char length : {'\x00', '\x09', '\x0B', '\xFF'}) {
    std::string bytes = good;
    bytes[at.first_event_length] = length;
    EXPECT_THROW(ReadGuide(bytes), GuideDamaged) << int(length);
  }
  std::string long_descriptor = good;
  long_descriptor[at.first_descriptor_length] = '\xFF';
  EXPECT_THROW(ReadGuide(long_descriptor), GuideDamaged);

  w.unfinished = true;
  try {
    ReadGuide(w.Bytes());
    FAIL() << "an unfinished file was read";
  } catch (const GuideUnfinished& e) {
    EXPECT_NE(std::string(e.what()).find("UNFINISHED_V8"), std::string::npos) << e.what();
  }
  w.unfinished = false;
  w.version = 6;
  EXPECT_THROW(ReadGuide(w.Bytes()), GuideFormatError);
  EXPECT_THROW(ReadGuide("\x32\x54\x76\x99"
                         "ENIGMA_EPG_V8"
                         "\0\0\0\0"sv),
               GuideFormatError);
}

// Lengths that stop at the edge of what holds them: a short event descriptor whose name takes
// all its bytes, leaving none for the text's length, gives no title (as on the receiver) and
// nothing of the next descriptor; a service count that the bytes left could hold as counts,
// but not as service headers, is refused by the count itself.
TEST(GuideDamageTest, LengthsAtTheEdgeOfTheirSpace) {
  GuideWriter w;
  std::string filled("eng");
  filled += '\x06';
  filled += "\x15Whole";  // six bytes: the name ends where the descriptor ends
  const uint32_t no_text_length = w.Descriptor(0x4D, filled);
  const uint32_t next = w.Title("Next");
  w.services.push_back({1,
                        1,
                        1,
                        {{1, kMonday, 60, {no_text_length}, 0},
                         {2, kMonday + 60, 60, {next}, 0},
                         {3, kMonday + 120, 60, {no_text_length, next}, 0}}});
  const std::string bytes = w.Bytes();
  const Guide guide = ReadGuide(bytes);
  ASSERT_EQ(guide.Events().size(), 3u);
  EXPECT_EQ(guide.Title(guide.Events()[0]), "");
  EXPECT_EQ(guide.Texts(guide.Events()[0]).short_text, "");
  EXPECT_EQ(guide.Title(guide.Events()[1]), "Next");
  EXPECT_EQ(guide.Title(guide.Events()[2]), "Next");

  // Each service takes 16 bytes before its events: a count of a quarter of the bytes left
  // fits them as 4-byte numbers only.
  const size_t left = bytes.size() - (w.layout.service_count + 4);
  std::string lying = bytes;
  testing::Patch32(lying, w.layout.service_count, static_cast<uint32_t>(left / 4), false);
  try {
    ReadGuide(lying);
    FAIL() << "a service count larger than the services' headers was read";
  } catch (const GuideDamaged& e) {
    EXPECT_NE(std::string(e.what()).find("claims " + std::to_string(left / 4) + " services"),
              std::string::npos)
        << e.what();
  }
}

// Events that all share the same descriptors of the full 8 KB each cannot make the guide
// outgrow a small multiple of its file: long texts are decoded only when asked for, and
// titles joined from many shared names are refused.
TEST(GuideDamageTest, SharedDescriptorsCannotBlowUpMemory) {
  for (const bool names : {false, true}) {
    GuideWriter w;
    std::vector<uint32_t> big;
    for (int i = 0; i < 30; ++i) {
      const std::string text = "\x01" + std::string(240, static_cast<char>(0xC0 + i % 32));
      big.push_back(names ? w.ShortEvent(text, "") : w.Extended(text));
    }
    WrittenService s{1, 1, 1, {}};
    for (int i = 0; i < 2000; ++i)
      s.events.push_back({static_cast<uint16_t>(i), kMonday + 60 * i, 60, big, 0});
    w.services.push_back(s);
    const std::string bytes = w.Bytes();
    if (names) {
      EXPECT_THROW(ReadGuide(bytes), GuideDamaged);
      continue;
    }
    GuideReadReport report;
    const Guide guide = ReadGuide(bytes, &report);
    EXPECT_LE(report.peak_allocated_bytes, 4 * bytes.size());
    EXPECT_EQ(guide.Texts(guide.Events()[1999]).extended_text.size(), 30u * 480);
  }
}

}  // namespace
}  // namespace tivolo::boxdata
