#include "storage/whole_file.h"

#include <cstdint>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "storage/quote.h"

namespace orva {
namespace {

// Memory for `size` bytes that the read fills; the advice for large pages
// changes nothing else, and is dropped where refused.
std::unique_ptr<std::byte[]> BufferFor(std::size_t size) {
  auto bytes = std::make_unique_for_overwrite<std::byte[]>(size);
#if defined(__linux__)
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) {
    const auto mask = ~(static_cast<std::uintptr_t>(page) - 1);
    const auto at = reinterpret_cast<std::uintptr_t>(bytes.get());
    const std::uintptr_t start = (at + static_cast<std::uintptr_t>(page) - 1) & mask;
    const std::uintptr_t end = (at + size) & mask;
    if (end > start) (void)madvise(bytes.get() + (start - at), end - start, MADV_HUGEPAGE);
  }
#endif
  return bytes;
}

}  // namespace

bool SameState(const FileInfo& now, const FileInfo& then) {
  return now.SameFile(then) && now.size == then.size && now.modified_ns == then.modified_ns &&
         now.changed_ns == then.changed_ns;
}

Result<WholeFile> ReadWholeFileToKeep(const std::filesystem::path& path, ReadLimit limit,
                                      FileSystem& fs) {
  Result<RegularFile> file = OpenRegularFile(path, OpenMode::kRead, fs);
  if (!file.ok()) return file.status();
  if (Status s = CheckReadLimit(file->info, path, limit); !s.ok()) return s;
  WholeFile whole;
  whole.size = static_cast<std::size_t>(file->info.size);
  whole.bytes = BufferFor(whole.size);
  if (Status s = ReadAllOf(fs, file->file.fd(), path, {whole.bytes.get(), whole.size}); !s.ok()) {
    return s;
  }
  Result<FileInfo> after = fs.Info(file->file.fd());
  if (!after.ok()) return after.status();
  if (!SameState(*after, file->info)) {
    return Status::Busy(DescribePath(path) +
                        " changed while it was read; try again when no other program is "
                        "writing it");
  }
  (void)file->file.Close();  // it was only read
  whole.info = file->info;
  return whole;
}

}  // namespace orva
