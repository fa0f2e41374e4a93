// Adding texts to a database as new entries just before the end marker.
//
// The new image is planned in memory from the old bytes (PlanInsertions in
// insertion_plan.h, pure) and then put in place of the old file in one atomic
// replacement (InsertTextEntries), so the file on disk is always either the
// old database or the new one: a batch of texts goes in whole or not at all.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "database/mission_list.h"
#include "database/new_texts.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

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
// `before_rename` and `fs` as in RewriteDatabase (a backup; the file system
// that tests make fail).
Result<InsertedEntries> InsertTextEntries(const std::filesystem::path& path, const NewTexts& texts,
                                          const BeforeRename& before_rename = {},
                                          FileSystem& fs = DefaultFileSystem());

struct InsertedEntry {
  MissionEntry entry;   // its id and its text (UTF-8, as inserted)
  std::string warning;  // as in InsertedEntries
};

// Inserts one text: InsertTextEntries of a batch of that text alone.
Result<InsertedEntry> InsertTextEntry(const std::filesystem::path& path, std::string_view utf8_text,
                                      FileSystem& fs = DefaultFileSystem());

}  // namespace orva
