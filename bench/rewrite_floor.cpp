#include "bench/rewrite_floor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <memory>

namespace orva {

bool RewriteFloor(const std::filesystem::path& file) {
  const std::filesystem::path copy = file.string() + ".floor";
  // Into memory of its own, as a program that runs once reads.
  const int in = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  bool ok = in >= 0 && ::fstat(in, &st) == 0;
  const auto size = static_cast<std::size_t>(ok ? st.st_size : 0);
  const auto bytes = std::make_unique_for_overwrite<std::byte[]>(size);
  ok = ok && ::read(in, bytes.get(), size) == static_cast<ssize_t>(size);
  ok = in >= 0 && ::close(in) == 0 && ok;
  const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  ok = ok && out >= 0 && ::write(out, bytes.get(), size) == static_cast<ssize_t>(size) &&
       ::fsync(out) == 0;
  ok = out >= 0 && ::close(out) == 0 && ok;
  ok = ok && ::rename(copy.c_str(), file.c_str()) == 0;
  const int folder = ::open(file.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return folder >= 0 && ::fsync(folder) == 0 && ::close(folder) == 0 && ok;
}

}  // namespace orva
