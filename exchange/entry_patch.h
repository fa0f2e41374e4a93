// Making a patch from two versions of a database, and applying one in a
// single rewrite, all of it or nothing. The file is patch_file.h's.
//
// Applied to the file it was made from (its SHA-256 says so), a patch gives
// exactly the file it was made to give, or is refused before anything is
// written. Applied to another file (another language's, a copy that a
// different mod changed), it goes in where every entry it touches holds what
// it expects: a changed or removed entry its old text, an inserted one no
// entry yet and the entry it follows in place; otherwise it is refused, with
// each entry that differs named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/text_edit.h"
#include "exchange/patch_file.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct PatchCounts {
  std::size_t changed = 0;
  std::size_t inserted = 0;
  std::size_t removed = 0;
  std::int64_t size_change = 0;  // bytes
};

struct CreatedPatch {
  std::string text;  // the patch file
  PatchCounts counts;
};

// The patch that makes `new_database` from `old_database`, both well-formed.
// It is checked before it is given: read back and applied to the old version
// in memory, it must give the new one byte for byte. Refused, in plain words,
// where the versions differ in what entries and texts cannot say (the order
// of the entries, the header word, the bytes around the texts); the names
// say which version a reason is about.
Result<CreatedPatch> CreatePatch(std::span<const std::byte> old_database,
                                 std::span<const std::byte> new_database, std::string_view old_name,
                                 std::string_view new_name);
// The same from the two files, holding one of them whole at a time: the new
// version is summed up (SumUpVersion) and let go of before the old one is
// read, and the texts the patch takes from it, then the patched bytes, are
// compared with its file read again. A new version that changed meanwhile is
// refused (kBusy). The names are said before each reason, as the files'.
// Both files are read through `fs`.
Result<CreatedPatch> CreatePatch(const std::filesystem::path& old_path,
                                 const std::filesystem::path& new_path, std::string_view old_name,
                                 std::string_view new_name, FileSystem& fs = DefaultFileSystem());

// Whether a plan must check that what it gives is the patch's result where
// the database is the patch's base: kNone where the caller compares it with
// the very bytes it must be.
enum class ResultCheck { kDigest, kNone };

struct PatchPlan {
  NewContents contents;  // when there are no problems
  PatchCounts counts;
  bool base_matched = false;           // the database is the patch's base
  bool already_applied = false;        // the database is the patch's result
  std::vector<PatchProblem> problems;  // any: nothing may be written
};

// Plans the patch over a well-formed database (`entries` read from it by
// ReadEntryTexts, `digest` its SHA-256). The contents keep views into
// `database` and into the patch's texts.
PatchPlan PlanPatch(std::span<const std::byte> database, std::span<const EntryText> entries,
                    const Sha256Digest& digest, const Patch& patch,
                    ResultCheck check = ResultCheck::kDigest);

struct PatchOutcome {
  PatchCounts counts;
  bool base_matched = false;
  bool already_applied = false;
  std::vector<PatchProblem> problems;  // any: the database was not changed
  bool written = false;  // false with problems, with nothing to change and on a dry run
  std::string warning;   // as in Rewritten
};

// Applies the patch to the database at `path` with one RewriteDatabase,
// planned from the bytes read under its lock; a dry run reads and plans only.
// A database that is not well-formed is refused with CheckLayout's reasons.
// `before_rename` and `fs` as in RewriteDatabase (a backup).
Result<PatchOutcome> ApplyPatch(const std::filesystem::path& path, const Patch& patch, bool dry_run,
                                const BeforeRename& before_rename = {},
                                FileSystem& fs = DefaultFileSystem());

}  // namespace orva
