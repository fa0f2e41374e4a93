#include "exchange/translation_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "tests/support/database_builder.h"
#include "tests/support/generated_databases.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::Generated;
using namespace std::string_literals;

std::string Text(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::size_t LinesIn(std::string_view s) {
  return static_cast<std::size_t>(std::count(s.begin(), s.end(), '\n'));
}

// What a translator's file holds for one entry (stored bytes).
struct Record {
  std::string translation;            // empty: none
  std::optional<std::string> source;  // a text the entry had once, not its own
  bool fuzzy = false;                 // PO only
};

// How the file came back: as the export wrote it, or as an editor or a
// spreadsheet saves it.
enum class Encoding { kUtf8WithMark, kUtf8, kWindows1251 };
struct Saving {
  TranslationFormat format = TranslationFormat::kPo;
  Encoding encoding = Encoding::kUtf8;
  char separator = ',';       // CSV
  bool final_newline = true;  // PO
};

// UTF-16 with its byte order mark.
std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    out += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return out;
}

// A CSV field as RFC 4180 has it, with the separator given.
std::string Field(std::string_view field, char separator) {
  if (field.find_first_of(std::string{separator, '"', '\r', '\n'}) == std::string_view::npos) {
    return std::string(field);
  }
  std::string out = "\"";
  for (char c : field) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + '"';
}

// A translation file of `entries` and the line of each entry's source text.
struct Written {
  std::string file;
  std::vector<std::size_t> source_lines;
};

Written FileWith(const Saving& saving, std::span<const EntryText> entries,
                 const std::vector<Record>& records) {
  const std::vector<std::string> keys = ExchangeKeys(entries);
  const bool po = saving.format == TranslationFormat::kPo;
  const bool own_csv = !po && saving.separator == ',' && saving.encoding == Encoding::kUtf8WithMark;
  Written w;
  std::string text = po ? PoHeader("textdb_00.def") : own_csv ? CsvHeader() : "";
  if (!po && !own_csv) {
    text = std::string("id") + saving.separator + "text" + saving.separator + "translation\r\n";
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Record& r = records[i];
    const std::string source =
        r.source ? ExchangeText(Bytes(*r.source)) : ExchangeText(entries[i].text);
    const std::string translation = ExchangeText(Bytes(r.translation));
    if (po) {
      std::string message =
          PoMessage(keys[i], source, translation, format::IsMission(entries[i].id));
      // A translator's comment that names the word is no flag.
      message.insert(1, r.fuzzy ? "#, fuzzy\n" : i % 3 == 0 ? "# fuzzy? no, checked\n" : "");
      w.source_lines.push_back(LinesIn(text) +
                               LinesIn(message.substr(0, message.find("\nmsgid ") + 1)) + 1);
      text += message;
    } else {
      w.source_lines.push_back(LinesIn(text) + 1);
      const char sep = saving.separator;
      text += own_csv ? CsvRow(keys[i], source, translation)
                      : Field(keys[i], sep) + sep + Field(source, sep) + sep +
                            Field(translation, sep) + "\r\n";
    }
  }
  if (po && !saving.final_newline) text.pop_back();
  if (own_csv) text.erase(0, 3);  // the mark, put back below
  switch (saving.encoding) {
    case Encoding::kUtf8WithMark:
      w.file = "\xEF\xBB\xBF" + text;
      break;
    case Encoding::kUtf8:
      w.file = text;
      break;
    case Encoding::kWindows1251:
      w.file = Text(StoredText(text).value());
      break;
  }
  return w;
}

TranslationRecords Read(const Saving& saving, std::string_view content, bool says_windows_1251) {
  if (saving.format == TranslationFormat::kPo) return ReadPo(content);
  return ReadCsv(content, says_windows_1251 ? TextEncoding::kWindows1251 : TextEncoding::kUtf8);
}

