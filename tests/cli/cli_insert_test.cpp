// orva-cli insert: texts from the command line or from a file, in order, and
// a refusal that stops the run without damaging the database.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "database/text_entry_insertion.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using testing::DatabaseBuilder;

using Outcome = testing::CliOutcome;

class CliInsertTest : public ::testing::Test {
 protected:
  CliInsertTest()
      : old_(DatabaseBuilder().Entry(5001, "Первый вылет").Marker("конец").Build()),
        db_((dir_ / "textdb_00.def").string()) {
    testing::WriteFileBytes(db_, old_);
  }

  Outcome Run(const std::vector<std::string>& args, const std::string& input = "") {
    return testing::RunCli(args, input);
  }
  std::string List() { return Run({"list", db_}).out; }
  std::vector<std::byte> OnDisk() const { return testing::ReadFileBytes(db_); }
  // The database after inserting `texts` one by one with the library.
  std::vector<std::byte> After(std::vector<std::string> texts) const {
    std::vector<std::byte> image = old_;
    for (const std::string& text : texts) image = PlanInsertion(image, text).value().image;
    return image;
  }
  static long Lines(const std::string& s) { return std::count(s.begin(), s.end(), '\n'); }

  testing::TempDir dir_;
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
  testing::WriteFileBytes(list, testing::Bytes("Раз\r\nДва\n"));
  const Outcome from_file = Run({"insert", db_, "--from", list.string()});
  EXPECT_EQ(from_file.exit_code, 0) << from_file.err;
  EXPECT_EQ(from_file.out, "5002\tshot002.bmp\tРаз\n5003\tshot003.bmp\tДва\n");

  const Outcome from_input = Run({"insert", "--from", "-", db_}, "Три");
  EXPECT_EQ(from_input.exit_code, 0) << from_input.err;
  EXPECT_EQ(from_input.out, "5004\tshot004.bmp\tТри\n");
  EXPECT_EQ(OnDisk(), After({"Раз", "Два", "Три"}));
}

TEST_F(CliInsertTest, ARefusalKeepsTheTextsBeforeItAndStopsThere) {
  const std::string too_long(46, 'x');
  const Outcome o = Run({"insert", db_, "Первая", too_long, "Третья", "Четвёртая"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "5002\tshot002.bmp\tПервая\n");
  EXPECT_EQ(Lines(o.err), 1) << o.err;
  EXPECT_NE(o.err.find("\"" + too_long + "\""), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("46 characters"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("2 later texts were not inserted"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), After({"Первая"}));

  // From a file the same: an empty line and a character the code page lacks.
  const auto list = dir_ / "texts.txt";
  testing::WriteFileBytes(list, testing::Bytes("Пятая\n\nСедьмая\n"));
  const Outcome empty = Run({"insert", db_, "--from", list.string()});
  EXPECT_EQ(empty.exit_code, 1);
  EXPECT_NE(empty.err.find("the text is empty"), std::string::npos) << empty.err;
  const Outcome foreign = Run({"insert", db_, "日本"});
  EXPECT_EQ(foreign.exit_code, 1);
  EXPECT_NE(foreign.err.find("\"日本\""), std::string::npos) << foreign.err;
  EXPECT_EQ(OnDisk(), After({"Первая", "Пятая"}));
}

// A line break would split the printed entry and cannot come from a
// one-line text box or from a --from file.
TEST_F(CliInsertTest, RefusesATextWithALineBreak) {
  const Outcome o = Run({"insert", db_, "two\nlines"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_NE(o.err.find("line break"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), old_);
}

TEST_F(CliInsertTest, LeavesADamagedDatabaseByteForByte) {
  auto damaged = DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Marker("z").Build();
  damaged[damaged.size() - 3] = std::byte{'!'};  // the byte before the marker's text
  testing::WriteFileBytes(db_, damaged);
  const Outcome o = Run({"insert", db_, "Новая"});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "");
  EXPECT_NE(o.err.find("not a NUL"), std::string::npos) << o.err;
  EXPECT_EQ(OnDisk(), damaged);

  const Outcome missing = Run({"insert", (dir_ / "none.def").string(), "x"});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos) << missing.err;
}

TEST_F(CliInsertTest, UsageErrorsExitWithTwoAndChangeNothing) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"insert"},
                                             {"insert", db_},
                                             {"insert", db_, "--from"},
                                             {"insert", db_, "x", "--from", "-"},
                                             {"insert", db_, "--from", "-", "--from", "-"}}) {
    const Outcome o = Run(args, "text\n");
    EXPECT_EQ(o.exit_code, 2) << ::testing::PrintToString(args);
    EXPECT_NE(o.err.find("usage: orva-cli"), std::string::npos);
  }
  // An unreadable list of texts is not a usage error, but inserts nothing.
  const Outcome unreadable = Run({"insert", db_, "--from", (dir_ / "none.txt").string()});
  EXPECT_EQ(unreadable.exit_code, 1);
  EXPECT_NE(unreadable.err.find("cannot read the texts"), std::string::npos) << unreadable.err;
  // After "--", "--from" is a text like any other.
  EXPECT_EQ(Run({"insert", db_, "--", "--from"}).out, "5002\tshot002.bmp\t--from\n");
  EXPECT_EQ(OnDisk(), After({"--from"}));
}

}  // namespace
}  // namespace orva
