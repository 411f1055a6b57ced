#include "net/net_component.h"

namespace tivolo::net {

std::string StatusText(NetStatus status, const std::string& argument) {
  switch (status) {
    case NetStatus::kResolving:
      return "Resolving hostname " + argument + ".";
    case NetStatus::kConnecting:
      return "Connecting to " + argument + ".";
    case NetStatus::kConnected:
      return "Connected.";
    case NetStatus::kDisconnecting:
      return "Disconnecting from " + argument + ".";
    case NetStatus::kDisconnected:
      return "Not connected.";
    case NetStatus::kText:
      return argument;
  }
  return argument;
}

void NetComponent::ReportStatus(NetStatus status, const std::string& argument) {
  if (!on_status_) return;
  on_status_(*this, status, StatusText(status, argument));
}

void NetComponent::WorkStarted(WorkMode mode, int64_t maximum) {
  WorkRecord& record = Record(mode);
  if (++record.nesting == 1) {
    record.maximum = maximum;
    record.total = 0;
    if (on_work_begin_) on_work_begin_(*this, mode, maximum);
  }
}

void NetComponent::WorkProgress(WorkMode mode, int64_t count) {
  WorkRecord& record = Record(mode);
  if (record.nesting < 1) return;
  record.total += count;
  if (on_work_) on_work_(*this, mode, record.total);
}

void NetComponent::WorkFinished(WorkMode mode) {
  WorkRecord& record = Record(mode);
  if (record.nesting == 1 && on_work_end_) on_work_end_(*this, mode);
  if (record.nesting > 0) --record.nesting;
}

}  // namespace tivolo::net
