// The background read of the box's tuners ended by Cancel: a box that takes the telnet
// connection and then says nothing must not hold the read for its whole bound, and what was
// read before is used.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "support/loopback.h"
#include "support/test_files.h"
#include "transfer/tuner_read.h"

namespace tivolo::transfer {
namespace {

TEST(TunerReadTest, CancelEndsASilentBoxsReadAndTheCopyIsUsed) {
  int port = 0;
  const int listener = tivolo::testing::ListenOnLoopback(port);  // accepts, never answers
  tivolo::testing::TempDir work;
  tivolo::testing::WriteFile(work / kTunerCopyName, "NIM Socket 0:\n\tType: DVB-S2\n");
  BoxAddress box;
  box.host = "127.0.0.1";
  box.telnet_port = static_cast<uint16_t>(port);
  box.user = "root";
  std::atomic<bool> cancelled{false};
  std::vector<TelnetWatch::Step> steps;
  TelnetWatch watch;
  watch.cancelled = &cancelled;
  watch.step = [&steps](TelnetWatch::Step step) { steps.push_back(step); };
  std::thread cancel([&cancelled] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    cancelled = true;
  });
  const auto start = std::chrono::steady_clock::now();
  const TunerRead read = ReadBoxTuners(box, "", work.Path(), std::chrono::seconds(20), {}, &watch);
  const auto took = std::chrono::steady_clock::now() - start;
  cancel.join();
  ::close(listener);
  EXPECT_LT(took, std::chrono::seconds(2));
  EXPECT_EQ(steps,
            (std::vector<TelnetWatch::Step>{TelnetWatch::kConnecting, TelnetWatch::kLoggingIn}));
  EXPECT_EQ(read.problem, "cancelled");
  EXPECT_TRUE(read.set.Known());
  EXPECT_EQ(read.source.rfind("the copy of ", 0), 0u) << read.source;
}

}  // namespace
}  // namespace tivolo::transfer
