// orva-cli's arguments and standard streams on POSIX systems: bytes as they
// come, which a terminal shows as UTF-8.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <streambuf>
#include <system_error>

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

// Standard input read with read() itself. std::cin reads through stdio,
// which takes a read error (a folder, a closed descriptor, a failing disk)
// for the end of the input, and so does a descriptor left non-blocking when
// no data has come yet. Here an error is thrown, which the stream turns into
// its bad state, and a non-blocking descriptor is waited on.
class InputBuffer final : public std::streambuf {
 protected:
  int_type underflow() override {
    while (true) {
      const ssize_t n = ::read(STDIN_FILENO, buffer_, sizeof buffer_);
      if (n > 0) {
        setg(buffer_, buffer_, buffer_ + n);
        return traits_type::to_int_type(buffer_[0]);
      }
      if (n == 0) return traits_type::eof();
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        pollfd ready{STDIN_FILENO, POLLIN, 0};
        (void)::poll(&ready, 1, -1);
      } else if (errno != EINTR) {
        throw std::system_error(errno, std::generic_category());
      }
    }
  }

 private:
  char buffer_[64 * 1024];
};

}  // namespace

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

struct StandardStreams::Consoles {
  InputBuffer buffer;
  std::istream in{&buffer};
};

StandardStreams::StandardStreams() : consoles_(std::make_unique<Consoles>()) {
  HoldClosedStandardDescriptors();
}
StandardStreams::~StandardStreams() = default;

std::istream& StandardStreams::in() { return consoles_->in; }
std::ostream& StandardStreams::out() { return std::cout; }
std::ostream& StandardStreams::err() { return std::cerr; }

}  // namespace orva::cli
