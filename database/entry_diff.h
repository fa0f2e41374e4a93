// What changed between two versions of a database: entries added, removed
// and given another text, matched by id. Where an id names several entries
// they are matched by their order among them: the 2nd entry with id 7000 in
// the old version with the 2nd in the new one. So, of the entries with one
// id, the first ones of the two versions pair up and the rest of the longer
// list are added (in the new version) or removed (from the old one).
//
// Both versions are what ReadEntryTexts read from well-formed databases. The
// work is a sort of each version by id and one pass over both: a database of
// 64 MiB has about a million entries.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "database/text_edit.h"

namespace orva {

// An entry named by its id and its place among the entries with that id
// (from 1), and how its key is written: "5003", or "7000#2" where the id
// names more than one entry in either version.
struct EntryKey {
  std::int32_t id = 0;
  std::uint32_t occurrence = 1;
  bool numbered = false;  // written ID#N

  std::string Text() const;
  friend bool operator==(const EntryKey& a, const EntryKey& b) {
    return a.id == b.id && a.occurrence == b.occurrence;
  }
  friend std::strong_ordering operator<=>(const EntryKey& a, const EntryKey& b) {
    if (auto c = a.id <=> b.id; c != 0) return c;
    return a.occurrence <=> b.occurrence;
  }
};

// The entries of one version by id.
class EntryIndex {
 public:
  explicit EntryIndex(std::span<const EntryText> entries);

  // Where the entry at `index` (in table order, from 0) stands among those
  // with its id, from 1.
  std::uint32_t Occurrence(std::size_t index) const { return occurrence_[index]; }
  // How many entries have the id.
  std::size_t Count(std::int32_t id) const;
  // The index of the entry the key names, if there is one.
  std::optional<std::size_t> Find(const EntryKey& key) const;
  // The indexes of the entries, by id and in table order within an id.
  std::span<const std::uint32_t> ById() const { return by_id_; }

 private:
  std::vector<std::uint32_t> by_id_;
  std::vector<std::int32_t> ids_;  // the ids in the order of by_id_
  std::vector<std::uint32_t> occurrence_;
};

enum class DifferenceKind { kChanged, kAdded, kRemoved };

struct EntryDifference {
  DifferenceKind kind = DifferenceKind::kChanged;
  EntryKey key;
  const EntryText* old_entry = nullptr;  // null when added
  const EntryText* new_entry = nullptr;  // null when removed
};

struct EntryDiff {
  // By id, then by place among the entries with the id.
  std::vector<EntryDifference> differences;
  // Two entries that both versions have and that lie in one order in the old
  // version and in the other in the new (the first such pair in the old
  // table: the earlier, then the later), if any. The differences above do
  // not show that.
  std::optional<std::pair<EntryKey, EntryKey>> reordered;
};

EntryDiff DiffEntries(std::span<const EntryText> old_entries, const EntryIndex& old_index,
                      std::span<const EntryText> new_entries, const EntryIndex& new_index);

// How two well-formed versions differ besides their entries' ids and texts,
// in plain words, one a difference: the order of the entries, the header
// word, an end marker past the table, the bytes between the table and the
// first text or after the last one. Empty when the entries tell it all.
std::vector<std::string> OtherDifferences(std::span<const std::byte> old_database,
                                          std::span<const EntryText> old_entries,
                                          std::span<const std::byte> new_database,
                                          std::span<const EntryText> new_entries,
                                          const EntryDiff& diff);

}  // namespace orva
