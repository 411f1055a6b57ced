// The FTP client's pure pieces: the port command, the passive reply, listings and replies.
#include "net/ftp_protocol.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tivolo::net {
namespace {

std::string Join(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines)
    out += "[" + l + "]";
  return out;
}

std::string Dump(const FtpReply& reply) {
  return std::to_string(reply.code) + Join(reply.lines);
}

TEST(FtpProtocolTest, PortCommandSplitsThePort) {
  EXPECT_EQ(FtpPortCommand("192.168.1.20", 3000), "PORT 192,168,1,20,11,184");
  EXPECT_EQ(FtpPortCommand("127.0.0.1", 65535), "PORT 127,0,0,1,255,255");
  EXPECT_EQ(FtpPortCommand("127.0.0.1", 255), "PORT 127,0,0,1,0,255");
}

TEST(FtpProtocolTest, SystemFromReply) {
  EXPECT_EQ(SystemFromReply(215, "215 UNIX Type: L8"), " UNIX Type: L8");
  EXPECT_EQ(SystemFromReply(500, "500 what?"), "Unknown");
  EXPECT_EQ(SystemFromReply(200, "200"), "");
}

TEST(FtpProtocolTest, TrimAndLineBreaks) {
  EXPECT_EQ(TrimControls("\t nlst  \x01"), "nlst");
  EXPECT_EQ(TrimControls("nlst "), "nlst");
  EXPECT_TRUE(HasLineBreak("a\r\nDELE x"));
  EXPECT_TRUE(HasLineBreak("a\n"));
  EXPECT_TRUE(HasLineBreak("\r"));
  EXPECT_FALSE(HasLineBreak("userbouquet*.*"));
}

TEST(FtpProtocolTest, PassiveReply) {
  auto a = ParsePassiveReply("227 Entering Passive Mode (127,0,0,1,11,184).");
  ASSERT_TRUE(a);
  EXPECT_EQ(a->ip + ":" + std::to_string(a->port), "127.0.0.1:3000");
  auto b = ParsePassiveReply(
      "227 Entering Passive Mode 10,0,0,9,4,1");  // no brackets: after the last blank
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ip + ":" + std::to_string(b->port), "10.0.0.9:1025");
}

class BadPassiveReply : public ::testing::TestWithParam<const char*> {};
TEST_P(BadPassiveReply, IsRefused) {
  EXPECT_FALSE(ParsePassiveReply(GetParam()));
}
INSTANTIATE_TEST_SUITE_P(Texts, BadPassiveReply,
                         ::testing::Values("227 Entering Passive Mode", "227 (1,2,3,4,5)",
                                           "227 (1,2,3,4,5,6,7)", "227 (256,0,0,1,1,1)",
                                           "227 (1,2,3,4,0,0)", "227 (a,b,c,d,e,f)",
                                           "227 (1,2,,4,5,6)", "227 )1,2,3,4,5,6(", ""));

TEST(FtpProtocolTest, ListingLines) {
  EXPECT_EQ(Join(SplitListing("lamedb\r\ntimers.xml\r\n")), "[lamedb][timers.xml]");
  EXPECT_EQ(Join(SplitListing("lamedb\r\ntimers.xml")), "[lamedb][timers.xml]");
  EXPECT_EQ(Join(SplitListing("lamedb\ntimers.xml\n")), "[lamedb][timers.xml]");
  EXPECT_EQ(Join(SplitListing("a\rb\r\n\r\nc")), "[a][b][][c]");
  EXPECT_EQ(Join(SplitListing(std::string("a\nb\0c\n", 6))), "[a][b]");
  EXPECT_EQ(Join(SplitListing(" name with blanks \n")), "[ name with blanks ]");
  EXPECT_EQ(Join(SplitListing("")), "");
}

TEST(FtpProtocolTest, ReplyCodes) {
  EXPECT_EQ(ReplyCodeOf("220 ready"), 220);
  EXPECT_EQ(ReplyCodeOf("abc"), 0);
  EXPECT_EQ(ReplyCodeOf("+ok fine"), 1);
  EXPECT_EQ(ReplyCodeOf("-Err no"), 0);
  EXPECT_EQ(ReplyCodeOf("22"), 0);
}

class FtpReplyParserTest : public ::testing::Test {
 protected:
  std::string All(const std::string& bytes) {
    EXPECT_TRUE(parser.Feed(bytes));
    std::string out;
    while (auto r = parser.Next())
      out += Dump(*r) + ";";
    return out;
  }
  FtpReplyParser parser;
};

TEST_F(FtpReplyParserTest, SingleLinesWithCrLfOrLf) {
  EXPECT_EQ(All("220 ready\r\n331 pass\n"), "220[220 ready];331[331 pass];");
  EXPECT_EQ(All("220 cr only\r"), "");  // a CR alone does not end the line
  EXPECT_EQ(All("\n"), "220[220 cr only];");
}

TEST_F(FtpReplyParserTest, MultiLineReplies) {
  EXPECT_EQ(All("230-Welcome\r\n  to the box\r\n230-still going\r\n230 done\r\n"),
            "230[230-Welcome][to the box][230-still going][230 done];");
  EXPECT_EQ(All("220-one\r\n\r\n220\r\n"), "220[220-one][220];");
  EXPECT_EQ(All("211-Features\r\n211 END\r\n"), "211[211-Features][211 END];");
  // A final line with another code ends nothing; the code of the last line counts.
  EXPECT_EQ(All("230-a\r\n231 b\r\n230 c\r\n"), "230[230-a][231 b][230 c];");
  EXPECT_EQ(All("250-a\r\nxy\r\n"), "0[250-a][xy];");  // a short line ends the reply
}

TEST_F(FtpReplyParserTest, BlankLinesAreSkipped) {
  EXPECT_EQ(All("\r\n \r\n\t\n200 ok\r\n"), "200[200 ok];");
}

TEST_F(FtpReplyParserTest, EndlessLineIsRefused) {
  std::string chunk(64 * 1024, 'x');
  bool ok = true;
  for (int i = 0; i < 20 && ok; ++i)
    ok = parser.Feed(chunk);
  EXPECT_FALSE(ok);
}

TEST_F(FtpReplyParserTest, ByteByByteMatchesWhole) {
  std::mt19937 rng(7);
  const char* kLines[] = {"220 ready\r\n", "230-a\r\n", " b\r\n", "230 c\r\n",
                          "\r\n",          "230\n",     "x\n"};
  for (int round = 0; round < 100; ++round) {
    std::string stream;
    for (int i = 0; i < 8; ++i)
      stream += kLines[rng() % 7];
    FtpReplyParser whole, split;
    std::string a, b;
    whole.Feed(stream);
    while (auto r = whole.Next())
      a += Dump(*r) + ";";
    for (char c : stream) {
      split.Feed(std::string(1, c));
      while (auto r = split.Next())
        b += Dump(*r) + ";";
    }
    ASSERT_EQ(a, b) << stream;
  }
}

}  // namespace
}  // namespace tivolo::net
