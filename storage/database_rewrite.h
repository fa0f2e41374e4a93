// Rewriting a database file: one writer at a time, and whatever happens (a
// crash, a kill, a full disk, a power cut after the call returned) the file
// is afterwards exactly the old one or exactly the new one.
//
// The steps, each through the FileSystem seam:
//  1. The path is followed past symbolic links to the file, which must be a
//     regular file with one hard link whose permission bits let someone write
//     it (a read-only file stays read-only, for root as well), on the device
//     of its folder (not a mount point).
//  2. The file is opened and locked. Every ORVA program takes this lock before
//     it reads a database it will rewrite; another holder is waited for up to
//     5 seconds, then the rewrite is refused. A rename puts a new file at the
//     path, so the lock counts only if the path still names the locked file
//     afterwards; otherwise the new file is locked instead.
//  3. Temporary files that killed runs left beside the database are removed;
//     the file is read whole (refused past the limit given, before reading:
//     for a database, the 2 GiB its 32-bit offsets can address) and the planner turns the bytes
//     into the new contents.
//  4. These go to a new file in the same folder, unnamed where the file system
//     allows it (so a kill leaves nothing behind), that gets the old file's
//     owner and group, extended attributes (access control lists included)
//     and permission bits, or the rewrite is refused. It is flushed to disk,
//     and once the old file is seen to be unchanged since it was read, named
//     and at once renamed over it, then closed. Where a file that is open cannot be
//     replaced (Windows on FAT or exFAT, or before Windows 10 1809), the old
//     file is closed for the rename, which is then tried once. The folder is
//     flushed last, so that the rename itself survives a power cut.
#pragma once

#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/durable_file.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// The new contents of a file as consecutive pieces, each either a run of the
// old bytes (not copied) or bytes the plan made.
class NewContents {
 public:
  void Keep(std::span<const std::byte> old_bytes) { pieces_.push_back(old_bytes); }
  void Add(std::vector<std::byte> made) {
    pieces_.emplace_back(made_.emplace_back(std::move(made)));
  }
  std::span<const std::span<const std::byte>> pieces() const { return pieces_; }

 private:
  std::deque<std::vector<std::byte>> made_;  // a deque keeps their bytes in place
  std::vector<std::span<const std::byte>> pieces_;
};

// Turns the old bytes of a database into its new contents, or refuses with
// the reason. It may keep pieces of `old_bytes`; they live until the rewrite
// is over.
using Planner = std::function<Result<NewContents>(std::span<const std::byte> old_bytes)>;

struct Rewritten {
  // Empty, or why the new contents, although in place, may not survive a
  // power cut: the folder could not be flushed after the rename. Callers tell
  // the user, but the rewrite is done and must not be repeated.
  std::string warning;
};

// The old file's bytes as a rewrite has them: in memory, or in the locked
// file, read again a block at a time by whoever needs them.
class OldContents {
 public:
  explicit OldContents(std::span<const std::byte> bytes) : bytes_(bytes), size_(bytes.size()) {}
  OldContents(FileSystem& fs, int fd, std::int64_t size)
      : fs_(&fs), fd_(fd), size_(static_cast<std::size_t>(size)) {}

  std::size_t size() const { return size_; }
  // Hands every byte to `each`, in order, in blocks; stops at the first
  // failure, a read's or one of `each`.
  Status ForEachBlock(const std::function<Status(std::span<const std::byte>)>& each) const;

 private:
  std::span<const std::byte> bytes_;
  FileSystem* fs_ = nullptr;  // null when the bytes are in memory
  int fd_ = -1;
  std::size_t size_ = 0;
};

// A step taken once the new contents are on disk, just before they are
// renamed into place (a backup): given the locked old file, its bytes and its
// path with links resolved. A failure refuses the rewrite.
using BeforeRename =
    std::function<Status(int old_fd, const OldContents& old, const std::filesystem::path& path)>;

// Runs the steps above on the database at `path`, each through `fs`. On any
// refusal or failure the file is left exactly as it was and no temporary file
// stays behind.
Result<Rewritten> RewriteDatabase(const std::filesystem::path& path, const ReadLimit& limit,
                                  const Planner& plan, const BeforeRename& before_rename = {},
                                  FileSystem& fs = DefaultFileSystem());

// The same steps, with the new contents written straight into the new file
// rather than planned over the old bytes in memory: the old file is not read
// whole. `check` is given the old bytes (read a block at a time) before
// anything is written, and may refuse; `write` then writes the new contents
// in order.
using OldFileCheck = std::function<Status(const OldContents& old)>;
Result<Rewritten> RewriteDatabaseStreamed(const std::filesystem::path& path, const ReadLimit& limit,
                                          const OldFileCheck& check, const FileContents& write,
                                          const BeforeRename& before_rename = {},
                                          FileSystem& fs = DefaultFileSystem());

// A planner that may find, from the database as it stands, that nothing is to
// be written (problems for its caller to report, or nothing to change).
using PlannerIfAny =
    std::function<Result<std::optional<NewContents>>(std::span<const std::byte> old_bytes)>;

struct RewrittenIfAny {
  bool written = false;
  std::string warning;  // as in Rewritten
};

// Plans a change over the database at `path` and makes it: with `dry_run`
// the file is only read and planned over; otherwise the plan runs under
// RewriteDatabase's lock, and nothing to write ends the rewrite with the file
// untouched.
Result<RewrittenIfAny> RewriteDatabaseIfAny(const std::filesystem::path& path,
                                            const ReadLimit& limit, const PlannerIfAny& plan,
                                            bool dry_run, const BeforeRename& before_rename = {},
                                            FileSystem& fs = DefaultFileSystem());

}  // namespace orva
