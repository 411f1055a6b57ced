#include "transfer/box_address.h"

#include "net/ftp_client.h"

namespace tivolo::transfer {

std::string BoxAddress::Label() const {
  std::string label = host + ":" + std::to_string(ftp_port);
  if (folder != BoxAddress{}.folder) label += " (" + folder + ")";
  return label;
}

bool BoxAddress::SameFilesAs(const BoxAddress& other) const {
  return host == other.host && ftp_port == other.ftp_port && folder == other.folder;
}

std::unique_ptr<net::FtpClient> MakeBoxFtpClient(const BoxAddress& box, const BoxBounds& bounds,
                                                 BoxStatusLog log) {
  auto ftp = std::make_unique<net::FtpClient>();
  ftp->SetHost(box.host);
  ftp->SetPort(box.ftp_port);
  ftp->SetUser(box.user);
  ftp->SetPassword(box.password);
  ftp->SetPassive(false);
  ftp->SetTransferType(net::FtpTransferType::kAscii);
  net::NetBounds net_bounds;
  net_bounds.connect = bounds.connect;
  net_bounds.idle = bounds.reply;
  net_bounds.accept = bounds.data;
  ftp->SetBounds(net_bounds);
  ftp->SetOnStatus(
      [log = std::move(log)](net::NetComponent&, net::NetStatus status, const std::string& text) {
        if (log) log(status, kStatusPrefix + text);
      });
  return ftp;
}

}  // namespace tivolo::transfer
