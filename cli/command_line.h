// orva-cli's command line: what it asks for, read with CLI11.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "exchange/translation_files.h"
#include "storage/backup.h"

namespace orva::cli {

enum class Command {
  kList,
  kCheck,
  kInsert,
  kSet,
  kRemove,
  kExport,
  kImport,
  kEntries,
  kReplace,
  kDiff,
  kPatchCreate,
  kPatchApply,
};

// A command line that names a command and its database.
struct Request {
  Command command = Command::kList;
  std::string database;
  std::vector<std::string> texts;   // insert: the texts given as arguments, in order
  std::optional<std::string> from;  // insert: the file of texts, one a line ("-": standard input)
  bool json = false;
  // set, remove: the entry's id, its table slot where the id names several
  // entries, and set's new text
  std::int32_t id = 0;
  std::optional<std::size_t> slot;
  std::string text;
  // export, import: the translation file's format ("po" or "csv"; import
  // takes it from the name when not given), export's output file ("-" or
  // none: standard output), import's translations, --dry-run,
  // --source-changed and --encoding
  std::optional<std::string> format;
  std::optional<std::string> output;
  std::string translations;
  bool dry_run = false;
  // entries: --match TEXT (any case), --regex RE, --kind KIND
  std::optional<std::string> match;
  std::optional<std::string> regex;
  std::optional<std::string> kind;
  // replace: FIND, REPLACEMENT, whether FIND is a regular expression and
  // whether it matches case (and --dry-run, --json)
  std::string find;
  std::string replacement;
  bool find_regex = false;
  bool match_case = false;
  // diff, patch create: the new version (`database` is the old one); patch
  // apply: the patch file, and --reverse
  std::string other;
  bool reverse = false;
  SourceChanged source_changed = SourceChanged::kRefuse;
  // check, export, import: the reference (a database in the source
  // language); check: the rules file (none: orva-rules.json beside the
  // database, where there is one)
  std::optional<std::string> reference;
  std::optional<std::string> rules;
  std::optional<TextEncoding> encoding;
  // insert, set, remove, import, replace, patch apply: the backup made before
  // the rewrite
  // (-b, --backup[=CONTROL], -S SUFFIX, VERSION_CONTROL, SIMPLE_BACKUP_SUFFIX)
  BackupPolicy backup;
};

// A command line answered without opening any file: the help or the version
// (exit status 0, `text` for standard output), or a usage error (exit status
// 2, `text` the one-line reason for standard error).
struct Reply {
  int exit_status = 0;
  std::string text;
};

// Reads the arguments (without the program name). Anything it does not know
// is a usage error.
std::variant<Request, Reply> ParseCommandLine(std::span<const std::string_view> args);

}  // namespace orva::cli
