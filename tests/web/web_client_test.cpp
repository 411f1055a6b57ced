// The interface client against the simulated box's web interface: detection, the values of
// a timer through an add, a change and the list, every kind of failure, and the login.
#include <gtest/gtest.h>

#include <chrono>

#include "net/peer.h"
#include "support/test_deadline.h"
#include "web/box_sim.h"
#include "web/web_error.h"
#include "web/web_interface.h"
#include "web/web_replies.h"

namespace tivolo::web {
namespace {

using namespace std::chrono_literals;
using testing::BoxSim;

const bool kDeadline = tivolo::testing::InstallTestDeadline(60s);

constexpr const char* kRef = "1:0:1:100:10:1:C00000:0:0:0:";
constexpr int64_t kT0 = 2000000000;

TEST(WebClientTest, DetectsTheInterfaceAndReadsTheDemoList) {
  BoxSim box({}, {}, true);
  InterfaceInfo info = DetectInterface(box.Endpoint());
  EXPECT_EQ(info.version, "OWIF 1.5.2");
  EXPECT_EQ(info.tuners, 2);

  WebInterface web(box.Endpoint());
  std::vector<BoxTimer> list = web.TimerList();
  ASSERT_EQ(list.size(), 10u);
  auto named = [&](const std::string& name) {
    for (const BoxTimer& t : list) {
      if (t.name == name) return t;
    }
    ADD_FAILURE() << name;
    return BoxTimer{};
  };
  BoxTimer cartoon = named("Tom & Jerry");
  EXPECT_EQ(cartoon.tags, "kids cartoon");
  EXPECT_EQ(cartoon.description, "Kat en muis <klassiek>");
  EXPECT_EQ(cartoon.repeated, 96);
  EXPECT_EQ(cartoon.dirname, "");  // listed as "None"
  EXPECT_EQ(cartoon.servicename, "Echo");
  EXPECT_TRUE(named("Café Europa").disabled);
  EXPECT_TRUE(named("Weerbericht").justplay);
  EXPECT_EQ(named("Weerbericht").afterevent, AfterEvent::kNothing);
  EXPECT_EQ(named("Avondnieuws").state, TimerState::kEnded);
}

TEST(WebClientTest, EveryValueCrossesAnAddAndAChange) {
  BoxSim box({});
  WebInterface web(box.Endpoint());
  BoxTimer t{.serviceref = kRef,
             .name = "Tom & Jerry + ½ = 100% \"echt\" #1?",
             .description = "a&b=c; d",
             .begin = kT0,
             .end = kT0 + 1800};
  t.disabled = true;
  t.afterevent = AfterEvent::kStandby;
  t.repeated = 31;
  t.dirname = "/media/hdd/movie/series/";
  t.tags = "kids cartoon";
  ASSERT_TRUE(web.AddTimer(t).ok);
  std::vector<BoxTimer> list = web.TimerList();
  ASSERT_EQ(list.size(), 1u);
  const BoxTimer& got = list[0];
  EXPECT_EQ(std::tie(got.serviceref, got.name, got.description, got.begin, got.end, got.disabled,
                     got.justplay, got.afterevent, got.repeated, got.dirname, got.tags),
            std::tie(t.serviceref, t.name, t.description, t.begin, t.end, t.disabled, t.justplay,
                     t.afterevent, t.repeated, t.dirname, t.tags));

  // A change clears what it is not given: every value goes along.
  BoxTimer changed = t;
  changed.name = "Nieuw";
  changed.end += 600;
  std::string file = box.TimersFile();
  ASSERT_TRUE(web.ChangeTimer(t, changed).ok);
  EXPECT_EQ(box.TimersFile(), file);  // the receiver does not write after a change
  list = web.TimerList();
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(std::tie(list[0].name, list[0].end, list[0].dirname, list[0].tags, list[0].description),
            std::tie(changed.name, changed.end, t.dirname, t.tags, t.description));
  ASSERT_TRUE(web.WriteTimerList().ok);
  EXPECT_NE(box.TimersFile().find("name=\"Nieuw\""), std::string::npos);

  EXPECT_FALSE(web.ChangeTimer(t, changed).ok);  // no longer there at its old times
  ASSERT_TRUE(web.DeleteTimer(changed).ok);
  EXPECT_TRUE(web.TimerList().empty());
}

template <typename E>
void ExpectError(const std::function<void()>& call, bool reached_box) {
  try {
    call();
    ADD_FAILURE() << "no error";
  } catch (const E& e) {
    EXPECT_EQ(e.ReachedBox(), reached_box) << e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << platform::TypeNameOf(e) << ": " << e.what();
  }
}

TEST(WebClientTest, EachFailureHasAnErrorOfItsOwn) {
  BoxSim box({});
  HttpEndpoint closed = box.Endpoint();
  closed.port = net::testing::UnusedPort();
  ExpectError<WebRefusedError>([&] { WebInterface(closed).TimerList(); }, false);

  WebInterface web(box.Endpoint(), {500ms, 200ms});
  box.SetSwitches({{"no_web", "404"}});
  ExpectError<WebNotFoundError>([&] { web.Detect(); }, false);
  box.SetSwitches({{"web_forbidden", "1"}});
  ExpectError<WebForbiddenError>([&] { web.TimerList(); }, false);
  box.SetSwitches({{"web_not_json", "1"}});
  ExpectError<WebReplyError>([&] { web.TimerList(); }, true);
  box.SetSwitches({{"web_cut", "40"}});
  ExpectError<WebCutReplyError>([&] { web.TimerList(); }, true);

  box.SetSwitches({{"web_delay", "1500"}});
  auto start = std::chrono::steady_clock::now();
  ExpectError<WebTimeoutError>(
      [&] { web.AddTimer({.serviceref = kRef, .name = "Laat", .begin = kT0, .end = kT0 + 60}); },
      true);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1400ms);
  box.SetSwitches({});
  EXPECT_EQ(web.TimerList().size(), 1u);  // the late add was carried out all the same
}

// A late reply or a redirect on the connection kept from an earlier call: the box had the
// request, so it may have acted on it (and here did).
TEST(WebClientTest, ALateReplyOrARedirectOnAKeptConnectionHasReachedTheBox) {
  struct Case {
    const char* name;
    nlohmann::json switches;
  };
  for (const Case& c :
       {Case{"late", {{"web_delay", "1500"}}}, Case{"redirected", {{"web_redirect", "1"}}}}) {
    SCOPED_TRACE(c.name);
    BoxSim box({});
    WebInterface web(box.Endpoint(), {500ms, 300ms});
    ASSERT_TRUE(web.TimerList().empty());  // the connection is open from here on
    box.SetSwitches(c.switches);
    try {
      web.AddTimer({.serviceref = kRef, .name = c.name, .begin = kT0, .end = kT0 + 60});
      ADD_FAILURE() << "no error";
    } catch (const WebError& e) {
      EXPECT_TRUE(e.ReachedBox()) << e.TypeName() << ": " << e.what();
    }
    box.SetSwitches({});
    EXPECT_EQ(web.TimerList().size(), 1u);
  }
}

TEST(WebClientTest, LogsInOnlyWhenAskedAndKeepsTheSession) {
  BoxSim box({}, {"web_auth"});
  WebInterface web(box.Endpoint());
  web.TimerList();
  web.TimerList();
  EXPECT_TRUE(web.Http().AskedForLogin());
  std::string log = box.WebLog();
  size_t asked = 0;
  for (size_t at = 0; (at = log.find("\" 401 ", at)) != std::string::npos; ++at)
    ++asked;
  EXPECT_EQ(asked, 1u) << log;  // the second call went with the session cookie alone

  HttpEndpoint wrong = box.Endpoint();
  wrong.password = "fout";
  ExpectError<WebAuthError>([&] { WebInterface(wrong).TimerList(); }, false);

  box.SetSwitches({});
  WebInterface open(box.Endpoint());
  open.TimerList();
  EXPECT_FALSE(open.Http().AskedForLogin());
}

TEST(WebRepliesTest, RepliesOfOtherPluginVersionsAreRead) {
  std::vector<BoxTimer> list = ParseTimerList(
      R"({"result": true, "timers": [{"serviceref": "1:0:1:A:B:C:D:0:0:0:", "begin": 1.7e9,
          "end": "1700000600", "disabled": true, "justplay": false, "eit": null,
          "afterevent": 7, "dirname": "None", "name": null, "state": 2}, 5]})");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].begin, 1700000000);
  EXPECT_EQ(list[0].end, 1700000600);
  EXPECT_TRUE(list[0].disabled);
  EXPECT_EQ(list[0].afterevent, AfterEvent::kAuto);
  EXPECT_EQ(list[0].dirname, "");
  EXPECT_EQ(list[0].state, TimerState::kRunning);

  EXPECT_THROW(ParseTimerList(R"({"result": false, "message": "x"})"), WebReplyError);
  EXPECT_THROW(ParseCallResult(R"({"result": "yes"})"), WebReplyError);
  EXPECT_THROW(ParseCallResult("<html>"), WebReplyError);
  EXPECT_THROW(ParseAbout(R"({"info": {"webifver": "Dreambox WebControl"}})"), WebReplyError);
  EXPECT_EQ(ParseDeviceInfo("<e2deviceinfo><e2webifversion>OWIF 1.4&amp;x</e2webifversion>"
                            "</e2deviceinfo>")
                .version,
            "OWIF 1.4&x");
}

