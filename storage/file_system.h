// Every file-system call the library makes, behind one small interface, so
// that tests can make any of them fail and each platform has one
// implementation of it, chosen at build time (file_system_posix.cpp,
// file_system_windows.cpp). Callers see neither the platform's types nor its
// error numbers: a call returns its result or a Status whose message names the
// file and the operating system's reason (kNotFound for a missing file, kIo
// for any other refusal).
//
// An open file is an int descriptor: a POSIX file descriptor, or on Windows a
// C runtime descriptor that owns the file's HANDLE (_open_osfhandle), so that
// closing it closes the HANDLE.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/path_text.h"
#include "storage/status.h"

namespace orva {

// What the library needs to know of a file.
struct FileInfo {
  enum class Kind { kRegular, kDirectory, kOther };  // other: a FIFO, a device, a socket, ...

  Kind kind = Kind::kOther;
  // With `inode`, the file itself, whichever path leads to it (on Windows the
  // volume's serial number and the file's index on it).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;  // when its contents last changed, in ns since 1970
  // When the file last changed in any way (contents, name, metadata), in ns
  // since 1970: unlike the modification time, no program can set it.
  std::int64_t changed_ns = 0;
  // Permission and set-id bits (07777). Windows has none: a file with the
  // read-only attribute has 0444, any other 0666.
  std::uint32_t permissions = 0;
  std::uint32_t owner = 0;  // user and group ids; 0 on Windows, which has SIDs
  std::uint32_t group = 0;
  std::uint64_t links = 0;  // hard links

  bool regular() const { return kind == Kind::kRegular; }
  bool SameFile(const FileInfo& other) const {
    return device == other.device && inode == other.inode;
  }
};

enum class OpenMode {
  kRead,    // for reading
  kUpdate,  // for reading and writing, which an exclusive lock needs
};

// Who may open a file that is being made.
enum class NewFileAccess {
  // Its owner alone, until CopyMetadata gives it the old file's: the
  // contents of a database or its backup are seen by no one else meanwhile.
  kOwnerOnly,
  // Whoever a file any program makes there would let in: the umask on
  // POSIX systems, the folder's inherited access control list on Windows.
  kDefault,
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The path with every symbolic link resolved.
  virtual Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) = 0;
  // What the file at `path` (links followed) or the open file `fd` is.
  virtual Result<FileInfo> Stat(const std::filesystem::path& path) = 0;
  virtual Result<FileInfo> Info(int fd) = 0;
  // The names in a folder, without "." and "..".
  virtual Result<std::vector<std::string>> ListFolder(const std::filesystem::path& folder) = 0;

  // Opens an existing file. Never waits: a FIFO without a writer or a device
  // that is not ready is opened (or refused) at once.
  virtual Result<int> Open(const std::filesystem::path& path, OpenMode mode) = 0;
  // One read of up to `out.size()` bytes at `offset`: fewer at the end.
  virtual Result<std::size_t> ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) = 0;
  // Takes the exclusive lock on a file opened for update, shared by every
  // ORVA program; false when another open file holds it. The lock goes with
  // the descriptor's Close.
  virtual Result<bool> TryLock(int fd) = 0;
  // Waits before the next try of a lock.
  virtual void Pause(std::chrono::milliseconds time) = 0;

  // A new file in `folder` without a name, for writing; kUnsupported where
  // the file system cannot make one (then CreateExclusive serves).
  virtual Result<int> CreateUnnamed(const std::filesystem::path& folder, NewFileAccess access) = 0;
  // A new file that must not exist yet, for writing.
  virtual Result<int> CreateExclusive(const std::filesystem::path& path, NewFileAccess access) = 0;
  // One write: how many bytes were written, which may be fewer.
  virtual Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) = 0;
  // Gives file `to` the owner and group, the extended attributes (access
  // control lists included) and the permission bits of file `from`, exactly;
  // kUnsupported with the reason when any of them cannot be carried over.
  virtual Status CopyMetadata(int from, int to) = 0;
  virtual Status Sync(int fd) = 0;
  // Gives a file made by CreateUnnamed the name `path`, which must be free.
  virtual Status Link(int fd, const std::filesystem::path& path) = 0;
  // Closes the descriptor; it is gone afterwards even when this fails.
  virtual Status Close(int fd) = 0;
  // Puts file `from` in place of file `to` in one step. kBusy where the file
  // system cannot replace a file that is open and `to` is open, here or in
  // another program (Windows on FAT or exFAT, or before Windows 10 1809):
  // the caller may close what it holds of `to` and try once more.
  virtual Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) = 0;
  virtual Status Unlink(const std::filesystem::path& path) = 0;
  // Makes the folder's entries (a rename into it) durable. A file system that
  // cannot flush a folder at all is no failure.
  virtual Status SyncDirectory(const std::filesystem::path& folder) = 0;
};

