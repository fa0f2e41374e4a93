// The platform-neutral helpers over the FileSystem seam.
#include "storage/file_system.h"

#include <utility>

#include "storage/quote.h"

namespace orva {

OpenFile::OpenFile(OpenFile&& other) noexcept : fs_(other.fs_), fd_(std::exchange(other.fd_, -1)) {}

OpenFile& OpenFile::operator=(OpenFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) (void)fs_->Close(fd_);
    fs_ = other.fs_;
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

OpenFile::~OpenFile() {
  if (fd_ >= 0) (void)fs_->Close(fd_);  // already failing: the first error is the one to tell
}

Status OpenFile::Close() {
  if (fd_ < 0) return Status::Ok();  // closed already
  return fs_->Close(std::exchange(fd_, -1));
}

Result<RegularFile> OpenRegularFile(const std::filesystem::path& path, OpenMode mode,
                                    FileSystem& fs) {
  auto not_regular = [&] {
    return Status::Unsupported(DescribePath(path) + " is not a regular file");
  };
  Result<FileInfo> before = fs.Stat(path);
  if (!before.ok()) return before.status();
  if (!before->regular()) return not_regular();
  Result<int> fd = fs.Open(path, mode);
  if (!fd.ok()) return fd.status();
  OpenFile file(fs, *fd);
  Result<FileInfo> info = fs.Info(file.fd());
  if (!info.ok()) return info.status();
  if (!info->regular()) return not_regular();
  return RegularFile{std::move(file), *info};
}

Result<std::size_t> ReadFully(FileSystem& fs, int fd, std::int64_t offset,
                              std::span<std::byte> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    Result<std::size_t> n =
        fs.ReadAt(fd, offset + static_cast<std::int64_t>(done), out.subspan(done));
    if (!n.ok()) return n.status();
    if (*n == 0) break;
    done += *n;
  }
  return done;
}

Status CheckReadLimit(const FileInfo& info, const std::filesystem::path& path, ReadLimit limit) {
  if (info.size <= limit.bytes) return Status::Ok();
  return Status::NoRoom(DescribePath(path) + " has " + std::to_string(info.size) +
                        " bytes, more than " + std::string(limit.reason) + ", so it is not read");
}

Status ReadAllOf(FileSystem& fs, int fd, const std::filesystem::path& path,
                 std::span<std::byte> out) {
  Result<std::size_t> read = ReadFully(fs, fd, 0, out);
  if (!read.ok()) return read.status().Within("cannot read " + DescribePath(path) + " (", ")");
  if (*read != out.size()) {
    return Status::Busy(DescribePath(path) +
                        " is being changed by another program; try again when it is done");
  }
  return Status::Ok();
}

Result<std::vector<std::byte>> ReadWholeFile(const std::filesystem::path& path, ReadLimit limit,
                                             FileSystem& fs) {
  Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
  if (!file.ok()) return file.status();
  if (Status s = CheckReadLimit(file->info, path, limit); !s.ok()) return s;
  std::vector<std::byte> bytes(static_cast<std::size_t>(file->info.size));
  if (Status s = ReadAllOf(fs, file->file.fd(), path, bytes); !s.ok()) return s;
  return bytes;
}

}  // namespace orva
