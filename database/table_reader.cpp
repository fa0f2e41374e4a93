#include "database/table_reader.h"

#include <algorithm>
#include <string>

#include "database/format.h"

namespace orva {

TableReader::TableReader(std::span<const std::byte> bytes)
    : size_(static_cast<std::int64_t>(bytes.size())), window_(bytes) {}

TableReader::TableReader(FileSystem& fs, int fd, std::int64_t size, std::size_t block)
    : fs_(&fs), fd_(fd), size_(size), buffer_(block) {}

Status TableReader::Load(std::int64_t offset) {
  const auto wanted = static_cast<std::size_t>(
      std::min<std::int64_t>(static_cast<std::int64_t>(buffer_.size()), size_ - offset));
  Result<std::size_t> got = ReadFully(*fs_, fd_, offset, std::span(buffer_).first(wanted));
  if (!got.ok()) return got.status();
  window_ = std::span<const std::byte>(buffer_).first(*got);
  window_start_ = offset;
  return Status::Ok();
}

Status TableReader::Read(std::int64_t offset, std::span<std::byte> out) {
  std::fill(out.begin(), out.end(), std::byte{0});
  const std::int64_t from = std::max<std::int64_t>(offset, 0);
  const std::int64_t to = std::min(offset + static_cast<std::int64_t>(out.size()), size_);
  if (from >= to) return Status::Ok();
  std::span<std::byte> part =
      out.subspan(static_cast<std::size_t>(from - offset), static_cast<std::size_t>(to - from));
  const bool at_hand =
      from >= window_start_ && to <= window_start_ + static_cast<std::int64_t>(window_.size());
  if (!at_hand && fs_ != nullptr) {
    // A run longer than a block is read straight into place.
    if (part.size() > buffer_.size()) return ReadFully(*fs_, fd_, from, part).status();
    if (Status s = Load(from); !s.ok()) return s;
  }
  const std::int64_t available =
      std::min(to, window_start_ + static_cast<std::int64_t>(window_.size())) - from;
  if (available > 0) {
    const auto start = window_.begin() + static_cast<std::ptrdiff_t>(from - window_start_);
    std::copy_n(start, available, part.begin());  // less only when the file shrank
  }
  return Status::Ok();
}

// Across the edge of the bytes at hand, outside them or past the end.
Result<std::int32_t> TableReader::Int32Elsewhere(std::int64_t offset) {
  std::byte four[4];
  if (Status s = Read(offset, four); !s.ok()) return s;
  return DecodeInt32(four, 0);
}

Result<std::byte> TableReader::ByteAt(std::int64_t offset) {
  std::byte one[1];
  if (Status s = Read(offset, one); !s.ok()) return s;
  return one[0];
}

Result<TableEntry> TableReader::Entry(std::int64_t k) {
  Result<std::int32_t> id = Int32At(format::SlotOffset(k));
  if (!id.ok()) return id.status();
  Result<std::int32_t> text_offset = Int32At(format::TextOffsetField(k));
  if (!text_offset.ok()) return text_offset.status();
  return TableEntry{*id, *text_offset};
}

Result<std::int64_t> TableReader::LastNul() {
  auto last_in = [](std::span<const std::byte> bytes) -> std::int64_t {
    const auto it = std::find(bytes.rbegin(), bytes.rend(), std::byte{0});
    return it == bytes.rend() ? -1 : static_cast<std::int64_t>(bytes.rend() - it) - 1;
  };
  if (fs_ == nullptr) return last_in(window_);
  // From the end backwards, a block at a time.
  for (std::int64_t end = size_; end > 0;) {
    const std::int64_t start =
        std::max<std::int64_t>(0, end - static_cast<std::int64_t>(buffer_.size()));
    if (Status s = Load(start); !s.ok()) return s;
    const std::span<const std::byte> block =
        window_.first(std::min(window_.size(), static_cast<std::size_t>(end - start)));
    if (const std::int64_t at = last_in(block); at >= 0) return start + at;
    end = start;
  }
  return std::int64_t{-1};
}

Result<TableHeader> ReadTableHeader(TableReader& reader) {
  if (reader.size() < format::kSmallestWithCount) {
    return Status::Malformed("the file is too short (" + std::to_string(reader.size()) +
                             " bytes) to hold the entry count of a text database");
  }
  Result<std::int32_t> count = reader.Int32At(format::kCountOffset);
  if (!count.ok()) return count.status();
  if (*count < 0) {
    return Status::Malformed("the entry count is negative (" + std::to_string(*count) + ")");
  }
  return TableHeader{*count, format::SlotOffset(std::int64_t{*count} + 1)};
}

Status CheckTableFits(const TableHeader& header, std::int64_t size) {
  if (header.table_end <= size) return Status::Ok();
  return Status::Malformed("the entry table of " + std::to_string(header.count) +
                           " entries needs " + std::to_string(header.table_end) +
                           " bytes with the count and the header word, but the file has " +
                           std::to_string(size));
}

}  // namespace orva
