// The synchronous hand-over: runs on the user-interface thread, waits, passes exceptions back,
// and can be abandoned without a queued call reaching anything afterwards.
#include "net/telnet_handover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "telnet/test_ui_loop.h"

namespace tivolo::net {
namespace {

using namespace std::chrono_literals;

TEST(SynchronousHandoverTest, RunsOnTheUiThreadAndWaits) {
  testing::TestUiLoop ui;
  auto handover = std::make_unique<SynchronousHandover>(ui);
  std::atomic<bool> ran{false}, returned{false}, inside{false};
  std::thread::id ran_on;
  std::thread worker([&] {
    EXPECT_TRUE(handover->RunAndWait([&] {
      ran_on = std::this_thread::get_id();
      inside = handover->InsideCall();
      EXPECT_FALSE(returned.load());
      ran = true;
    }));
    returned = true;
  });
  EXPECT_TRUE(ui.RunUntil([&] { return returned.load(); }));
  worker.join();
  EXPECT_TRUE(ran);
  EXPECT_TRUE(inside);
  EXPECT_FALSE(handover->InsideCall());
  EXPECT_EQ(ran_on, std::this_thread::get_id());
}

TEST(SynchronousHandoverTest, ExceptionComesBackToTheWaiter) {
  testing::TestUiLoop ui;
  SynchronousHandover handover(ui);
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      handover.RunAndWait([] { throw std::runtime_error("handler failed"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "handler failed";
    }
  });
  ui.RunUntil([&] { return caught.load(); }, 5s);
  worker.join();
  EXPECT_TRUE(caught);
}

TEST(SynchronousHandoverTest, AbandonWakesTheWaiterAndSkipsTheQueuedCall) {
  testing::TestUiLoop ui;
  auto handover = std::make_unique<SynchronousHandover>(ui);
  std::atomic<bool> ran{false};
  std::atomic<int> result{-1};
  std::thread worker([&] { result = handover->RunAndWait([&] { ran = true; }) ? 1 : 0; });
  // The call is queued but the user-interface thread is busy elsewhere: abandon it.
  while (result == -1) {
    handover->Abandon();
    std::this_thread::sleep_for(1ms);
  }
  worker.join();
  EXPECT_EQ(result, 0);
  handover.reset();  // the owner goes away; the queued call must not reach it
  ui.RunFor(50ms);
  EXPECT_FALSE(ran);
  // Once abandoned, later calls return at once.
  SynchronousHandover second(ui);
  second.Abandon();
  EXPECT_FALSE(second.RunAndWait([&] { ran = true; }));
  ui.RunFor(20ms);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tivolo::net
