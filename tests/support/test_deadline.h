// A bound on the run time of every test of a program. A test still running when its bound is
// over ends the program with a message that names it, so a fault that makes a test wait or
// loop forever (a peer that never stops sending, a wait that is never woken) fails in seconds
// instead of at CTest's time limit. Install it from a static initializer:
//   const bool kDeadline = tivolo::testing::InstallTestDeadline(std::chrono::seconds(20));
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tivolo::testing {

class TestDeadline : public ::testing::EmptyTestEventListener {
 public:
  explicit TestDeadline(std::chrono::seconds bound) : state_(std::make_shared<State>()) {
    state_->bound = bound;
    // The watcher outlives the listener (which the test framework deletes at exit): it holds
    // the state it shares with it, never the listener.
    std::thread([state = state_] { Watch(*state); }).detach();
  }

  void OnTestStart(const ::testing::TestInfo& test) override {
    std::lock_guard lock(state_->mutex);
    state_->test = std::string(test.test_suite_name()) + "." + test.name();
    state_->deadline = std::chrono::steady_clock::now() + state_->bound;
    state_->running = true;
    state_->changed.notify_all();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    std::lock_guard lock(state_->mutex);
    state_->running = false;
    state_->changed.notify_all();
  }

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::chrono::seconds bound{0};
    bool running = false;
    std::string test;
    std::chrono::steady_clock::time_point deadline;
  };

  static void Watch(State& s) {
    std::unique_lock lock(s.mutex);
    for (;;) {
      if (!s.running) {
        s.changed.wait(lock);
        continue;
      }
      if (s.changed.wait_until(lock, s.deadline) == std::cv_status::timeout && s.running &&
          std::chrono::steady_clock::now() >= s.deadline) {
        std::fprintf(stderr, "%s did not end within %lld s\n", s.test.c_str(),
                     static_cast<long long>(s.bound.count()));
        std::fflush(stderr);
        std::_Exit(1);
      }
    }
  }

  std::shared_ptr<State> state_;
};

inline bool InstallTestDeadline(std::chrono::seconds bound) {
  ::testing::UnitTest::GetInstance()->listeners().Append(new TestDeadline(bound));
  return true;
}

}  // namespace tivolo::testing
