// The pure parsers of the box's files: lines, service references, the service list index,
// bouquet files and the timer list.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "boxdata/bouquet_file.h"
#include "boxdata/errors.h"
#include "boxdata/service_list.h"
#include "boxdata/service_reference.h"
#include "boxdata/text_lines.h"
#include "boxdata/timer_file.h"
#include "boxdata/xml_scan.h"
#include "boxdata/xml_text.h"

namespace tivolo::boxdata {
namespace {

std::string Joined(const std::vector<std::string_view>& lines) {
  std::string out;
  for (auto l : lines)
    out += "[" + std::string(l) + "]";
  return out;
}

TEST(LinesTest, SplitsAtEveryLineEndForm) {
  EXPECT_EQ(Joined(SplitLines("a\r\nb\rc\nd")), "[a][b][c][d]");
  EXPECT_EQ(Joined(SplitLines("a\n\nb\r\n")), "[a][][b]");
  EXPECT_EQ(Joined(SplitLines("\r\r\n")), "[][]");
  EXPECT_EQ(SplitLines("").size(), 0u);
  EXPECT_EQ(TrimControl(std::string_view("\t\x01 x y \r\x1f", 9)), "x y");
}

// ---- service references ----

TEST(ServiceReferenceTest, KeyFromFieldsFourSevenFive) {
  EXPECT_EQ(ServiceKey("1:0:1:1A2B:3C4:1:C00000:0:0:0:"), "1A2B:00C00000:03C4:");
  // Text after the tenth ":" is not looked at, a wide field keeps all its digits.
  EXPECT_EQ(ServiceKey("1:0:1:1a2b:3c4:1:c00000:0:0:0:Name: with: colons"), "1A2B:00C00000:03C4:");
  EXPECT_EQ(ServiceKey("1:0:1: 12345 :3c4:1:FFFFFFFF:0:0:0:"), "12345:FFFFFFFF:03C4:");
}

class BadReferenceTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BadReferenceTest, RaisesConversionError) {
  EXPECT_THROW(ServiceKey(GetParam()), ConversionError);
}

INSTANTIATE_TEST_SUITE_P(Forms, BadReferenceTest,
                         ::testing::Values("",
                                           "1:0:1:1A2B:3C4:1:", "1:0:1:1A2G:3C4:1:C00000:0:0:0:",
                                           "1::1:1A2B:3C4:1:C00000:0:0:0:", ": 1:0:1:1:1:1:1:",
                                           "1:0:1:100000000:3C4:1:C00000:0:0:0:"));

TEST(ServiceReferenceTest, UpperCaseOnlyForTheTenFields) {
  EXPECT_EQ(UpperReferenceFields("4097:0:1:1e7:a11a:2268:0:0:0:0:https%3a//Host/Path?a=B&c"),
            "4097:0:1:1E7:A11A:2268:0:0:0:0:https%3a//Host/Path?a=B&c");
  EXPECT_EQ(UpperReferenceFields("1:0:1:ab:cd:ef:"), "1:0:1:AB:CD:EF:");
  EXPECT_EQ(UpperReferenceFields("1:0:1:ab:cd:ef"), "1:0:1:AB:CD:ef");
  EXPECT_TRUE(IsMarker(ParseReferenceFields("1:64:3:0:0:0:0:0:0:0::News")));
  EXPECT_TRUE(IsMarker(ParseReferenceFields("1:832:3:0:0:0:0:0:0:0:")));  // numbered, decimal
  EXPECT_TRUE(IsMarker(ParseReferenceFields("1:320:3:0:0:0:0:0:0:0:")));
  EXPECT_TRUE(IsMarker(ParseReferenceFields("1:40:3:0:0:0:0:0:0:0:")));
  EXPECT_FALSE(IsMarker(ParseReferenceFields("1:0:19:283D:3FB:1:C00000:0:0:0:")));
}

// ---- service list ----

TEST(ServiceListTest, LastMatchWinsAndBlankLinesAreSkipped) {
  ServiceList list(
      "eDVB services /4/\nservices\n"
      "1a2b:00c00000:03c4:0001:1:0\n   \n\n  Old name \n"
      "1A2B:00C00000:03C4:0001:25:0\r\nNew name\r\n"
      "0001:00c00000:0001:0001:1:0\nOther\n"
      "ffff:00c00000:0001:0001:1:0\n");
  EXPECT_EQ(list.NameForKey("1A2B:00C00000:03C4:").value_or("-"), "New name");
  EXPECT_EQ(list.NameForKey("0001:00C00000:0001:").value_or("-"), "Other");
  EXPECT_FALSE(list.NameForKey("FFFF:00C00000:0001:").has_value());  // the final line
  EXPECT_FALSE(list.NameForKey("0002:00C00000:0001:").has_value());
  EXPECT_EQ(list.Lines().size(), 9u);
}

// The index must give exactly what the walk over all lines gives, for every key.
TEST(ServiceListTest, IndexAgreesWithTheLiteralScan) {
  std::mt19937 rng(20240501);
  auto hex = [&](int digits, bool lower) {
    static const char* kUpper = "0123456789ABCDEF";
    static const char* kLower = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < digits; ++i)
      s += (lower ? kLower : kUpper)[rng() % 3];
    return s;
  };
  for (int round = 0; round < 50; ++round) {
    std::string text;
    std::vector<std::string> keys;
    for (int i = 0; i < 60; ++i) {
      const int shape = static_cast<int>(rng() % 6);
      const bool lower = rng() % 2;
      std::string line = hex(shape == 0 ? 5 : 4, lower) + ":" + hex(shape == 1 ? 9 : 8, lower) +
                         ":" + hex(shape == 2 ? 3 : 4, lower) + (shape == 3 ? "" : ":") + "0001";
      if (shape == 4) line = hex(1, lower) + line;
      text += line + "\n";
      if (rng() % 4) text += "Name " + std::to_string(i) + "\n";
      if (rng() % 5 == 0) text += "  \n";
    }
    ServiceList list(text);
    for (int i = 0; i < 200; ++i) {
      const uint32_t sid = rng() % 3 == 0 ? 0x10000 + rng() % 3 : rng() % 3;
      const std::string key = FormatServiceKey(sid, rng() % 3, rng() % 3);
      ASSERT_EQ(list.NameForKey(key), ScanNameForKey(list.Lines(), key)) << key;
    }
    for (const auto line : list.Lines()) {
      if (line.size() < 19) continue;
      const std::string key = UpperReferenceFields(line.substr(0, 19));
      if (key[4] != ':' || key[13] != ':' || key[18] != ':') continue;
      ASSERT_EQ(list.NameForKey(key), ScanNameForKey(list.Lines(), key)) << key;
    }
  }
}

