// orva-cli set, remove, export and import.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::DatabaseBuilder;
using Outcome = test_support::CliOutcome;

// An environment variable set (or, given nothing, unset) for one scope and
// put back as it was afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;
  ~ScopedVariable() { Set(old_); }

  void Set(const std::optional<std::string>& value) const {
#ifdef _WIN32
    ASSERT_EQ(_putenv_s(name_, value ? value->c_str() : ""), 0);  // "" unsets it
#else
    ASSERT_EQ(value ? ::setenv(name_, value->c_str(), 1) : ::unsetenv(name_), 0);
#endif
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class CliEditTest : public test_support::CliFixture {
 protected:
  CliEditTest()
      : old_(DatabaseBuilder()
                 .Entry(5001, "Первый")
                 .Entry(1200, "заметка")
                 .Entry(5001, "Второй")
                 .Marker("конец")
                 .Build()),
        db_(Database(old_)) {}

  std::vector<std::byte> OnDisk() const { return test_support::ReadFileBytes(db_); }
  std::string File(const std::string& name, const std::string& content) {
    test_support::WriteFileBytes(dir_ / name, Bytes(content));
    return (dir_ / name).string();
  }
  std::string Export(const std::string& format) {
    const Outcome o = Run({"export", db_, "--format", format});
    EXPECT_EQ(o.exit_code, 0) << o.err;
    return o.out;
  }

  const std::vector<std::byte> old_;
  const std::string db_;
};

TEST_F(CliEditTest, SetAndRemovePickAnEntryAndRefuseAmbiguity) {
  const Outcome ambiguous = Run({"set", db_, "5001", "x"});
  EXPECT_EQ(ambiguous.exit_code, 1);
  EXPECT_NE(ambiguous.err.find("table slots 1, 3"), std::string::npos) << ambiguous.err;
  EXPECT_EQ(OnDisk(), old_);

  const Outcome set = Run({"set", "--json", db_, "5001", "--slot", "3", "Длинный\nновый"});
  ASSERT_EQ(set.exit_code, 0) << set.err;
  const auto document = nlohmann::json::parse(set.out);
  EXPECT_EQ(document["set"]["old_text"], "Второй");
  EXPECT_EQ(document["set"]["slot"], 3);
  EXPECT_NE(Export("po").find("msgid \"\"\n\"Длинный\\n\"\n\"новый\""), std::string::npos);

  const Outcome marker = Run({"remove", db_, "6000"});
  EXPECT_EQ(marker.exit_code, 1);
  EXPECT_NE(marker.err.find("cannot be removed"), std::string::npos);
  EXPECT_EQ(Run({"remove", db_, "5001", "--slot", "0"}).exit_code, 2);

  ASSERT_EQ(Run({"remove", db_, "1200"}).exit_code, 0);
  ASSERT_EQ(Run({"remove", db_, "5001", "--slot", "2"}).exit_code, 0);
  EXPECT_EQ(Run({"list", db_}).out, "5001\tshot001.bmp\tПервый\n");

  // The last table slot (here past the end marker) can be picked; the one
  // past it is refused by its number.
  const std::vector<std::byte> tail =
      DatabaseBuilder().Entry(5001, "a").Marker().Entry(5001, "b").Build();
  const std::string other = Database(tail, "textdb_01.def");
  for (const char* command : {"set", "remove"}) {
    std::vector<std::string> past = {command, other, "5001", "--slot", "4"};
    if (std::string(command) == "set") past.push_back("x");
    const Outcome refused = Run(past);
    EXPECT_EQ(refused.exit_code, 1) << command;
    EXPECT_NE(refused.err.find("table slot 4"), std::string::npos) << refused.err;
    EXPECT_EQ(test_support::ReadFileBytes(other), tail);
  }
  const Outcome last = Run({"set", "--json", other, "5001", "--slot", "3", "c"});
  ASSERT_EQ(last.exit_code, 0) << last.err;
  EXPECT_EQ(nlohmann::json::parse(last.out)["set"]["old_text"], "b");
  const Outcome removed = Run({"remove", other, "5001", "--slot", "3"});
  EXPECT_EQ(removed.exit_code, 0) << removed.err;
  EXPECT_EQ(removed.out, "5001\tc\n");
  EXPECT_EQ(test_support::ReadFileBytes(other),
            DatabaseBuilder().Entry(5001, "a").Marker().Build());
}

// The translator's round trip: export, translate in the file, import.
TEST_F(CliEditTest, ImportsWhatATranslatorFilledIn) {
  // An untouched export changes nothing, and nothing is rewritten.
  const Outcome untouched = Run({"import", db_, File("t.po", Export("po"))});
  EXPECT_EQ(untouched.exit_code, 0) << untouched.err;
  EXPECT_EQ(untouched.out,
            "changed 0, already the same 0, untranslated 4, fuzzy 0, source changed 0, size change "
            "0 bytes (nothing to change: the database was not rewritten)\n");

  std::string csv = Export("csv");
  ASSERT_EQ(csv.find("\xEF\xBB\xBFid,text,translation\r\n5001#1,Первый,\r\n"), 0u) << csv;
  csv.replace(csv.find("Первый,") + std::string("Первый,").size(), 0, "\"First, \"\"one\"\"\"");
  csv.replace(csv.find("заметка,") + std::string("заметка,").size(), 0, "заметка");
  const std::string file = File("t.csv", csv);

  const Outcome dry = Run({"import", db_, file, "--dry-run"});
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out,
            "changed 1, already the same 1, untranslated 2, fuzzy 0, source changed 0, size change "
            "+6 bytes (dry run: nothing was written)\n");
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(Run({"import", db_, file}).exit_code, 0);
  EXPECT_EQ(Run({"list", db_}).out,
            "5001\tshot001.bmp\tFirst, \"one\"\n5001\tshot001.bmp\tВторой\n");
  const Outcome again = Run({"import", "--json", db_, file});
  EXPECT_EQ(nlohmann::json::parse(again.out)["written"], false);
}

