#include "database/database_rewrite.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <string_view>

#include "database/format.h"
#include "database/quote.h"
#include "database/temporary_names.h"

namespace orva {
namespace {

// Another ORVA program's rewrite is waited for in steps of kLockPause, at
// most kLockTries times: 5 seconds in all.
constexpr std::chrono::milliseconds kLockPause{10};
constexpr int kLockTries = 500;

Status BeingChanged(const std::filesystem::path& path) {
  return Status::Busy(DescribePath(path) +
                      " is being changed by another program; try again when it is done");
}

// What a rename could not replace faithfully, or must not: something that is
// not a regular file, a file with more than one hard link (the new file would
// be separate from the other names, which would keep the old contents) and a
// file whose permission bits let no one write it.
Status CheckReplaceable(const FileInfo& info, const std::filesystem::path& path) {
  if (!info.regular()) return Status::Unsupported(DescribePath(path) + " is not a regular file");
  if (info.links > 1) {
    return Status::Unsupported(
        DescribePath(path) + " has " + std::to_string(info.links) +
        " hard links; it is rewritten by replacing it with a new file, which would leave the "
        "other names with the old contents, so it is not changed");
  }
  if ((info.permissions & 0222) == 0) {
    return Status::Unsupported(DescribePath(path) +
                               " is read-only (its permissions or its read-only attribute let no "
                               "one write it), so it is not changed");
  }
  return Status::Ok();
}

// A file that something is mounted on (a bind mount, say) lies on another
// device than its folder: a rename in the folder would replace only the name
// under the mount, and the file seen through the mount would keep the old
// contents.
Status CheckNotMounted(FileSystem& fs, const FileInfo& info, const std::filesystem::path& path) {
  Result<FileInfo> folder = fs.Stat(path.parent_path());
  if (!folder.ok()) return folder.status();
  if (folder->device == info.device) return Status::Ok();
  return Status::Unsupported(
      DescribePath(path) +
      " is a mount point (it lies on another device than its folder); it is rewritten by "
      "replacing it with a new file, which would leave the mounted file with the old contents, "
      "so it is not changed");
}

// The database opened and locked, and what it was once locked.
struct LockedDatabase {
  OpenFile file;
  FileInfo info;
};

Result<LockedDatabase> Lock(FileSystem& fs, const std::filesystem::path& path) {
  for (int tries = 1;; ++tries) {
    Result<FileInfo> before = fs.Stat(path);
    if (!before.ok()) return before.status();
    if (Status s = CheckReplaceable(*before, path); !s.ok()) return s;
    Result<RegularFile> opened = OpenRegularFile(fs, path, OpenMode::kUpdate);
    if (!opened.ok()) return opened.status();
    Result<bool> locked = fs.TryLock(opened->file.fd());
    if (!locked.ok()) {
      return Status::Io("cannot lock " + DescribePath(path) + " against other programs (" +
                        locked.status().message() + "), so it is not changed");
    }
    if (*locked) {
      // The holder may have renamed a new file over the one locked here.
      Result<FileInfo> now = fs.Stat(path);
      if (!now.ok()) return now.status();
      if (now->SameFile(opened->info)) {
        Result<FileInfo> locked_info = fs.Info(opened->file.fd());
        if (!locked_info.ok()) return locked_info.status();
        if (Status s = CheckReplaceable(*locked_info, path); !s.ok()) return s;
        if (Status s = CheckNotMounted(fs, *locked_info, path); !s.ok()) return s;
        return LockedDatabase{std::move(opened->file), *locked_info};
      }
    }
    if (tries >= kLockTries) return BeingChanged(path);
    // The file is not held open while waiting: where a file that is open
    // cannot be replaced, that would stop the holder's rename.
    (void)opened->file.Close();  // it was only read
    fs.Pause(kLockPause);
  }
}

// Temporary files of this database that killed runs left behind. Removing
// them is a courtesy: a file that cannot be removed stays, never read, and a
// folder too large to list in the memory left is no failure of the rewrite.
void RemoveLeftovers(FileSystem& fs, const std::filesystem::path& path) {
  try {
    Result<std::vector<std::string>> names = fs.ListFolder(path.parent_path());
    if (!names.ok()) return;
    for (const std::string& name : *names) {
      if (IsTemporaryName(name, path)) (void)fs.Unlink(path.parent_path() / name);
    }
  } catch (const std::bad_alloc&) {
    return;  // the leftovers stay, for a later run
  }
}

// The old file's bytes, in memory that is not cleared before they are read
// over it (clearing 2 GiB costs as much as reading them).
struct OldBytes {
  std::unique_ptr<std::byte[]> data;
  std::size_t size = 0;

