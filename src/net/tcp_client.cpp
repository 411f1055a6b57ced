#include "net/tcp_client.h"

#include <sys/socket.h>

#include <climits>

#include "net/net_error.h"
#include "net/socket_stack.h"

namespace tivolo::net {

void TcpClient::Open() {
  if (socket_.HandleAllocated()) throw AlreadyConnected();
  ResetLink();
  socket_.OpenSocket(SOCK_STREAM, 0);
  try {
    socket_.SetLocalIP(bound_ip_);
    socket_.SetLocalPort(0);
    socket_.BindLocal();
    if (!IsDottedQuad(host_)) ReportStatus(NetStatus::kResolving, host_);
    socket_.SetPeerIP(SocketStack::Get().HostToAddress(host_));
    socket_.SetPeerPort(port_);
    ReportStatus(NetStatus::kConnecting, socket_.PeerIP());
    const WaitBound bound = bounds_.connect.count() > 0 ? WaitBound(bounds_.connect) : kNoLimit;
    if (socket_.ConnectPeer(bound) == -1) {
      SocketStack::Get().RaiseSocketFailure(SocketStack::LastError());
    }
  } catch (...) {
    try {
      Close();
    } catch (...) {
      // The failure of the connect is what the caller needs to see.
    }
    throw;
  }
  ReportStatus(NetStatus::kConnected, socket_.PeerIP());
  NotifyConnected();
}

void TcpClient::NotifyConnected() {
  if (on_connected_) on_connected_(*this);
}

}  // namespace tivolo::net
