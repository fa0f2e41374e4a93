// A file system for tests that passes every call to the real one and keeps,
// beside what the calls did, what a power cut would leave of it in one folder
// (and the folders in it):
//  - a file's bytes as of its last Sync: a file written since keeps only what
//    it had then, and one never flushed comes back empty;
//  - a folder's names as of its last SyncDirectory: a name made (by
//    CreateExclusive, Link or Rename) or removed (by Unlink or Rename) since
//    then is not on disk yet. Before the first, the folder holds the names it
//    had when watching began, whose files count as flushed too.
// It can also lose its power after a chosen call: every later call is refused
// with an I/O error and changes nothing, as a machine that is off does nothing
// more. A test cuts the power after call 0, 1, 2, ... of an operation in turn
// until the operation ends before the cut, and looks at what survives each.
//
// Only the calls are followed: a file the test changes by other means while
// watching is not. A call the model cannot follow (a rename of a file it never
// saw, within a watched folder) throws std::logic_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "storage/file_system.h"

namespace orva::test_support {

// The names of a folder with the bytes each would hold.
using FolderState = std::map<std::string, std::vector<std::byte>>;

class PowerCutFileSystem final : public FileSystem {
 public:
  // Watches `folder` and the folders in it, as they are now.
  explicit PowerCutFileSystem(const std::filesystem::path& folder);

  // Passes the first `calls` calls (none for 0) and refuses every later one.
  void CutPowerAfter(std::size_t calls) { cut_after_ = calls; }
  // Refuses every call from now on.
  void CutPower() { cut_after_ = calls_; }
  // CreateUnnamed answers as a file system without unnamed files does.
  void WithoutUnnamedFiles() { unnamed_ = false; }

  // The calls made, those refused for the cut included.
  std::size_t calls() const { return calls_; }
  // Whether a call was refused because the power was off: if not, the
  // operation ended before the cut.
  bool refused() const { return refused_; }

  // What a power cut now would leave in `folder`, the watched one or a folder
  // in it: each regular file's name with its bytes (folders are not listed).
  FolderState StateAfterPowerCut(const std::filesystem::path& folder) const;
  FolderState StateAfterPowerCut() const { return StateAfterPowerCut(root_); }
  // Writes what a power cut now would leave in the watched folder (not the
  // folders in it) to the existing folder `to`, as a restart would find it.
  void WriteStateAfterPowerCut(const std::filesystem::path& to) const;

  Result<std::filesystem::path> ResolvePath(const std::filesystem::path& path) override;
  Result<FileInfo> Stat(const std::filesystem::path& path) override;
  Result<FileInfo> Info(int fd) override;
  Result<std::vector<std::string>> ListFolder(const std::filesystem::path& folder) override;
  Result<int> Open(const std::filesystem::path& path, OpenMode mode) override;
  Result<std::size_t> ReadAt(int fd, std::int64_t offset, std::span<std::byte> out) override;
  Result<bool> TryLock(int fd) override;
  // Not waited out, as a test has nothing to wait for.
  void Pause(std::chrono::milliseconds time) override;
  Result<int> CreateUnnamed(const std::filesystem::path& folder, NewFileAccess access) override;
  Result<int> CreateExclusive(const std::filesystem::path& path, NewFileAccess access) override;
  Result<std::size_t> Write(int fd, std::span<const std::byte> bytes) override;
  Status CopyMetadata(int from, int to) override;
  Status Sync(int fd) override;
  Status Link(int fd, const std::filesystem::path& path) override;
  // Releases the real descriptor even once the power is off, so that a test
  // leaks none, but then says it failed.
  Status Close(int fd) override;
  Status Rename(const std::filesystem::path& from, const std::filesystem::path& to) override;
  Status Unlink(const std::filesystem::path& path) override;
  Status SyncDirectory(const std::filesystem::path& folder) override;

 private:
  // A file, whatever names it has: what was written to it, and what of that
  // is on disk.
  struct File {
    std::vector<std::byte> written;
    std::optional<std::vector<std::byte>> synced;
  };
  // A watched folder: its names now and those on disk, each with its file.
  struct Folder {
    std::map<std::string, std::size_t> names;
    std::map<std::string, std::size_t> flushed;
  };
  // An open descriptor of a file: the file and where the next write goes.
  struct Descriptor {
    std::size_t file = 0;
    std::size_t offset = 0;
  };
  // The watched folder a path is in, and its name there.
  struct Place {
    Folder* folder = nullptr;
    std::string name;
  };

  // Counts the call; refused once the power is off.
  Status Enter();
  // The watched folder of this path; none where it is outside them.
  Folder* FolderAt(const std::filesystem::path& folder);
  const Folder* FolderAt(const std::filesystem::path& folder) const;
  Place PlaceOf(const std::filesystem::path& path);
  // The file of a descriptor handed out here; none for one outside the folders.
  Descriptor* DescriptorOf(int fd);
  std::size_t NewFileId(std::vector<std::byte> bytes, bool on_disk);

  FileSystem& real_;
  std::filesystem::path root_;
  std::vector<File> files_;
  std::map<std::filesystem::path, Folder> folders_;
  std::map<int, Descriptor> open_;
  std::size_t calls_ = 0;
  std::optional<std::size_t> cut_after_;
  bool refused_ = false;
  bool unnamed_ = true;
};

}  // namespace orva::test_support
