#include "storage/database_rewrite.h"

#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <string_view>

#include "storage/internal/file_replacement.h"
#include "storage/internal/temporary_names.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

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
    Result<RegularFile> opened = OpenRegularFile(path, OpenMode::kUpdate, fs);
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

// The old file's bytes, in memory that is not cleared before they are read
// over it (clearing 2 GiB costs as much as reading them).
struct OldBytes {
  std::unique_ptr<std::byte[]> data;
  std::size_t size = 0;

  std::span<const std::byte> span() const { return {data.get(), size}; }
};

Result<OldBytes> ReadWhole(FileSystem& fs, const LockedDatabase& db,
                           const std::filesystem::path& path, const ReadLimit& limit) {
  if (Status s = CheckReadLimit(db.info, path, limit); !s.ok()) return s;
  const auto size = static_cast<std::size_t>(db.info.size);
  OldBytes bytes{std::make_unique_for_overwrite<std::byte[]>(size), size};
  if (Status s = ReadAllOf(fs, db.file.fd(), path, std::span(bytes.data.get(), size)); !s.ok()) {
    return s;
  }
  return bytes;
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

// Puts the new contents in place of the locked file; the result is the
// warning of Rewritten.
Result<std::string> Replace(FileSystem& fs, LockedDatabase& db, const std::filesystem::path& path,
                            const FileContents& write, const BeforeRename& before_rename,
                            const OldContents& old) {
  const std::filesystem::path folder = path.parent_path();
  const std::string unchanged = "; " + DescribePath(path) + " was not changed";

  NewFile temporary(fs, TemporaryPathFor(path));
  if (Status s = temporary.Create(folder, NewFileAccess::kOwnerOnly); !s.ok()) {
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
  FileWriter writer(fs, temporary.fd());
  if (Status s = write(writer); !s.ok()) {
    return s.kind() == ErrorKind::kIo ? cannot_write(s) : s;
  }
  if (Status s = writer.Flush(); !s.ok()) return cannot_write(s);
  if (Status s = fs.CopyMetadata(db.file.fd(), temporary.fd()); !s.ok()) {
    if (s.kind() == ErrorKind::kUnsupported) return Status::Unsupported(s.message() + unchanged);
    return cannot_write(s);
  }
  if (Status s = fs.Sync(temporary.fd()); !s.ok()) return cannot_write(s);
  if (before_rename) {
    if (Status s = before_rename(db.file.fd(), old, path); !s.ok()) return s;
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
  return FinishInPlace(fs, temporary, folder);
}

// Locks the database and runs `rewrite` on it, the file's path resolved.
template <typename Rewrite>
Result<Rewritten> UnderLock(const std::filesystem::path& path, FileSystem& fs,
                            const Rewrite& rewrite) {
  const auto doing = [&] { return "rewrite " + DescribePath(path); };
  return OrNoMemory(doing, [&]() -> Result<Rewritten> {
    Result<std::filesystem::path> resolved = fs.ResolvePath(path);
    if (!resolved.ok()) return resolved.status();
    Result<LockedDatabase> db = Lock(fs, *resolved);
    if (!db.ok()) return db.status();
    RemoveLeftovers(fs, *resolved);
    Result<std::string> warning = rewrite(*db, *resolved);
    if (!warning.ok()) return warning.status();
    // The lock goes with the descriptor, which was only read: a failure to
    // close it, even for want of memory, says nothing about the new contents.
    try {
      (void)db->file.Close();
    } catch (const std::bad_alloc&) {
      // the descriptor closes with db
    }
    return Rewritten{std::move(warning).value()};
  });
}

}  // namespace

Status OldContents::ForEachBlock(
    const std::function<Status(std::span<const std::byte>)>& each) const {
  if (fs_ == nullptr) return size_ == 0 ? Status::Ok() : each(bytes_);
  constexpr std::size_t kBlock = std::size_t{1} << 20;
  std::vector<std::byte> block(std::min(size_, kBlock));
  for (std::size_t at = 0; at < size_;) {
    const std::span<std::byte> part = std::span(block).first(std::min(block.size(), size_ - at));
    Result<std::size_t> read = ReadFully(*fs_, fd_, static_cast<std::int64_t>(at), part);
    if (!read.ok()) return read.status();
    if (*read != part.size()) return Status::Io("the file ended early while it was read again");
    if (Status s = each(part); !s.ok()) return s;
    at += part.size();
  }
  return Status::Ok();
}

Result<Rewritten> RewriteDatabaseStreamed(const std::filesystem::path& path, const ReadLimit& limit,
                                          const OldFileCheck& check, const FileContents& write,
                                          const BeforeRename& before_rename, FileSystem& fs) {
  return UnderLock(
      path, fs,
      [&](LockedDatabase& db, const std::filesystem::path& resolved) -> Result<std::string> {
        if (Status s = CheckReadLimit(db.info, resolved, limit); !s.ok()) return s;
        const OldContents old(fs, db.file.fd(), db.info.size);
        if (Status s = check(old); !s.ok()) return s;
        return Replace(fs, db, resolved, write, before_rename, old);
      });
}

Result<Rewritten> RewriteDatabase(const std::filesystem::path& path, const ReadLimit& limit,
                                  const Planner& plan, const BeforeRename& before_rename,
                                  FileSystem& fs) {
  return UnderLock(
      path, fs,
      [&](LockedDatabase& db, const std::filesystem::path& resolved) -> Result<std::string> {
        Result<OldBytes> old_bytes = ReadWhole(fs, db, resolved, limit);
        if (!old_bytes.ok()) return old_bytes.status();
        Result<NewContents> contents = plan(old_bytes->span());
        if (!contents.ok()) return contents.status();
        const auto write = [&](FileWriter& writer) {
          for (std::span<const std::byte> piece : contents->pieces()) {
            if (Status s = writer.Write(piece); !s.ok()) return s;
          }
          return Status::Ok();
        };
        return Replace(fs, db, resolved, write, before_rename, OldContents(old_bytes->span()));
      });
}

Result<RewrittenIfAny> RewriteDatabaseIfAny(const std::filesystem::path& path,
                                            const ReadLimit& limit, const PlannerIfAny& plan,
                                            bool dry_run, const BeforeRename& before_rename,
                                            FileSystem& fs) {
  if (dry_run) {
    Result<std::vector<std::byte>> bytes = ReadWholeFile(path, limit, fs);
    if (!bytes.ok()) return bytes.status();
    Result<std::optional<NewContents>> planned = plan(*bytes);
    if (!planned.ok()) return planned.status();
    return RewrittenIfAny{};
  }
  // Nothing to write ends the rewrite before anything is written: the
  // planner's refusal then only stops it.
  bool stopped = false;
  Result<Rewritten> rewritten = RewriteDatabase(
      path, limit,
      [&](std::span<const std::byte> old) -> Result<NewContents> {
        Result<std::optional<NewContents>> planned = plan(old);
        if (!planned.ok()) return planned.status();
        if (!*planned) {
          stopped = true;
          return Status::InvalidText("nothing to write");
        }
        return std::move(**planned);
      },
      before_rename, fs);
  if (stopped) return RewrittenIfAny{};
  if (!rewritten.ok()) return rewritten.status();
  return RewrittenIfAny{true, std::move(rewritten->warning)};
}

}  // namespace orva
