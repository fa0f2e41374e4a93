// The file-system calls that replacing a database makes, behind one small
// interface, so that tests can make any of them fail. RealFileSystem makes the
// POSIX calls; the replacement logic lives in file_replacement.h.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <span>
#include <vector>

#include "database/status.h"

namespace orva {

// Every call returns its result or a Status of kind kIo (kNotFound for a
// missing file) whose message names the file and the operating system's reason.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The path with every symbolic link resolved (realpath).
  virtual Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) = 0;
  // stat(2): the kind, permission bits, owner and link count of a file.
  virtual Result<struct stat> Stat(const std::filesystem::path& path) = 0;
  // Whether this process may write the file (access(2) with W_OK).
  virtual Status CheckWritable(const std::filesystem::path& path) = 0;
  virtual Result<std::vector<std::byte>> ReadFile(const std::filesystem::path& path) = 0;

  // Creates a new file that must not exist yet (O_CREAT | O_EXCL), write-only,
  // with the given mode, and returns its descriptor.
  virtual Result<int> CreateExclusive(const std::filesystem::path& path, mode_t mode) = 0;
  // One write(2): returns how many bytes were written, which may be fewer.
  virtual Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) = 0;
  virtual Status ChangeOwner(int fd, uid_t owner, gid_t group) = 0;
  virtual Status ChangeMode(int fd, mode_t mode) = 0;
  virtual Status Sync(int fd) = 0;
  // Closes the descriptor; it is gone afterwards even when this fails.
  virtual Status Close(int fd) = 0;
  virtual Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual Status Unlink(const std::filesystem::path& path) = 0;
  // Makes the folder's entries (a rename into it) durable: open, fsync, close.
  virtual Status SyncDirectory(const std::filesystem::path& folder) = 0;
};

// The operating system's file system.
class RealFileSystem final : public FileSystem {
 public:
  Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) override;
  Result<struct stat> Stat(const std::filesystem::path& path) override;
  Status CheckWritable(const std::filesystem::path& path) override;
  Result<std::vector<std::byte>> ReadFile(const std::filesystem::path& path) override;
  Result<int> CreateExclusive(const std::filesystem::path& path, mode_t mode) override;
  Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) override;
  Status ChangeOwner(int fd, uid_t owner, gid_t group) override;
  Status ChangeMode(int fd, mode_t mode) override;
  Status Sync(int fd) override;
  Status Close(int fd) override;
  Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  Status Unlink(const std::filesystem::path& path) override;
  Status SyncDirectory(const std::filesystem::path& folder) override;
};

// The file system the library uses when none is given.
FileSystem& DefaultFileSystem();

}  // namespace orva
