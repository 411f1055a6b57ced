// The command parser on its own: every negotiation answer, the terminal type, and the state
// carried from one piece to the next.
#include "net/telnet_parser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tivolo::net {
namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values)
    s += static_cast<char>(v);
  return s;
}

// Records answers and echo reports in one readable dump.
class RecordingSink : public TelnetParserSink {
 public:
  void TelnetCommandSeen(TelnetCommand command) override {
    log += std::string("event ") + TelnetCommandName(command) + "\n";
  }
  void SendAnswer(const std::string& bytes) override {
    log += "send";
    for (unsigned char c : bytes)
      log += ' ' + std::to_string(c);
    log += "\n";
  }
  std::string log;
};

class TelnetParserTest : public ::testing::Test {
 protected:
  std::string Feed(const std::string& piece) { return parser.Process(piece, terminal, sink); }
  TelnetCommandParser parser;
  std::string terminal = "dumb";
  RecordingSink sink;
};

TEST_F(TelnetParserTest, DoTerminalTypeAloneIsAnsweredAndLeavesNoText) {
  EXPECT_EQ(Feed(Bytes({255, 253, 24})), "");
  EXPECT_EQ(sink.log, "send 255 251 24\n");
}

TEST_F(TelnetParserTest, TerminalTypeSendIsAnsweredWithTheTerminal) {
  EXPECT_EQ(Feed(Bytes({255, 250, 24, 1, 255, 240})), "");
  EXPECT_EQ(sink.log, "send 255 250 24 0 100 117 109 98 255 240\n");
}

TEST_F(TelnetParserTest, EmptyTerminalBecomesDumb) {
  terminal.clear();
  Feed(Bytes({255, 250, 24, 1, 255, 240}));
  EXPECT_EQ(terminal, "dumb");
  EXPECT_EQ(sink.log, "send 255 250 24 0 100 117 109 98 255 240\n");
}

TEST_F(TelnetParserTest, OtherSubNegotiationsAreIgnored) {
  // NAWS data, a SEND with extra bytes, an IS: none of them is a request for our terminal.
  EXPECT_EQ(Feed(Bytes({255, 250, 31, 0, 80, 0, 24, 255, 240, 'a'})), "a");
  EXPECT_EQ(Feed(Bytes({255, 250, 24, 1, 2, 255, 240, 'b'})), "b");
  EXPECT_EQ(Feed(Bytes({255, 250, 24, 0, 'x', 255, 240, 'c'})), "c");
  EXPECT_EQ(sink.log, "");
}

TEST_F(TelnetParserTest, DoubledIacInsideSubNegotiationIsData) {
  Feed(Bytes({255, 250, 24, 255, 255, 255, 240}));  // data is one byte 255, not SEND
  EXPECT_EQ(sink.log, "");
  Feed(Bytes({255, 250, 24, 1, 255, 250, 24, 1, 255, 240}));  // SB SB chained: both answered
  EXPECT_EQ(sink.log,
            "send 255 250 24 0 100 117 109 98 255 240\n"
            "send 255 250 24 0 100 117 109 98 255 240\n");
}

TEST_F(TelnetParserTest, BrokenSubNegotiationIsDropped) {
  EXPECT_EQ(Feed(Bytes({255, 250, 24, 1, 255, 7, 'o', 'k'})), "ok");
  EXPECT_EQ(Feed(Bytes({255, 250, 255, 'x', 'y'})), "y");  // SB IAC: the next byte is skipped
  EXPECT_EQ(sink.log, "");
}

TEST_F(TelnetParserTest, EchoNegotiationReportsBeforeTheAnswer) {
  Feed(Bytes({255, 251, 1}));
  Feed(Bytes({255, 252, 1}));
  Feed(Bytes({255, 253, 1}));
  Feed(Bytes({255, 254, 1}));
  EXPECT_EQ(sink.log,
            "event ecRemoteEcho\nsend 255 253 1\n"
            "event ecLocalEcho\nsend 255 254 1\n"
            "event ecLocalEcho\nsend 255 251 1\n"
            "event ecNoEcho\nsend 255 252 1\n");
}

struct AnswerCase {
  int verb;
  int option;
  int reply;
};

