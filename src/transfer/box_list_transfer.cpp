#include "transfer/box_list_transfer.h"

#include "boxdata/text_lines.h"
#include "net/ftp_client.h"

namespace tivolo::transfer {
namespace {

constexpr const char* kReadBackName = "timers.readback";

std::string WithoutCr(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r') out += c;
  }
  return out;
}

}  // namespace

bool SameText(std::string_view a, std::string_view b) {
  return WithoutCr(a) == WithoutCr(b);
}

namespace {

bool IsMissingFile(const net::ProtocolReplyError& e) {
  return e.Code() == 550 || e.Code() == 450;
}

}  // namespace

BoxListTransfer::BoxListTransfer(net::FtpClient& ftp, std::filesystem::path local_dir)
    : ftp_(ftp), local_dir_(std::move(local_dir)) {}

std::optional<std::string> BoxListTransfer::Fetch(const std::string& remote,
                                                  const std::filesystem::path& into) {
  try {
    ftp_.Download(remote, into.string(), true);
  } catch (const net::ProtocolReplyError& e) {
    if (!IsMissingFile(e)) throw;
    return std::nullopt;
  }
  return boxdata::ReadWholeFile(into);
}

std::optional<std::string> BoxListTransfer::Read(const std::string& remote) {
  const std::filesystem::path back = local_dir_ / kReadBackName;
  std::optional<std::string> text = Fetch(remote, back);
  std::error_code ec;
  std::filesystem::remove(back, ec);
  return text;
}

void BoxListTransfer::StoreChecked(const std::string& remote, const std::string& text) {
  ftp_.Upload((local_dir_ / "timers.new").string(), remote, false);
  if (!Holds(remote, text))
    throw SaveError("The box did not store the whole timer list (" + remote + ").");
}

bool BoxListTransfer::Holds(const std::string& remote, const std::string& text) {
  // The size settles it when the server stored the bytes as sent; with line ends of its own,
  // only the file read back can tell.
  try {
    if (ftp_.Size(remote) == static_cast<int64_t>(text.size())) return true;
  } catch (const net::ProtocolReplyError&) {
  }
  const std::optional<std::string> held = Read(remote);
  return held && SameText(*held, text);
}

void BoxListTransfer::DeleteIfThere(const std::string& remote) {
  try {
    ftp_.Delete(remote);
  } catch (const net::ProtocolReplyError& e) {
    if (!IsMissingFile(e)) throw;
  }
}

void BoxListTransfer::PutUploadInPlace() {
  ftp_.Rename(kUploadName, kBoxListName);
}

}  // namespace tivolo::transfer
