// The steps every file ORVA writes shares, whether it rewrites a database
// (database_rewrite.h) or writes a file of its own beside one (durable_file.h):
// what may be replaced, the new file beside it, and the clean-up of those that
// killed runs left.
#pragma once

#include <filesystem>
#include <span>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// What a rename could not replace faithfully, or must not: something that is
// not a regular file, a file with more than one hard link (the new file would
// be separate from the other names, which would keep the old contents) and a
// file whose permission bits let no one write it.
Status CheckReplaceable(const FileInfo& info, const std::filesystem::path& path);

// A file that something is mounted on (a bind mount, say) lies on another
// device than its folder: a rename in the folder would replace only the name
// under the mount, and the file seen through the mount would keep the old
// contents.
Status CheckNotMounted(FileSystem& fs, const FileInfo& info, const std::filesystem::path& path);

// Removes the temporary files of `path` (TemporaryPathFor's names) that
// killed runs left behind. A courtesy: a file that cannot be removed stays,
// never read, and a folder too large to list in the memory left is no failure.
void RemoveLeftovers(FileSystem& fs, const std::filesystem::path& path);

// Writes all of `bytes`, however many calls it takes.
Status WriteAll(FileSystem& fs, int fd, std::span<const std::byte> bytes);

// The file new contents go to: unnamed where the file system allows it,
// named just before the rename, held open until it is in place (where a
// file must be named from the start, that tells another run's clean-up that
// it is live), and closed and removed on every way out unless it was renamed
// into place.
class NewFile {
 public:
  NewFile(FileSystem& fs, std::filesystem::path name) : fs_(fs), name_(std::move(name)) {}
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;
  ~NewFile();

  Status Create(const std::filesystem::path& folder, NewFileAccess access);
  int fd() const { return file_.fd(); }
  const std::filesystem::path& name() const { return name_; }
  // Gives an unnamed file its name; nothing for one named from the start.
  Status Name();
  Status Close() { return file_.Close(); }
  // It was renamed into place: it is no longer this object's to remove.
  void InPlace() { in_place_ = true; }

 private:
  FileSystem& fs_;
  std::filesystem::path name_;
  OpenFile file_;
  bool named_ = false;
  bool in_place_ = false;
};

// What follows a rename into `folder`: the new file closed and the folder
// flushed. Empty, or why the new contents, although in place, may not
// survive a power cut.
std::string FinishInPlace(FileSystem& fs, NewFile& file, const std::filesystem::path& folder);

}  // namespace orva