TEST_F(CliEditTest, ImportReportsEveryProblemWithItsLineAndChangesNothing) {
  const std::string po =
      File("bad.po",
           "msgctxt \"777\"\nmsgid \"a\"\nmsgstr \"b\"\n"                // 1: unknown id
           "\nmsgctxt \"1200\"\nmsgid \"заметка\"\nmsgstr \"日本\"\n"    // 7: Windows-1251
           "\nmsgctxt \"5001\"\nmsgid \"a\"\nmsgstr \"b\"\n"             // 9: two entries
           "\nmsgctxt \"5001#3\"\nmsgid \"Второй\"\nmsgstr \"a\\0b\"\n"  // 15: NUL
           "bogus\n"                                                     // 16
           "\nmsgctxt \"5001#3\"\nmsgid \"a\"\nmsgstr \"c\"\n"           // 18: twice
           "\nmsgctxt \"6000\"\nmsgid \"a\"\nmsgid_plural \"b\"\n"       // 22: plural
           "msgstr[0] \"x\"\n"
           "\n#, fuzzy\nmsgctxt \"6000\"\nmsgid \"a\"\nmsgstr \"fine\"\n");
  const Outcome o = Run({"import", db_, po});
  EXPECT_EQ(o.exit_code, 1);
  for (const char* line :
       {":1: no entry", ":7: the character", ":9: 2 entries", ":15: the text holds a NUL",
        ":16: 'bogus'", ":18: the entry in table slot 3", ":22: the message has plural"}) {
    EXPECT_NE(o.err.find(std::string("bad.po") + line), std::string::npos) << line << "\n" << o.err;
  }
  EXPECT_NE(o.err.find("7 problems in the translations, so nothing was imported"),
            std::string::npos);
  // A line the reader cannot read stops the translations it could.
  const Outcome half =
      Run({"import", db_,
           File("half.po", "msgctxt \"1200\"\nmsgid \"заметка\"\nmsgstr \"note\"\nbogus\n")});
  EXPECT_EQ(half.exit_code, 1);
  EXPECT_NE(half.err.find("half.po:4: 'bogus'"), std::string::npos) << half.err;
  EXPECT_EQ(OnDisk(), old_);

  // Lines count on past fields that hold line breaks.
  const std::string csv = File("bad.csv",
                               "id,translation\n5001#1,\"two\nlines\"\n5001#3,\"ok\"x\n"
                               "777,x\r\n1200,\"open\r\n");
  const Outcome c = Run({"import", db_, csv});
  EXPECT_EQ(c.exit_code, 1);
  for (const char* line : {":4: a quoted field goes on", ":5: no entry", ":6: a quoted field is"}) {
    EXPECT_NE(c.err.find(std::string("bad.csv") + line), std::string::npos) << line << "\n"
                                                                            << c.err;
  }
  EXPECT_EQ(OnDisk(), old_);
}

