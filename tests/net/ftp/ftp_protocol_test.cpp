// The FTP client's pure pieces: the port command, the passive reply, listings, reply codes.
#include "net/ftp_protocol.h"
#include "net/tcp_connection.h"

#include <gtest/gtest.h>

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

// MDTM replies: UTC seconds, with or without a fraction; dates that do not exist, fields out
// of range and trailing text are not times.
TEST(FtpProtocolTest, ModificationTime) {
  EXPECT_EQ(ParseModificationTime("213 20261207221000"), 1796681400);
  EXPECT_EQ(ParseModificationTime("213 20240229235959.123\r"), 1709251199);
  EXPECT_EQ(ParseModificationTime("213 19700101000000"), 0);
  for (const char* bad : {"213 20250229120000", "213 20261307221000", "213 20261207241000",
                          "213 2026120722100", "213 20261207221000 UTC", "213 20261207221000.",
                          "213 1969123123595", "213 2026-12-07", "213", ""}) {
    EXPECT_FALSE(ParseModificationTime(bad)) << bad;
  }
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

}  // namespace
}  // namespace tivolo::net
