// orva-cli insert: texts from the command line or from a file, in order, all
// of them or none.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/formats.h"
#include "database/insertion_plan.h"
#include "database/text_entry_insertion.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

using Outcome = test_support::CliOutcome;

class CliInsertTest : public test_support::CliFixture {
 protected:
  CliInsertTest()
      : old_(DatabaseBuilder().Entry(5001, "Первый вылет").Marker("конец").Build()),
        db_(Database(old_)) {}

  std::string List() { return Run({"list", db_}).out; }
  std::vector<std::byte> OnDisk() const { return test_support::ReadFileBytes(db_); }
  // The database after inserting `texts` one by one with the library.
  std::vector<std::byte> After(const std::vector<std::string>& texts) const {
    std::vector<std::byte> image = old_;
    for (const std::string& text : texts) image = PlanInsertion(image, text).value().image;
    return image;
  }
  const std::vector<std::byte> old_;
  const std::string db_;
};

TEST_F(CliInsertTest, InsertsEachTextInOrderAndPrintsTheNewEntries) {
  const Outcome o = Run({"insert", db_, "Новая миссия", "  с пробелами  "});
  EXPECT_EQ(o.exit_code, 0) << o.err;
  EXPECT_EQ(o.out, "5002\tshot002.bmp\tНовая миссия\n5003\tshot003.bmp\t  с пробелами  \n");
  EXPECT_EQ(o.err, "");
  EXPECT_EQ(OnDisk(), After({"Новая миссия", "  с пробелами  "}));
  EXPECT_EQ(List(),
            "5001\tshot001.bmp\tПервый вылет\n5002\tshot002.bmp\tНовая миссия\n"
            "5003\tshot003.bmp\tс пробелами  \n");
}

TEST_F(CliInsertTest, TakesOneTextPerLineFromAFileOrStandardInput) {
  const auto list = dir_ / "texts.txt";
  test_support::WriteFileBytes(list, test_support::Bytes("Раз\r\nДва\n"));
  const Outcome from_file = Run({"insert", db_, "--from", list.string()});
  EXPECT_EQ(from_file.exit_code, 0) << from_file.err;
  EXPECT_EQ(from_file.out, "5002\tshot002.bmp\tРаз\n5003\tshot003.bmp\tДва\n");

  const Outcome from_input = Run({"insert", "--from", "-", db_}, "Три");
  EXPECT_EQ(from_input.exit_code, 0) << from_input.err;
  EXPECT_EQ(from_input.out, "5004\tshot004.bmp\tТри\n");

  // The longest line: 45 characters of three bytes each, and CR LF.
  std::string longest;
  for (int i = 0; i < 45; ++i) longest += "№";
  test_support::WriteFileBytes(list, test_support::Bytes("Четыре\n" + longest + "\r\n"));
  EXPECT_EQ(Run({"insert", db_, "--from=" + list.string()}).exit_code, 0);
  // After "--", "--from" is a text like any other.
  EXPECT_EQ(Run({"insert", db_, "--", "--from", "-x"}).exit_code, 0);
  EXPECT_EQ(OnDisk(), After({"Раз", "Два", "Три", "Четыре", longest, "--from", "-x"}));
}

TEST_F(CliInsertTest, ARefusalInsertsNoTextAndNamesTheOneRefused) {
  const std::string too_long(46, 'x');
  const Outcome o = Run({"insert", db_, "Первая", too_long, "Третья"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_EQ(Lines(o.err), 1) << o.err;
  EXPECT_NE(o.err.find("text 2, \"" + too_long + "\": the text has 46 characters"),
            std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("no text was inserted"), std::string::npos) << o.err;

  // From a file the same: an empty line and a character the code page lacks.
  const auto list = dir_ / "texts.txt";
  test_support::WriteFileBytes(list, test_support::Bytes("Пятая\n\nСедьмая\n"));
  const Outcome empty = Run({"insert", db_, "--from", list.string()});
  EXPECT_EQ(empty.exit_code, 1);
  // Escaped like any text on standard error: on Windows its backslashes double.
  EXPECT_NE(
      empty.err.find(cli::EscapeText("line 2 of '" + list.string() + "', \"\": the text is empty")),
      std::string::npos)
      << empty.err;
  EXPECT_NE(empty.err.find("no text was inserted"), std::string::npos) << empty.err;
  const Outcome foreign = Run({"insert", db_, "日本"});
  EXPECT_EQ(foreign.exit_code, 1);
  EXPECT_NE(foreign.err.find("\"日本\""), std::string::npos) << foreign.err;
  EXPECT_EQ(OnDisk(), old_);
}

// Standard input with one line that never ends: reading it whole would never
// stop.
TEST_F(CliInsertTest, RefusesALineLongerThanAnyTextAsSoonAsItIsRead) {
  class EndlessLine : public std::streambuf {
   protected:
    int_type underflow() override {
      std::fill(std::begin(ys_), std::end(ys_), 'y');
      setg(ys_, ys_, std::end(ys_));
      return 'y';
    }

   private:
    char ys_[4096];
  } endless;
  std::istream in(&endless);
  std::ostringstream out, err;
  const std::vector<std::string_view> args = {"insert", db_, "--from", "-"};
  EXPECT_EQ(cli::Run(args, in, out, err), 1);
  EXPECT_NE(err.str().find("line 1 of standard input: it is longer than 136 bytes"),
            std::string::npos)
      << err.str();
  EXPECT_EQ(OnDisk(), old_);
}

// A line break would split the printed entry and cannot come from a
// one-line text box or from a --from file.
TEST_F(CliInsertTest, RefusesATextWithALineBreak) {
  const Outcome o = Run({"insert", db_, "two\nlines"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(Lines(o.err), 1) << o.err;
  EXPECT_NE(o.err.find("\"two\\nlines\": the text holds a line break"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), old_);
}

TEST_F(CliInsertTest, LeavesADamagedDatabaseByteForByte) {
  auto damaged = DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Marker("z").Build();
  damaged[damaged.size() - 3] = std::byte{'!'};  // the byte before the marker's text
  test_support::WriteFileBytes(db_, damaged);
  const Outcome o = Run({"insert", db_, "Новая"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("not a NUL"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), damaged);

  const Outcome missing = Run({"insert", (dir_ / "none.def").string(), "x"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

TEST_F(CliInsertTest, AnUnreadableListOfTextsInsertsNothing) {
  const Outcome o = Run({"insert", db_, "--from", (dir_ / "none.txt").string()});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_NE(o.err.find("cannot read the texts"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), old_);
}

// After 4000 comes 4001, after 5999 the end marker's id: both are written as
// the insertion rules say, with a note that the window will not list them.
TEST_F(CliInsertTest, AnEntryThatIsNoMissionIsInsertedWithANote) {
  for (const std::int32_t predecessor : {4000, 5999}) {
    const auto before = DatabaseBuilder().Entry(predecessor, "a").Marker().Build();
    const std::string db = Database(before, "other.def");
    const Outcome o = Run({"insert", db, "Скрытая"});
    EXPECT_TRUE(o.exit_code == 0 && o.out.starts_with(std::to_string(predecessor + 1) + "\t"));
    EXPECT_TRUE(Lines(o.err) == 1 && o.err.find("so the window will not list it") != o.err.npos)
        << o.err;
    EXPECT_EQ(test_support::ReadFileBytes(db), PlanInsertion(before, "Скрытая")->image);
  }
  EXPECT_EQ(Run({"insert", db_, "Видимая"}).err, "");
}

}  // namespace
}  // namespace orva
