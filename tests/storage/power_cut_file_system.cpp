#include "tests/storage/power_cut_file_system.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "storage/path_text.h"
#include "tests/support/temp_dir.h"

namespace orva::test_support {
namespace {

namespace fs = std::filesystem;

// The folder with every link resolved, as the folders are known by; empty
// where it cannot be resolved (it does not exist).
fs::path Canonical(const fs::path& folder) {
  std::error_code error;
  fs::path resolved = fs::canonical(folder.empty() ? fs::path(".") : folder, error);
  return error ? fs::path() : resolved;
}

}  // namespace

PowerCutFileSystem::PowerCutFileSystem(const fs::path& folder)
    : real_(DefaultFileSystem()), root_(Canonical(folder)) {
  if (root_.empty()) throw std::logic_error("no folder to watch at " + folder.string());
  std::vector<fs::path> todo = {root_};
  while (!todo.empty()) {
    const fs::path at = std::move(todo.back());
    todo.pop_back();
    Folder& watched = folders_[at];
    for (const fs::directory_entry& entry : fs::directory_iterator(at)) {
      if (entry.is_symlink()) continue;
      if (entry.is_directory()) {
        todo.push_back(entry.path());
      } else if (entry.is_regular_file()) {
        const std::string name = PathToUtf8(entry.path().filename());
        watched.names[name] = NewFileId(ReadFileBytes(entry.path()), true);
      }
    }
    watched.flushed = watched.names;
  }
}

FolderState PowerCutFileSystem::StateAfterPowerCut(const fs::path& folder) const {
  const Folder* watched = FolderAt(Canonical(folder));
  if (watched == nullptr) throw std::logic_error(folder.string() + " is not watched");
  FolderState state;
  for (const auto& [name, file] : watched->flushed) {
    state[name] = files_[file].synced.value_or(std::vector<std::byte>{});
  }
  return state;
}

void PowerCutFileSystem::WriteStateAfterPowerCut(const fs::path& to) const {
  for (const auto& [name, bytes] : StateAfterPowerCut()) {
    WriteFileBytes(to / PathFromUtf8(name), bytes);
  }
}

Result<fs::path> PowerCutFileSystem::ResolvePath(const fs::path& path) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.ResolvePath(path);
}

Result<FileInfo> PowerCutFileSystem::Stat(const fs::path& path) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.Stat(path);
}

Result<FileInfo> PowerCutFileSystem::Info(int fd) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.Info(fd);
}

Result<std::vector<std::string>> PowerCutFileSystem::ListFolder(const fs::path& folder) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.ListFolder(folder);
}

Result<int> PowerCutFileSystem::Open(const fs::path& path, OpenMode mode) {
  if (Status s = Enter(); !s.ok()) return s;
  Result<int> fd = real_.Open(path, mode);
  if (!fd.ok()) return fd;
  const Place place = PlaceOf(path);
  if (place.folder != nullptr) {
    const auto named = place.folder->names.find(place.name);
    if (named == place.folder->names.end()) {
      (void)real_.Close(*fd);
      throw std::logic_error("opened " + path.string() + ", which no call made");
    }
    open_[*fd] = {named->second, 0};
  }
  return fd;
}

Result<std::size_t> PowerCutFileSystem::ReadAt(int fd, std::int64_t offset,
                                               std::span<std::byte> out) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.ReadAt(fd, offset, out);
}

Result<bool> PowerCutFileSystem::TryLock(int fd) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.TryLock(fd);
}

void PowerCutFileSystem::Pause(std::chrono::milliseconds) { (void)Enter(); }

Result<int> PowerCutFileSystem::CreateUnnamed(const fs::path& folder, NewFileAccess access) {
  if (Status s = Enter(); !s.ok()) return s;
  if (!unnamed_) return Status::Unsupported("this file system makes no unnamed files");
  Result<int> fd = real_.CreateUnnamed(folder, access);
  if (fd.ok() && FolderAt(Canonical(folder)) != nullptr) open_[*fd] = {NewFileId({}, false), 0};
  return fd;
}

Result<int> PowerCutFileSystem::CreateExclusive(const fs::path& path, NewFileAccess access) {
  if (Status s = Enter(); !s.ok()) return s;
  Result<int> fd = real_.CreateExclusive(path, access);
  if (!fd.ok()) return fd;
  const Place place = PlaceOf(path);
  if (place.folder != nullptr) {
    const std::size_t file = NewFileId({}, false);
    place.folder->names[place.name] = file;
    open_[*fd] = {file, 0};
  }
  return fd;
}

