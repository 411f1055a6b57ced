#include "app/background_run.h"

#include <QEventLoop>
#include <atomic>
#include <exception>
#include <thread>

namespace tivolo::app {
namespace {

// Joins its thread on every way out, so that no exception can leave a joinable thread
// behind (which would end the program).
class JoinedThread {
 public:
  explicit JoinedThread(std::function<void()> fn) : thread_(std::move(fn)) {}
  ~JoinedThread() { Join(); }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

 private:
  std::thread thread_;
};

struct Answer {
  bool given = false;
  bool yes = false;
};

}  // namespace

BackgroundRun::BackgroundRun(std::function<void()> on_stop)
    : on_stop_(std::move(on_stop)), relay_(std::make_unique<QObject>()) {}

BackgroundRun::~BackgroundRun() = default;

void BackgroundRun::Run(const std::function<void()>& work) {
  std::exception_ptr error;
  std::atomic<bool> done{false};
  QEventLoop loop;
  {
    JoinedThread worker([&] {
      try {
        work();
      } catch (...) {
        error = std::current_exception();
      }
      done.store(true, std::memory_order_release);
      // Queued behind everything the work posted, so the loop ends with all of it run.
      QMetaObject::invokeMethod(
          relay_.get(), [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    // The loop also ends when the application quits, with the work still running.
    if (!done.load(std::memory_order_acquire)) Stop();
    worker.Join();
  }
  // What the work posted after the loop ended is dropped with its receiver.
  relay_ = std::make_unique<QObject>();
  {
    std::lock_guard lock(mutex_);
    stopping_ = false;
  }
  if (error) std::rethrow_exception(error);
}

void BackgroundRun::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  answered_.notify_all();
  if (on_stop_) on_stop_();
}

void BackgroundRun::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(relay_.get(), std::move(fn), Qt::QueuedConnection);
}

bool BackgroundRun::Ask(std::function<bool()> question) {
  auto answer = std::make_shared<Answer>();
  Post([this, answer, question = std::move(question)] {
    bool yes = false;
    try {
      yes = question();
    } catch (...) {
      // A question that could not be asked is not a Yes.
    }
    {
      std::lock_guard lock(mutex_);
      answer->given = true;
      answer->yes = yes;
    }
    answered_.notify_all();
  });
  std::unique_lock lock(mutex_);
  answered_.wait(lock, [&] { return answer->given || stopping_; });
  return answer->given && answer->yes;
}

}  // namespace tivolo::app
