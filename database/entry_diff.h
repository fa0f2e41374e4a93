// What changed between two versions of a database: entries added, removed
// and given another text, matched by id. Where an id names several entries
// they are matched by their order among them: the 2nd entry with id 7000 in
// the old version with the 2nd in the new one. So, of the entries with one
// id, the first ones of the two versions pair up and the rest of the longer
// list are added (in the new version) or removed (from the old one).
//
// Both versions are what ReadEntryTexts read from well-formed databases, or
// the new one is summed up (SummedVersion below): then only one version is
// held whole at a time. The work is a sort of each version by id and one pass
// over both: a database of 64 MiB has about a million entries.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "database/sha256.h"
#include "database/text_edit.h"
#include "storage/file_system.h"

namespace orva {

// A 64-bit digest of texts under a key drawn afresh for each digester
// (SipHash-1-3): two different texts share a digest with a chance of 2^-64,
// whatever they hold, as no one who writes them knows the key.
class TextDigester {
 public:
  TextDigester();  // a key from std::random_device
  explicit TextDigester(const std::array<std::uint64_t, 2>& key) : key_(key) {}
  std::uint64_t operator()(std::span<const std::byte> text) const;

 private:
  std::array<std::uint64_t, 2> key_;
};

// What a diff keeps of an entry of a version it does not hold whole.
struct EntrySum {
  std::int32_t id = 0;
  std::uint32_t size = 0;  // of its text
  std::uint64_t digest = 0;
};

// A well-formed version read whole once and let go of: each entry summed up,
// what lies around the texts, and the file kept open, so that the texts a
// diff needs are read again from the very file, which must not have changed
// meanwhile (ReadAgain refuses it then).
struct SummedVersion {
  std::filesystem::path path;
  RegularFile file;  // as it was when read whole
  std::int64_t size = 0;
  Sha256Digest sha256{};  // where asked for
  std::vector<EntrySum> entries;
  std::size_t first_text = 0;  // the offset of entry 1's text; the others follow
  std::int32_t header_word = 0;
  bool marker_past_table = false;
  std::size_t marker_in_tail = 0;
  std::vector<std::byte> gap;
  std::vector<std::byte> tail;

  Surroundings surroundings() const {
    return {header_word, marker_past_table, marker_in_tail, gap, tail};
  }
};

// Reads the database at `path` whole (kDatabaseReadLimit) through `fs`, sums
// it up with `digester` and, with `sha256`, hashes it too, on a thread of its
// own while it is summed up. Refuses what ReadEntryTexts refuses.
Result<SummedVersion> SumUpVersion(const std::filesystem::path& path, const TextDigester& digester,
                                   bool sha256, FileSystem& fs = DefaultFileSystem());

// Checks that the summed-up version's file is as it was when read whole; any
// change to its size, contents or metadata since is refused (kBusy). `fs` is
// the file system the version was summed up through, which its file is open in.
Status CheckUnchanged(FileSystem& fs, const SummedVersion& version);

// A version's SHA-256 on a thread of its own, or later on the caller's where
// no thread can be had.
std::future<Sha256Digest> Sha256Aside(std::span<const std::byte> bytes);

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
  explicit EntryIndex(std::span<const EntrySum> entries);

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
  template <typename Entry>
  void Sort(std::span<const Entry> entries);

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

// The differences from a version at hand to a summed-up one, told apart by
// the texts' sizes and digests, with the entries of the new version that
// they concern: their texts read again from its file (checked against their
// digests, the file checked unchanged). Moving it keeps the views into it.
struct SummedDiff {
  EntryDiff diff;  // new_entry points into `read_again`
  std::unique_ptr<std::vector<EntryText>> read_again;
  std::unique_ptr<std::vector<std::byte>> texts;  // what `read_again` views
};

// `fs` is the file system `new_version` was summed up through (CheckUnchanged).
Result<SummedDiff> DiffEntries(FileSystem& fs, std::span<const EntryText> old_entries,
                               const EntryIndex& old_index, const SummedVersion& new_version,
                               const EntryIndex& new_index, const TextDigester& digester);

// How two well-formed versions differ besides their entries' ids and texts,
// in plain words, one a difference: the order of the entries, the header
// word, an end marker past the table, the bytes between the table and the
// first text or after the last one. Empty when the entries tell it all.
std::vector<std::string> OtherDifferences(std::span<const std::byte> old_database,
                                          std::span<const EntryText> old_entries,
                                          std::span<const std::byte> new_database,
                                          std::span<const EntryText> new_entries,
                                          const EntryDiff& diff);
// The same, given what lies around each version's texts.
std::vector<std::string> OtherDifferences(const Surroundings& was, const Surroundings& is,
                                          const EntryDiff& diff);

}  // namespace orva
