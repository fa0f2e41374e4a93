// Runs a scenario in a child process, for what a test cannot do in its own:
// be killed, hang, change user or limits.
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace orva::testing {

inline constexpr uid_t kNobody = 65534;

// Runs `scenario` in a child process and hands back the line it produced; a
// child still running after 30 s is stopped, and its failure is the line.
// With `unprivileged`, when this process is root, the child first becomes the
// user 'nobody', because root may write any file and make files in any folder.
inline std::string InChildProcess(const std::function<std::string()>& scenario,
                                  bool unprivileged = false) {
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

}  // namespace orva::testing
