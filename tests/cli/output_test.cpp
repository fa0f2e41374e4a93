// orva-cli's output: escaped texts come back as they were, and a failed
// write is a failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <regex>

#include "cli/formats.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

// Undoes the escapes EscapeText writes, as `printf '%b'` does.
std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\') {
      out += s[i];
    } else if (const char c = s[++i]; c == 'x') {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
  }
  return out;
}

TEST(EscapeTextTest, LeavesNoControlCharacterAndRoundTrips) {
  std::mt19937 random(20261207);
  // UTF-8 control characters (C2 80 ... C2 9F) and invalid UTF-8 among them.
  const std::string pieces[] = {"\\", "\t", "\n", "\r",       "\x1b",     "\x7f", "\x01",
                                "x",  "Ж",  "€",  "\xc2\x9f", "\xc2\x80", "\xc2", "\xff"};
  const std::regex control("[\\x00-\\x1f\\x7f]|\xc2[\x80-\x9f]");
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    for (auto n = random() % 12; n > 0; --n) text += pieces[random() % std::size(pieces)];
    const std::string escaped = cli::EscapeText(text);
    ASSERT_EQ(Unescape(escaped), text) << escaped;
    ASSERT_FALSE(std::regex_search(escaped, control)) << escaped;
  }
  EXPECT_EQ(cli::EscapeText("«\u00a0©»"), "«\u00a0©»");  // past the C1 controls
}

class OutputTest : public test_support::CliFixture {};

// Fails every write, as a full disk does.
class FullDisk : public std::streambuf {
 protected:
  int_type overflow(int_type) override {
    errno = ENOSPC;
    return traits_type::eof();
  }
};

TEST_F(OutputTest, AFailedWriteFailsAndSaysWhetherTheDatabaseChanged) {
  // Two missions and two texts, so that a write follows the failed one and
  // must not replace its reason.
  const auto db = Database(DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Marker().Build());
  for (const auto& args : std::vector<std::vector<std::string_view>>{{"--help"},
                                                                     {"--version"},
                                                                     {"list", db},
                                                                     {"check", "--json", db},
                                                                     {"insert", db, "c", "d"}}) {
    FullDisk full;
    std::ostream out(&full);
    std::istringstream in;
    std::ostringstream err;
    EXPECT_EQ(cli::Run(args, in, out, err), cli::kExitFailure);
    EXPECT_EQ(err.str(), args[0] == "insert"
                             ? "orva-cli: the database was changed, but the new entries could not "
                               "be written to standard output: No space left on device\n"
                             : "orva-cli: cannot write to standard output: No space left on "
                               "device\n");
  }
  EXPECT_EQ(Run({"list", db}).out,
            "5001\tshot001.bmp\ta\n5002\tshot002.bmp\tb\n5003\tshot003.bmp\tc\n"
            "5004\tshot004.bmp\td\n");
}

}  // namespace
}  // namespace orva
