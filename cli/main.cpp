#include <fcntl.h>

#include <cerrno>
#include <iostream>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "tools/main_guard.h"

namespace {

// A standard descriptor left closed by the caller would be handed out by the
// next open(), and printing could then land in a database or its new copy.
// Each closed one is held by /dev/null opened the wrong way round: reading
// descriptor 0 or writing 1 and 2 then fails (EBADF), and orva-cli reports a
// failed output instead of writing anywhere.
void HoldClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open() takes the lowest free descriptor, which is `fd`.
    if (::open("/dev/null", (fd == 0 ? O_WRONLY : O_RDONLY)) == -1) return;
  }
}

}  // namespace

int main(int argc, char** argv) {
  HoldClosedStandardDescriptors();
  return orva::GuardedMain("orva-cli", [&] {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    return orva::cli::Run(args, std::cin, std::cout, std::cerr);
  });
}
