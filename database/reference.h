// A second database opened beside the one being edited, read only: the
// reference, whose texts (the source language) a translation is made from.
//
// Its entries are joined to the other database's by id. Where an id names
// several entries, they pair up by their order among them: the 2nd entry
// with id 7000 in one file with the 2nd in the other, as a diff matches two
// versions (entry_diff.h). An entry with no partner is only in its file.
//
// A reference holds its file's bytes once and, for each entry, its id and
// where its text lies (12 bytes an entry), not an EntryText (40), so that
// the reference beside a database of a million entries costs about what its
// file does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <span>
#include <vector>

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

// Joins the entries whose ids are `ids` (in table order) to those whose ids
// are `reference_ids`: time n log n, 4 bytes an entry besides the result.
EntryJoin JoinById(std::span<const std::int32_t> ids, std::span<const std::int32_t> reference_ids);

class ReferenceDatabase {
 public:
  // Reads the database at `path` whole through `fs`; refuses, as
  // ReadEntryTexts does, one that is not well-formed, and one past 4 GiB.
  static Result<ReferenceDatabase> Open(const std::filesystem::path& path,
                                        FileSystem& fs = DefaultFileSystem());
  // The same for bytes in memory, which it copies.
  static Result<ReferenceDatabase> FromBytes(std::span<const std::byte> bytes);

  std::size_t size() const { return ids_.size(); }
  std::span<const std::int32_t> ids() const { return ids_; }
  // Entry i (from 0, in table order; its table slot is i + 1): its text as
  // stored, without the NUL.
  std::span<const std::byte> text(std::size_t i) const {
    return {bytes_.get() + places_[i].offset, places_[i].length};
  }

 private:
  struct Place {
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
  };
  static Result<ReferenceDatabase> Index(std::unique_ptr<std::byte[]> kept, std::size_t size);

  std::unique_ptr<std::byte[]> bytes_;
  std::vector<std::int32_t> ids_;
  std::vector<Place> places_;
};

}  // namespace orva