class TelnetAnswerTable : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(TelnetAnswerTable, EveryNegotiationIsAnswered) {
  const AnswerCase& c = GetParam();
  TelnetCommandParser parser;
  std::string terminal = "dumb";
  RecordingSink sink;
  // Sent twice: a repeat of the current state is answered again.
  std::string piece = Bytes({255, c.verb, c.option, 255, c.verb, c.option});
  EXPECT_EQ(parser.Process(piece, terminal, sink), "");
  std::string answer =
      "send 255 " + std::to_string(c.reply) + " " + std::to_string(c.option) + "\n";
  std::string log = sink.log;
  for (const char* event : {"event ecRemoteEcho\n", "event ecLocalEcho\n", "event ecNoEcho\n"}) {
    for (auto at = log.find(event); at != std::string::npos; at = log.find(event))
      log.erase(at, std::string(event).size());
  }
  EXPECT_EQ(log, answer + answer);
  EXPECT_EQ(parser.ReplyVerb(), c.reply);
}

INSTANTIATE_TEST_SUITE_P(Table, TelnetAnswerTable,
                         ::testing::Values(AnswerCase{251, 1, 253}, AnswerCase{251, 25, 253},
                                           AnswerCase{251, 3, 254}, AnswerCase{251, 24, 254},
                                           AnswerCase{252, 1, 254}, AnswerCase{252, 3, 254},
                                           AnswerCase{253, 1, 251}, AnswerCase{253, 24, 251},
                                           AnswerCase{253, 31, 252}, AnswerCase{253, 37, 252},
                                           AnswerCase{253, 3, 252}, AnswerCase{254, 1, 252},
                                           AnswerCase{254, 24, 252}, AnswerCase{254, 0, 252}));

TEST_F(TelnetParserTest, StateCarriesAcrossPieces) {
  EXPECT_EQ(Feed("login" + Bytes({255})), "login");
  EXPECT_EQ(parser.State(), TelnetParseState::kCommand);
  EXPECT_EQ(Feed(Bytes({253, 24}) + ": "), ": ");
  EXPECT_EQ(sink.log, "send 255 251 24\n");
  // A verb alone at the end of a piece, its option in the next.
  Feed(Bytes({255, 251}));
  EXPECT_EQ(parser.State(), TelnetParseState::kWill);
  Feed(Bytes({3}));
  EXPECT_EQ(sink.log, "send 255 251 24\nsend 255 254 3\n");
}

TEST_F(TelnetParserTest, SubNegotiationCutByAPieceBoundaryIsStillAnswered) {
  Feed(Bytes({255, 250, 24}));
  Feed(Bytes({1, 255}));
  Feed(Bytes({240}));
  EXPECT_EQ(sink.log, "send 255 250 24 0 100 117 109 98 255 240\n");
}

TEST_F(TelnetParserTest, DoubledIacIsOneDataByte) {
  EXPECT_EQ(Feed("abc" + Bytes({255, 255}) + "def"), "abc" + Bytes({255}) + "def");
  EXPECT_EQ(sink.log, "");
}

TEST_F(TelnetParserTest, OtherCommandsAreRemovedWithoutAnswer) {
  for (int command = 0; command <= 249; ++command) {
    EXPECT_EQ(Feed("x" + Bytes({255, command}) + "y"), "xy") << command;
  }
  EXPECT_EQ(sink.log, "");
}

TEST_F(TelnetParserTest, ByteSplitMatchesWholePiece) {
  // Random streams of text and commands give the same text and answers whether they arrive
  // whole or byte by byte: the parser keeps its state between pieces.
  std::mt19937 rng(20260609);
  const int kInteresting[] = {255, 255, 251, 252, 253, 254, 250, 240, 1, 24, 25, 'a', 'b', 0};
  for (int round = 0; round < 200; ++round) {
    std::string stream;
    int n = static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i)
      stream += static_cast<char>(rng() % 3 ? kInteresting[rng() % 14] : rng() % 256);
    TelnetCommandParser whole;
    std::string term_a = "dumb", term_b = "dumb";
    RecordingSink sink_a, sink_b;
    std::string text_a = whole.Process(stream, term_a, sink_a);
    TelnetCommandParser split;
    std::string text_b;
    for (char c : stream)
      text_b += split.Process(std::string(1, c), term_b, sink_b);
    ASSERT_EQ(text_a, text_b) << round;
    ASSERT_EQ(sink_a.log, sink_b.log) << round;
    ASSERT_EQ(whole.State(), split.State()) << round;
  }
}

}  // namespace
}  // namespace tivolo::net