  std::span<const std::byte> span() const { return {data.get(), size}; }
};

Result<OldBytes> ReadWhole(FileSystem& fs, const LockedDatabase& db,
                           const std::filesystem::path& path) {
  if (db.info.size > format::kMaxDatabaseSize) {
    return Status::NoRoom(DescribePath(path) + " has " + std::to_string(db.info.size) +
                          " bytes, more than the 2 GiB that the 32-bit offsets of a text "
                          "database can address, so it is not read");
  }
  const auto size = static_cast<std::size_t>(db.info.size);
  OldBytes bytes{std::make_unique_for_overwrite<std::byte[]>(size), size};
  Result<std::size_t> read =
      ReadFully(fs, db.file.fd(), 0, std::span<std::byte>(bytes.data.get(), size));
  if (!read.ok()) {
    return Status::Io("cannot read " + DescribePath(path) + " (" + read.status().message() + ")");
  }
  if (*read != size) return BeingChanged(path);  // it shrank while read
  return bytes;
}

// The file the new contents go to: unnamed where the file system allows it,
// named just before the rename, held open until it is in place (where a
// file must be named from the start, that tells another run's clean-up that
// it is live), and closed and removed on every way out unless it was renamed
// into place.
class NewFile {
 public:
  NewFile(FileSystem& fs, std::filesystem::path name) : fs_(fs), name_(std::move(name)) {}
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile() {
    if (in_place_ || !named_) return;
    (void)file_.Close();
    (void)fs_.Unlink(name_);  // nothing better to do if this fails
  }

  Status Create(const std::filesystem::path& folder) {
    Result<int> fd = fs_.CreateUnnamed(folder);
    if (!fd.ok() && fd.status().kind() == ErrorKind::kUnsupported) {
      fd = fs_.CreateExclusive(name_);
      named_ = fd.ok();
    }
    if (!fd.ok()) return fd.status();
    file_ = OpenFile(fs_, *fd);
    return Status::Ok();
  }
  int fd() const { return file_.fd(); }
  const std::filesystem::path& name() const { return name_; }
  Status Name() {
    if (named_) return Status::Ok();
    Status linked = fs_.Link(file_.fd(), name_);
    named_ = linked.ok();
    return linked;
  }
  Status Close() { return file_.Close(); }
  void InPlace() { in_place_ = true; }