// The operating system's file system.
class RealFileSystem final : public FileSystem {
 public:
  Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) override;
  Result<FileInfo> Stat(const std::filesystem::path& path) override;
  Result<FileInfo> Info(int fd) override;
  Result<std::vector<std::string>> ListFolder(const std::filesystem::path& folder) override;
  Result<int> Open(const std::filesystem::path& path, OpenMode mode) override;
  Result<std::size_t> ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) override;
  Result<bool> TryLock(int fd) override;
  void Pause(std::chrono::milliseconds time) override;
  Result<int> CreateUnnamed(const std::filesystem::path& folder, NewFileAccess access) override;
  Result<int> CreateExclusive(const std::filesystem::path& path, NewFileAccess access) override;
  Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) override;
  Status CopyMetadata(int from, int to) override;
  Status Sync(int fd) override;
  Status Link(int fd, const std::filesystem::path& path) override;
  Status Close(int fd) override;
  Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  Status Unlink(const std::filesystem::path& path) override;
  Status SyncDirectory(const std::filesystem::path& folder) override;
};

// The file system the library uses when none is given: every entry point that
// takes a path takes the file system last, defaulting to this one.
FileSystem& DefaultFileSystem();

// A descriptor of a FileSystem, closed on every path out of its scope unless
// it was closed on purpose (whose result then counts).
class OpenFile {
 public:
  OpenFile() = default;
  OpenFile(FileSystem& fs, int fd) : fs_(&fs), fd_(fd) {}
  OpenFile(OpenFile&& other) noexcept;
  OpenFile& operator=(OpenFile&& other) noexcept;
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile();

  int fd() const { return fd_; }
  Status Close();

 private:
  FileSystem* fs_ = nullptr;
  int fd_ = -1;
};

// An open regular file and what it was when opened.
struct RegularFile {
  OpenFile file;
  FileInfo info;
};

// Opens the regular file at `path` without ever waiting on it: what is not a
// regular file (a folder, a FIFO, a device) is refused before it is opened,
// and again after, in case it was put there in between.
Result<RegularFile> OpenRegularFile(const std::filesystem::path& path, OpenMode mode,
                                    FileSystem& fs = DefaultFileSystem());

// Reads `out.size()` bytes at `offset`, fewer only where the file ends.
Result<std::size_t> ReadFully(FileSystem& fs, int fd, std::int64_t offset,
                              std::span<std::byte> out);

// How large a file is read whole, and why no larger: "the 2 GiB that the
// 32-bit offsets of a text database can address".
struct ReadLimit {
  std::int64_t bytes = 0;
  std::string_view reason;
};

// Refuses (kNoRoom) the file at `path` when `info` is larger than `limit`.
Status CheckReadLimit(const FileInfo& info, const std::filesystem::path& path, ReadLimit limit);

// Reads the open file `fd` (the one at `path`) whole into `out`, which holds
// as many bytes as the file had when opened. A file that is shorter by then is
// refused (kBusy): another program is changing it, and half of its change is
// no file at all.
Status ReadAllOf(FileSystem& fs, int fd, const std::filesystem::path& path,
                 std::span<std::byte> out);

// The whole regular file at `path`, opened, checked against `limit` and read
// (OpenRegularFile, CheckReadLimit, ReadAllOf).
Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path, ReadLimit limit,
                                             FileSystem& fs = DefaultFileSystem());

}  // namespace orva
