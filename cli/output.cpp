#include "cli/output.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace orva::cli {

void CheckedOutput::Write(std::string_view text) {
  if (failure_) return;
  errno = 0;
  out_ << text;
  Check();
}

std::optional<std::string> CheckedOutput::Finish() {
  if (!failure_) {
    errno = 0;
    out_.flush();
    Check();
  }
  return failure_;
}

// The stream only says that a write failed; the system's reason is in errno
// right after the call that failed, which is why each write is checked at once.
void CheckedOutput::Check() {
  if (out_) return;
  failure_ = errno != 0 ? std::strerror(errno) : "write error";
}

}  // namespace orva::cli
