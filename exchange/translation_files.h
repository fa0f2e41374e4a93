// A database's texts as translation files and back: gettext PO and CSV
// (RFC 4180), both written in UTF-8, one record per entry in table order.
//
// Each record names its entry by a key: the id, or "ID#SLOT" (the table slot
// from 1) where several entries share the id, so that a file names one entry
// a record whatever the database holds. Texts go through ExchangeText, so that
// every byte 0x01 ... 0xFF survives: 0x98 is U+0098, and in PO files 0x04,
// which gettext refuses in any string, is U+2404. PO strings escape only
// what GNU gettext's own tools escape (\\, \", \a, \b, \t, \n, \v, \f, \r);
// CSV fields are quoted when they hold a comma, a quote or a line break, and
// quotes are doubled. docs/format.md describes both with examples.
//
// The readers are small and written here: the PO readers Debian has are C
// libraries built for Linux only, and orva-cli is built for Windows too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/reference.h"
#include "database/text_edit.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

enum class TranslationFormat { kPo, kCsv };

// The key of every entry, in table order.
std::vector<std::string> ExchangeKeys(std::span<const EntryText> entries);

// The source side of a bilingual file: a reference in another language and
// how the entries join it (JoinById of the entries' ids and its ids). Without
// a reference a file is monolingual: each record's source is the entry's own
// text.
struct BilingualSource {
  const ReferenceDatabase* reference = nullptr;
  const EntryJoin* join = nullptr;

  // The source of entry `index` of `entries` as stored: its partner's text,
  // or, without a partner or a reference, its own.
  std::span<const std::byte> SourceOf(std::span<const EntryText> entries, std::size_t index) const {
    if (reference == nullptr || join->partner[index] == EntryJoin::kNone) {
      return entries[index].text;
    }
    return reference->text(join->partner[index]);
  }
};

// A whole export, written a record at a time through `write`. `name` goes in
// the PO header's Project-Id-Version. A monolingual file gives each entry's
// text as the source and no translation; a bilingual one gives the
// reference's text as the source and the entry's as the translation, none
// where it is empty or still the reference's; an entry the reference lacks
// is written as a monolingual file has it, marked "only in this file".
void WriteTranslationFile(TranslationFormat format, std::string_view name,
                          std::span<const EntryText> entries,
                          const std::function<void(std::string_view)>& write,
                          const BilingualSource& bilingual = {});

// The first lines: a PO header that says UTF-8, and the CSV header row
// (after a UTF-8 byte order mark, which spreadsheets need to read UTF-8).
std::string PoHeader(std::string_view name);
std::string CsvHeader();
// One record: its key, the entry's text and the translation (empty: none).
// `note` is a comment for translators (#.) besides "mission".
std::string PoMessage(std::string_view key, std::string_view text, std::string_view translation,
                      bool mission, std::string_view note = {});
std::string CsvRow(std::string_view key, std::string_view text, std::string_view translation);

// A translation read from a file, with the lines it was read from.
struct Translation {
  std::string key;
  std::string text;  // UTF-8; empty: not translated
  // The entry's text as the file has it (PO: msgid; CSV: the text column,
  // where the file has one), to tell a translation of a text since changed.
  std::optional<std::string> source;
  bool fuzzy = false;  // PO: marked "#, fuzzy", a guess that is never imported
  std::size_t key_line = 0;
  std::size_t text_line = 0;
  std::size_t source_line = 0;
};

// What a problem is about, where the user's remedy depends on it.
enum class ProblemKind {
  kOther,
  kNotUtf8,        // the file is not in the encoding it is read in
  kSourceChanged,  // a translation of a text the entry no longer has
};

struct FileProblem {
  std::size_t line = 0;  // 0: the file as a whole
  std::string what;
  ProblemKind kind = ProblemKind::kOther;

  friend bool operator==(const FileProblem&, const FileProblem&) = default;
};

struct TranslationRecords {
  std::vector<Translation> translations;
  std::vector<FileProblem> problems;
};

// The encoding of a file that begins with no byte order mark; one that does
// (UTF-8, UTF-16LE or UTF-16BE) is read in the encoding the mark gives.
enum class TextEncoding { kUtf8, kWindows1251 };

// Reads a PO file: each message's msgctxt is a key, its msgid the source and
// its msgstr the translation. The header and obsolete messages (#~) give
// none, fuzzy ones (#, fuzzy) are returned marked; plural forms and a
// charset other than UTF-8 are problems.
TranslationRecords ReadPo(std::string_view content);
// Reads a CSV file whose first row names the columns; "id" and
// "translation" must be among them, "text" may be, none of them twice. The
// fields are separated by the first comma, semicolon or tab of that row.
// Windows-1251 is read as the export writes it (0x98 is U+0098).
TranslationRecords ReadCsv(std::string_view content,
                           TextEncoding without_mark = TextEncoding::kUtf8);

// What to do with a translation whose source is no longer the entry's text.
enum class SourceChanged {
  kRefuse,  // a problem: nothing is imported
  kSkip,    // leave the entry as it is, and count it
  kApply,   // import it all the same
};

// What an import does to a database: every entry is counted once, in the
// first of these that applies.
struct ImportCounts {
  std::size_t changed = 0;
  std::size_t same = 0;            // translated to the text the entry already has
  std::size_t source_changed = 0;  // translated, but from a text the entry no longer has
  std::size_t fuzzy = 0;           // given only a fuzzy translation
  std::size_t untranslated = 0;    // all the others
  std::int64_t size_change = 0;    // bytes
};

struct ImportPlan {
  std::vector<TextChange> changes;
  ImportCounts counts;
  std::vector<FileProblem> problems;  // any: nothing may be imported
};

// Matches the translations with the entries: every key must name one entry,
// once, and every translation must be storable (Windows-1251, no NUL). A
// translation with a source must be of the entry's text (in exchange form,
// ExchangeText) or, from a bilingual file, of its partner's text in the
// reference (BilingualSource::SourceOf); otherwise `source_changed` says
// what becomes of it.
ImportPlan PlanImport(std::span<const EntryText> entries, std::span<const Translation> translations,
                      SourceChanged source_changed = SourceChanged::kRefuse,
                      const BilingualSource& bilingual = {});

struct ImportOutcome {
  ImportCounts counts;
  std::vector<FileProblem> problems;  // any: the database was not changed
  bool written = false;  // false when there were problems, nothing to change, or a dry run
  std::string warning;   // as in Rewritten
};

// Imports the translations into the database at `path`: under the lock of
// RewriteDatabase the database is read and every problem found; then, unless
// there are problems or nothing to change, all the texts go in with that one
// rewrite, and otherwise nothing is written. A dry run only reads. A database
// that is not well-formed is refused with CheckLayout's reasons.
// `source_changed` as in PlanImport; with a `reference` (not null) the file
// is bilingual, its sources the reference's texts.
// `before_rename` and `fs` as in RewriteDatabase (a backup).
Result<ImportOutcome> ImportTranslations(const std::filesystem::path& path,
                                         std::span<const Translation> translations,
                                         SourceChanged source_changed, bool dry_run,
                                         const ReferenceDatabase* reference,
                                         const BeforeRename& before_rename = {},
                                         FileSystem& fs = DefaultFileSystem());

}  // namespace orva
