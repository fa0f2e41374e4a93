// The FileSystem seam on Linux and other POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "storage/file_system.h"
#include "storage/internal/unique_fd.h"
#include "storage/quote.h"

namespace orva {
namespace {

std::string Reason() { return std::strerror(errno); }

Status IoError(const std::string& what) { return Status::Io(what + ": " + Reason()); }

// kNotFound for a missing file, kIo for any other refusal.
Status PathError(const std::string& what, const std::filesystem::path& path) {
  if (errno == ENOENT) return Status::NotFound(DescribePath(path) + " does not exist");
  return IoError("cannot " + what + " " + DescribePath(path));
}

template <typename Call>
auto RetryOnInterrupt(Call call) {
  decltype(call()) result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

FileInfo ToFileInfo(const struct stat& st) {
  FileInfo info;
  info.kind = S_ISREG(st.st_mode)   ? FileInfo::Kind::kRegular
              : S_ISDIR(st.st_mode) ? FileInfo::Kind::kDirectory
                                    : FileInfo::Kind::kOther;
  info.device = st.st_dev;
  info.inode = st.st_ino;
  info.size = st.st_size;
  info.modified_ns = std::int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
  info.changed_ns = std::int64_t{st.st_ctim.tv_sec} * 1'000'000'000 + st.st_ctim.tv_nsec;
  info.permissions = st.st_mode & 07777;
  info.owner = st.st_uid;
  info.group = st.st_gid;
  info.links = st.st_nlink;
  return info;
}

// "user 'alice' (1000)", or the number alone where it has no name; `lookup`
// is getpwuid_r or getgrgid_r.
template <typename Id, typename Entry>
std::string Named(const char* kind, Id id, int (*lookup)(Id, Entry*, char*, std::size_t, Entry**),
                  char* Entry::*name) {
  char buffer[4096];
  Entry entry{};
  Entry* found = nullptr;
  std::string text = std::string(kind) + " ";
  if (lookup(id, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
    return text + "'" + (found->*name) + "' (" + std::to_string(id) + ")";
  }
  return text + std::to_string(id);
}

// The names of a file's extended attributes; none where the file system has
// no such thing.
Result<std::vector<std::string>> AttributeNames(int fd) {
  std::vector<char> names;
  while (true) {
    const ssize_t size = ::flistxattr(fd, nullptr, 0);
    if (size < 0) {
      if (errno == ENOTSUP) return std::vector<std::string>{};
      return IoError("cannot list the extended attributes");
    }
    names.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::flistxattr(fd, names.data(), names.size());
    if (got >= 0) {
      names.resize(static_cast<std::size_t>(got));
      break;
    }
    if (errno != ERANGE) return IoError("cannot list the extended attributes");
  }
  std::vector<std::string> list;
  for (auto at = names.begin(); at != names.end();) {
    const auto end = std::find(at, names.end(), '\0');
    list.emplace_back(at, end);
    at = end == names.end() ? end : end + 1;
  }
  return list;
}

// The value of one extended attribute; nullopt where the file has none.
Result<std::optional<std::vector<char>>> AttributeValue(int fd, const std::string& name) {
  std::vector<char> value;
  while (true) {
    const ssize_t size = ::fgetxattr(fd, name.c_str(), nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA) return std::optional<std::vector<char>>{};
      return IoError("cannot read the extended attribute '" + name + "'");
    }
    value.resize(static_cast<std::size_t>(size));
    const ssize_t got = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<std::size_t>(got));
      return std::optional<std::vector<char>>(std::move(value));
    }
    if (errno != ERANGE) return IoError("cannot read the extended attribute '" + name + "'");
  }
}

// Makes the extended attributes of `to` those of `from`: the same names with
// the same values, and no others (a folder's default ACL gives a new file an
// ACL the old one may not have had).
Status CopyAttributes(int from, int to) {
  Result<std::vector<std::string>> old_names = AttributeNames(from);
  if (!old_names.ok()) return old_names.status();
  Result<std::vector<std::string>> new_names = AttributeNames(to);
  if (!new_names.ok()) return new_names.status();
  auto refusal = [](const std::string& name) {
    return Status::Unsupported("the new file cannot be given the extended attribute '" + name +
                               "' of the old one (" + Reason() +
                               "); without it the file could grant other access than before");
  };
  for (const std::string& name : *old_names) {
    Result<std::optional<std::vector<char>>> value = AttributeValue(from, name);
    if (!value.ok()) return value.status();
    if (!value->has_value()) continue;  // removed since it was listed
    Result<std::optional<std::vector<char>>> present = AttributeValue(to, name);
    if (!present.ok()) return present.status();
    if (*present == *value) continue;  // given by the folder already (a security label)
    const std::vector<char>& bytes = **value;
    if (::fsetxattr(to, name.c_str(), bytes.data(), bytes.size(), 0) != 0) return refusal(name);
  }
  for (const std::string& name : *new_names) {
    if (std::find(old_names->begin(), old_names->end(), name) != old_names->end()) continue;
    if (::fremovexattr(to, name.c_str()) != 0 && errno != ENODATA) return refusal(name);
  }
  return Status::Ok();
}

// A folder where files can be added but never removed or renamed over
// (chattr +a), or not changed at all (+i): a new file made there could never
// replace the database, and would stay behind.
Status CheckFolderTakesReplacements(const std::filesystem::path& folder) {
#ifdef __linux__
  UniqueFd fd(
      RetryOnInterrupt([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  int flags = 0;
  if (!fd.valid() || ::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) != 0) return Status::Ok();
  if ((flags & (FS_APPEND_FL | FS_IMMUTABLE_FL)) != 0) {
    return Status::Io("the folder " + QuotePath(folder) +
                      ((flags & FS_APPEND_FL) != 0 ? " is append-only" : " is immutable") +
                      ", so no file in it can be replaced");
  }
#else
  (void)folder;
#endif
  return Status::Ok();
}

}  // namespace

Result<std::filesystem::path> RealFileSystem::ResolvePath(const std::filesystem::path& path) {
  std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                       &std::free);
  if (!resolved) return PathError("resolve", path);
  return std::filesystem::path(resolved.get());
}

Result<FileInfo> RealFileSystem::Stat(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return PathError("examine", path);
  return ToFileInfo(st);
}

Result<FileInfo> RealFileSystem::Info(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return IoError("cannot examine an open file");
  return ToFileInfo(st);
}

// readdir rather than std::filesystem::directory_iterator, whose increment
// is noexcept yet allocates: memory running out in a large folder would end
// the program instead of failing the listing.
Result<std::vector<std::string>> RealFileSystem::ListFolder(const std::filesystem::path& folder) {
  struct CloseDir {
    void operator()(DIR* dir) const { (void)::closedir(dir); }
  };
  std::unique_ptr<DIR, CloseDir> dir(::opendir(folder.c_str()));
  if (!dir) return IoError("cannot list the folder " + QuotePath(folder));
  std::vector<std::string> names;
  try {
    while (true) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) break;
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") names.emplace_back(name);
    }
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("list the folder " + QuotePath(folder));
  }
  if (errno != 0) return IoError("cannot list the folder " + QuotePath(folder));
  return names;
}

