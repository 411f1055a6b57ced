// The tests' user-interface thread: the thread that calls RunUntil plays that role, running
// the functions the telnet reader hands over, the way the application's event loop would.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "net/telnet_handover.h"

namespace tivolo::testing {

class TestUiLoop : public net::UiHandover {
 public:
  void Post(std::function<void()> fn) override {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(fn));
    cv_.notify_all();
  }

  // Runs queued functions on this thread until done() holds or the bound passes.
  bool RunUntil(const std::function<bool()>& done,
                std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    ui_thread_ = std::this_thread::get_id();
    auto deadline = std::chrono::steady_clock::now() + bound;
    for (;;) {
      if (done()) return true;
      std::function<void()> fn;
      {
        std::unique_lock lock(mutex_);
        // Short slices, so that a condition set by another thread is seen soon.
        auto until = std::min(deadline, std::chrono::steady_clock::now() + kSlice);
        if (!cv_.wait_until(lock, until, [&] { return !queue_.empty(); })) {
          if (std::chrono::steady_clock::now() >= deadline) return done();
          continue;
        }
        fn = std::move(queue_.front());
        queue_.pop_front();
      }
      fn();
    }
  }

  // Runs whatever is queued (or arrives) during the given time.
  void RunFor(std::chrono::milliseconds how_long) {
    RunUntil([] { return false; }, how_long);
  }

  bool OnUiThread() const { return std::this_thread::get_id() == ui_thread_; }
  void SetUiThread() { ui_thread_ = std::this_thread::get_id(); }

 private:
  static constexpr std::chrono::milliseconds kSlice{5};
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
  std::thread::id ui_thread_ = std::this_thread::get_id();
};

}  // namespace tivolo::testing
