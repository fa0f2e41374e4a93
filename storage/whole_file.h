// A file read whole into memory that is kept, as the editor keeps the
// database it edits and the reference beside it.
//
// The memory is not cleared before the read fills it and, on Linux, is
// asked for in large pages where the system gives them on request: reading
// 64 MiB then faults in some 32 pages rather than 16,384, where clearing
// first would touch every page twice (each first touch of a page costs the
// kernel a fault, most of such a read's time).
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>

#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct WholeFile {
  std::unique_ptr<std::byte[]> bytes;
  std::size_t size = 0;
  FileInfo info;  // as it stood while it was read

  std::span<const std::byte> view() const { return {bytes.get(), size}; }
};

// The regular file at `path`, checked against `limit` and read whole.
// Refuses (kBusy) a file another program changed while it was read.
Result<WholeFile> ReadWholeFileToKeep(const std::filesystem::path& path, ReadLimit limit,
                                      FileSystem& fs = DefaultFileSystem());

// Whether `now` is the file `then` was, of the same size and times.
bool SameState(const FileInfo& now, const FileInfo& then);

}  // namespace orva