// Tags the box holds and tags the list holds are the same when their words are.
TEST(WebRepliesTest, TagsAreTheirWords) {
  const std::pair<const char*, const char*> cases[] = {{"", ""},
                                                       {"  \t", ""},
                                                       {"serie", "serie"},
                                                       {" kids  cartoon ", "kids cartoon"},
                                                       {"kids\tcartoon\n", "kids cartoon"}};
  for (const auto& [tags, words] : cases)
    EXPECT_EQ(TagWords(tags), words) << "\"" << tags << "\"";
}

}  // namespace
}  // namespace tivolo::web

namespace tivolo::web {
namespace {

// The receiver's guide of a channel: texts as the receiver holds them (the interface escapes
// them for HTML), only what has not ended, and a channel without programmes is no programme
// (the interface answers it with a placeholder entry).
TEST(WebClientTest, AChannelsGuideComesWithItsTextsAsTheReceiverHoldsThem) {
  BoxSim box({}, {}, true);
  WebInterface web(box.Endpoint());
  const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  const std::vector<boxdata::ProgrammeEvent> events = web.ServiceGuide(kRef, now);
  ASSERT_GT(events.size(), 10u);
  bool cartoon = false;
  for (const boxdata::ProgrammeEvent& e : events) {
    EXPECT_GT(e.end, now);
    EXPECT_GT(e.end, e.begin);
    if (e.title == "Tom & Jerry") cartoon = e.short_text == "Kat en muis <klassiek>";
  }
  EXPECT_TRUE(cartoon);
  EXPECT_TRUE(web.ServiceGuide("1:0:1:9999:10:1:C00000:0:0:0:", now).empty());
  EXPECT_THROW(ParseEpgService("{\"result\": true}"), WebReplyError);
}

}  // namespace
}  // namespace tivolo::web
