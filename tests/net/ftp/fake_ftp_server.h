// Scripted fake FTP servers for what real servers will not do: each runs a script on a thread
// of the test process against one client connection on a 127.0.0.1 port chosen at run time.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tivolo::testing {

class FakeFtpServer;

// What a script can do with its one client. Every wait is bounded and ends early when the
// server is being destroyed, so a failing test never hangs in the script.
class FakeFtpSession {
 public:
  // Sends text as it is / a line followed by CR LF.
  void Send(const std::string& text);
  void Reply(const std::string& line) { Send(line + "\r\n"); }
  // The next command line without its CR LF (recorded); empty when the client closed or no
  // command came within the bound.
  std::string Read(std::chrono::milliseconds bound = std::chrono::seconds(10));
  // Read() and record a failure unless the command starts with prefix.
  std::string Expect(const std::string& prefix);
  // The usual login: 220 greeting, "user" 331, "pass" 230, "type" 200, "syst" 215.
  void Login();
  // Expects a PORT command, remembers its address and answers 200.
  void AcceptPort();
  // Connects to the address of the last PORT command.
  bool ConnectData();
  // The opening of an active-mode transfer: AcceptPort, Expect(command), ConnectData. The
  // command line as read.
  std::string BeginTransfer(const std::string& command);
  void SendData(const std::string& bytes);
  // A whole download in active mode: PORT, "retr name" answered 150, text sent, 226.
  void ServeFile(const std::string& name, const std::string& text);
  // A stranger connects to the data port from from_ip (another 127.x address) and sends bytes;
  // StrangerWasClosed: true when the client closed that connection within the bound.
  void StrangerConnects(const std::string& from_ip, const std::string& bytes);
  bool StrangerWasClosed(std::chrono::milliseconds bound = std::chrono::seconds(5));
  // Sends piece after piece on the control (or the data) connection until the client stops
  // taking them (it closed, or took nothing for the bound) or `limit` bytes went; the count.
  size_t Flood(const std::string& piece, size_t limit, bool on_data = false,
               std::chrono::milliseconds bound = std::chrono::seconds(5));
  std::string ReceiveDataUntilClose(std::chrono::milliseconds bound = std::chrono::seconds(10));
  void CloseData();
  // Waits until the client closes the control connection; false when it did not in time.
  bool WaitForClientClose(std::chrono::milliseconds bound = std::chrono::seconds(10));
  void Sleep(std::chrono::milliseconds how_long);
  void Fail(const std::string& what);
  // Passive mode: expects "PASV", listens on a free port and answers 227 with it.
  void AcceptPasv();
  // Accepts the client's connection to the passive port.
  bool AcceptData();
  // The client's control-connection address (what its PORT command should name).
  const std::string& ClientIp() const { return client_ip_; }
  // Port of the last PORT command.
  int DataPort() const { return port_port_; }
  // 0 for the first client connection, 1 for the second, ...
  int Index() const { return index_; }

 private:
  friend class FakeFtpServer;
  explicit FakeFtpSession(FakeFtpServer& server) : server_(server) {}
  bool WaitReadable(int fd, std::chrono::milliseconds bound);

  FakeFtpServer& server_;
  int control_ = -1;
  int data_ = -1;
  int stranger_ = -1;
  std::string client_ip_;
  std::string buffered_;
  std::string port_ip_;
  int port_port_ = 0;
  int passive_ = -1;
  int index_ = 0;
};

class FakeFtpServer {
 public:
  using Script = std::function<void(FakeFtpSession&)>;

  // Listens on 127.0.0.1 at a free port and runs the script on each of the first `sessions`
  // connections, one after the other.
  explicit FakeFtpServer(Script script, int sessions = 1);
  ~FakeFtpServer();
  FakeFtpServer(const FakeFtpServer&) = delete;
  FakeFtpServer& operator=(const FakeFtpServer&) = delete;

  int Port() const { return port_; }
  // Waits for the script to end (bounded; stops it when it overruns), then the commands the
  // script read, one per line, and the failures it recorded.
  void Join();
  std::string Commands();
  std::string Failures();

 private:
  friend class FakeFtpSession;
  void Run();
  void Record(const std::string& command);
  void RecordFailure(const std::string& what);

  Script script_;
  int sessions_ = 1;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string commands_;
  std::string failures_;
  std::thread thread_;
};

}  // namespace tivolo::testing
