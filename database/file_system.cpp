// The platform-neutral helpers over the FileSystem seam.
#include "database/file_system.h"

#include <utility>

#include "database/quote.h"

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

Result<RegularFile> OpenRegularFile(FileSystem& fs, const std::filesystem::path& path,
                                    OpenMode mode) {
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

}  // namespace orva