// The ways a file comes back: PO as the export writes it, with a byte order
// mark, without its last line feed; CSV as the export writes it, and as
// spreadsheets save it, with semicolons or tabs, in Windows-1251.
constexpr auto kPo = TranslationFormat::kPo;
constexpr auto kCsv = TranslationFormat::kCsv;
const Saving kSavings[] = {
    {kPo, Encoding::kUtf8, ',', true},        {kPo, Encoding::kUtf8WithMark, ',', true},
    {kPo, Encoding::kUtf8, ',', false},       {kCsv, Encoding::kUtf8WithMark, ',', true},
    {kCsv, Encoding::kUtf8, ';', true},       {kCsv, Encoding::kUtf8WithMark, '\t', true},
    {kCsv, Encoding::kWindows1251, ';', true}};

// Any text of bytes 0x01 ... 0xFF goes out and comes back, through PO and
// CSV however saved, to the entry it came from; entries not translated keep
// their texts. A fuzzy translation never goes in, and one of a text the
// entry no longer has is refused at its source's line (translated or not),
// skipped or applied, as asked. Every entry is counted once.
TEST(TranslationFiles, ImportGivesEveryEntryItsTranslationByteForByte) {
  Generated generated(20261210);
  for (int round = 0; round < 600; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    const Saving& saving = kSavings[generated.Pick(0, static_cast<int>(std::size(kSavings)) - 1)];
    const auto mode = static_cast<SourceChanged>(generated.Pick(0, 2));
    std::vector<Record> records(entries.size());
    std::vector<std::string> expected;
    std::vector<std::size_t> stale;
    ImportCounts counts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string old = Text(entries[i].text);
      Record& r = records[i];
      const int pick = generated.Pick(0, 7);
      if (pick <= 2 || pick == 5 || pick == 6) r.translation = generated.AnyText(30);
      if (pick == 3) r.translation = old;
      r.fuzzy = pick == 5 && saving.format == TranslationFormat::kPo;
      if (pick >= 6) {
        for (r.source = generated.AnyText(20); *r.source == old;) r.source = generated.AnyText(20);
      }
      const std::string& now = r.translation;
      const bool skipped = r.source && mode != SourceChanged::kApply && !now.empty();
      const bool applied = !now.empty() && !r.fuzzy && !skipped;
      if (r.source && mode == SourceChanged::kRefuse) stale.push_back(i);
      counts.changed += applied && now != old;
      counts.same += applied && now == old;
      counts.fuzzy += !now.empty() && r.fuzzy;
      counts.source_changed += skipped;
      counts.size_change += applied ? static_cast<std::int64_t>(now.size() - old.size()) : 0;
      expected.push_back(applied ? now : old);
    }
    counts.untranslated =
        entries.size() - counts.changed - counts.same - counts.fuzzy - counts.source_changed;
    const std::string context = "round " + std::to_string(round);

    const Written written = FileWith(saving, entries, records);
    const bool marked = saving.encoding == Encoding::kUtf8WithMark;
    const bool says_windows_1251 =
        saving.encoding == Encoding::kWindows1251 || (marked && generated.Pick(0, 1) == 0);
    const TranslationRecords read = Read(saving, written.file, says_windows_1251);
    ASSERT_EQ(read.problems, std::vector<FileProblem>{}) << context;
    const ImportPlan plan = PlanImport(entries, read.translations, mode);
    EXPECT_EQ(plan.counts.changed, counts.changed) << context;
    EXPECT_EQ(plan.counts.same, counts.same) << context;
    EXPECT_EQ(plan.counts.fuzzy, counts.fuzzy) << context;
    EXPECT_EQ(plan.counts.source_changed, counts.source_changed) << context;
    EXPECT_EQ(plan.counts.untranslated, counts.untranslated) << context;
    if (mode == SourceChanged::kRefuse) {
      ASSERT_EQ(plan.problems.size(), stale.size()) << context;
      for (std::size_t k = 0; k < stale.size(); ++k) {
        EXPECT_EQ(plan.problems[k].line, written.source_lines[stale[k]]) << context;
        EXPECT_EQ(plan.problems[k].kind, ProblemKind::kSourceChanged) << context;
      }
      if (!stale.empty()) continue;
    }
    ASSERT_EQ(plan.problems, std::vector<FileProblem>{}) << context;
    EXPECT_EQ(plan.counts.size_change, counts.size_change) << context;

    const std::vector<std::byte> image = Joined(PlanTextChanges(db, plan.changes).value());
    ASSERT_EQ(CheckLayout(image), std::vector<LayoutProblem>{}) << context;
    const std::vector<EntryText> after = ReadEntryTexts(image).value();
    ASSERT_EQ(after.size(), entries.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      ASSERT_EQ(after[i].id, entries[i].id);
      ASSERT_EQ(Text(after[i].text), expected[i]) << context << ", entry " << i + 1;
    }
    // An untouched export changes nothing.
    const Written untouched = FileWith(saving, after, std::vector<Record>(after.size()));
    const ImportPlan nothing =
        PlanImport(after, Read(saving, untouched.file, says_windows_1251).translations);
    EXPECT_TRUE(nothing.changes.empty() && nothing.problems.empty());
    EXPECT_EQ(nothing.counts.untranslated, after.size());
  }
}

