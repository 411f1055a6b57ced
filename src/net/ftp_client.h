// The FTP client: the control connection is the client's own TCP connection; every transfer
// opens a data connection of its own, active (we listen, the server connects) by default.
//
// Every wait is bounded by the connection's bounds (connect, replies, the data connection,
// received data), so a server that stops answering ends in SocketError 10060 instead of a
// hang. While the client waits for the server to open the data connection it also watches
// the control connection: an error reply or a closed control connection ends the wait at
// once. Only the control connection's peer may open an active data connection: anyone else
// who reaches the data port is closed, reported as a status text, and the wait goes on. A
// download lands in a temporary file next to the target and replaces the target only
// when the transfer and its final reply succeeded. Command arguments holding CR or LF are
// refused before anything is sent.
//
// All operations block the calling thread; AbortTransfer and DropDataConnection may be called
// from another thread while a transfer runs.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/net_error.h"
#include "net/tcp_client.h"

namespace tivolo::net {

class OneShotListener;

enum class FtpTransferType { kBinary, kAscii };

class FtpFileAlreadyExists : public NetError {
 public:
  FtpFileAlreadyExists() : NetError("Destination file already exists.") {}
  std::string TypeName() const override { return "FtpFileAlreadyExists"; }
};

// A command argument (user, password, folder, mask or file name) that holds CR or LF: sent,
// it would end the command line early and the rest would be read as a second command.
class FtpInvalidArgument : public NetError {
 public:
  explicit FtpInvalidArgument(const std::string& what)
      : NetError("Invalid " + what + ": it contains a line break.") {}
  std::string TypeName() const override { return "FtpInvalidArgument"; }
};

// The transfer was ended by AbortTransfer or DropDataConnection.
class FtpTransferAborted : public NetError {
 public:
  FtpTransferAborted() : NetError("Transfer aborted.") {}
  std::string TypeName() const override { return "FtpTransferAborted"; }
};

// A reply to "PASV" without a usable data address.
class FtpBadPassiveReply : public NetError {
 public:
  explicit FtpBadPassiveReply(const std::string& reply) : NetError(reply) {}
  std::string TypeName() const override { return "FtpBadPassiveReply"; }
};

class FtpClient : public TcpClient {
 public:
  static constexpr int kDefaultPort = 21;

  FtpClient();
  ~FtpClient() override;

  const std::string& User() const { return user_; }
  void SetUser(const std::string& user) { user_ = user; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  bool Passive() const { return passive_; }
  void SetPassive(bool passive) { passive_ = passive; }
  // The answer to "syst" from its fourth character on, or "Unknown"; kept until the next login.
  const std::string& ServerSystem() const { return server_system_; }

  // Stores a new type and, while the control connection is open, sends the type command
  // (accepting 200). Ignored while a data connection exists.
  void SetTransferType(FtpTransferType type);

  // Connects, reads the greeting (220) and, with log_in, sends "user " (230 or 331), "pass "
  // only after 331 (230), the type command (200) and "syst" (200, 215 or 500). Any failure
  // closes the connection and is raised again; on a client that is still open that is
  // AlreadyConnected.
  void OpenAndLogin(bool log_in = true);
  // "CWD " + directory, accepting 250.
  void ChangeRemoteDir(const std::string& directory);
  // "nlst " + mask (names) or "list " + mask (details); the lines received replace the
  // content of destination.
  void ListDirectory(std::vector<std::string>& destination, const std::string& mask, bool details);
  // "retr " + remote_name into local_file, bytes unchanged. FtpFileAlreadyExists, before
  // anything is sent, when local_file exists and may_overwrite is false. The earlier
  // local_file stays as it was unless the whole transfer succeeds.
  void Download(const std::string& remote_name, const std::string& local_file, bool may_overwrite);
  // "STOR " + remote_name, "APPE " + remote_name with append, "STOU " for an empty name.
  void Upload(const std::string& local_file, const std::string& remote_name, bool append);

  // When open: sends "ABOR" without reading a reply, then DropDataConnection.
  virtual void AbortTransfer();
  // Closes the data connection's socket, if one exists (any thread).
  virtual void DropDataConnection();

 private:
  void SendTypeCommand();
  // Runs one transfer of command over a new data connection: into sink, or out of source.
  void TransferIn(const std::string& command, Stream& sink);
  void TransferOut(const std::string& command, Stream& source);
  void Transfer(const std::string& command, Stream* sink, Stream* source);
  // Active mode: waits for the server's connection while watching the control connection.
  void WaitForDataPeer(OneShotListener& listener);
  void ReadFinalReply();
  // After a transfer broke: raises the failure reply the server sent meanwhile, if one comes
  // within kFollowUpWait.
  void RaiseFailureReplyIfAny();
  static constexpr std::chrono::milliseconds kFollowUpWait{1000};
  void SetData(std::unique_ptr<TcpConnection> data);
  std::unique_ptr<TcpConnection> TakeData();

  std::string user_;
  std::string password_;
  bool passive_ = false;
  std::string server_system_;
  FtpTransferType transfer_type_ = FtpTransferType::kBinary;

  std::atomic<bool> aborted_{false};
  mutable std::mutex data_mutex_;
  std::unique_ptr<TcpConnection> data_;  // exists only during a transfer

 public:
  // "RNFR " + from (350), then "RNTO " + to (250): replaces `to` in one step on the server.
  void Rename(const std::string& from, const std::string& to);
  // "SIZE " + remote_name (213): the number in the reply. A reply without a number raises
  // ProtocolReplyError with the reply line.
  int64_t Size(const std::string& remote_name);
  // "MDTM " + remote_name (213): the file's modification time, seconds since 1970 UTC. A
  // reply that holds no valid time raises ProtocolReplyError with the reply line.
  int64_t ModificationTime(const std::string& remote_name);
  // "DELE " + remote_name (250).
  void Delete(const std::string& remote_name);
};

}  // namespace tivolo::net
