// A patch as a file: what changed between two versions of a database, in
// UTF-8 text that a person can read, mail and diff. docs/format.md
// ("Patches") describes it with an example:
//
//   orva-patch 1
//   base 40 bytes sha256 <the old version's SHA-256, 64 hex digits>
//   result 44 bytes sha256 <the new version's>
//   change 5001 "Al" "Alpha"
//   remove 5002 after 5001 "Бо"
//   insert 5003 after 5001 "Щит"
//
// One record a line, for each entry the patch touches, named by its key
// (entry_diff.h); nothing of an entry it leaves alone. Texts are quoted and
// escaped as in PO files, every other control character as a three-digit
// octal escape, so that a text never breaks its line. A removal and an
// insertion name the entry just before theirs (or say `first`), which makes
// the patch undo itself as well.
//
// The reader takes its input as untrusted: every number, key, string and
// text is checked, and so is whether the records fit together; each problem
// is named with its line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/entry_diff.h"
#include "database/sha256.h"

namespace orva {

enum class PatchAction { kChange, kRemove, kInsert };

struct PatchRecord {
  PatchAction action = PatchAction::kChange;
  EntryKey key;
  // A removal, an insertion: the entry just before this one in the version
  // that has it (the old version for a removal, the new for an insertion);
  // none for an entry in table slot 1.
  std::optional<EntryKey> after;
  std::vector<std::byte> old_text;  // a change, a removal: as stored
  std::vector<std::byte> new_text;  // a change, an insertion
  std::size_t line = 0;             // read from a file: its line
};

// A version a patch goes from or to: its size and SHA-256.
struct PatchedFile {
  std::int64_t size = 0;
  Sha256Digest digest{};
};

struct Patch {
  PatchedFile base;
  PatchedFile result;
  std::vector<PatchRecord> records;  // as written: by key
  std::size_t base_line = 0;         // read from a file: the lines of the two
  std::size_t result_line = 0;
};

// What a patch's problem is about: its line (0: the patch as a whole), the
// key of the entry concerned (empty for none) and the problem in plain words.
struct PatchProblem {
  std::size_t line = 0;
  std::string key;
  std::string what;
};

struct PatchReading {
  Patch patch;                         // what could be read
  std::vector<PatchProblem> problems;  // any: the patch must not be used
};

// The name and version on a patch's first line.
inline constexpr std::string_view kPatchFormat = "orva-patch";
inline constexpr int kPatchVersion = 1;

PatchReading ReadPatch(std::string_view content);
std::string WritePatch(const Patch& patch);

// The patch that undoes `patch`: its base and result swapped, each change
// the other way, each removal an insertion and each insertion a removal.
Patch Reversed(Patch patch);

// How a text stands in a patch: UTF-8 (ExchangeText) in double quotes,
// escaped. Exposed for the tests.
std::string QuotedPatchText(std::span<const std::byte> stored);

}  // namespace orva
