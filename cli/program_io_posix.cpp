// orva-cli's arguments and standard streams on POSIX systems: bytes as they
// come, which a terminal shows as UTF-8.
#include <fcntl.h>

#include <cerrno>
#include <iostream>

#include "cli/program_io.h"

namespace orva::cli {
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

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

struct StandardStreams::Consoles {};

StandardStreams::StandardStreams() { HoldClosedStandardDescriptors(); }
StandardStreams::~StandardStreams() = default;

std::istream& StandardStreams::in() { return std::cin; }
std::ostream& StandardStreams::out() { return std::cout; }
std::ostream& StandardStreams::err() { return std::cerr; }

}  // namespace orva::cli
