#include "database/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "database/file_reading.h"
#include "database/unique_fd.h"

namespace orva {
namespace {

std::string Reason() { return std::strerror(errno); }

Status IoError(const std::string& what) { return Status::Io(what + ": " + Reason()); }

std::string Folder(const std::filesystem::path& path) {
  return "the folder '" + path.string() + "'";
}

}  // namespace

Result<std::filesystem::path> RealFileSystem::ResolvePath(const std::filesystem::path& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  if (!resolved) {
    if (errno == ENOENT) return Status::NotFound(DescribePath(path) + " does not exist");
    return IoError("cannot resolve " + DescribePath(path));
  }
  return std::filesystem::path(resolved.get());
}

Result<struct stat> RealFileSystem::Stat(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return Status::NotFound(DescribePath(path) + " does not exist");
    return IoError("cannot examine " + DescribePath(path));
  }
  return st;
}

Status RealFileSystem::CheckWritable(const std::filesystem::path& path) {
  if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) {
    return IoError("cannot write " + DescribePath(path));
  }
  return Status::Ok();
}

Result<std::vector<std::byte>> RealFileSystem::ReadFile(const std::filesystem::path& path) {
  return ReadWholeFile(path);
}

Result<int> RealFileSystem::CreateExclusive(const std::filesystem::path& path, mode_t mode) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return IoError("cannot create " + DescribePath(path));
  return fd;
}

Result<std::size_t> RealFileSystem::Write(int fd, std::span<const std::byte> bytes) {
  ssize_t n;
  do {
    n = ::write(fd, bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) return IoError("cannot write");
  return static_cast<std::size_t>(n);
}

Status RealFileSystem::ChangeOwner(int fd, uid_t owner, gid_t group) {
  if (::fchown(fd, owner, group) != 0) return IoError("cannot change the owner");
  return Status::Ok();
}

Status RealFileSystem::ChangeMode(int fd, mode_t mode) {
  if (::fchmod(fd, mode) != 0) return IoError("cannot set the permissions");
  return Status::Ok();
}

Status RealFileSystem::Sync(int fd) {
  if (::fsync(fd) != 0) return IoError("cannot flush to disk");
  return Status::Ok();
}

Status RealFileSystem::Close(int fd) {
  // On Linux the descriptor is released even when close reports an error, so
  // it is never retried.
  if (::close(fd) != 0 && errno != EINTR) return IoError("cannot close");
  return Status::Ok();
}

Status RealFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return IoError("cannot rename '" + from.string() + "' to '" + to.string() + "'");
  }
  return Status::Ok();
}

Status RealFileSystem::Unlink(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) != 0) return IoError("cannot remove " + DescribePath(path));
  return Status::Ok();
}

Status RealFileSystem::SyncDirectory(const std::filesystem::path& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) return IoError("cannot open " + Folder(folder));
  if (::fsync(fd.get()) != 0) return IoError("cannot flush " + Folder(folder) + " to disk");
  if (::close(fd.Release()) != 0 && errno != EINTR)
    return IoError("cannot close " + Folder(folder));
  return Status::Ok();
}

FileSystem& DefaultFileSystem() {
  static RealFileSystem real;
  return real;
}

}  // namespace orva
