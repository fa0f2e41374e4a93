// Runs a scenario in a child process, for what a test cannot do in its own:
// be killed, hang, change user or limits.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace orva::test_support {

inline constexpr uid_t kNobody = 65534;

// Runs `scenario` in a child process and hands back the line it produced; a
// child still running after 30 s is stopped, and its failure is the line.
// With `unprivileged`, when this process is root, the child first becomes the
// user 'nobody', because root may write any file and make files in any folder.
std::string InChildProcess(const std::function<std::string()>& scenario, bool unprivileged = false);

// Waits for the child `pid` to end, through interruptions; its wait status.
int WaitForChild(pid_t pid);

// Sleeps for `delay`, through interruptions.
void SleepFor(std::chrono::nanoseconds delay);

}  // namespace orva::test_support
