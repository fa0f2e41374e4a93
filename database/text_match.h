// Finding and replacing text in a database's texts, as orva-cli's entries and
// replace do and the window's search can.
//
// Texts are searched as the database stores them, one Windows-1251 byte a
// character. Ignoring case folds every letter pair the code page has: A-Z,
// А-Я, Ё and the other letters of its upper half (Ђ ђ, Ѓ ѓ, Љ љ, Њ њ, Ќ ќ,
// Ћ ћ, Џ џ, Ў ў, Ј ј, Ґ ґ, Є є, Ї ї, І і, Ѕ ѕ); a byte folds to one byte, so
// an occurrence has the same place in the folded text and in the text.
//
// A regular expression is RE2's (its Perl-like syntax) run over the text as
// UTF-8, each byte its character: `.` is one Cyrillic letter, [а-я] a range
// of letters. Ignoring case ((?i), or match_case false) folds Unicode's case
// pairs, which among the code page's characters are the pairs above, in
// ranges as well: [а-я] then takes А-Я, but neither form of Ё, which lies
// outside both ranges. \w, \d, \s, \b and the [[:alpha:]] classes see ASCII
// alone; \pL and \p{Cyrillic} see Unicode. The byte 0x98, which has no
// character, is U+0098, as ExchangeText has it. Matching takes time linear in
// the text and memory bounded by the pattern, never a stack that grows with
// either: RE2 has no back-references (\1) or look-arounds, and a pattern too
// large for its memory budget, nested too deep or longer than 64 KiB is
// refused when it is made.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/text_edit.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// The byte of the lowercase letter for an uppercase one; any other byte as
// it is.
std::byte FoldCase(std::byte byte);

struct TextSearch {
  bool regex = false;       // an RE2 regular expression, not a literal text
  bool match_case = false;  // letters match in their own case only
};

// A text with its occurrences replaced, and how many there were.
struct ReplacedText {
  std::vector<std::byte> text;
  std::size_t occurrences = 0;
};

// Where a pattern occurs in a text: its first byte (character) and length.
struct Occurrence {
  std::size_t at = 0;
  std::size_t length = 0;

  friend bool operator==(const Occurrence&, const Occurrence&) = default;
};

// What to look for: a literal text or a regular expression.
class TextPattern {
 public:
  // Refuses (kInvalidText) an empty literal text and a regular expression
  // that cannot be read or run, with its reason in words. A literal text with a character
  // Windows-1251 cannot store is no error: it occurs in no text.
  static Result<TextPattern> Make(std::string_view utf8, const TextSearch& how);

  // Whether it occurs in `text` (stored bytes). A regular expression
  // refuses a text longer than 2 GiB as UTF-8 (kInvalidText).
  Result<bool> Occurs(std::span<const std::byte> text) const;
  // Whether it occurs in the entry's text, its id (in decimal) or, for a
  // mission (`mission`), its image name (ImageName): what the window's
  // search and `entries --match` look at.
  Result<bool> OccursInEntry(const EntryText& entry, bool mission) const;

  // Every occurrence in `text`, left to right and not overlapping: those
  // Replace replaces.
  Result<std::vector<Occurrence>> Find(std::span<const std::byte> text) const;

  // `text` with each occurrence, left to right and not overlapping, replaced
  // by `replacement` (stored bytes). For a regular expression `replacement`
  // is an ECMAScript format: $& is the occurrence, $1 ... $99 its groups, $`
  // and $' the text before and after it, $$ a dollar sign. An empty
  // occurrence counts too, and the search goes on a character after it.
  Result<ReplacedText> Replace(std::span<const std::byte> text,
                               std::span<const std::byte> replacement) const;

 private:
  struct Regex;

  std::vector<std::byte> literal_;  // folded unless case is matched
  bool match_case_ = false;
  bool storable_ = true;  // false: a literal text the code page cannot hold
  bool numeric_ = false;  // a literal text of digits and minus signs, as an id may hold
  std::shared_ptr<const Regex> regex_;
};

struct PlannedReplacement {
  std::vector<TextChange> changes;  // the entries whose texts change, in table order
  std::size_t occurrences = 0;      // in every text, changed or not
};

// Every occurrence of `pattern` in the texts of `entries` replaced by
// `utf8_replacement`. Refuses, naming the entry by its table slot and id, a
// new text that would hold a NUL or a character Windows-1251 cannot store;
// nothing is refused where nothing occurs.
Result<PlannedReplacement> PlanReplacement(std::span<const EntryText> entries,
                                           const TextPattern& pattern,
                                           std::string_view utf8_replacement);

// An entry whose text a replacement changed, its texts as UTF-8
// (ExchangeText).
struct ReplacedEntry {
  std::size_t slot = 0;
  std::int32_t id = 0;
  std::string old_text;
  std::string text;
};

struct DatabaseReplacement {
  std::vector<ReplacedEntry> changed;  // in table order
  std::size_t occurrences = 0;         // in every text, changed or not
  bool written = false;                // false: a dry run, or no text changed
  std::string warning;                 // as in Rewritten
};

// PlanReplacement over the database at `path` and its rewrite, planned from
// the bytes read under the rewrite's lock: another program that holds the
// lock is waited for (RewriteDatabase), and its change is kept, not refused.
// With `dry_run` the file is only read and planned over; where no text
// changes nothing is rewritten.
Result<DatabaseReplacement> ReplaceInDatabase(const std::filesystem::path& path,
                                              const TextPattern& pattern,
                                              std::string_view utf8_replacement, bool dry_run,
                                              const BeforeRename& before_rename = {},
                                              FileSystem& fs = DefaultFileSystem());

}  // namespace orva