// ---- bouquets ----

TEST(BouquetIndexTest, BothFormsNameTheFile) {
  const auto entries = ParseBouquetIndex(
      "#NAME User - Bouquets (TV)\r\n"
      "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"userbouquet.favourites.tv\" ORDER BY bouquet\r\n"
      "#service 1:7:1:0:0:0:0:0:0:0:userbouquet.old.tv\r\n"
      "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"../../etc/passwd\" ORDER BY bouquet\n"
      "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET \"unclosed\n"
      "#DESCRIPTION :userbouquet.not.tv\n");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].file_name, "userbouquet.favourites.tv");
  EXPECT_EQ(entries[1].file_name, "userbouquet.old.tv");
  EXPECT_FALSE(entries[1].unsafe);
  EXPECT_TRUE(entries[2].unsafe);
}

TEST(BouquetFileTest, NamesServicesAndDescriptions) {
  const BouquetFile f = ParseBouquetFile(
      "#NAME First\n"
      "#SERVICE 1:0:1:3ADB:514:13E:820000:0:0:0:\n"
      "#SERVICE 1:64:3:0:0:0:0:0:0:0::Heading\n"
      "#DESCRIPTION Heading\n"
      "#SERVICE 4097:0:1:1E7:A11A:2268:0:0:0:0:https%3a//Host/a&b\n"
      "#DESCRIPTION  Stream  One \n"
      "#service 1:0:1:1:1:1:1:0:0:0:\n"
      "#SERVICE: 1:0:1:2:1:1:1:0:0:0:\n"
      "#NAME " +
      std::string(120, 'x') + "\n");
  EXPECT_EQ(f.name, std::string(98, 'x'));  // characters 6 to 104, trimmed
  ASSERT_EQ(f.entries.size(), 4u);
  EXPECT_EQ(f.entries[0].description, "");
  EXPECT_EQ(f.entries[1].description, "Heading");
  EXPECT_EQ(f.entries[2].reference, "4097:0:1:1E7:A11A:2268:0:0:0:0:https%3a//Host/a&b");
  EXPECT_EQ(f.entries[2].description, "Stream  One");
  EXPECT_EQ(f.entries[3].reference, "1:0:1:2:1:1:1:0:0:0:");
  EXPECT_FALSE(ParseBouquetFile("").has_lines);
}

