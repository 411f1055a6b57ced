// Base of every network component: the status event with its texts, the work (progress)
// events, and the hold on the process-wide socket stack.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "net/socket_stack.h"

namespace tivolo::net {

enum class NetStatus { kResolving, kConnecting, kConnected, kDisconnecting, kDisconnected, kText };
enum class WorkMode { kRead, kWrite };

class NetComponent;

using StatusEvent =
    std::function<void(NetComponent& sender, NetStatus status, const std::string& status_text)>;
using WorkEvent = std::function<void(NetComponent& sender, WorkMode mode, int64_t work_count)>;
using WorkBeginEvent =
    std::function<void(NetComponent& sender, WorkMode mode, int64_t work_count_max)>;
using WorkEndEvent = std::function<void(NetComponent& sender, WorkMode mode)>;
using NotifyEvent = std::function<void(NetComponent& sender)>;

// The status text of a value filled with its argument: "Resolving hostname %s.",
// "Connecting to %s.", "Connected.", "Disconnecting from %s.", "Not connected.", "%s".
std::string StatusText(NetStatus status, const std::string& argument);

class NetComponent {
 public:
  NetComponent() = default;
  virtual ~NetComponent() = default;
  NetComponent(const NetComponent&) = delete;
  NetComponent& operator=(const NetComponent&) = delete;

  const StatusEvent& OnStatus() const { return on_status_; }
  void SetOnStatus(StatusEvent handler) { on_status_ = std::move(handler); }
  const WorkEvent& OnWork() const { return on_work_; }
  void SetOnWork(WorkEvent handler) { on_work_ = std::move(handler); }
  const WorkBeginEvent& OnWorkBegin() const { return on_work_begin_; }
  void SetOnWorkBegin(WorkBeginEvent handler) { on_work_begin_ = std::move(handler); }
  const WorkEndEvent& OnWorkEnd() const { return on_work_end_; }
  void SetOnWorkEnd(WorkEndEvent handler) { on_work_end_ = std::move(handler); }

  // Calls OnStatus with the filled status text; does nothing (no formatting) when unassigned.
  void ReportStatus(NetStatus status, const std::string& argument = {});

  // Nested work per mode: the outermost start fires OnWorkBegin, progress adds to the running
  // total and fires OnWork, the outermost finish fires OnWorkEnd.
  virtual void WorkStarted(WorkMode mode, int64_t maximum);
  virtual void WorkProgress(WorkMode mode, int64_t count);
  virtual void WorkFinished(WorkMode mode);

 private:
  struct WorkRecord {
    int nesting = 0;
    int64_t maximum = 0;
    int64_t total = 0;
  };
  WorkRecord& Record(WorkMode mode) { return mode == WorkMode::kRead ? read_work_ : write_work_; }

  SocketStackUse stack_use_;
  StatusEvent on_status_;
  WorkEvent on_work_;
  WorkBeginEvent on_work_begin_;
  WorkEndEvent on_work_end_;
  WorkRecord read_work_;
  WorkRecord write_work_;
};

}  // namespace tivolo::net
