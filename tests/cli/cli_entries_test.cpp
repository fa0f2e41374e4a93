// orva-cli entries and replace.
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "storage/file_system.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;
using Outcome = test_support::CliOutcome;

class CliEntriesTest : public test_support::CliFixture {
 protected:
  CliEntriesTest()
      : old_(DatabaseBuilder()
                 .Entry(1200, "Заметка: ёлка")
                 .Entry(5001, "Ёлка у реки")
                 .Entry(5002, "ЂАК и ђак")
                 .Marker("конец")
                 .Entry(7000, "после ЁЛКИ")
                 .Build()),
        db_(Database(old_)) {}

  // The table slots of the entries printed, in order.
  std::string Slots(std::vector<std::string> args) {
    args.insert(args.begin(), {"entries", db_});
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    std::string slots;
    for (std::size_t at = 0; at < o.out.size(); at = o.out.find('\n', at) + 1) {
      slots += (slots.empty() ? "" : " ") + o.out.substr(at, o.out.find('\t', at) - at);
    }
    return slots;
  }
  std::vector<std::byte> OnDisk() const { return test_support::ReadFileBytes(db_); }
  std::int64_t Modified() const { return RealFileSystem().Stat(db_).value().modified_ns; }

  const std::vector<std::byte> old_;
  const std::string db_;
};

TEST_F(CliEntriesTest, ListsEveryEntryWithItsKindAndKeepsThoseEveryFilterTakes) {
  const Outcome all = Run({"entries", db_});
  ASSERT_EQ(all.exit_code, 0) << all.err;
  EXPECT_EQ(all.out,
            "1\t1200\tother\t\t13\tЗаметка: ёлка\n"
            "2\t5001\tmission\tshot001.bmp\t11\tЁлка у реки\n"
            "3\t5002\tmission\tshot002.bmp\t9\tЂАК и ђак\n"
            "4\t6000\tmarker\t\t5\tконец\n"
            "5\t7000\tother\t\t10\tпосле ЁЛКИ\n");
  // --match folds every letter pair and looks at the id and the image too.
  EXPECT_EQ(Slots({"--match", "ЁЛКА"}), "1 2");
  EXPECT_EQ(Slots({"--match", "ђАк И"}), "3");
  EXPECT_EQ(Slots({"--match", "SHOT002"}), "3");
  EXPECT_EQ(Slots({"--match", "shot200"}), "");  // 1200 is no mission and has no image
  EXPECT_EQ(Slots({"--match", "700"}), "5");
  EXPECT_EQ(Slots({"--match", "日"}), "");
  // --regex keeps case and takes a Cyrillic letter for one character.
  EXPECT_EQ(Slots({"--regex", "^.лка"}), "2");
  EXPECT_EQ(Slots({"--regex", "^ё"}), "");
  EXPECT_EQ(Slots({"--regex", "[Ёё]л"}), "1 2");
  EXPECT_EQ(Slots({"--match", "ёлка", "--kind", "mission"}), "2");
  EXPECT_EQ(Slots({"--kind", "other", "--regex", "ЁЛ"}), "5");

  const Outcome bad = Run({"entries", db_, "--regex", "[а-"});
  EXPECT_EQ(bad.exit_code, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(Lines(bad.err), 1);
  EXPECT_NE(bad.err.find("--regex: the regular expression is not valid"), std::string::npos);
  EXPECT_EQ(Run({"entries", db_, "--kind", "missions"}).exit_code, 2);

  // An id is matched as it is written, minus sign and all.
  test_support::WriteFileBytes(
      db_, DatabaseBuilder().Entry(-7, "минус").Entry(5001, "a").Marker("z").Build());
  EXPECT_EQ(Slots({"--match=-7"}), "1");
  EXPECT_EQ(Slots({"--match", "7"}), "1");
}

// Patterns made to break a regular expression engine: nested far deeper
// than anyone writes, or repeated into more than the memory budget. Each is a
// usage error in one line, never a crash; (?i) folds Cyrillic as --match.
TEST_F(CliEntriesTest, RefusesPatternsTooDeepOrTooLargeAsUsageErrors) {
  auto nested = [](const std::string& open, std::size_t depth) {
    std::string pattern;
    for (std::size_t i = 0; i < depth; ++i) pattern += open;
    return pattern + "a" + std::string(depth, ')');
  };
  const std::vector<std::vector<std::string>> commands = {
      {"entries", "--regex", nested("(?:", 20000), db_},
      {"replace", "--regex", db_, nested("(", 30000), "x"},
      {"entries", "--regex", "\\pL{1000}\\pL{1000}\\pL{1000}\\pL{1000}", db_},
      {"replace", "--regex", db_, "(?:(?:a{1000}){1000}){1000}", "x"},
  };
  for (const auto& command : commands) {
    const Outcome refused = Run(command);
    EXPECT_EQ(refused.exit_code, 2) << command[0] << ": " << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Lines(refused.err), 1) << refused.err;
    EXPECT_NE(refused.err.find("the regular expression "), std::string::npos) << refused.err;
  }
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(Slots({"--regex", "(?i)ёЛК[АИ]"}), "1 2 5");
  EXPECT_EQ(Slots({"--regex", "(?i)^[а-я]+ у"}), "");
  EXPECT_EQ(Slots({"--regex", "(?i)^[а-яё]+ у"}), "2");
}

