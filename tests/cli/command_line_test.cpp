// orva-cli's command line: what it does not know is refused before any file
// is touched, and help is wherever people look for it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using Args = std::vector<std::string>;

class CommandLineTest : public test_support::CliFixture {
 protected:
  // Runs `args` with a text on standard input; nothing may change the database.
  test_support::CliOutcome RunTouchingNothing(const Args& args) {
    test_support::CliOutcome o = Run(args, "text\n");
    EXPECT_EQ(test_support::ReadFileBytes(db_), old_) << ::testing::PrintToString(args);
    return o;
  }
  const std::vector<std::byte> old_ =
      test_support::DatabaseBuilder().Entry(5001, "a").Marker().Build();
  const std::string db_ = Database(old_);
};

TEST_F(CommandLineTest, AnythingUnknownIsAUsageErrorThatChangesNothing) {
  for (const Args& args : std::vector<Args>{{},
                                            {"frobnicate", db_},
                                            {"--json", "list", db_},
                                            {"list", db_, "extra"},
                                            {"check", db_, "-x"},
                                            {"insert", db_, "--form", "texts.txt"},
                                            {"insert", db_, "-x"},
                                            {"insert", db_, "ok", "--version"},
                                            {"insert", db_},
                                            {"insert", db_, "--from="},
                                            {"insert", db_, "x", "--from", "-"},
                                            {"insert", db_, "--from", "-", "--from", "-"},
                                            {"diff", db_},
                                            {"patch", db_, db_},
                                            {"patch", "create", db_, db_, "--json"},
                                            {"patch", "apply", db_}}) {
    const test_support::CliOutcome o = RunTouchingNothing(args);
    EXPECT_EQ(o.exit_code, 2) << ::testing::PrintToString(args);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(Lines(o.err) == 1 && o.err.ends_with("--help')\n")) << o.err;
  }
  // A text that begins with '-' may be a mistyped option: the refusal says
  // how to give it, and that way it goes in.
  const test_support::CliOutcome dashed = RunTouchingNothing({"insert", db_, "-Минус"});
  EXPECT_NE(dashed.err.find("put '--' before the texts"), std::string::npos) << dashed.err;
  EXPECT_EQ(Run({"insert", db_, "--", "-Минус"}).exit_code, 0);
}

TEST_F(CommandLineTest, HelpIsEverywhereAndReadsNothing) {
  for (const auto& [args, shown] : std::vector<std::pair<Args, std::string>>{
           {{"-h"}, "Usage: orva-cli [OPTIONS] COMMAND"},
           {{"check", "-h"}, "Usage: orva-cli check"},
           {{"list", "--help"}, "Usage: orva-cli list"},
           {{"insert", db_, "--from", "-", "--help"}, "Usage: orva-cli insert"},
           {{"--version"}, "orva-cli " ORVA_VERSION "\n"}}) {
    const test_support::CliOutcome o = RunTouchingNothing(args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_TRUE(o.out.starts_with(shown) || o.out.find("\n" + shown) != std::string::npos) << o.out;
  }
  // The backup option reads as GNU tools write it, and as it is typed.
  for (const char* command : {"insert", "set", "remove", "import"}) {
    const std::string help = Run({command, "--help"}).out;
    EXPECT_NE(help.find("\n  --backup[=CONTROL]  "), std::string::npos) << help;
    EXPECT_EQ(help.find('\x01'), std::string::npos) << help;
    EXPECT_EQ(help.find("--backup{"), std::string::npos) << help;
  }
}

// The manual page is written by hand: each command and option that a help
// lists (at the start of a line, after two spaces) must be in it.
TEST_F(CommandLineTest, TheManualPageNamesEveryCommandAndOption) {
  std::stringstream page;
  page << std::ifstream(ORVA_SOURCE_DIR "/packaging/man/orva-cli.1").rdbuf();
  const std::string man = std::regex_replace(page.str(), std::regex(R"(\\-)"), "-");
  std::string help = Run({"-h"}).out;
  for (const char* command : {"list", "check", "insert", "set", "remove", "export", "import",
                              "entries", "replace", "diff", "patch"}) {
    help += Run({command, "-h"}).out;
  }
  help += Run({"patch", "create", "-h"}).out + Run({"patch", "apply", "-h"}).out;
  const std::regex listed(R"(\n  (-[-a-z]+|[a-z]+)\b)");
  int names = 0;
  for (std::sregex_iterator it(help.begin(), help.end(), listed), end; it != end; ++it, ++names) {
    const std::regex word("(^|[\\s\"(\\[])" + (*it)[1].str() + "($|[\\s\"=,)\\]])");
    EXPECT_TRUE(std::regex_search(man, word)) << (*it)[1] << " is not in orva-cli.1";
  }
  EXPECT_GE(names, 7);  // --version, --json, --from, -h and the three commands
}

}  // namespace
}  // namespace orva