Result<std::size_t> PowerCutFileSystem::Write(int fd, std::span<const std::byte> bytes) {
  if (Status s = Enter(); !s.ok()) return s;
  Result<std::size_t> written = real_.Write(fd, bytes);
  Descriptor* descriptor = DescriptorOf(fd);
  if (!written.ok() || descriptor == nullptr) return written;
  std::vector<std::byte>& contents = files_[descriptor->file].written;
  const std::size_t end = descriptor->offset + *written;
  if (contents.size() < end) contents.resize(end);
  std::copy_n(bytes.begin(), *written, contents.begin() + descriptor->offset);
  descriptor->offset = end;
  return written;
}

Status PowerCutFileSystem::CopyMetadata(int from, int to) {
  if (Status s = Enter(); !s.ok()) return s;
  return real_.CopyMetadata(from, to);
}

Status PowerCutFileSystem::Sync(int fd) {
  if (Status s = Enter(); !s.ok()) return s;
  Status synced = real_.Sync(fd);
  if (const Descriptor* descriptor = DescriptorOf(fd); synced.ok() && descriptor != nullptr) {
    files_[descriptor->file].synced = files_[descriptor->file].written;
  }
  return synced;
}

Status PowerCutFileSystem::Link(int fd, const fs::path& path) {
  if (Status s = Enter(); !s.ok()) return s;
  Status linked = real_.Link(fd, path);
  const Place place = PlaceOf(path);
  if (!linked.ok() || place.folder == nullptr) return linked;
  const Descriptor* descriptor = DescriptorOf(fd);
  if (descriptor == nullptr) throw std::logic_error("linked a file no call made");
  place.folder->names[place.name] = descriptor->file;
  return linked;
}

Status PowerCutFileSystem::Close(int fd) {
  open_.erase(fd);
  if (Status s = Enter(); !s.ok()) {
    (void)real_.Close(fd);
    return s;
  }
  return real_.Close(fd);
}

Status PowerCutFileSystem::Rename(const fs::path& from, const fs::path& to) {
  if (Status s = Enter(); !s.ok()) return s;
  // Found before the rename, while the name still leads to its folder.
  const Place source = PlaceOf(from);
  const Place target = PlaceOf(to);
  Status renamed = real_.Rename(from, to);
  if (!renamed.ok()) return renamed;
  std::optional<std::size_t> file;
  if (source.folder != nullptr) {
    const auto named = source.folder->names.find(source.name);
    if (named == source.folder->names.end()) {
      throw std::logic_error("renamed " + from.string() + ", which no call made");
    }
    file = named->second;
    source.folder->names.erase(named);
  }
  if (target.folder != nullptr) {
    if (!file) throw std::logic_error("renamed a file from outside the watched folder");
    target.folder->names[target.name] = *file;
  }
  return renamed;
}

Status PowerCutFileSystem::Unlink(const fs::path& path) {
  if (Status s = Enter(); !s.ok()) return s;
  const Place place = PlaceOf(path);
  Status unlinked = real_.Unlink(path);
  if (unlinked.ok() && place.folder != nullptr) place.folder->names.erase(place.name);
  return unlinked;
}

Status PowerCutFileSystem::SyncDirectory(const fs::path& folder) {
  if (Status s = Enter(); !s.ok()) return s;
  Status synced = real_.SyncDirectory(folder);
  if (Folder* watched = FolderAt(Canonical(folder)); synced.ok() && watched != nullptr) {
    watched->flushed = watched->names;
  }
  return synced;
}

Status PowerCutFileSystem::Enter() {
  ++calls_;
  if (!cut_after_ || calls_ <= *cut_after_) return Status::Ok();
  refused_ = true;
  return Status::Io("Input/output error: the power is off");
}

PowerCutFileSystem::Folder* PowerCutFileSystem::FolderAt(const fs::path& folder) {
  const auto found = folders_.find(folder);
  return found == folders_.end() ? nullptr : &found->second;
}

const PowerCutFileSystem::Folder* PowerCutFileSystem::FolderAt(const fs::path& folder) const {
  const auto found = folders_.find(folder);
  return found == folders_.end() ? nullptr : &found->second;
}

PowerCutFileSystem::Place PowerCutFileSystem::PlaceOf(const fs::path& path) {
  return {FolderAt(Canonical(path.parent_path())), PathToUtf8(path.filename())};
}

PowerCutFileSystem::Descriptor* PowerCutFileSystem::DescriptorOf(int fd) {
  const auto found = open_.find(fd);
  return found == open_.end() ? nullptr : &found->second;
}

std::size_t PowerCutFileSystem::NewFileId(std::vector<std::byte> bytes, bool on_disk) {
  File& file = files_.emplace_back();
  if (on_disk) file.synced = bytes;
  file.written = std::move(bytes);
  return files_.size() - 1;
}

}  // namespace orva::test_support