// What the readers cannot read, each named at its line, and what they read
// that the round trip above does not make.
TEST(TranslationFiles, ReadersNameTheLineOfWhatTheyCannotRead) {
  const auto only = [](const TranslationRecords& read) {
    EXPECT_TRUE(read.translations.empty());
    return read.problems.size() == 1 ? read.problems.front() : FileProblem{0, "not one problem"};
  };
  // Windows-1251 where UTF-8 is read: the first line it shows on.
  const std::string po = "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\xCF\xF0\xE8\"\n\n# \xE5\n";
  EXPECT_EQ(only(ReadPo(po)).line, 3u);
  EXPECT_EQ(only(ReadPo(po)).kind, ProblemKind::kNotUtf8);
  const std::string csv = "id,translation\n1,\"two\nlines\"\n2,\"\xC4\xE0\"\n";
  EXPECT_EQ(only(ReadCsv(csv)).line, 4u);
  EXPECT_EQ(only(ReadCsv(csv)).kind, ProblemKind::kNotUtf8);
  EXPECT_EQ(ReadCsv(csv, TextEncoding::kWindows1251).translations.at(1).text, "Да");

  // An escape that stands for no byte is refused at its line, never cut to one.
  for (const char* escape : {"\\400", "\\x141", "\\q"}) {
    const std::string file =
        "msgctxt \"1\"\nmsgid \"a\"\nmsgstr \"b" + std::string(escape) + "\"\n";
    const TranslationRecords read = ReadPo(file);
    ASSERT_EQ(read.problems.size(), 1u) << escape;
    EXPECT_EQ(read.problems[0].line, 3u) << escape;
  }
  EXPECT_EQ(ReadPo("msgctxt \"1\"\nmsgid \"\"\nmsgstr \"\\101\\x42\\t\"\n").translations.at(0).text,
            "AB\t");

  // The separator is the first outside quotes on the first line.
  EXPECT_EQ(ReadCsv("\"a, b\";id;translation\n;5;x\n").translations.at(0).text, "x");

  // A column the reader takes, named twice.
  for (const char* twice : {"id,id,translation", "text;id;translation;text"}) {
    const FileProblem p = only(ReadCsv(std::string(twice) + "\n1,a,b,c\n"));
    EXPECT_EQ(p.line, 1u);
    EXPECT_NE(p.what.find(std::string("'") + (twice[0] == 'i' ? "id" : "text") + "' twice"),
              std::string::npos)
        << p.what;
  }

  // UTF-16: a character outside the first plane comes as a surrogate pair; a
  // surrogate alone, or half a unit at the end, is refused at its line.
  const std::string pair = Utf16(u"id\ttext\ttranslation\r\n1\t\"\n\"\tЁ\U0001F600\r\n", false);
  EXPECT_EQ(ReadCsv(pair).translations.at(0).text, "Ё\U0001F600");
  EXPECT_EQ(ReadCsv(pair).translations.at(0).source, "\n");
  const std::string head = Utf16(u"id,translation\n1,Ё\n2,", true);
  EXPECT_EQ(ReadCsv(head).translations.at(0).text, "Ё");
  for (const std::string& bad :
       {head + "\xD8\x3D" + "\x00,"s, head + "\xDE\x00"s, head + "\x00"s}) {
    EXPECT_EQ(only(ReadCsv(bad)).line, 3u) << only(ReadCsv(bad)).what;
  }

  // A fuzzy message comes back marked; the flags of an obsolete message stay
  // its own, and the last message needs no line feed after it.
  const TranslationRecords read = ReadPo(
      "#, fuzzy\nmsgctxt \"1\"\nmsgid \"a\"\nmsgstr \"b\"\n\n"
      "#, fuzzy\n#~ msgctxt \"2\"\n#~ msgid \"a\"\n#~ msgstr \"c\"\n\n"
      "msgctxt \"3\"\nmsgid \"a\\n\"\n\"b\"\nmsgstr \"d\"");
  ASSERT_EQ(read.translations.size(), 2u);
  EXPECT_TRUE(read.translations[0].fuzzy);
  EXPECT_FALSE(read.translations[1].fuzzy);
  EXPECT_EQ(read.translations[1].source, "a\nb");
  EXPECT_EQ(read.translations[1].text, "d");

  // A fuzzy flag among others, an octal escape of three digits at most, and
  // the charset in any case; a charset other than UTF-8 is refused.
  const TranslationRecords flagged = ReadPo(
      "msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=utf-8\\n\"\n\n"
      "#, c-format, fuzzy\nmsgctxt \"1\"\nmsgid \"a\"\nmsgstr \"\\1010\\x41\"\n");
  EXPECT_EQ(flagged.problems, std::vector<FileProblem>{});
  ASSERT_EQ(flagged.translations.size(), 1u);
  EXPECT_TRUE(flagged.translations[0].fuzzy);
  EXPECT_EQ(flagged.translations[0].text, "A0A");
  EXPECT_EQ(
      only(ReadPo("msgid \"\"\nmsgstr \"Content-Type: text/plain; charset=CP1251\\n\"\n")).line,
      1u);
}

