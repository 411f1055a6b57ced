// A thread that calls RunOnce over and over until it is asked to end; the telnet reader is
// one. An exception that leaves the loop ends the thread: its message is kept as the
// terminating message and ThreadFailed is fired (on the thread itself), nothing else.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tivolo::net {

class LoopThread {
 public:
  using ThreadFailedEvent = std::function<void(LoopThread& sender, const std::string& message)>;

  LoopThread() = default;
  // Joins the thread: whoever owns a running loop must have made it end (or end soon).
  virtual ~LoopThread();
  LoopThread(const LoopThread&) = delete;
  LoopThread& operator=(const LoopThread&) = delete;

  // Starts the thread (once).
  void Start();
  // Asks the loop to end after the current RunOnce; does not wait.
  void Terminate();
  bool Terminated() const { return terminated_.load(std::memory_order_acquire); }
  // Asks the loop to pause after the current RunOnce, or to go on again.
  void Stop();
  void Resume();
  bool Stopped() const { return stopped_.load(std::memory_order_acquire); }
  // Requests termination, marks the thread stopped and waits for it to end.
  void StopAndWait();
  // Waits for the thread to end (it must have been asked to, or end on its own).
  void Join();
  // True once the thread's loop has ended (it may still be joinable).
  bool Finished() const { return finished_.load(std::memory_order_acquire); }
  bool IsLoopThread() const { return std::this_thread::get_id() == thread_id_.load(); }

  // The message of the exception that ended the loop, empty when none did; read it after
  // Finished() or Join().
  std::string TerminatingMessage() const;

  void SetThreadFailed(ThreadFailedEvent handler) { thread_failed_ = std::move(handler); }

 protected:
  virtual void RunOnce() = 0;
  virtual void BeforeLoop() {}
  virtual void AfterLoop() {}

 private:
  void Execute();

  std::thread thread_;
  std::atomic<std::thread::id> thread_id_{};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> stopped_{false};
  std::atomic<bool> finished_{false};
  mutable std::mutex mutex_;
  std::condition_variable resume_cv_;
  std::string terminating_message_;
  ThreadFailedEvent thread_failed_;
};

}  // namespace tivolo::net