TEST_F(CliEntriesTest, TellsAMissionPastTheSlotsTheWindowReadsAndWritesJson) {
  const Outcome json = Run({"entries", "--json", db_, "--match", "а"});
  ASSERT_EQ(json.exit_code, 0) << json.err;
  const auto document = nlohmann::json::parse(json.out);
  ASSERT_EQ(document["entries"].size(), 3u);
  EXPECT_EQ(document["entries"][0]["image"], nullptr);
  EXPECT_EQ(document["entries"][1],
            nlohmann::json::parse(R"({"slot": 2, "id": 5001, "kind": "mission",
              "image": "shot001.bmp", "length": 11, "text": "Ёлка у реки"})"));
  EXPECT_EQ(nlohmann::json::parse(Run({"entries", "--json", db_, "--match", "日"}).out),
            nlohmann::json::parse(R"({"entries": []})"));

  DatabaseBuilder long_table;
  for (int i = 0; i < 1000; ++i) long_table.Entry(100, "x");
  const std::string db = Database(long_table.Entry(5001, "далеко").Marker().Build(), "long.def");
  EXPECT_EQ(Run({"entries", db, "--kind", "unlisted-mission"}).out,
            "1001\t5001\tunlisted-mission\tshot001.bmp\t6\tдалеко\n");
}

TEST_F(CliEntriesTest, ReplacesEveryOccurrenceWithOneRewriteAndReportsEachEntry) {
  const Outcome dry = Run({"replace", db_, "ёлка", "ель", "--dry-run"});
  ASSERT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out, "1200\tЗаметка: ёлка\tЗаметка: ель\n5001\tЁлка у реки\tель у реки\n");
  EXPECT_NE(dry.err.find("replaced 2 occurrences in 2 entries (dry run"), std::string::npos);
  EXPECT_EQ(OnDisk(), old_);

  const Outcome cased = Run({"replace", "-b", db_, "ёлка", "ель", "--match-case"});
  ASSERT_EQ(cased.exit_code, 0) << cased.err;
  EXPECT_EQ(cased.out, "1200\tЗаметка: ёлка\tЗаметка: ель\n");
  EXPECT_EQ(test_support::ReadFileBytes(db_ + "~"), old_);
  EXPECT_EQ(Run({"entries", db_, "--match", "ель"}).out, "1\t1200\tother\t\t12\tЗаметка: ель\n");

  const Outcome regex =
      Run({"replace", "--json", "--regex", db_, "(\\S+) у (\\S+)", "$2 и $1 ($$)"});
  ASSERT_EQ(regex.exit_code, 0) << regex.err;
  const auto document = nlohmann::json::parse(regex.out);
  EXPECT_EQ(document["changed"][0]["text"], "реки и Ёлка ($)");
  EXPECT_EQ(document["occurrences"], 1);
  EXPECT_EQ(document["written"], true);
  EXPECT_EQ(Run({"replace", db_, "(", "x", "--regex"}).exit_code, 2);
}

// A new text the code page cannot store refuses the whole replacement and
// names its entry; a text found nowhere rewrites nothing.
TEST_F(CliEntriesTest, ReplacesAllOrNothing) {
  const std::int64_t modified = Modified();
  const Outcome refused = Run({"replace", "-b", db_, "Ё", "日"});
  EXPECT_EQ(refused.exit_code, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("table slot 1 (id 1200)"), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("\"日\" (U+65E5)"), std::string::npos) << refused.err;
  const Outcome nothing = Run({"replace", db_, "самолёт", "日"});
  EXPECT_EQ(nothing.exit_code, 0);
  EXPECT_EQ(nothing.out, "");
  EXPECT_NE(nothing.err.find("nothing found: the database was not rewritten"), std::string::npos);
  EXPECT_EQ(Run({"replace", db_, "ЁЛКИ", "ЁЛКИ", "--match-case"}).out, "");
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(Modified(), modified);
  EXPECT_FALSE(std::filesystem::exists(db_ + "~"));
}

}  // namespace
}  // namespace orva
