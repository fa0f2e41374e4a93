// A second database opened beside the one being edited, read only: the
// reference, whose texts (the source language) a translation is made from.
//
// Its entries are joined to the other database's by id. Where an id names
// several entries, they pair up by their order among them: the 2nd entry
// with id 7000 in one file with the 2nd in the other, as a diff matches two
// versions (entry_diff.h). An entry with no partner is only in its file.
//
// A reference holds its file's bytes once and nothing else: an entry's id
// and where its text lies it reads from the file's own table when asked, so
// that the reference beside a database of a million entries costs what its
// file does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <span>
#include <vector>

#include "database/format.h"
#include "database/little_endian.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// How the entries of a database pair up with those of a reference.
struct EntryJoin {
  static constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();
  // For each entry of the database (by index, in table order), the index of
  // its partner in the reference, or kNone.
  std::vector<std::uint32_t> partner;
  // The indexes of the reference's entries that have no partner, in order.
  std::vector<std::uint32_t> only_in_reference;

  std::size_t OnlyInDatabase() const;
};

// The ids of a well-formed database's entries in table order, read from its
// table as they are asked for.
class TableIds {
 public:
  TableIds() = default;
  // The first `count` entries of the table of `database`, which holds them.
  TableIds(std::span<const std::byte> database, std::size_t count)
      : table_(database.first(format::SlotOffset(count + 1))), count_(count) {}

  std::size_t size() const { return count_; }
  // Entry i's (from 0; its table slot is i + 1).
  std::int32_t operator[](std::size_t i) const {
    return DecodeInt32(table_, format::SlotOffset(i + 1));
  }

 private:
  std::span<const std::byte> table_;
  std::size_t count_ = 0;
};

// Joins the entries whose ids are `ids` (in table order) to those whose ids
// are `reference_ids`: time n log n, and 4 bytes an entry of each side whose
// ids do not rise besides the result; sides whose ids rise, as a game's
// mostly do, are joined in one pass with nothing besides.
EntryJoin JoinById(std::span<const std::int32_t> ids, std::span<const std::int32_t> reference_ids);
EntryJoin JoinById(std::span<const std::int32_t> ids, const TableIds& reference_ids);

class ReferenceDatabase {
 public:
  // Reads the database at `path` whole through `fs`; refuses, as
  // ReadEntryTexts does, one that is not well-formed, and one past 4 GiB.
  static Result<ReferenceDatabase> Open(const std::filesystem::path& path,
                                        FileSystem& fs = DefaultFileSystem());
  // The same for bytes in memory, which it copies.
  static Result<ReferenceDatabase> FromBytes(std::span<const std::byte> bytes);

  std::size_t size() const { return count_; }
  TableIds ids() const { return {{bytes_.get(), size_}, count_}; }
  // Entry i (from 0, in table order; its table slot is i + 1): its text as
  // stored, without the NUL.
  std::span<const std::byte> text(std::size_t i) const;

 private:
  static Result<ReferenceDatabase> Index(std::unique_ptr<std::byte[]> kept, std::size_t size);

  std::unique_ptr<std::byte[]> bytes_;
  std::size_t size_ = 0;   // of bytes_
  std::size_t count_ = 0;  // of entries
};

}  // namespace orva
