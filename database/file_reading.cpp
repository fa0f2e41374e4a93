#include "database/file_reading.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "database/unique_fd.h"

namespace orva {

std::string DescribePath(const std::filesystem::path& path) {
  return "the file '" + path.string() + "'";
}

Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return Status::NotFound(DescribePath(path) + " does not exist");
    return Status::Io("cannot open " + DescribePath(path) + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    return Status::Io("cannot examine " + DescribePath(path) + ": " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) return Status::Io(DescribePath(path) + " is not a regular file");

  // One byte more than the size, so that the end of the file is seen without
  // growing the buffer; it grows only when the file grew since fstat.
  std::vector<std::byte> bytes(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t done = 0;
  while (true) {
    if (done == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Status::Io("cannot read " + DescribePath(path) + ": " + std::strerror(errno));
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

}  // namespace orva
