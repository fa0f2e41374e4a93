#include "tests/support/child_process.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace orva::test_support {

std::string InChildProcess(const std::function<std::string()>& scenario, bool unprivileged) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    ::alarm(30);
    if (unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      _exit(3);
    }
    const std::string line = scenario();
    const bool written =
        ::write(pipe_fds[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
    _exit(written ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string line;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
    line.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
    return "the child process failed (status " + std::to_string(wstatus) + ")";
  }
  return line;
}

int WaitForChild(pid_t pid) {
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return wstatus;
}

void SleepFor(std::chrono::nanoseconds delay) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(delay.count() / 1'000'000'000);
  ts.tv_nsec = static_cast<long>(delay.count() % 1'000'000'000);
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace orva::test_support