TEST(ByteOrderMarkTest, EveryReaderSkipsIt) {
  const std::string bom = "\xEF\xBB\xBF";
  ServiceList services(bom + "1a2b:00c00000:03c4:0001:1:0\nNed 1\n");
  EXPECT_EQ(services.NameForKey("1A2B:00C00000:03C4:").value_or("-"), "Ned 1");
  const auto index = ParseBouquetIndex(bom +
                                       "#SERVICE 1:7:1:0:0:0:0:0:0:0:FROM BOUQUET "
                                       "\"userbouquet.a.tv\" ORDER BY bouquet\n");
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].file_name, "userbouquet.a.tv");
  EXPECT_EQ(ParseBouquetFile(bom + "#NAME Favourites\n").name, "Favourites");
  const TimerListFile timers =
      ParseTimerList(bom + "<timer begin=\"1\" end=\"2\"></timer>\n</timers>\n");
  EXPECT_EQ(timers.timers.size(), 1u);
  EXPECT_TRUE(timers.Complete());
}

// ---- timer list ----

TEST(XmlTextTest, UnescapeDecodesOnceIncludingNumericReferences) {
  EXPECT_EQ(XmlUnescape("Tom &amp; Jerry"), "Tom & Jerry");
  EXPECT_EQ(XmlUnescape("&amp;lt; &amp;gt;"), "&lt; &gt;");
  EXPECT_EQ(XmlUnescape("&lt;&gt;&quot;&apos;"), "<>\"'");
  EXPECT_EQ(XmlUnescape("caf&#233; caf&#xE9; &#x1F600;"),
            "caf\xC3\xA9 caf\xC3\xA9 \xF0\x9F\x98\x80");
  EXPECT_EQ(XmlUnescape("&#0; &#xD800; &#1114112; &#; &#12 &nbsp; &"),
            "&#0; &#xD800; &#1114112; &#; &#12 &nbsp; &");
}

