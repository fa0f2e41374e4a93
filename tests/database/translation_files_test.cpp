#include "database/translation_files.h"

#include <gtest/gtest.h>

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

std::string Text(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A translation file of `entries` with the translations given (stored bytes;
// empty: none), as a translator's tool would hand it back.
std::string FileWith(TranslationFormat format, std::span<const EntryText> entries,
                     const std::vector<std::string>& translations) {
  const std::vector<std::string> keys = ExchangeKeys(entries);
  std::string out = format == TranslationFormat::kPo ? PoHeader("textdb_00.def") : CsvHeader();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string text = ExchangeText(entries[i].text);
    const std::string translation = ExchangeText(Bytes(translations[i]));
    out += format == TranslationFormat::kPo
               ? PoMessage(keys[i], text, translation, format::IsMission(entries[i].id))
               : CsvRow(keys[i], text, translation);
  }
  return out;
}

TranslationRecords Read(TranslationFormat format, std::string_view content) {
  return format == TranslationFormat::kPo ? ReadPo(content) : ReadCsv(content);
}

// Any text of bytes 0x01 ... 0xFF goes out and comes back, through PO and
// CSV, to the entry it came from; entries not translated keep their texts.
TEST(TranslationFiles, ImportGivesEveryEntryItsTranslationByteForByte) {
  Generated generated(20261210);
  for (int round = 0; round < 400; ++round) {
    const std::vector<std::byte> db = generated.Next();
    const std::vector<EntryText> entries = ReadEntryTexts(db).value();
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
    const auto format = round % 2 == 0 ? TranslationFormat::kPo : TranslationFormat::kCsv;

    const TranslationRecords records = Read(format, FileWith(format, entries, translations));
    ASSERT_EQ(records.problems, std::vector<FileProblem>{}) << "round " << round;
    const ImportPlan plan = PlanImport(entries, records.translations);
    ASSERT_EQ(plan.problems, std::vector<FileProblem>{}) << "round " << round;
    EXPECT_EQ(plan.counts.changed, counts.changed);
    EXPECT_EQ(plan.counts.same, counts.same);
    EXPECT_EQ(plan.counts.untranslated, counts.untranslated);
    EXPECT_EQ(plan.counts.size_change, counts.size_change);

    const std::vector<std::byte> image = Joined(PlanTextChanges(db, plan.changes).value());
    ASSERT_EQ(CheckLayout(image), std::vector<LayoutProblem>{}) << "round " << round;
    const std::vector<EntryText> after = ReadEntryTexts(image).value();
    ASSERT_EQ(after.size(), entries.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      ASSERT_EQ(after[i].id, entries[i].id);
      ASSERT_EQ(Text(after[i].text), expected[i]) << "round " << round << ", entry " << i + 1;
    }
    // An untouched export changes nothing.
    const TranslationRecords untouched =
        Read(format, FileWith(format, after, std::vector<std::string>(after.size())));
    const ImportPlan nothing = PlanImport(after, untouched.translations);
    EXPECT_TRUE(nothing.changes.empty() && nothing.problems.empty());
    EXPECT_EQ(nothing.counts.untranslated, after.size());
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
    test_support::WriteFileBytes(dir_ / name, Bytes(FileWith(format, entries_, translations_)));
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
