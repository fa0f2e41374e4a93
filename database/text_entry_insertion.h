// Adding texts to a database as new entries just before the end marker.
//
// The new image is planned in memory from the old bytes (PlanInsertions,
// pure) and then put in place of the old file in one atomic replacement
// (InsertTextEntries), so the file on disk is always either the old database
// or the new one: a batch of texts goes in whole or not at all.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/mission_list.h"
#include "database/new_texts.h"
#include "database/status.h"

namespace orva {

class FileSystem;

// Inserting one text, with k the entry before the end marker, T the marker's
// text offset and S the s bytes of the text in Windows-1251:
//   - the new entry (id of entry k + 1, text offset T + 8) takes slot k + 1;
//     the marker and every later entry move one slot on;
//   - the text area is moved 8 bytes on, and S is placed at T + 8, ended by a
//     copy of the byte before the marker's text (the NUL ending the text
//     before it), so the marker's text and everything after it land at
//     T + s + 9;
//   - texts lying before T are re-pointed by +8, texts at or after T by
//     +s + 9; the entry count grows by one; the header word is never changed.
// A marker just past the table (slot N + 1) moves one slot on like the entries
// and its text offset is corrected too, so that later insertions find it.
//
// Several texts give, byte for byte, what inserting them one after the other
// gives, planned at once: the new entries follow entry k in the order of the
// texts, numbered on from its id, and their texts lie one after the other
// before the marker's. Once a new entry gets the marker's id 6000 (numbered
// after 5999), it ends the mission list, and each later text goes in just
// before the entry made before it, as id 6000 again: from there on the new
// entries and their texts stand in the reverse order of the texts.

struct PlannedInsertions {
  std::vector<std::byte> image;       // the whole new database
  std::vector<MissionEntry> entries;  // the new entries, in the order of the texts
};

// Plans the insertion of the texts into `database` without touching any file.
// Refuses, with the reason in plain words, an empty batch, a database whose
// layout the steps above rely on is broken (FindInsertionSite), and a text
// that would take the file past the 2 GiB of its 32-bit offsets or be
// numbered past the largest id; the reason names that text and its place
// (from 1) when there are several.
Result<PlannedInsertions> PlanInsertions(std::span<const std::byte> database,
                                         const NewTexts& texts);

struct PlannedInsertion {
  std::vector<std::byte> image;  // the whole new database
  MissionEntry entry;            // the new entry: its id and its text (UTF-8, as inserted)
};

// The same for one text, refused as well on the rules of EncodeNewText.
Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text);

struct InsertedEntries {
  std::vector<MissionEntry> entries;  // in the order of the texts (UTF-8, as inserted)
  // The table slot (from 1) of each entry: the window lists a mission only
  // in slots 1 ... 1000 (format::IsListed).
  std::vector<std::size_t> table_slots;
  // Empty, or why the insertion, although made, may not survive a power cut
  // (see Rewritten): the texts are in the database and must not be inserted
  // again.
  std::string warning;
};

// Inserts the texts into the database at `path` with one RewriteDatabase:
// under the lock every ORVA program takes, planned from the bytes read and
// put in place of the old file in one atomic replacement that keeps its
// owner, group, permission bits and extended attributes. A symbolic link is
// followed and its target replaced. Refuses, and leaves the file exactly as
// it was, on any refusal of PlanInsertions or RewriteDatabase.
Result<InsertedEntries> InsertTextEntries(const std::filesystem::path& path, const NewTexts& texts);
// The same through a given file system (tests inject failures through it).
Result<InsertedEntries> InsertTextEntries(FileSystem& fs, const std::filesystem::path& path,
                                          const NewTexts& texts);

struct InsertedEntry {
  MissionEntry entry;   // its id and its text (UTF-8, as inserted)
  std::string warning;  // as in InsertedEntries
};

// Inserts one text: InsertTextEntries of a batch of that text alone.
Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path,
                                      std::string_view utf8_text);
Result<InsertedEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                      std::string_view utf8_text);

}  // namespace orva