TEST(XmlTextTest, EscapeDropsWhatXmlForbids) {
  EXPECT_EQ(XmlEscape("a\"&'<>b"), "a&quot;&amp;&apos;&lt;&gt;b");
  EXPECT_EQ(XmlEscape(std::string_view("x\x01\x08\x0b\x0c\x1f\0y", 8)), "xy");
  EXPECT_EQ(XmlEscape("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d");
  EXPECT_EQ(XmlEscape("caf\xC3\xA9 \xEF\xBF\xBE."), "caf\xC3\xA9 .");
  EXPECT_EQ(XmlEscape("bad \xC3 \xED\xA0\x80"),
            "bad \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

class MalformedXmlTest : public ::testing::TestWithParam<const char*> {};

TEST_P(MalformedXmlTest, IsRejected) {
  EXPECT_FALSE(IsWellFormedXml(GetParam())) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Documents, MalformedXmlTest,
                         ::testing::Values("", "<a>", "<a></b>", "<a/><b/>", "x<a/>",
                                           "<a b=\"1\" b=\"2\"/>", "<a b=\"<\"/>", "<a b=1/>",
                                           "<a b=\"&nbsp;\"/>", "<a>&#0;</a>", "<a>&#xFFFE;</a>",
                                           "<a>]]></a>", "<a><!-- x -- y --></a>", "<a>\x01</a>",
                                           "<a>\xC3</a>", "<a>\xED\xA0\x80</a>",
                                           "<a b=\"1\"c=\"2\"/>", "<a><?xml version=\"1.0\"?></a>",
                                           "<!DOCTYPE a><a/>", "<1a/>", "<a>x</a >y",
                                           "\xEF\xBB\xBF<a/>"));

TEST(XmlScanTest, WellFormedDocumentsAndSafeValues) {
  EXPECT_TRUE(
      IsWellFormedXml("<?xml version=\"1.0\" ?>\r\n<timers>\r\n<timer a='\"' b=\"&#233;&amp;\" >"
                      "<log c = \"x\">caf\xC3\xA9 &lt; ]] > <![CDATA[<&]]><!-- - --><?pi x?></log>"
                      "<\xC3\xA9l/></timer>\r\n</timers >\r\n<!-- end -->\n"));
  for (const char* good : {"A &amp; B", "caf\xC3\xA9 &#x1F600; '", "\t"}) {
    EXPECT_EQ(SafeAttributeValue(good, '"'), good);
  }
  EXPECT_EQ(SafeAttributeValue(std::string_view("\"<&x\0\x01\xC3'", 8), '"'),
            "&quot;&lt;&amp;x\xEF\xBF\xBD'");
  EXPECT_EQ(SafeAttributeValue("'\"", '\''), "&apos;\"");
}

std::string Dump(const TimerListFile& f) {
  std::ostringstream out;
  for (const auto& t : f.timers) {
    out << "timer@" << t.line_number << (t.well_formed ? "" : " malformed")
        << (t.closed ? "" : " open") << "\n";
    for (const auto& a : t.attributes)
      out << "  " << a.name << "=" << a.quote << a.value << "\n";
    for (const auto& c : t.child_lines)
      out << "  |" << c << "\n";
  }
  out << (f.has_end_tag ? "end" : "no end") << " " << f.problems.size() << " problems";
  return out.str();
}

TEST(TimerListTest, IndentedSelfClosingAndChildLines) {
  const TimerListFile f = ParseTimerList(
      "<?xml version=\"1.0\" ?>\r\n<timers>\r\n"
      "\t<timer begin=\"10\" end=\"11\" name='a \"b\"' x = \"1\">\r\n"
      "\t\t<log code=\"500\" time=\"1\">text</log>\r\n\r\n"
      "\t</timer>\r\n"
      "  <TIMER begin=\"20\" end=\"21\" />\r\n"
      "<timer begin=\"30\" end=\"31\"><log/></timer>\r\n"
      "<timers_other/>\r\n"
      "</timers>\r\n");
  EXPECT_EQ(Dump(f),
            "timer@3\n  begin=\"10\n  end=\"11\n  name='a \"b\"\n  x=\"1\n"
            "  |\t\t<log code=\"500\" time=\"1\">text</log>\n  |\n"
            "timer@7\n  begin=\"20\n  end=\"21\n"
            "timer@8\n  begin=\"30\n  end=\"31\n  |<log/>\n"
            "end 0 problems");
  EXPECT_TRUE(f.Complete());
}

TEST(TimerListTest, CutOffAndMalformedListsAreIncomplete) {
  EXPECT_FALSE(ParseTimerList("<timers>\n<timer begin=\"1\">\n").Complete());
  EXPECT_FALSE(ParseTimerList("<timers>\n<timer begin=\"1\"></timer>\n").Complete());
  EXPECT_FALSE(ParseTimerList("<timers>\n<timer begin=\"1\n</timer>\n</timers>\n").Complete());
  EXPECT_FALSE(ParseTimerList("<timers>\n<timer begin=1></timer>\n</timers>\n").Complete());
  EXPECT_FALSE(ParseTimerList("").Complete());
  EXPECT_FALSE(
      ParseTimerList("<timers>\n<timer a=\"1\"><timer b=\"2\"></timer>\n</timers>\n").Complete());
  EXPECT_TRUE(ParseTimerList("<timers>\n</timers>").Complete());
  // A timer without its end cannot be written back as it was.
  EXPECT_FALSE(ParseTimerList("<timers><timer begin=\"1\"></timer></timers>").Complete());
  EXPECT_TRUE(ParseTimerList("<timers><timer begin=\"1\" end=\"2\"></timer></timers>").Complete());
}

TEST(TimerListTest, ValuesAreReadWholeWithDefaults) {
  const std::string long_name(300, 'n');
  const TimerListFile f = ParseTimerList(
      "<timer begin=\" 1731009720\" end=\"-5\" serviceref=\" 1:0:1:3adb:514:13e:820000:0:0:0:"
      "http%3a//h/A?b=1&amp;c=2 \" repeated=\"31\" name=\"" +
      long_name +
      "\" description=\"A &amp; B\" eit=\"None\" eventBegin=\"5\" begin=\"99\" tags='x'>\n"
      "</timer>\n</timers>\n");
  ASSERT_EQ(f.timers.size(), 1u);
  const TimerValues v = ExtractTimerValues(f.timers[0]);
  EXPECT_EQ(v.begin, 1731009720);
  EXPECT_EQ(v.end, -5);
  EXPECT_EQ(v.serviceref, "1:0:1:3ADB:514:13E:820000:0:0:0:http%3a//h/A?b=1&c=2");
  EXPECT_EQ(v.repeated, 31);
  EXPECT_EQ(v.name, long_name);
  EXPECT_EQ(v.description, "A &amp; B");
  EXPECT_EQ(v.afterevent, "nothing");
  EXPECT_FALSE(v.eit.has_value());
  EXPECT_EQ(v.disabled, 0);
  EXPECT_EQ(v.justplay, 0);
  EXPECT_EQ(v.extra_attributes, " eventBegin=\"5\" tags='x'");
  EXPECT_EQ(ParseDecimal("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseDecimal("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseDecimal("x"), std::nullopt);
}

}  // namespace
}  // namespace tivolo::boxdata
