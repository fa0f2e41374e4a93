// Backups of a database before it is rewritten, as GNU cp, mv and install
// make them (--backup[=CONTROL], --suffix):
//   none     no backup
//   numbered FILE.~N~, N one above the largest such backup there is (from 1),
//            however many digits that takes
//   existing numbered where a numbered backup of FILE exists, simple otherwise
//   simple   FILE and the suffix ("~" unless told otherwise); an older simple
//            backup is replaced
// The backup holds the old contents, with the old file's owner, group,
// permission bits and extended attributes, and is flushed to disk before the
// new contents replace the database; if it cannot be made, the database is
// not changed.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

enum class BackupKind { kNone, kNumbered, kExisting, kSimple };

struct BackupPolicy {
  BackupKind kind = BackupKind::kNone;
  std::string suffix = "~";
};

// CONTROL as GNU reads it: none or off, numbered or t, existing or nil,
// simple or never, each also as an abbreviation that fits only one of them.
// nullopt for any other word.
std::optional<BackupKind> ParseBackupControl(std::string_view control);

// The suffix GNU would use: `suffix` unless it is empty or holds a slash,
// then "~".
std::string ValidBackupSuffix(std::string_view suffix);

// The backup's path for the database at `path` whose folder holds `names`;
// nullopt for kNone.
std::optional<std::filesystem::path> BackupPath(const std::filesystem::path& path,
                                                const BackupPolicy& policy,
                                                const std::vector<std::string>& names);

// The step RewriteDatabase takes before it renames the new contents into
// place: writes the backup the policy asks for, or nothing for kNone. The
// step is handed the rewrite's descriptor of the old file, so `fs` must be
// the file system that the rewrite it is given to goes through.
BeforeRename MakeBackup(const BackupPolicy& policy, FileSystem& fs = DefaultFileSystem());

}  // namespace orva
