// Loopback throughput of TcpConnection::ReceiveIntoStream against a plain recv loop into one
// reused buffer (the limit), with a local sender thread, and the resident memory growth
// during each transfer. Run: build/bin/bench_net
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "net/stream.h"
#include "net/tcp_client.h"

namespace {

using tivolo::net::FileStream;
using tivolo::net::Stream;
using tivolo::net::TcpClient;

constexpr int64_t kMiB = 1 << 20;

long ResidentKiB() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// The sender's bytes, allocated once so that no transfer's memory figure includes them.
const std::vector<char>& Block() {
  static const std::vector<char> block(256 * 1024, 'x');
  return block;
}

// Listens on 127.0.0.1; for one connection sends `total` bytes, then closes.
class Sender {
 public:
  explicit Sender(int64_t total) : total_(total) {
    listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listen_fd_, 1) != 0 ||
        ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      int fd = ::accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) return;
      const std::vector<char>& block = Block();
      int64_t left = total_;
      while (left > 0) {
        size_t n = static_cast<size_t>(std::min<int64_t>(left, static_cast<int64_t>(block.size())));
        ssize_t sent = ::send(fd, block.data(), n, MSG_NOSIGNAL);
        if (sent <= 0) break;
        left -= sent;
      }
      ::close(fd);
    });
  }
  ~Sender() {
    thread_.join();
    ::close(listen_fd_);
  }
  int Port() const { return port_; }

 private:
  int64_t total_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

// A file-like stream that keeps a position and size but no bytes: the cost of the
// connection itself, without a disk.
class DiscardStream : public Stream {
 public:
  int64_t Size() const override { return size_; }
  int64_t Position() const override { return position_; }
  void Seek(int64_t position) override { position_ = position; }
  size_t Read(void*, size_t) override { return 0; }
  void Write(const void* buffer, size_t count) override {
    benchmark::DoNotOptimize(buffer);
    position_ += static_cast<int64_t>(count);
    size_ = std::max(size_, position_);
  }
  void SetSize(int64_t size) override { size_ = size; }

 private:
  int64_t size_ = 0;
  int64_t position_ = 0;
};

void Finish(benchmark::State& state, int64_t total, long rss_growth) {
  state.SetBytesProcessed(state.iterations() * total);
  state.counters["rss_growth_KiB"] = static_cast<double>(rss_growth);
}

// One transfer through a plain recv loop into one reused buffer; the bytes received.
int64_t PlainTransfer(const Sender& sender, std::vector<char>& buffer) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(sender.Port()));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  int64_t received = 0;
  ssize_t n;
  while ((n = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0)
    received += n;
  ::close(fd);
  return received;
}

void BM_PlainRecvLoop(benchmark::State& state) {
  Block();
  const int64_t total = state.range(0) * kMiB;
  std::vector<char> buffer(TcpClient::kDefaultBufferSize);
  long growth = 0;
  for (auto _ : state) {
    Sender sender(total);
    const long before = ResidentKiB();
    if (PlainTransfer(sender, buffer) != total) state.SkipWithError("short transfer");
    growth = std::max(growth, ResidentKiB() - before);
  }
  Finish(state, total, growth);
}

template <typename MakeStream>
void ReceiveInto(benchmark::State& state, MakeStream make_stream) {
  Block();
  const int64_t total = state.range(0) * kMiB;
  long growth = 0;
  TcpClient client;
  client.SetHost("127.0.0.1");
  for (auto _ : state) {
    Sender sender(total);
    const long before = ResidentKiB();
    client.SetPort(sender.Port());
    client.Open();
    auto stream = make_stream();
    client.ReceiveIntoStream(*stream);
    growth = std::max(growth, ResidentKiB() - before);
    if (stream->Position() != total) state.SkipWithError("short transfer");
  }
  Finish(state, total, growth);
}

void BM_ReceiveIntoStream(benchmark::State& state) {
  ReceiveInto(state, [] { return std::make_unique<DiscardStream>(); });
}

// A real file descriptor write per chunk, as a download to a file has.
void BM_ReceiveIntoFileStream(benchmark::State& state) {
  ReceiveInto(state,
              [] { return std::make_unique<FileStream>("/dev/null", FileStream::Mode::kCreate); });
}

// Both receivers in turn within each iteration, so that a machine busy with other work slows
// both alike; the counters give each one's throughput and our share of the plain loop's.
void BM_AlternatingRatio(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  Block();
  const int64_t total = state.range(0) * kMiB;
  std::vector<char> buffer(TcpClient::kDefaultBufferSize);
  TcpClient client;
  client.SetHost("127.0.0.1");
  Clock::duration plain{}, ours{};
  long growth = 0;
  for (auto _ : state) {
    {
      Sender plain_sender(total);
      const auto start = Clock::now();
      if (PlainTransfer(plain_sender, buffer) != total) state.SkipWithError("short transfer");
      plain += Clock::now() - start;
    }
    Sender sender(total);
    const long before = ResidentKiB();
    const auto start = Clock::now();
    client.SetPort(sender.Port());
    client.Open();
    DiscardStream stream;
    client.ReceiveIntoStream(stream);
    ours += Clock::now() - start;
    growth = std::max(growth, ResidentKiB() - before);
    if (stream.Position() != total) state.SkipWithError("short transfer");
  }
  const double bytes = static_cast<double>(total) * static_cast<double>(state.iterations());
  const double plain_s = std::chrono::duration<double>(plain).count();
  const double ours_s = std::chrono::duration<double>(ours).count();
  state.counters["plain_MiBps"] = bytes / kMiB / plain_s;
  state.counters["ours_MiBps"] = bytes / kMiB / ours_s;
  state.counters["ours_share"] = plain_s / ours_s;
  state.counters["rss_growth_KiB"] = static_cast<double>(growth);
}

BENCHMARK(BM_AlternatingRatio)
    ->Arg(256)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(8);
BENCHMARK(BM_PlainRecvLoop)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReceiveIntoStream)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReceiveIntoFileStream)->Arg(256)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