Result<int> RealFileSystem::Open(const std::filesystem::path& path, OpenMode mode) {
  const int access = mode == OpenMode::kRead ? O_RDONLY : O_RDWR;
  const int fd = RetryOnInterrupt(
      [&] { return ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
  if (fd < 0) {
    if (errno == ENOENT || mode == OpenMode::kRead) return PathError("open", path);
    return IoError("cannot open " + DescribePath(path) + " to change it");
  }
  return fd;
}

Result<std::size_t> RealFileSystem::ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) {
  const ssize_t n = RetryOnInterrupt([&] { return ::pread(fd, out.data(), out.size(), offset); });
  if (n < 0) return IoError("cannot read");
  return static_cast<std::size_t>(n);
}

// An open file description lock on the whole file: unlike a classic POSIX
// lock it is not dropped when this process closes another descriptor of the
// same file, and unlike flock it reaches other machines on NFS.
Result<bool> RealFileSystem::TryLock(int fd) {
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (RetryOnInterrupt([&] { return ::fcntl(fd, F_OFD_SETLK, &whole); }) == 0) return true;
  if (errno == EAGAIN || errno == EACCES) return false;
  return IoError("cannot lock the database");
}

void RealFileSystem::Pause(std::chrono::milliseconds time) {
  struct timespec left {};
  left.tv_sec = static_cast<time_t>(time.count() / 1000);
  left.tv_nsec = static_cast<long>(time.count() % 1000 * 1'000'000);
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

// O_TMPFILE: the file has no name until Link gives it one, so a process
// killed before that leaves nothing behind. Link goes through /proc.
namespace {

// The umask applies to both modes, as to any file made.
mode_t ModeFor(NewFileAccess access) {
  return access == NewFileAccess::kOwnerOnly ? S_IRUSR | S_IWUSR : 0666;
}

}  // namespace

Result<int> RealFileSystem::CreateUnnamed(const std::filesystem::path& folder,
                                          NewFileAccess access) {
  if (Status s = CheckFolderTakesReplacements(folder); !s.ok()) return s;
  if (::access("/proc/self/fd", X_OK) != 0) {
    return Status::Unsupported("/proc is not available to name an unnamed file");
  }
  const int fd = RetryOnInterrupt(
      [&] { return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, ModeFor(access)); });
  if (fd >= 0) return fd;
  if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL) {
    return Status::Unsupported("the folder " + QuotePath(folder) +
                               " cannot hold unnamed files: " + Reason());
  }
  return IoError("cannot make a new file in the folder " + QuotePath(folder));
}