 private:
  FileSystem& fs_;
  std::filesystem::path name_;
  OpenFile file_;
  bool named_ = false;
  bool in_place_ = false;
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

// Whether `now` is the file that was read, still of the size and times it
// had. The change time counts too: a program can set the modification time
// back after writing, but not the change time.
bool Unchanged(const FileInfo& now, const FileInfo& read) {
  const bool same_times = now.modified_ns == read.modified_ns && now.changed_ns == read.changed_ns;
  return now.SameFile(read) && now.size == read.size && same_times;
}

Status ChangedMeanwhile(const std::filesystem::path& path) {
  return Status::Busy(DescribePath(path) +
                      " was changed by another program while it was being rewritten, so it was "
                      "left as that program made it; try again");
}

// The old file must be the one read, unchanged: a program that does not take
// the lock may have written it, or put another file in its place.
Status CheckUnchanged(FileSystem& fs, const LockedDatabase& db, const std::filesystem::path& path) {
  Result<FileInfo> now = fs.Info(db.file.fd());
  if (!now.ok()) return now.status();
  Result<FileInfo> at_path = fs.Stat(path);
  if (!at_path.ok()) return at_path.status();
  if (!Unchanged(*now, db.info) || !at_path->SameFile(db.info)) return ChangedMeanwhile(path);
  return Status::Ok();
}

// Where a file that is open cannot be replaced (Rename says kBusy), the locked
// file is closed for the rename, which gives the lock up for that instant. The
// rename is then tried once, right after a look that the path still names the
// file read, unchanged: a rewrite that takes the lock in that instant holds
// the old file open, so the rename fails and changes nothing. It is not
// repeated: once that rewrite had closed the old file in turn, a repeated
// rename could put these contents over its own.
Status CloseForTheRename(FileSystem& fs, LockedDatabase& db, const std::filesystem::path& path) {
  if (Status s = db.file.Close(); !s.ok()) {
    return Status::Io("cannot close " + DescribePath(path) + " to put the new contents in place (" +
                      s.message() + "); it was not changed");
  }
  Result<FileInfo> now = fs.Stat(path);
  if (!now.ok()) return now.status();
  if (!Unchanged(*now, db.info)) return ChangedMeanwhile(path);
  return Status::Ok();
}

// Puts the pieces in place of the locked file; the result is the warning of
// Rewritten.
Result<std::string> Replace(FileSystem& fs, LockedDatabase& db, const std::filesystem::path& path,
                            std::span<const std::span<const std::byte>> pieces,
                            const BeforeRename& before_rename,
                            std::span<const std::byte> old_bytes) {
  const std::filesystem::path folder = path.parent_path();
  const std::string unchanged = "; " + DescribePath(path) + " was not changed";

  NewFile temporary(fs, TemporaryPathFor(path));
  if (Status s = temporary.Create(folder); !s.ok()) {
    return Status::Io("cannot make a new file in the folder " + QuotePath(folder) +
                      " to replace the database safely (" + s.message() + ")" + unchanged);
  }
  auto cannot_write = [&](const Status& why) {
    return Status::Io("cannot write the new contents beside it as " + QuotePath(temporary.name()) +
                      " (" + why.message() + ")" + unchanged);
  };
  // Every step's result counts: a write, flush or close that fails may mean
  // the data never reached the disk. The metadata follows the contents, as a
  // write clears set-id bits, and precedes the flush, which makes it durable.
  for (std::span<const std::byte> piece : pieces) {
    if (Status s = WriteAll(fs, temporary.fd(), piece); !s.ok()) return cannot_write(s);
  }
  if (Status s = fs.CopyMetadata(db.file.fd(), temporary.fd()); !s.ok()) {
    if (s.kind() == ErrorKind::kUnsupported) return Status::Unsupported(s.message() + unchanged);
    return cannot_write(s);
  }
  if (Status s = fs.Sync(temporary.fd()); !s.ok()) return cannot_write(s);
  if (before_rename) {
    if (Status s = before_rename(db.file.fd(), old_bytes, path); !s.ok()) return s;
  }
  if (Status s = CheckUnchanged(fs, db, path); !s.ok()) return s;
  // An unnamed file is named right before the rename: a kill in between is
  // the only way it can stay behind.
  if (Status s = temporary.Name(); !s.ok()) return cannot_write(s);
  Status renamed = fs.Rename(temporary.name(), path);
  if (renamed.kind() == ErrorKind::kBusy) {
    if (Status s = CloseForTheRename(fs, db, path); !s.ok()) return s;
    renamed = fs.Rename(temporary.name(), path);
  }
  if (!renamed.ok()) {
    const std::string why =
        "cannot put the new contents in place (" + renamed.message() + ")" + unchanged;
    return renamed.kind() == ErrorKind::kBusy
               ? Status::Busy(why + "; try again when no other program has it open")
               : Status::Io(why);
  }
  temporary.InPlace();
  std::string warning;
  if (Status s = temporary.Close(); !s.ok()) {
    warning =
        "it may not survive a power cut: the new file could not be closed after it was put "
        "in place (" +
        s.message() + ")";
  }
  if (Status s = fs.SyncDirectory(folder); !s.ok()) {
    warning = "it may not survive a power cut: the folder " + QuotePath(folder) +
              " could not be flushed to disk after the new contents were put in place (" +
              s.message() + ")";
  }
  return warning;
}

}  // namespace

namespace {

// The longest name a file system takes: 255 bytes on Linux (NAME_MAX) and
// 255 UTF-16 units on Windows, in the units of the path's native string.
constexpr std::size_t kLongestName = 255;
constexpr std::size_t kRandomDigits = 16;
constexpr std::string_view kTemporarySuffix = ".tmp";

std::string Hex(std::uint64_t value) {
  char digits[kRandomDigits + 1];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(value));
  return digits;
}

// What the names of the temporaries of `path` begin with: the database's
// own name, or where that would make them too long, a hash of it (FNV-1a).
std::string TemporaryPrefix(const std::filesystem::path& path) {
  const std::string name = PathToUtf8(path.filename());
  std::string prefix = "." + name + ".orva-";
  const std::string longest = prefix + std::string(kRandomDigits, '0') + kTemporarySuffix.data();
  if (PathFromUtf8(longest).native().size() <= kLongestName) return prefix;
  std::uint64_t hash = 0xcbf29ce484222325;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3;
  return ".orva-" + Hex(hash) + "-";
}

}  // namespace

std::filesystem::path TemporaryPathFor(const std::filesystem::path& path) {
  std::random_device random;
  const std::uint64_t value = std::uint64_t{random()} << 32 | random();
  return path.parent_path() /
         PathFromUtf8(TemporaryPrefix(path) + Hex(value) + kTemporarySuffix.data());
}

bool IsTemporaryName(const std::string& name, const std::filesystem::path& path) {
  const std::string prefix = TemporaryPrefix(path);
  if (name.size() != prefix.size() + kRandomDigits + kTemporarySuffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(kTemporarySuffix)) return false;
  for (std::size_t i = prefix.size(); i < prefix.size() + kRandomDigits; ++i) {
    if (std::string_view("0123456789abcdef").find(name[i]) == std::string_view::npos) return false;
  }
  return true;
}

Result<Rewritten> RewriteDatabase(FileSystem& fs, const std::filesystem::path& path,
                                  const Planner& plan, const BeforeRename& before_rename) {
  try {
    Result<std::filesystem::path> resolved = fs.ResolvePath(path);
    if (!resolved.ok()) return resolved.status();
    Result<LockedDatabase> db = Lock(fs, *resolved);
    if (!db.ok()) return db.status();
    RemoveLeftovers(fs, *resolved);
    Result<OldBytes> old_bytes = ReadWhole(fs, *db, *resolved);
    if (!old_bytes.ok()) return old_bytes.status();
    Result<NewContents> contents = plan(old_bytes->span());
    if (!contents.ok()) return contents.status();
    Result<std::string> warning =
        Replace(fs, *db, *resolved, contents->pieces(), before_rename, old_bytes->span());
    if (!warning.ok()) return warning.status();
    // The lock goes with the descriptor, which was only read: a failure to
    // close it says nothing about the new contents.
    (void)db->file.Close();
    return Rewritten{std::move(warning).value()};
  } catch (const std::bad_alloc&) {
    return Status::NoMemory("rewrite " + DescribePath(path));
  }
}

}  // namespace orva