// An output that is the database, by whatever name, is refused as cp refuses
// to copy a file onto itself: exit status 1, the reason, nothing written.
TEST_F(CliEditTest, ExportNeverWritesOverTheDatabase) {
  namespace fs = std::filesystem;
  fs::create_directory(dir_ / "sub");
  std::vector<std::string> names = {db_, (dir_ / "sub" / ".." / "textdb_00.def").string()};
  std::error_code error;
  fs::create_symlink(db_, dir_ / "link.po", error);
  if (!error) names.push_back((dir_ / "link.po").string());
  fs::create_hard_link(db_, dir_ / "hard.csv", error);
  if (!error) names.push_back((dir_ / "hard.csv").string());
  for (const std::string& output : names) {
    for (const char* format : {"po", "csv"}) {
      const Outcome o = Run({"export", "--format", format, db_, "-o", output});
      EXPECT_EQ(o.exit_code, 1) << output;
      EXPECT_NE(o.err.find("the file it is made from"), std::string::npos) << o.err;
      EXPECT_EQ(o.out, "");
      EXPECT_EQ(OnDisk(), old_) << output;
    }
  }
}

// A translation is of the text the file holds beside it: if the entry's
// text has changed since, the translation may be of something else.
TEST_F(CliEditTest, ImportRefusesTranslationsOfTextsChangedSinceTheExport) {
  std::string po = Export("po");
  const std::string source = "msgid \"заметка\"\nmsgstr \"\"";
  const std::size_t at = po.find(source);
  ASSERT_NE(at, std::string::npos) << po;
  po.replace(at, source.size(), "msgid \"заметка\"\nmsgstr \"note\"");
  const std::string file = File("old.po", po);
  const std::string line = std::to_string(std::count(po.begin(), po.begin() + at, '\n') + 1);
  ASSERT_EQ(Run({"set", db_, "1200", "новая заметка"}).exit_code, 0);
  const std::vector<std::byte> changed = OnDisk();

  const Outcome refused = Run({"import", db_, file});
  EXPECT_EQ(refused.exit_code, 1);
  for (const std::string& said : std::vector<std::string>{
           "old.po:" + line + ": the text of 1200 has changed", "\"новая заметка\" now",
           "\"заметка\" in the file", "old.po new.po -o merged.po"}) {
    EXPECT_NE(refused.err.find(said), std::string::npos) << said << "\n" << refused.err;
  }
  EXPECT_EQ(OnDisk(), changed);
  const Outcome skipped = Run({"import", "--source-changed=skip", db_, file});
  EXPECT_EQ(skipped.exit_code, 0) << skipped.err;
  EXPECT_NE(skipped.out.find("untranslated 3, fuzzy 0, source changed 1,"), std::string::npos)
      << skipped.out;
  EXPECT_EQ(OnDisk(), changed);
  ASSERT_EQ(Run({"import", "--source-changed", "apply", db_, file}).exit_code, 0);
  EXPECT_NE(Export("po").find("msgctxt \"1200\"\nmsgid \"note\""), std::string::npos);

  // In a spreadsheet the translation goes in its own column, not over the text.
  std::string csv = Export("csv");
  csv.replace(csv.find("1200,note,"), 10, "1200,Note in English,");
  const Outcome typed_over = Run({"import", db_, File("t.csv", csv)});
  EXPECT_EQ(typed_over.exit_code, 1);
  EXPECT_NE(typed_over.err.find("t.csv:3: the text of 1200 has changed"), std::string::npos)
      << typed_over.err;
  EXPECT_NE(typed_over.err.find("the translations are read from the 'translation' column"),
            std::string::npos);
  EXPECT_NE(typed_over.err.find("t.csv: no row has a translation"), std::string::npos);
}

