// The checks of a translated text: small units in one registry, each with an
// id (what the rules and --json name it by), a name in plain words and a
// severity, run alike on every entry of a database (orva-cli check) and on
// the one text a translator is typing (the editor, before it is applied).
//
// A check sees one entry: its text as characters, its kind, how many
// entries share its id and, where the reference has a partner for it, the
// reference's text; and the team's rules. It appends what it finds. The
// checks are:
//
//   too-long       error    longer than its kind allows: a mission 45
//                           characters, other ids what the rules say
//   not-storable   error    a character Windows-1251 cannot store
//   markers        error    control characters, format markers (%s, %1,
//                           {0}), tags (<b>, </b>) and the rules' patterns
//                           differ from the reference's
//   font           error    a character the game's font has no glyph for
//   spaces         warning  leading or trailing spaces other than the
//                           reference's; doubled spaces it does not have
//   untranslated   warning  still the reference's text (one with a letter)
//   empty          warning  no text where the reference has one
//   id-twice       warning  an id that several entries have
//   spelling       warning  a word the Russian or English dictionary does not
//                           know, nor the team's word list; ids, markers,
//                           tags and control characters are no words
//                           (spelling/words.h). Only with the rules' spell
//                           checker open (OpenSpelling).
//
// The end marker's text, which no player sees, is not checked for being
// empty or untranslated, nor its spelling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "review/check_rules.h"

namespace orva {

enum class Severity : std::uint8_t { kWarning, kError };
std::string_view SeverityName(Severity severity);  // "warning", "error"

// Characters [from, to) of the entry's text.
struct TextSpan {
  std::size_t from = 0;
  std::size_t to = 0;
  friend bool operator==(const TextSpan&, const TextSpan&) = default;
};

struct Finding {
  std::string_view check;  // the check's id
  Severity severity = Severity::kWarning;
  std::size_t slot = 0;  // the entry's table slot, from 1
  std::int32_t id = 0;
  std::string message;  // plain words, UTF-8
  std::optional<TextSpan> span;
};

// One entry as the checks see it.
struct CheckedEntry {
  std::size_t slot = 0;
  std::int32_t id = 0;
  format::EntryKind kind = format::EntryKind::kOther;
  // Its characters: the stored bytes decoded (StoredCharacters) or the text
  // as typed (TypedCharacters).
  std::u32string_view text;
  // The reference's text, where the reference has a partner for the entry.
  std::optional<std::u32string_view> reference;
  std::size_t id_count = 1;  // how many entries of its database have its id
};

class TextCheck {
 public:
  virtual ~TextCheck() = default;
  virtual std::string_view id() const = 0;
  virtual std::string_view name() const = 0;
  virtual Severity severity() const = 0;
  virtual void Check(const CheckedEntry& entry, const CheckRules& rules,
                     std::vector<Finding>& findings) const = 0;

 protected:
  void Report(const CheckedEntry& entry, std::string message, std::optional<TextSpan> span,
              std::vector<Finding>& findings) const {
    findings.push_back({id(), severity(), entry.slot, entry.id, std::move(message), span});
  }
};

// Every check, in the order above.
std::span<const TextCheck* const> TextChecks();
const TextCheck* FindTextCheck(std::string_view id);  // null: no such check

// Runs every check the rules do not ignore for the entry's id, appending
// what they find in the order of TextChecks.
void CheckEntry(const CheckedEntry& entry, const CheckRules& rules, std::vector<Finding>& findings);

// The characters of a stored text, as ExchangeText has them (0x98 is
// U+0098), put in `out` in place of what it held.
void StoredCharacters(std::span<const std::byte> stored, std::u32string& out);
std::u32string StoredCharacters(std::span<const std::byte> stored);
// The characters of a text as typed; a byte that is not UTF-8 is U+FFFD,
// which not-storable then reports.
std::u32string TypedCharacters(std::string_view utf8);

}  // namespace orva
