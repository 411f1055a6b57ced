#include "net/ftp/fake_ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <stdexcept>

#include "support/loopback.h"

namespace tivolo::testing {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kSlice = std::chrono::milliseconds(20);

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (fd >= 0 && sent < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;  // the client went away; the test's own checks will say so
    sent += static_cast<std::size_t>(n);
  }
}

}  // namespace

bool FakeFtpSession::WaitReadable(int fd, std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  while (!server_.stop_ && Clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kSlice.count())) > 0) return true;
  }
  return false;
}

void FakeFtpSession::Send(const std::string& text) {
  SendAll(control_, text);
}

std::string FakeFtpSession::Read(std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  for (;;) {
    auto lf = buffered_.find('\n');
    if (lf != std::string::npos) {
      std::string line = buffered_.substr(0, lf);
      buffered_.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      server_.Record(line);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(control_, left)) return "";
    char chunk[4096];
    ssize_t n = ::recv(control_, chunk, sizeof chunk, 0);
    if (n <= 0) return "";
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

std::string FakeFtpSession::Expect(const std::string& prefix) {
  std::string line = Read();
  if (line.compare(0, prefix.size(), prefix) != 0)
    Fail("expected \"" + prefix + "...\", got \"" + line + "\"");
  return line;
}

void FakeFtpSession::Login() {
  Reply("220 fake box ready");
  Expect("user ");
  Reply("331 Password required");
  Expect("pass ");
  Reply("230 Logged in");
  Expect("type ");
  Reply("200 Type set");
  Expect("syst");
  Reply("215 UNIX Type: L8");
}

void FakeFtpSession::AcceptPort() {
  std::string line = Expect("PORT ");
  int h1, h2, h3, h4, p1, p2;
  if (std::sscanf(line.c_str(), "PORT %d,%d,%d,%d,%d,%d", &h1, &h2, &h3, &h4, &p1, &p2) != 6) {
    Fail("bad PORT command \"" + line + "\"");
    Reply("501 Syntax error");
    return;
  }
  port_ip_ = std::to_string(h1) + "." + std::to_string(h2) + "." + std::to_string(h3) + "." +
             std::to_string(h4);
  port_port_ = p1 * 256 + p2;
  if (port_ip_ != client_ip_) Fail("PORT names " + port_ip_ + ", client is " + client_ip_);
  Reply("200 PORT command successful");
}

bool FakeFtpSession::ConnectData() {
  CloseData();
  data_ = ConnectOnLoopback(port_port_, {.to_ip = port_ip_});
  if (data_ < 0) {
    Fail("cannot connect to the data port " + port_ip_ + ":" + std::to_string(port_port_));
    return false;
  }
  return true;
}

std::string FakeFtpSession::BeginTransfer(const std::string& command) {
  AcceptPort();
  std::string line = Expect(command);
  ConnectData();
  return line;
}

void FakeFtpSession::StrangerConnects(const std::string& from_ip, const std::string& bytes) {
  CloseFd(stranger_);
  stranger_ = ConnectOnLoopback(port_port_, {.to_ip = port_ip_, .from_ip = from_ip});
  if (stranger_ < 0) {
    Fail("a stranger cannot connect from " + from_ip);
    return;
  }
  SendAll(stranger_, bytes);
}

bool FakeFtpSession::StrangerWasClosed(std::chrono::milliseconds bound) {
  if (stranger_ < 0) return false;
  char byte;
  bool closed = WaitReadable(stranger_, bound) && ::recv(stranger_, &byte, 1, MSG_DONTWAIT) <= 0;
  CloseFd(stranger_);
  return closed;
}

void FakeFtpSession::AcceptPasv() {
  Expect("PASV");
  CloseFd(passive_);
  int port = 0;
  try {
    passive_ = ListenOnLoopback(port, 1);
  } catch (const std::runtime_error&) {
    Fail("cannot listen for the passive data connection");
    Reply("425 Cannot open passive connection");
    return;
  }
  Reply("227 Entering Passive Mode (127,0,0,1," + std::to_string(port / 256) + "," +
        std::to_string(port % 256) + ").");
}

bool FakeFtpSession::AcceptData() {
  CloseData();
  if (passive_ < 0 || !WaitReadable(passive_, std::chrono::seconds(10))) {
    Fail("the client did not connect to the passive port");
    return false;
  }
  data_ = ::accept4(passive_, nullptr, nullptr, SOCK_CLOEXEC);
  CloseFd(passive_);
  return data_ >= 0;
}

void FakeFtpSession::ServeFile(const std::string& name, const std::string& text) {
  AcceptPort();
  Expect("retr " + name);
  Reply("150 Opening data connection.");
  ConnectData();
  SendData(text);
  CloseData();
  Reply("226 Transfer complete.");
}

void FakeFtpSession::SendData(const std::string& bytes) {
  SendAll(data_, bytes);
}

size_t FakeFtpSession::Flood(const std::string& piece, size_t limit, bool on_data,
                             std::chrono::milliseconds bound) {
  const int fd = on_data ? data_ : control_;
  std::string chunk;
  while (chunk.size() < 65536)
    chunk += piece;
  size_t sent = 0;
  while (fd >= 0 && sent < limit && !server_.stop_) {
    pollfd p{fd, POLLOUT, 0};
    if (::poll(&p, 1, static_cast<int>(bound.count())) != 1 || (p.revents & POLLOUT) == 0) break;
    const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  return sent;
}

std::string FakeFtpSession::ReceiveDataUntilClose(std::chrono::milliseconds bound) {
  std::string received;
  auto deadline = Clock::now() + bound;
  while (data_ >= 0) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(data_, left)) {
      Fail("the data connection was not closed in time");
      break;
    }
    char chunk[65536];
    ssize_t n = ::recv(data_, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    received.append(chunk, static_cast<std::size_t>(n));
  }
  return received;
}

void FakeFtpSession::CloseData() {
  CloseFd(data_);
}

bool FakeFtpSession::WaitForClientClose(std::chrono::milliseconds bound) {
  auto deadline = Clock::now() + bound;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 || !WaitReadable(control_, left)) return false;
    char chunk[4096];
    ssize_t n = ::recv(control_, chunk, sizeof chunk, 0);
    if (n <= 0) return true;
    buffered_.append(chunk, static_cast<std::size_t>(n));
  }
}