// Files as editors and spreadsheets save them: a PO file with a byte order
// mark, a CSV file separated by semicolons, Excel's "Unicode text" (UTF-16
// and tabs), and plain CSV in Windows-1251.
TEST_F(CliEditTest, ImportReadsFilesAsEditorsAndSpreadsheetsSaveThem) {
  std::string utf16 = "\xFF\xFE";
  for (char16_t unit : std::u16string(u"id\ttranslation\r\n5001#3\t\"Три,\tчетыре\"\r\n")) {
    utf16 += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  }
  // 0x98, which Windows-1251 leaves without a character, comes in as the
  // export writes it.
  const std::string ansi =
      "id;text;translation\r\n1200;\xE7\xE0\xEC\xE5\xF2\xEA\xE0;x\r\n"
      "5001#3;\"\xD2\xF0\xE8,\t\xF7\xE5\xF2\xFB\xF0\xE5\";\xCF\xFF\xF2\xFC \x98\r\n";
  struct Saved {
    std::string name, content;
    std::vector<std::string> options;
    std::string exported;  // the entry's CSV row after the import
  };
  for (const Saved& saved : std::vector<Saved>{
           {"t.po",
            "\xEF\xBB\xBFmsgctxt \"5001#3\"\nmsgid \"Второй\"\nmsgstr \"Два\"",
            {},
            "5001#3,Два,"},
           {"t.csv", "id;translation\r\n5001#3;\"Два; три\"\r\n", {}, "5001#3,Два; три,"},
           {"unicode.txt", utf16, {"--format", "csv"}, "5001#3,\"Три,\tчетыре\","},
           {"ansi.csv", ansi, {"--encoding", "windows-1251"}, "5001#3,Пять \xC2\x98,"}}) {
    std::vector<std::string> args = {"import", db_, File(saved.name, saved.content)};
    args.insert(args.end(), saved.options.begin(), saved.options.end());
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit_code, 0) << saved.name << ": " << o.err;
    EXPECT_NE(Export("csv").find("\r\n" + saved.exported + "\r\n"), std::string::npos)
        << saved.name;
  }
  const std::vector<std::byte> before = OnDisk();
  const Outcome unread = Run({"import", db_, File("ansi.csv", ansi)});
  EXPECT_NE(unread.err.find("ansi.csv:2: "), std::string::npos) << unread.err;
  EXPECT_NE(unread.err.find("--encoding windows-1251"), std::string::npos) << unread.err;
  const Outcome po = Run({"import", db_, File("t.po", ""), "--encoding", "windows-1251"});
  EXPECT_NE(po.err.find("--encoding is for CSV files"), std::string::npos) << po.err;
  const Outcome twice = Run({"import", db_, File("twice.csv", "id,id,translation\n1200,1200,x\n")});
  EXPECT_NE(twice.err.find("twice.csv:1: the first line names the column 'id' twice"),
            std::string::npos)
      << twice.err;
  EXPECT_TRUE(unread.exit_code == 1 && po.exit_code == 1 && twice.exit_code == 1);
  EXPECT_EQ(OnDisk(), before);
}