Result<int> RealFileSystem::CreateExclusive(const std::filesystem::path& path,
                                            NewFileAccess access) {
  if (Status s = CheckFolderTakesReplacements(path.parent_path()); !s.ok()) return s;
  const int fd = RetryOnInterrupt([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, ModeFor(access));
  });
  if (fd < 0) return IoError("cannot create " + DescribePath(path));
  return fd;
}

Result<std::size_t> RealFileSystem::Write(int fd, std::span<const std::byte> bytes) {
  const ssize_t n = RetryOnInterrupt([&] { return ::write(fd, bytes.data(), bytes.size()); });
  if (n < 0) return IoError("cannot write");
  return static_cast<std::size_t>(n);
}

// The order matters: a change of owner clears the set-id bits, and setting
// the access ACL rewrites the group permission bits, so the owner comes
// first, the attributes next and the permission bits last (they set the ACL
// mask to the old group bits, which were the old mask). What came out is
// compared with the old file, because the kernel drops some bits silently.
Status RealFileSystem::CopyMetadata(int from, int to) {
  struct stat old {};
  struct stat made {};
  if (::fstat(from, &old) != 0 || ::fstat(to, &made) != 0) return IoError("cannot examine");
  if ((old.st_uid != made.st_uid || old.st_gid != made.st_gid) &&
      ::fchown(to, old.st_uid, old.st_gid) != 0) {
    if (errno != EPERM) return IoError("cannot give the new file its owner and group");
    return Status::Unsupported(
        "the file belongs to " + Named("user", old.st_uid, &::getpwuid_r, &passwd::pw_name) +
        " and " + Named("group", old.st_gid, &::getgrgid_r, &group::gr_name) +
        ", and this program, running as " +
        Named("user", ::geteuid(), &::getpwuid_r, &passwd::pw_name) +
        ", cannot give a new file that owner and group; replacing it would take the file over");
  }
  if (Status s = CopyAttributes(from, to); !s.ok()) return s;
  if (::fchmod(to, old.st_mode & 07777) != 0) return IoError("cannot set the permissions");
  if (::fstat(to, &made) != 0) return IoError("cannot examine the new file");
  if ((made.st_mode & 07777) != (old.st_mode & 07777)) {
    char wanted[8];
    char got[8];
    std::snprintf(wanted, sizeof wanted, "%04o", old.st_mode & 07777);
    std::snprintf(got, sizeof got, "%04o", made.st_mode & 07777);
    return Status::Unsupported("the new file cannot be given the permissions " +
                               std::string(wanted) + " of the old one (it would have " + got + ")");
  }
  return Status::Ok();
}

Status RealFileSystem::Sync(int fd) {
  if (::fsync(fd) != 0) return IoError("cannot flush to disk");
  return Status::Ok();
}

Status RealFileSystem::Link(int fd, const std::filesystem::path& path) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
    return IoError("cannot name the new file " + DescribePath(path));
  }
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
    return IoError("cannot rename " + QuotePath(from) + " to " + QuotePath(to));
  }
  return Status::Ok();
}

Status RealFileSystem::Unlink(const std::filesystem::path& path) {
  if (::unlink(path.c_str()) != 0) return IoError("cannot remove " + DescribePath(path));
  return Status::Ok();
}

Status RealFileSystem::SyncDirectory(const std::filesystem::path& folder) {
  UniqueFd fd(
      RetryOnInterrupt([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!fd.valid()) return IoError("cannot open the folder " + QuotePath(folder));
  // Some network and FUSE file systems cannot flush a folder and say so.
  if (::fsync(fd.get()) != 0 && errno != EINVAL && errno != ENOTSUP) {
    return IoError("cannot flush the folder " + QuotePath(folder) + " to disk");
  }
  if (::close(fd.Release()) != 0 && errno != EINTR) {
    return IoError("cannot close the folder " + QuotePath(folder));
  }
  return Status::Ok();
}

FileSystem& DefaultFileSystem() {
  static RealFileSystem real;
  return real;
}

}  // namespace orva