#ifndef _WIN32
// What gettext's tools and Python's csv module make of an export: a file
// with every byte a text can hold, a bare CR, an id two entries share, and
// translations.
class ExchangeToolsTest : public ::testing::Test {
 protected:
  ExchangeToolsTest() {
    std::string all;
    for (int b = 1; b <= 255; ++b) all += static_cast<char>(b);
    db_ = test_support::DatabaseBuilder()
              .RawEntry(5001, all.substr(0, 100))
              .RawEntry(5001, all.substr(100))
              .RawEntry(1200, "\n\nline\r\n\"quoted\", \\ end\n")
              .Entry(5002, "  Ночной конвой  ")
              .RawEntry(5003, "")
              .RawEntry(5004, "bare\rCR")
              .Marker("end")
              .Build();
    entries_ = ReadEntryTexts(db_).value();
    translations_ = {"", all.substr(130), "\n\t\"x\"\r\n", "Night convoy ", "", "x\ry", ""};
  }
  // An export of `entries` with the translations given, as orva-cli writes it.
  std::string Write(TranslationFormat format, const std::string& name,
                    std::span<const EntryText> entries,
                    const std::vector<std::string>& translations) {
    std::vector<Record> records(translations.size());
    for (std::size_t i = 0; i < records.size(); ++i) records[i].translation = translations[i];
    const Saving exported{
        format, format == TranslationFormat::kPo ? Encoding::kUtf8 : Encoding::kUtf8WithMark, ',',
        true};
    test_support::WriteFileBytes(dir_ / name, Bytes(FileWith(exported, entries, records).file));
    return (dir_ / name).string();
  }
  std::string Write(TranslationFormat format, const std::string& name) {
    return Write(format, name, entries_, translations_);
  }
  static std::string Output(const std::string& command) {
    std::string out;
    // NOLINTNEXTLINE(cert-env33-c): the test runs gettext's and Python's tools on its own files
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return "cannot run " + command;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return status == 0 ? out : out + "\n(" + command + " failed)";
  }
  std::vector<Translation> Given() const {
    std::vector<Translation> given;
    const std::vector<std::string> keys = ExchangeKeys(entries_);
    for (std::size_t i = 0; i < keys.size(); ++i) {
      Translation& t = given.emplace_back();
      t.key = keys[i];
      t.text = ExchangeText(Bytes(translations_[i]));
    }
    return given;
  }
  static void ExpectSame(const std::vector<Translation>& read,
                         const std::vector<Translation>& given) {
    ASSERT_EQ(read.size(), given.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
      EXPECT_EQ(read[i].key, given[i].key);
      EXPECT_EQ(read[i].text, given[i].text) << "record " << i + 1;
    }
  }

