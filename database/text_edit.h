// Changing the texts of existing entries and removing entries.
//
// Both work only on a well-formed database (CheckTextLayout finds nothing): its
// texts lie in entry order, each after the NUL of the one before, so every
// text offset past an entry's text lies past that text's NUL, and a text can
// grow, shrink or go by moving what follows it and correcting those offsets.
//
// Giving entry k a new text S (s bytes) in place of its old one (l bytes):
//   - the bytes of the old text are replaced by S, its NUL stays;
//   - every text offset that points past the old text grows by s - l; the
//     table, the entry count, the header word and all other bytes stay.
// Removing entry k:
//   - its 8 bytes leave the table, and its text and that text's NUL leave the
//     text area; the entry count falls by one;
//   - text offsets of texts before its text fall by 8, of texts after it by
//     8 + l + 1. A marker just past the table moves with the table.
// The end marker (the entry insertions go before) cannot be removed, nor the
// entry before it when it is entry 1, which would leave the marker first.
//
// Two entries that share one text (the same text offset) are no well-formed
// database, and `check` says so: editing one would change the other's text
// too, and giving it a text of its own would put it out of entry order. Such
// a database is refused, and the user sees which entries share a text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// An entry of the table and its text as stored (without its NUL; a view into
// the database's bytes).
struct EntryText {
  std::size_t slot = 0;  // its table position, from 1
  std::int32_t id = 0;
  std::size_t offset = 0;
  std::span<const std::byte> text;
};

// Refuses (kMalformed) a database that is not well-formed, naming every
// problem CheckTextLayout finds, as ReadEntryTexts does.
Status CheckTextsWellFormed(std::span<const std::byte> database);

// The N entries of a well-formed database in table order. Refuses
// (kMalformed) any other, naming every problem CheckTextLayout finds (a
// mission the window does not list is none).
Result<std::vector<EntryText>> ReadEntryTexts(std::span<const std::byte> database);

// An id, and where it names several entries, the table slot of the one meant.
struct EntryChoice {
  std::int32_t id = 0;
  std::optional<std::size_t> slot;
};

// The index into `entries` of the entry chosen. Refuses an id no entry has
// and, without a slot, an id several entries have, naming their slots; a
// slot that does not hold the id.
Result<std::size_t> ChooseEntry(std::span<const EntryText> entries, const EntryChoice& choice);
// The same, given the indexes of the entries that have the id, in order (for
// many choices among many entries).
Result<std::size_t> ChooseEntry(std::span<const EntryText> entries, const EntryChoice& choice,
                                std::span<const std::size_t> with_id);

// A new text for the entry in a table slot, as stored (any bytes but NUL).
struct TextChange {
  std::size_t slot = 0;
  std::vector<std::byte> text;
};

// Plans new texts for several entries at once, the texts of `changes` in any
// order (one change a slot). The pieces keep views into `database`.
Result<NewContents> PlanTextChanges(std::span<const std::byte> database,
                                    std::span<const TextChange> changes);
// The same, given what ReadEntryTexts read from `database`.
Result<NewContents> PlanTextChanges(std::span<const std::byte> database,
                                    std::span<const EntryText> entries,
                                    std::span<const TextChange> changes);
// Plans the removal of the entry in table slot `slot`.
Result<NewContents> PlanRemoval(std::span<const std::byte> database, std::size_t slot);

// What a removal takes out of a database: enough to put it back.
struct RemovedEntry {
  std::size_t slot = 0;  // its table slot, from 1
  std::int32_t id = 0;
  std::size_t offset = 0;       // its text offset before the removal
  std::vector<std::byte> text;  // as stored, without its NUL
};

// Puts back an entry that PlanRemoval took out of a database whose bytes are
// now `database`: byte for byte the database before the removal. The entry
// goes into its slot, its text (and a NUL) where its text was, which is 8
// bytes before its old offset, as the table is an entry shorter; offsets of
// texts from there on grow by 8 + l + 1, of texts before it by 8. Refuses a
// slot past the one after the table's last and a text that would not lie
// between the texts of the entries around its slot.
Result<NewContents> PlanRestoration(std::span<const std::byte> database,
                                    const RemovedEntry& removed);

// What a well-formed database holds besides its entries and their texts,
// which every plan here carries over as it is.
struct Surroundings {
  std::int32_t header_word = 0;
  // The end marker's slot lies just past the table (slot N + 1), its text
  // `marker_in_tail` bytes into the tail: it moves with the table.
  bool marker_past_table = false;
  std::size_t marker_in_tail = 0;
  std::span<const std::byte> gap;   // between the table (and such a marker) and the first text
  std::span<const std::byte> tail;  // after the last text's NUL
};
// Of a database and what ReadEntryTexts read from it.
Surroundings SurroundingsOf(std::span<const std::byte> database,
                            std::span<const EntryText> entries);

// An entry of a table planned anew: its id and its text as stored (any bytes
// but NUL), a view into the database for a text it keeps or into bytes that
// outlive the plan.
struct PlannedEntry {
  std::int32_t id = 0;
  std::span<const std::byte> text;
};

// Plans the database whose table is `table`, in that order, in place of
// `entries` (what ReadEntryTexts read from `database`): the texts follow one
// another, each ended by a NUL, from where the first text was; the
// surroundings stay, a marker past the table moving with it and re-pointed at
// its text. What PlanTextChanges and PlanRemoval plan is what this plans for
// their tables. Refuses a text with a NUL and a result past 2 GiB.
Result<NewContents> PlanTable(std::span<const std::byte> database,
                              std::span<const EntryText> entries,
                              std::span<const PlannedEntry> table);
// Plans a new entry with `id` and `text` in table slot `slot` (1 ... N + 1):
// the entries from that slot on move one slot on, and its text goes between
// those of its neighbours. Byte for byte the inverse of PlanRemoval: given
// PlanRemoval(db, k), the id and text that entry k had, and k, it gives db.
Result<NewContents> PlanInsertionAtSlot(std::span<const std::byte> database, std::size_t slot,
                                        std::int32_t id, std::span<const std::byte> text);

// The pieces put together, as the rewrite writes them.
std::vector<std::byte> Joined(const NewContents& contents);

// What an edit did, texts in UTF-8 (ExchangeText).
struct EditedEntry {
  std::size_t slot = 0;
  std::int32_t id = 0;
  std::string old_text;
  std::string new_text;  // empty after a removal
  std::string warning;   // as in Rewritten
};

// Gives the chosen entry of the database at `path` the text `stored` (bytes
// as the database stores them) with one RewriteDatabase.
// `before_rename` and `fs` as in RewriteDatabase (a backup).
Result<EditedEntry> SetEntryText(const std::filesystem::path& path, const EntryChoice& choice,
                                 std::span<const std::byte> stored,
                                 const BeforeRename& before_rename = {},
                                 FileSystem& fs = DefaultFileSystem());
// Removes the chosen entry and its text with one RewriteDatabase.
Result<EditedEntry> RemoveEntry(const std::filesystem::path& path, const EntryChoice& choice,
                                const BeforeRename& before_rename = {},
                                FileSystem& fs = DefaultFileSystem());

}  // namespace orva
