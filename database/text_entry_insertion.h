// Adding a text to a database as a new entry just before the end marker.
//
// The new image is planned in memory from the old bytes (PlanInsertion, pure)
// and then put in place of the old file in one atomic replacement
// (InsertTextEntry), so the file on disk is always either the old database or
// the new one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/mission_list.h"
#include "database/status.h"

namespace orva {

class FileSystem;

struct PlannedInsertion {
  std::vector<std::byte> image;  // the whole new database
  MissionEntry entry;            // the new entry: its id and its text (UTF-8, as inserted)
};

// Plans the insertion of `utf8_text` into `database` without touching any
// file. With k the entry before the end marker, T the marker's text offset and
// S the s bytes of the text in Windows-1251:
//   - the new entry (id of entry k + 1, text offset T + 8) takes slot k + 1;
//     the marker and every later entry move one slot on;
//   - the text area is moved 8 bytes on, and S is placed at T + 8, ended by a
//     copy of the byte before the marker's text (the NUL ending the text
//     before it), so the marker's text and everything after it land at
//     T + s + 9;
//   - texts lying before T are re-pointed by +8, texts at or after T by
//     +s + 9; the entry count grows by one; the header word is never changed.
// Refuses, with the reason in plain words, a text that is empty, longer than
// 45 characters, holds a NUL or a character Windows-1251 cannot store, and a
// database whose layout the steps above rely on is broken (FindInsertionSite).
// A marker just past the table (slot N + 1) moves one slot on like the entries
// and its text offset is corrected too, so that later insertions find it.
Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text);

struct InsertedEntry {
  MissionEntry entry;  // its id and its text (UTF-8, as inserted)
  // Empty, or why the insertion, although made, may not survive a power cut
  // (see Rewritten): the text is in the database and must not be inserted again.
  std::string warning;
};

// Inserts the text into the database at `path` with RewriteDatabase: under
// the lock every ORVA program takes, planned from the bytes read and put in
// place of the old file in one atomic replacement that keeps its owner,
// group, permission bits and extended attributes. A symbolic link is followed
// and its target replaced. Refuses, and leaves the file exactly as it was, on
// any refusal of PlanInsertion or RewriteDatabase.
Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path,
                                      std::string_view utf8_text);

// The same through a given file system (tests inject failures through it).
Result<InsertedEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                      std::string_view utf8_text);

}  // namespace orva
