#include "net/telnet_handover.h"

namespace tivolo::net {

bool SynchronousHandover::RunAndWait(const std::function<void()>& fn) {
  auto call = std::make_shared<Call>();
  std::shared_ptr<State> state = state_;
  {
    std::lock_guard lock(state->mutex);
    if (state->abandoned) return false;
    state->current = call;
  }
  // fn is copied, so nothing of the caller's frame is reached after the caller stopped
  // waiting; an abandoned call is skipped. The owner abandons on the user-interface thread,
  // where fn runs too, so fn never starts after the owner has gone.
  handover_.Post([state, call, fn] {
    {
      std::lock_guard lock(state->mutex);
      if (call->abandoned) return;
      state->inside = true;
    }
    std::exception_ptr error;
    try {
      fn();
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard lock(state->mutex);
    state->inside = false;
    call->error = std::move(error);
    call->done = true;
    state->done_cv.notify_all();
  });
  std::unique_lock lock(state->mutex);
  state->done_cv.wait(lock, [&] { return call->done || call->abandoned; });
  if (state->current == call) state->current.reset();
  bool ran = call->done;
  // Taken out under the lock, so the exception is released on this thread alone.
  std::exception_ptr error = std::move(call->error);
  call->error = nullptr;
  lock.unlock();
  if (error) std::rethrow_exception(error);
  return ran;
}

void SynchronousHandover::Abandon() {
  std::lock_guard lock(state_->mutex);
  state_->abandoned = true;
  if (state_->current) state_->current->abandoned = true;
  state_->done_cv.notify_all();
}

bool SynchronousHandover::InsideCall() const {
  std::lock_guard lock(state_->mutex);
  return state_->inside;
}

}  // namespace tivolo::net
