#include "platform/code_page.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>

namespace tivolo::platform {
namespace {

// UTF-8 of one code point, for building test text.
std::string U8(char32_t cp) {
  std::string out;
  AppendUtf8(out, cp);
  return out;
}

const std::string kCafe = "caf" + U8(0xE9);  // café
const std::string kEuro = U8(0x20AC);
const std::string kSmiley = U8(0x1F600);

TEST(CodePageTest, Utf8IsTheIdentityEvenForBrokenText) {
  const CodePage utf8("UTF-8");
  EXPECT_TRUE(utf8.IsUtf8());
  EXPECT_TRUE(CodePage("utf8").IsUtf8());
  const std::string mixed = kCafe + kEuro + kSmiley + "\xC3" + "\xFF" + std::string(1, '\0');
  EXPECT_EQ(utf8.FromUtf8(mixed), mixed);
  EXPECT_EQ(utf8.ToUtf8(mixed), mixed);
  EXPECT_EQ(utf8.Encode(mixed), mixed);
}

TEST(CodePageTest, SystemCodePageFollowsTheLocale) {
  // The only caller of System() in this program: it reads the locale once.
  setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_TRUE(CodePage::System().IsUtf8());
}

TEST(CodePageTest, Latin1LosesWhatItLacks) {
  const CodePage latin1("ISO-8859-1");
  EXPECT_FALSE(latin1.IsUtf8());
  EXPECT_EQ(latin1.FromUtf8(kCafe + " " + kEuro + " " + kSmiley + "!"), kCafe + " ? ?!");
  EXPECT_EQ(latin1.Encode(kCafe), "caf\xE9");
  EXPECT_EQ(latin1.Decode("caf\xE9"), kCafe);
  // Broken UTF-8: each stray byte becomes one "?".
  EXPECT_EQ(latin1.FromUtf8("a\xC3"), "a?");
  EXPECT_EQ(latin1.FromUtf8("a\xE2\x82z"), "a??z");
  EXPECT_EQ(latin1.FromUtf8("\xED\xA0\x80"), "???");  // an encoded surrogate
  EXPECT_EQ(latin1.ToUtf8(kCafe + kEuro), kCafe + "?");
  EXPECT_EQ(latin1.FromUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePageTest, Windows1252HasTheEuroButNotEveryByte) {
  const CodePage cp1252("CP1252");
  EXPECT_EQ(cp1252.Encode(kEuro + kCafe),
            "\x80"
            "caf\xE9");
  EXPECT_EQ(cp1252.FromUtf8(kEuro + U8(0x141)), kEuro + "?");  // Ł is not in it
  EXPECT_EQ(cp1252.Decode("\x81\x80"), "?" + kEuro);           // 0x81 is unassigned
}

TEST(CodePageTest, MultiByteSetsGoThroughIconv) {
  const CodePage euc("EUC-JP");
  const std::string nihon = U8(0x65E5) + U8(0x672C);
  EXPECT_EQ(euc.FromUtf8(nihon + kEuro + "x"), nihon + "?x");
  EXPECT_EQ(euc.Encode(nihon), "\xC6\xFC\xCB\xDC");
  EXPECT_EQ(euc.Decode("\xC6\xFC\xCB"), U8(0x65E5) + "?");  // cut off in a character
  const CodePage jis("ISO-2022-JP");                        // stateful
  EXPECT_EQ(jis.FromUtf8("a" + nihon + "b"), "a" + nihon + "b");
}

TEST(CodePageTest, UnknownCodeSetIsRefused) {
  EXPECT_THROW(CodePage("NO-SUCH-CHARSET-42"), std::invalid_argument);
}

TEST(CodePageTest, Latin1MatchesATrivialModel) {
  const CodePage latin1("ISO-8859-1");
  std::mt19937 rng(20061029);
  std::uniform_int_distribution<int> kind(0, 3);
  for (int round = 0; round < 2000; ++round) {
    std::string in;
    std::string expected;
    for (int i = 0; i < 12; ++i) {
      char32_t cp = 0;
      switch (kind(rng)) {
        case 0:
          cp = static_cast<char32_t>(rng() % 0x80);
          break;
        case 1:
          cp = static_cast<char32_t>(0x80 + rng() % 0x80);
          break;
        case 2:
          cp = static_cast<char32_t>(0x100 + rng() % 0xD700);
          break;
        default:
          cp = static_cast<char32_t>(0x10000 + rng() % 0x100000);
          break;
      }
      in += U8(cp);
      expected += cp <= 0xFF ? U8(cp) : "?";
    }
    ASSERT_EQ(latin1.FromUtf8(in), expected);
  }
}

}  // namespace
}  // namespace tivolo::platform
