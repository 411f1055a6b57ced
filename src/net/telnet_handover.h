// The telnet reader's hand-over to the user-interface thread, kept free of any GUI toolkit:
// the application supplies a UiHandover that queues a function on its user-interface thread
// (a Qt program posts it to the event loop), tests supply their own.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

namespace tivolo::net {

class UiHandover {
 public:
  virtual ~UiHandover() = default;
  // Queues fn to run once on the user-interface thread and returns at once. fn may also be
  // dropped unrun when the user-interface thread has ended. fn never throws.
  virtual void Post(std::function<void()> fn) = 0;
};

// Runs a function on the user-interface thread through a UiHandover and waits until it has
// run: the synchronous hand-over. Waiting can be abandoned (Abandon), which wakes the waiter
// at once; a function that is still queued then finds the call abandoned and does nothing, so
// the queue never reaches an object that has gone away. This is why the interface posts
// rather than blocks: a blocking hand-over could not be woken by an owner that is being
// destroyed on the user-interface thread while its reader waits for that thread.
class SynchronousHandover {
 public:
  explicit SynchronousHandover(UiHandover& handover) : handover_(handover) {}
  ~SynchronousHandover() { Abandon(); }

  // Runs fn on the user-interface thread and returns after it ran; an exception that fn
  // raised is raised again here. Returns false, without fn having run or while it had not
  // yet begun, when the wait was abandoned.
  bool RunAndWait(const std::function<void()>& fn);

  // Wakes a waiting RunAndWait and makes every later one return false at once.
  void Abandon();

  // True while fn runs on the user-interface thread (so an owner can tell that it is being
  // called from inside its own hand-over).
  bool InsideCall() const;

 private:
  struct Call {
    bool done = false;
    bool abandoned = false;
    std::exception_ptr error;
  };
  // Shared with the queued functions, so that they never reach this object itself.
  struct State {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool abandoned = false;
    bool inside = false;
    std::shared_ptr<Call> current;
  };

  UiHandover& handover_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tivolo::net
