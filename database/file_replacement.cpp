#include "database/file_replacement.h"

#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "database/file_reading.h"

namespace orva {
namespace {

std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Closes a descriptor of the file system on every path out of a scope, unless
// it was closed on purpose (whose result then counts).
class ScopedDescriptor {
 public:
  ScopedDescriptor(FileSystem& fs, int fd) : fs_(fs), fd_(fd) {}
  ScopedDescriptor(const ScopedDescriptor&) = delete;
  ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
  ~ScopedDescriptor() {
    if (fd_ >= 0) (void)fs_.Close(fd_);  // already failing: the first error is the one to tell
  }
  int get() const { return fd_; }
  Status Close() {
    const int fd = fd_;
    fd_ = -1;
    return fs_.Close(fd);
  }

 private:
  FileSystem& fs_;
  int fd_;
};

// Removes the temporary file on every path out of a scope unless it was
// renamed into place.
class TemporaryFile {
 public:
  TemporaryFile(FileSystem& fs, std::filesystem::path path) : fs_(fs), path_(std::move(path)) {}
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() {
    if (!kept_) (void)fs_.Unlink(path_);  // nothing better to do if this fails too
  }
  const std::filesystem::path& path() const { return path_; }
  void Keep() { kept_ = true; }

 private:
  FileSystem& fs_;
  std::filesystem::path path_;
  bool kept_ = false;
};

Status WriteAll(FileSystem& fs, int fd, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    Result<std::size_t> written = fs.Write(fd, bytes);
    if (!written.ok()) return written.status();
    if (*written == 0) return Status::Io("cannot write: the file system accepted no more bytes");
    bytes = bytes.subspan(*written);
  }
  return Status::Ok();
}

// Gives the new file the owner, group and permission bits of the old one.
// Changing the owner needs privileges most users lack, and the group only
// works for groups the user belongs to; what cannot be set is left as created.
// The mode is set last because a change of owner clears set-id bits.
Status CopyAttributes(FileSystem& fs, int fd, const struct stat& old) {
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    if (!fs.ChangeOwner(fd, old.st_uid, old.st_gid).ok()) {
      (void)fs.ChangeOwner(fd, static_cast<uid_t>(-1), old.st_gid);
    }
  }
  return fs.ChangeMode(fd, old.st_mode & 07777);
}

}  // namespace

std::filesystem::path TemporaryPathFor(const std::filesystem::path& path) {
  static thread_local std::mt19937_64 rng(std::random_device{}() ^
                                          static_cast<std::uint64_t>(::getpid()));
  char suffix[17];
  std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(rng()));
  return path.parent_path() / ("." + path.filename().string() + ".orva-" + suffix + ".tmp");
}

Result<ReplaceableFile> PrepareReplacement(FileSystem& fs, const std::filesystem::path& path) {
  Result<std::filesystem::path> resolved = fs.ResolvePath(path);
  if (!resolved.ok()) return resolved.status();
  Result<struct stat> status = fs.Stat(*resolved);
  if (!status.ok()) return status.status();
  if (!S_ISREG(status->st_mode)) {
    return Status::Unsupported(DescribePath(*resolved) + " is not a regular file");
  }
  if (status->st_nlink > 1) {
    return Status::Unsupported(
        DescribePath(*resolved) + " has " + std::to_string(status->st_nlink) +
        " hard links; it is rewritten by replacing it with a new file, which would leave the "
        "other names with the old contents, so it is not changed");
  }
  if (Status writable = fs.CheckWritable(*resolved); !writable.ok()) return writable;
  return ReplaceableFile{std::move(resolved).value(), *status};
}

Status ReplaceFile(FileSystem& fs, const ReplaceableFile& file,
                   std::span<const std::span<const std::byte>> pieces) {
  const std::filesystem::path folder = file.path.parent_path();
  const std::string unchanged = "; " + DescribePath(file.path) + " was not changed";

  TemporaryFile temporary(fs, TemporaryPathFor(file.path));
  Result<int> created = fs.CreateExclusive(temporary.path(), S_IRUSR | S_IWUSR);
  if (!created.ok()) {
    temporary.Keep();  // never made, nothing to remove
    return Status::Io("cannot make a new file in the folder " + Quote(folder) +
                      " to replace the database safely (" + created.status().message() + ")" +
                      unchanged);
  }
  ScopedDescriptor fd(fs, *created);
  auto cannot_write = [&](const Status& why) {
    return Status::Io("cannot write the new contents to " + Quote(temporary.path()) + " (" +
                      why.message() + ")" + unchanged);
  };
  // Every step's result counts: a write, flush or close that fails may mean
  // the data never reached the disk.
  if (Status s = CopyAttributes(fs, fd.get(), file.status); !s.ok()) return cannot_write(s);
  for (std::span<const std::byte> piece : pieces) {
    if (Status s = WriteAll(fs, fd.get(), piece); !s.ok()) return cannot_write(s);
  }
  if (Status s = fs.Sync(fd.get()); !s.ok()) return cannot_write(s);
  if (Status s = fd.Close(); !s.ok()) return cannot_write(s);
  if (Status s = fs.Rename(temporary.path(), file.path); !s.ok()) {
    return Status::Io("cannot put the new contents in place (" + s.message() + ")" + unchanged);
  }
  temporary.Keep();
  if (Status s = fs.SyncDirectory(folder); !s.ok()) {
    return Status::Io("the new contents of " + DescribePath(file.path) +
                      " are in place, but the folder could not be flushed to disk, so they "
                      "may be lost in a power cut (" +
                      s.message() + ")");
  }
  return Status::Ok();
}

}  // namespace orva
