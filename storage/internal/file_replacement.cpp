#include "storage/internal/file_replacement.h"

#include <new>
#include <string>
#include <vector>

#include "storage/internal/temporary_names.h"
#include "storage/quote.h"

namespace orva {

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

Status WriteAll(FileSystem& fs, int fd, std::span<const std::byte> bytes) {
  while (!bytes.empty()) {
    Result<std::size_t> written = fs.Write(fd, bytes);
    if (!written.ok()) return written.status();
    if (*written == 0) return Status::Io("cannot write: the file system accepted no more bytes");
    bytes = bytes.subspan(*written);
  }
  return Status::Ok();
}

NewFile::~NewFile() {
  if (in_place_ || !named_) return;
  (void)file_.Close();
  (void)fs_.Unlink(name_);  // nothing better to do if this fails
}

Status NewFile::Create(const std::filesystem::path& folder, NewFileAccess access) {
  Result<int> fd = fs_.CreateUnnamed(folder, access);
  if (!fd.ok() && fd.status().kind() == ErrorKind::kUnsupported) {
    fd = fs_.CreateExclusive(name_, access);
    named_ = fd.ok();
  }
  if (!fd.ok()) return fd.status();
  file_ = OpenFile(fs_, *fd);
  return Status::Ok();
}

Status NewFile::Name() {
  if (named_) return Status::Ok();
  Status linked = fs_.Link(file_.fd(), name_);
  named_ = linked.ok();
  return linked;
}

std::string FinishInPlace(FileSystem& fs, NewFile& file, const std::filesystem::path& folder) {
  file.InPlace();
  // The new contents are in place: from here on, nothing undoes the write,
  // so what fails is told as a warning, never as a write that did not happen.
  try {
    std::string warning;
    if (Status s = file.Close(); !s.ok()) {
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
  } catch (const std::bad_alloc&) {
    return "it may not survive a power cut: there was not enough memory to flush it to disk "
           "after it was put in place";
  }
}

}  // namespace orva