void FakeFtpSession::Sleep(std::chrono::milliseconds how_long) {
  auto deadline = Clock::now() + how_long;
  while (!server_.stop_ && Clock::now() < deadline)
    std::this_thread::sleep_for(kSlice);
}

void FakeFtpSession::Fail(const std::string& what) {
  server_.RecordFailure(what);
}

FakeFtpServer::FakeFtpServer(Script script, int sessions)
    : script_(std::move(script)), sessions_(sessions) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Run(); });
}

FakeFtpServer::~FakeFtpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  CloseFd(listener_);
}

void FakeFtpServer::Run() {
  for (int index = 0; index < sessions_ && !stop_; ++index) {
    FakeFtpSession session(*this);
    session.index_ = index;
    // The client connects within the test's own bounds; wait a little longer than those.
    auto deadline = Clock::now() + std::chrono::seconds(30);
    while (!stop_ && Clock::now() < deadline) {
      pollfd p{listener_, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(kSlice.count())) <= 0) continue;
      sockaddr_in peer{};
      socklen_t len = sizeof peer;
      session.control_ =
          ::accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
      if (session.control_ < 0) continue;
      char ip[INET_ADDRSTRLEN] = {};
      ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);
      session.client_ip_ = ip;
      break;
    }
    if (session.control_ < 0) {
      if (!stop_) RecordFailure("no client connected");
      return;
    }
    script_(session);
    session.CloseData();
    CloseFd(session.passive_);
    CloseFd(session.stranger_);
    CloseFd(session.control_);
  }
}

void FakeFtpServer::Join() {
  if (thread_.joinable()) thread_.join();
}

std::string FakeFtpServer::Commands() {
  Join();
  std::lock_guard lock(mutex_);
  return commands_;
}

std::string FakeFtpServer::Failures() {
  Join();
  std::lock_guard lock(mutex_);
  return failures_;
}

void FakeFtpServer::Record(const std::string& command) {
  std::lock_guard lock(mutex_);
  commands_ += command + "\n";
}

void FakeFtpServer::RecordFailure(const std::string& what) {
  std::lock_guard lock(mutex_);
  failures_ += what + "\n";
}

}  // namespace tivolo::testing
