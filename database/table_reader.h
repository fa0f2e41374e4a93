// Reading the parts of a database that the mission list, the layout check and
// the insertion look at (the entry count, table entries, single bytes and
// short runs of text) from bytes in memory or from an open file, one block at
// a time, so that a large file is never read whole for a few of its bytes.
// Bytes past the end of the data read as zeros, as a table slot past the end
// of a short file does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "database/little_endian.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct TableEntry {
  std::int32_t id = 0;
  std::int32_t text_offset = 0;
};

class TableReader {
 public:
  explicit TableReader(std::span<const std::byte> bytes);
  // Reads the open file `fd` of `size` bytes through `fs`, holding at most
  // `block` bytes of it at a time.
  TableReader(FileSystem& fs, int fd, std::int64_t size, std::size_t block);

  std::int64_t size() const { return size_; }

  // Copies the bytes at `offset` into `out`; a read error is the only failure.
  Status Read(std::int64_t offset, std::span<std::byte> out);
  Result<std::int32_t> Int32At(std::int64_t offset) {
    if (offset >= window_start_ &&
        offset + 4 <= window_start_ + static_cast<std::int64_t>(window_.size())) {
      return DecodeInt32(window_, static_cast<std::size_t>(offset - window_start_));
    }
    return Int32Elsewhere(offset);
  }
  Result<std::byte> ByteAt(std::int64_t offset);
  // Table slot k (1-based), at offset 8·k.
  Result<TableEntry> Entry(std::int64_t k);
  // Where the last NUL byte of the data lies; -1 when there is none. A text
  // starting at t is NUL-ended exactly when t is at most this.
  Result<std::int64_t> LastNul();

 private:
  Result<std::int32_t> Int32Elsewhere(std::int64_t offset);
  // Makes the bytes from `offset` on (as many as the block holds) the ones at hand.
  Status Load(std::int64_t offset);

  FileSystem* fs_ = nullptr;  // null when the data is in memory
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::vector<std::byte> buffer_;
  // The bytes at hand, and the offset of the first: all of them when in memory.
  std::span<const std::byte> window_;
  std::int64_t window_start_ = 0;
};

// The entry count, read and checked once for every reader of a database.
struct TableHeader {
  std::int32_t count = 0;      // N, never negative
  std::int64_t table_end = 0;  // 8·(N + 1): the first byte after the table
};

// Fails with kMalformed when the data is too short to hold the entry count
// or the count is negative; kIo on a read error.
Result<TableHeader> ReadTableHeader(TableReader& reader);

// kMalformed unless the whole table (with the count and the header word
// before it) lies inside the data.
Status CheckTableFits(const TableHeader& header, std::int64_t size);

}  // namespace orva
