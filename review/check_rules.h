// What a team tells the checks about its game, in a small file kept beside
// the database (docs/cli.md, "The rules file"): length limits per range of
// ids, marker patterns besides the built-in ones, the font's characters, and
// the checks to leave out for some entries.
//
// The file is JSON, read by nlohmann-json with comments (// and /* */)
// allowed, so that a team can say why a limit is what it is:
//
//   {
//     "limits": [{"ids": "7000-7999", "length": 60}],
//     "markers": ["\\$[a-z_]+\\$"],
//     "charset": "font-chars.txt",
//     "ignore": [{"ids": "7012", "checks": ["untranslated"]}],
//     "spelling": {"accept-ye-for-yo": true}
//   }
//
// The team's own words for the spelling check are kept beside the rules
// file, one a line, in orva-words.txt (spelling/team_words.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "database/text_match.h"
#include "review/glyph_set.h"
#include "spelling/spell_checker.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

// The ids from `first` to `last`, both included.
struct IdRange {
  std::int32_t first = 0;
  std::int32_t last = 0;
  bool Contains(std::int32_t id) const { return id >= first && id <= last; }
};

struct LengthLimit {
  IdRange ids;
  std::size_t length = 0;  // characters, one byte each once stored
};

struct MarkerPattern {
  std::string source;  // as the file gives it
  TextPattern pattern;
};

struct Ignore {
  IdRange ids;
  std::vector<std::string> checks;  // check ids; empty: every check
};

struct SpellingRules {
  bool check = true;  // "spelling": false leaves it out
  SpellingOptions options;
};

struct CheckRules {
  std::vector<LengthLimit> limits;
  std::vector<MarkerPattern> markers;
  std::optional<GlyphSet> glyphs;
  std::string glyphs_from;  // the file they were read from, as the rules name it
  std::vector<Ignore> ignores;
  SpellingRules spelling;
  // What the spelling check asks, once OpenSpelling has opened it; without
  // it the check finds nothing. It caches verdicts as it goes, so rules that
  // hold one serve one thread at a time.
  std::shared_ptr<SpellChecker> speller;

  // The most characters the entry's text may have, and where the limit comes
  // from: the smallest of the rules' limits for its id and, for a mission
  // before the end marker, the 45 characters the window's input box takes.
  struct Limit {
    std::size_t length = 0;
    bool mission = false;  // the window's, not a rule's
  };
  std::optional<Limit> LimitFor(std::int32_t id, format::EntryKind kind) const;
  bool Ignored(std::string_view check, std::int32_t id) const;
};

// Reads rules from the text of a rules file; files it names (the charset or
// font) are read from `folder` through `fs` where their names are relative.
// Refuses, saying where and what, anything it does not know: a key, a check
// id, a range written otherwise than "FIRST-LAST" or a single id, a marker
// pattern that is no valid regular expression.
Result<CheckRules> ParseCheckRules(std::string_view text, const std::filesystem::path& folder,
                                   FileSystem& fs = DefaultFileSystem());
Result<CheckRules> ReadCheckRules(const std::filesystem::path& path,
                                  FileSystem& fs = DefaultFileSystem());

// The rules file looked for beside a database when none is named.
inline constexpr std::string_view kRulesFileName = "orva-rules.json";

// Opens the spell checker of the spelling check, with the rules' options:
// the dictionaries in `dictionaries` and the team's word list, orva-words.txt
// in `rules_folder` (the folder of the rules file, or of the database when
// it has none), where there is one. Nothing is opened where the rules leave
// spelling out. Refuses, saying which file and why, a dictionary that is
// missing or unreadable and a word list it cannot read.
Status OpenSpelling(CheckRules& rules, const std::filesystem::path& rules_folder,
                    const std::filesystem::path& dictionaries = DefaultDictionaryFolder(),
                    FileSystem& fs = DefaultFileSystem());
// The same in two halves, so that the dictionaries are read while the
// caller does other work: none to finish where the rules leave spelling
// out. FinishSpelling puts the spell checker in `rules`; each refuses as
// OpenSpelling does.
Result<std::optional<SpellCheckerOpening>> StartSpelling(const CheckRules& rules,
                                                         const std::filesystem::path& rules_folder,
                                                         const std::filesystem::path& dictionaries,
                                                         FileSystem& fs);
Status FinishSpelling(CheckRules& rules, std::optional<SpellCheckerOpening> opening);

}  // namespace orva
