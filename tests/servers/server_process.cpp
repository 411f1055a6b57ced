#include "servers/server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/loopback.h"

extern char** environ;

namespace tivolo::testing {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

std::string ServersDir() {
  return std::string(TIVOLO_SOURCE_DIR) + "/tests/servers";
}

bool HaveExecutable(const std::string& path) {
  return ::access(path.c_str(), X_OK) == 0;
}

ServerProcess::~ServerProcess() {
  Stop();
}

bool ServerProcess::Start(const std::vector<std::string>& argv, bool wait_ready, std::string* error,
                          std::chrono::milliseconds bound) {
  // A script that picks its port before the server binds it can lose that port to another
  // test in between; the server then ends at once, and a second try picks another port.
  for (int attempt = 1;; ++attempt) {
    bool ended_early = false;
    if (StartOnce(argv, wait_ready, error, bound, &ended_early)) return true;
    if (!ended_early || attempt == 3) return false;
  }
}

bool ServerProcess::StartOnce(const std::vector<std::string>& argv, bool wait_ready,
                              std::string* error, std::chrono::milliseconds bound,
                              bool* ended_early) {
  Stop();
  int pipe_fds[2];
  if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  std::vector<char*> args;
  for (const auto& a : argv)
    args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(pipe_fds[1]);
  if (rc != 0) {
    ::close(pipe_fds[0]);
    *error = "cannot start " + argv[0] + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;

  // The first line of stdout is the port.
  auto deadline = Clock::now() + bound;
  std::string line;
  bool have_line = false;
  while (!have_line && Clock::now() < deadline) {
    pollfd p{pipe_fds[0], POLLIN, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (::poll(&p, 1, static_cast<int>(std::max<long>(1, left.count()))) <= 0) continue;
    char c;
    ssize_t n = ::read(pipe_fds[0], &c, 1);
    if (n <= 0) break;
    if (c == '\n') {
      have_line = true;
    } else {
      line += c;
    }
  }
  ::close(pipe_fds[0]);
  port_ = have_line ? std::atoi(line.c_str()) : 0;
  if (port_ <= 0 || port_ > 65535) {
    *error = argv[0] + " printed no port (got \"" + line + "\")";
    Stop();
    return false;
  }
  if (wait_ready) {
    while (!LoopbackPortAccepts(port_)) {
      siginfo_t info{};
      if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
          info.si_pid == pid_) {
        *error = argv[0] + " ended before it accepted connections";
        *ended_early = true;
        Stop();
        return false;
      }
      if (Clock::now() >= deadline) {
        *error = argv[0] + " does not accept connections on port " + std::to_string(port_);
        Stop();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  return true;
}

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  // The process group is the one created for this PID: only what this server started. The
  // leader is reaped last, so its PID (and the group's) cannot be reused before the group kill.
  ::kill(-pid_, SIGTERM);
  auto deadline = Clock::now() + std::chrono::seconds(3);
  siginfo_t info{};
  for (;;) {
    info.si_pid = 0;
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_)
      break;
    if (Clock::now() >= deadline) {
      ::kill(-pid_, SIGKILL);
      ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(-pid_, SIGKILL);  // stragglers of the group (per-session children), if any
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  port_ = 0;
}

}  // namespace tivolo::testing
