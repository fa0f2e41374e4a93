// orva-cli's command line: what it does not know is refused before any file
// is touched, and help is wherever people look for it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/cli_fixture.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using testing::CliOutcome;
using Args = std::vector<std::string>;

class CommandLineTest : public testing::CliFixture {
 protected:
  CommandLineTest()
      : old_(testing::DatabaseBuilder().Entry(5001, "a").Marker().Build()), db_(Database(old_)) {}

  // Runs `args` and checks that nothing was written and the database is as
  // it was; standard input offers a text that must not be taken either.
  CliOutcome RunTouchingNothing(const Args& args) {
    const CliOutcome o = Run(args, "text\n");
    EXPECT_EQ(testing::ReadFileBytes(db_), old_) << ::testing::PrintToString(args);
    return o;
  }

  const std::vector<std::byte> old_;
  const std::string db_;
};

TEST_F(CommandLineTest, AnythingUnknownIsAUsageErrorThatChangesNothing) {
  const std::vector<Args> wrong = {
      {},
      {"frobnicate", db_},
      {"--frobnicate"},
      {"list"},
      {"list", db_, "extra"},
      {"list", db_, "--from", "-"},
      {"--json", "list", db_},
      {"check", db_, "-x"},
      {"insert", db_, "--form", "texts.txt"},
      {"insert", db_, "-x"},
      {"insert", db_, "ok", "--version"},
      {"insert", db_},
      {"insert", db_, "--from"},
      {"insert", db_, "--from="},
      {"insert", db_, "x", "--from", "-"},
      {"insert", db_, "--from", "-", "--from", "-"},
  };
  for (const Args& args : wrong) {
    const CliOutcome o = RunTouchingNothing(args);
    EXPECT_EQ(o.exit_code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(Lines(o.err), 1) << o.err;
    EXPECT_TRUE(o.err.starts_with("orva-cli: ")) << o.err;
    EXPECT_NE(o.err.find("--help')"), std::string::npos) << o.err;
  }
}

TEST_F(CommandLineTest, HelpIsEverywhereAndReadsNothing) {
  const std::vector<std::pair<Args, std::string>> asked = {
      {{"--help"}, "Usage: orva-cli [OPTIONS] COMMAND"},
      {{"-h"}, "Usage: orva-cli [OPTIONS] COMMAND"},
      {{"list", "--help"}, "Usage: orva-cli list"},
      {{"check", "-h"}, "Usage: orva-cli check"},
      {{"insert", "--help"}, "Usage: orva-cli insert"},
      {{"insert", db_, "-h", "x"}, "Usage: orva-cli insert"},
      {{"insert", db_, "--from", "-", "--help"}, "Usage: orva-cli insert"},
      {{"--version"}, "orva-cli 1.0.0\n"},
  };
  for (const auto& [args, shown] : asked) {
    const CliOutcome o = RunTouchingNothing(args);
    EXPECT_EQ(o.exit_code, 0) << ::testing::PrintToString(args) << o.err;
    EXPECT_NE(o.out.find(shown), std::string::npos) << o.out;
    EXPECT_EQ(o.err, "");
  }
}

// The manual page is written by hand: every command and option that the
// program's help lists must appear in it.
TEST_F(CommandLineTest, TheManualPageNamesEveryCommandAndOption) {
  std::ifstream file(ORVA_SOURCE_DIR "/packaging/man/orva-cli.1");
  std::stringstream page;
  page << file.rdbuf();
  // roff writes the hyphens of an option as "\-".
  const std::string text = std::regex_replace(page.str(), std::regex(R"(\\-)"), "-");

  // In the help, a listed command or option starts its line after two spaces.
  const std::regex listed(R"((^|\n)  (-[-a-z]+|[a-z]+)\b)");
  std::set<std::string> named;
  for (const char* command : {"list", "check", "insert"}) {
    const std::string help = Run({"--help"}).out + Run({command, "--help"}).out;
    for (std::sregex_iterator it(help.begin(), help.end(), listed), end; it != end; ++it) {
      named.insert((*it)[2]);
    }
  }
  EXPECT_GE(named.size(), 7u);  // --help --version --json --from and the three commands
  for (const std::string& name : named) {
    const std::regex word("(^|[\\s\"(\\[])" + name + "($|[\\s\"=,)\\]])");
    EXPECT_TRUE(std::regex_search(text, word)) << name << " is not in orva-cli.1";
  }
}

}  // namespace
}  // namespace orva
