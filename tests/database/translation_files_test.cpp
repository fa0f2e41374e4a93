#include "database/translation_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

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

// A translation file of `entries` with the translations given (stored bytes;
// empty: none), as a translator's tool would hand it back.
std::string FileWith(const Saving& saving, std::span<const EntryText> entries,
                     const std::vector<std::string>& translations) {
  const std::vector<std::string> keys = ExchangeKeys(entries);
  const bool po = saving.format == TranslationFormat::kPo;
  const bool own_csv = !po && saving.separator == ',' && saving.encoding == Encoding::kUtf8WithMark;
  std::string text = po ? PoHeader("textdb_00.def") : own_csv ? CsvHeader() : "";
  if (!po && !own_csv) {
    text = std::string("id") + saving.separator + "text" + saving.separator + "translation\r\n";
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string source = ExchangeText(entries[i].text);
    const std::string translation = ExchangeText(Bytes(translations[i]));
    if (po) {
      text += PoMessage(keys[i], source, translation, format::IsMission(entries[i].id));
    } else {
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
      return "\xEF\xBB\xBF" + text;
    case Encoding::kWindows1251:
      return Text(StoredText(text).value());
    case Encoding::kUtf8:
      break;
  }
  return text;
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
// their texts.
TEST(TranslationFiles, ImportGivesEveryEntryItsTranslationByteForByte) {
  Generated generated(20261210);
  for (int round = 0; round < 600; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
    const Saving& saving = kSavings[generated.Pick(0, static_cast<int>(std::size(kSavings)) - 1)];
    std::vector<std::string> translations(entries.size());
    std::vector<std::string> expected;
    ImportCounts counts;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const std::string old = Text(entries[i].text);
      const int pick = generated.Pick(0, 5);
      if (pick <= 2) translations[i] = generated.AnyText(30);
      if (pick == 3) translations[i] = old;
      const std::string& now = translations[i];
      counts.changed += !now.empty() && now != old;
      counts.same += !now.empty() && now == old;
      counts.size_change += now.empty() ? 0 : static_cast<std::int64_t>(now.size() - old.size());
      expected.push_back(now.empty() ? old : now);
    }
    counts.untranslated = entries.size() - counts.changed - counts.same;
    const std::string context = "round " + std::to_string(round);

    const bool marked = saving.encoding == Encoding::kUtf8WithMark;
    const bool says_windows_1251 =
        saving.encoding == Encoding::kWindows1251 || (marked && generated.Pick(0, 1) == 0);
    const TranslationRecords read =
        Read(saving, FileWith(saving, entries, translations), says_windows_1251);
    ASSERT_EQ(read.problems, std::vector<FileProblem>{}) << context;
    const ImportPlan plan = PlanImport(entries, read.translations);
    ASSERT_EQ(plan.problems, std::vector<FileProblem>{}) << context;
    EXPECT_EQ(plan.counts.changed, counts.changed) << context;
    EXPECT_EQ(plan.counts.same, counts.same) << context;
    EXPECT_EQ(plan.counts.untranslated, counts.untranslated) << context;
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
    const std::string untouched = FileWith(saving, after, std::vector<std::string>(after.size()));
    const ImportPlan nothing =
        PlanImport(after, Read(saving, untouched, says_windows_1251).translations);
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

  // The separator is the first outside quotes on the first line.
  EXPECT_EQ(ReadCsv("\"a, b\";id;translation\n;5;x\n").translations.at(0).text, "x");

  // A column the reader takes, named twice.
  for (const char* twice : {"id,id,translation", "translation;id;translation"}) {
    const FileProblem p = only(ReadCsv(std::string(twice) + "\n1,a,b,c\n"));
    EXPECT_EQ(p.line, 1u);
    EXPECT_NE(p.what.find(std::string("'") + (twice[0] == 'i' ? "id" : "translation") + "' twice"),
              std::string::npos)
        << p.what;
  }

  // UTF-16: a character outside the first plane comes as a surrogate pair; a
  // surrogate alone, or half a unit at the end, is refused at its line.
  const std::string pair = Utf16(u"id\ttext\ttranslation\r\n1\t\"\n\"\tЁ\U0001F600\r\n", false);
  EXPECT_EQ(ReadCsv(pair).translations.at(0).text, "Ё\U0001F600");
  const std::string head = Utf16(u"id,translation\n1,Ё\n2,", true);
  EXPECT_EQ(ReadCsv(head).translations.at(0).text, "Ё");
  for (const std::string& bad :
       {head + "\xD8\x3D" + "\x00,"s, head + "\xDE\x00"s, head + "\x00"s}) {
    EXPECT_EQ(only(ReadCsv(bad)).line, 3u) << only(ReadCsv(bad)).what;
  }
}

#ifndef _WIN32
// What gettext's tools and Python's csv module make of an export: a file
// with every byte a text can hold, an id two entries share, and
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
              .Marker("end")
              .Build();
    entries_ = ReadEntryTexts(db_).value();
    translations_ = {"", all.substr(130), "\n\t\"x\"\r\n", "Night convoy ", "", ""};
  }
  std::string Write(TranslationFormat format, const std::string& name) {
    const Saving exported{
        format, format == TranslationFormat::kPo ? Encoding::kUtf8 : Encoding::kUtf8WithMark, ',',
        true};
    test_support::WriteFileBytes(dir_ / name, Bytes(FileWith(exported, entries_, translations_)));
    return (dir_ / name).string();
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
      given.push_back({keys[i], ExchangeText(Bytes(translations_[i])), 0, 0});
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
#endif

}  // namespace
}  // namespace orva