  std::vector<std::byte> db_;
  std::vector<EntryText> entries_;
  std::vector<std::string> translations_;
  test_support::TempDir dir_;
};

TEST_F(ExchangeToolsTest, GettextAcceptsThePoFileAndLeavesItAsItIs) {
  const std::string po = Write(TranslationFormat::kPo, "t.po");
  const std::string written = Text(test_support::ReadFileBytes(po));
  EXPECT_EQ(Output("msgfmt --check -o /dev/null '" + po + "' 2>/dev/null && echo ok"), "ok\n");
  EXPECT_EQ(Output("msgcat --no-wrap '" + po + "' 2>/dev/null"), written);
  // Wrapped at 79 columns, as msgcat and editors write by default, it reads
  // the same.
  const TranslationRecords wrapped = ReadPo(Output("msgcat '" + po + "'"));
  EXPECT_EQ(wrapped.problems, std::vector<FileProblem>{});
  ExpectSame(wrapped.translations, Given());
}

TEST_F(ExchangeToolsTest, PythonsCsvModuleReadsAndRewritesTheCsvFile) {
  const std::string csv = Write(TranslationFormat::kCsv, "t.csv");
  // Read with Python's csv module and written again by it, as a spreadsheet
  // saves: the same records come back.
  const std::string resaved = Output(
      "python3 -c 'import csv,sys\n"
      "rows = list(csv.reader(open(sys.argv[1], encoding=\"utf-8-sig\", newline=\"\")))\n"
      "assert rows[0] == [\"id\", \"text\", \"translation\"], rows[0]\n"
      "assert all(len(r) == 3 for r in rows)\n"
      "out = open(sys.stdout.fileno(), \"w\", encoding=\"utf-8\", newline=\"\")\n"
      "csv.writer(out).writerows(rows)' '" +
      csv + "'");
  const TranslationRecords read = ReadCsv(resaved);
  EXPECT_EQ(read.problems, std::vector<FileProblem>{});
  ExpectSame(read.translations, Given());
}

// The translator's way to a new version of the game: export it, merge the
// old translations into that export with msgmerge, import. A translation of
// a text that changed comes out fuzzy and stays out; the texts that are the
// same keep their translations, and a new entry has none.
TEST_F(ExchangeToolsTest, MsgmergeCarriesTranslationsToANewVersion) {
  const auto version = [](std::string_view second, bool more) {
    test_support::DatabaseBuilder b;
    b.Entry(5001, "Обучение").Entry(5002, second).Entry(1200, "заметка");
    if (more) b.Entry(5003, "Новая миссия");
    return b.Marker().Build();
  };
  const std::vector<std::byte> v1 = version("Патруль над рекой", false);
  const std::vector<std::byte> v2 = version("Патруль над широкой рекой", true);
  const auto old_po = Write(kPo, "old.po", ReadEntryTexts(v1).value(),
                            {"Training", "Patrol over the river", "note", ""});
  const std::vector<EntryText> now = ReadEntryTexts(v2).value();
  const auto new_po = Write(kPo, "new.po", now, std::vector<std::string>(now.size()));
  const TranslationRecords merged =
      ReadPo(Output("msgmerge --quiet -o - '" + old_po + "' '" + new_po + "'"));
  ASSERT_EQ(merged.problems, std::vector<FileProblem>{});
  const ImportPlan plan = PlanImport(now, merged.translations);
  EXPECT_EQ(plan.problems, std::vector<FileProblem>{});
  EXPECT_EQ(plan.counts.changed, 2u);       // 5001 and 1200, whose texts stayed
  EXPECT_EQ(plan.counts.fuzzy, 1u);         // 5002
  EXPECT_EQ(plan.counts.untranslated, 2u);  // 5003 and the marker
}
#endif

}  // namespace
}  // namespace orva
