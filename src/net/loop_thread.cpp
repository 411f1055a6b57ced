#include "net/loop_thread.h"

#include <exception>

namespace tivolo::net {

LoopThread::~LoopThread() {
  Join();
}

void LoopThread::Start() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] { Execute(); });
}

void LoopThread::Terminate() {
  std::lock_guard lock(mutex_);
  terminated_.store(true, std::memory_order_release);
  resume_cv_.notify_all();
}

void LoopThread::Stop() {
  stopped_.store(true, std::memory_order_release);
}

void LoopThread::Resume() {
  std::lock_guard lock(mutex_);
  stopped_.store(false, std::memory_order_release);
  resume_cv_.notify_all();
}

void LoopThread::StopAndWait() {
  Terminate();
  Stop();
  Join();
}

void LoopThread::Join() {
  if (thread_.joinable() && !IsLoopThread()) thread_.join();
}

std::string LoopThread::TerminatingMessage() const {
  std::lock_guard lock(mutex_);
  return terminating_message_;
}

void LoopThread::Execute() {
  thread_id_ = std::this_thread::get_id();
  try {
    while (!Terminated()) {
      if (Stopped()) {
        std::unique_lock lock(mutex_);
        resume_cv_.wait(lock, [this] { return !Stopped() || Terminated(); });
        if (Terminated()) break;
      }
      BeforeLoop();
      try {
        while (!Terminated() && !Stopped())
          RunOnce();
      } catch (...) {
        AfterLoop();
        throw;
      }
      AfterLoop();
    }
  } catch (const std::exception& e) {
    {
      std::lock_guard lock(mutex_);
      terminating_message_ = e.what();
    }
    if (thread_failed_) {
      try {
        thread_failed_(*this, e.what());
      } catch (...) {
        // Nothing may leave the thread.
      }
    }
    Terminate();
  } catch (...) {
    {
      std::lock_guard lock(mutex_);
      terminating_message_ = "Unknown exception.";
    }
    Terminate();
  }
  finished_.store(true, std::memory_order_release);
}

}  // namespace tivolo::net
