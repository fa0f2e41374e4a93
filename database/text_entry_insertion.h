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
// database whose layout the steps above rely on is broken: no end marker after
// entry 1, a marker text offset outside the text area or not preceded by a
// NUL, a text offset to correct that lies outside the text area, or a result
// that no longer fits 32-bit offsets.
Result<PlannedInsertion> PlanInsertion(std::span<const std::byte> database,
                                       std::string_view utf8_text);

// Reads the database at `path`, plans, and replaces the file atomically. A
// symbolic link is followed and its target replaced; the file keeps its
// permission bits (and its owner and group where the process may set them).
// Refuses a file that is not a regular file, has more than one hard link or
// is not writable. On any refusal or failure the file is left as it was.
Result<MissionEntry> InsertTextEntry(const std::filesystem::path& path, std::string_view utf8_text);

// The same through a given file system (tests inject failures through it).
Result<MissionEntry> InsertTextEntry(FileSystem& fs, const std::filesystem::path& path,
                                     std::string_view utf8_text);

}  // namespace orva
