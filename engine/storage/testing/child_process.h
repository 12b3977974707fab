// Child processes for the tests of the lock protocol between processes:
// a one-way byte channel, and children bounded by an alarm and a watchdog
// in the parent, so that no test can hang.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/errors/kura_error.h"

namespace kura::testing {

// How long a child may live before its alarm ends it.
inline constexpr int kChildSeconds = 20;

// A one-way byte channel between processes.
class Pipe {
 public:
  Pipe() { EXPECT_EQ(::pipe2(fd_, O_CLOEXEC), 0); }
  ~Pipe() {
    ::close(fd_[0]);
    ::close(fd_[1]);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void Send(char c) { EXPECT_EQ(::write(fd_[1], &c, 1), 1); }
  // The next byte, or 0 when none comes within `ms`.
  char Receive(int ms = kChildSeconds * 1000) {
    pollfd p{fd_[0], POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) return 0;
    char c = 0;
    return ::read(fd_[0], &c, 1) == 1 ? c : 0;
  }

 private:
  int fd_[2];
};

// Runs `body` in a child process; its return value is the exit status
// (200 + code % 50 for an engine error, 101 for any other exception).
inline pid_t Spawn(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::alarm(kChildSeconds);
    int code = 100;
    try {
      code = body();
    } catch (const EKuraEngineError& e) {
      code = 200 + e.ErrorCode() % 50;
    } catch (...) {
      code = 101;
    }
    ::_exit(code);
  }
  return pid;
}

// The child's exit status; kills it after the watchdog's time (-1), and
// gives -2 when it did not exit normally.
inline int Join(pid_t pid) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds + 5);
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
}

}  // namespace kura::testing