// GNU's backups: existing (the default) is simple until a numbered backup is
// there; each holds the file as it was before that change, and a refusal
// makes none.
TEST_F(CliEditTest, BacksUpTheOldFileAsGnuToolsDo) {
  namespace fs = std::filesystem;
  const std::string po = File("t.po", "msgctxt \"1200\"\nmsgid \"a\"\nmsgstr \"x\"\n");
  ASSERT_EQ(Run({"set", "-b", db_, "1200", "a"}).exit_code, 0);
  const std::vector<std::byte> after_set = OnDisk();
  EXPECT_EQ(test_support::ReadFileBytes(db_ + "~"), old_);
  ASSERT_EQ(Run({"insert", "--backup=nu", db_, "b"}).exit_code, 0);
  EXPECT_EQ(test_support::ReadFileBytes(db_ + ".~1~"), after_set);
  const std::vector<std::byte> after_insert = OnDisk();
  ASSERT_EQ(Run({"import", "--backup", db_, po}).exit_code, 0);
  EXPECT_EQ(test_support::ReadFileBytes(db_ + ".~2~"), after_insert);
  const std::vector<std::byte> after_import = OnDisk();
  EXPECT_NE(after_import, after_insert);
  ASSERT_EQ(Run({"remove", "-S", ".old", "--backup=simple", db_, "1200"}).exit_code, 0);
  EXPECT_EQ(test_support::ReadFileBytes(db_ + ".old"), after_import);
  // A backup that cannot be made (a folder holds its name) refuses the change.
  const std::vector<std::byte> before = OnDisk();
  fs::create_directory(db_ + ".blocked");
  const Outcome blocked =
      Run({"set", "--backup=simple", "-S", ".blocked", db_, "5001", "--slot", "1", "x"});
  EXPECT_EQ(blocked.exit_code, 1);
  EXPECT_NE(blocked.err.find("cannot make the backup"), std::string::npos) << blocked.err;
  EXPECT_EQ(OnDisk(), before);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 7);
  EXPECT_EQ(Run({"remove", "-b", db_, "6000"}).exit_code, 1);
  EXPECT_FALSE(fs::exists(db_ + ".~3~"));
  EXPECT_EQ(Run({"set", "--backup=n", db_, "5001", "--slot", "1", "x"}).exit_code, 2);
}

// Without CONTROL the kind comes from VERSION_CONTROL and the suffix from
// SIMPLE_BACKUP_SUFFIX, each from its own; -S alone asks for a backup, as
// --suffix does for GNU; what the command line says wins.
TEST_F(CliEditTest, TheEnvironmentChoosesTheBackupWhereTheCommandLineDoesNot) {
  namespace fs = std::filesystem;
  ScopedVariable control("VERSION_CONTROL", std::nullopt);
  ScopedVariable suffix("SIMPLE_BACKUP_SUFFIX", std::nullopt);
  std::vector<std::byte> before = OnDisk();
  int changes = 0;
  auto set = [&](const std::vector<std::string>& options) {
    std::vector<std::string> args = {"set"};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), {db_, "1200", "текст " + std::to_string(++changes)});
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit_code, 0) << ::testing::PrintToString(args) << "\n" << o.err;
  };
  auto expect_backup = [&](const std::string& ending) {
    EXPECT_EQ(test_support::ReadFileBytes(db_ + ending), before) << ending;
    before = OnDisk();
  };

  set({"-S", ".before"});
  expect_backup(".before");
  control.Set("numbered");
  suffix.Set(".orig");
  set({"-b"});
  expect_backup(".~1~");
  EXPECT_FALSE(fs::exists(db_ + ".orig"));
  control.Set("simple");
  set({"-b"});
  expect_backup(".orig");
  set({"--backup=t"});
  expect_backup(".~2~");
  set({"-b", "--suffix=.mine"});
  expect_backup(".mine");

  control.Set("sometimes");
  const Outcome wrong = Run({"set", "-b", db_, "1200", "x"});
  EXPECT_EQ(wrong.exit_code, 2);
  EXPECT_NE(wrong.err.find("invalid backup type 'sometimes' in VERSION_CONTROL"), std::string::npos)
      << wrong.err;
  EXPECT_EQ(OnDisk(), before);
}

}  // namespace
}  // namespace orva
