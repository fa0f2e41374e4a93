// orva-cli's output: one line per mission whatever a text holds, and a
// failed write is a failure.
#include <gtest/gtest.h>

#include <cerrno>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "cli/formats.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using testing::CliOutcome;
using testing::DatabaseBuilder;

// Undoes the escapes as `printf '%b'` does, for the ones EscapeText writes.
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

bool IsControl(unsigned char byte, unsigned char next) {
  return byte < 0x20 || byte == 0x7F || (byte == 0xC2 && next >= 0x80 && next <= 0x9F);
}

TEST(EscapeTextTest, LeavesNoControlCharacterAndRoundTrips) {
  std::mt19937 random(20261207);
  // Bytes of every kind, UTF-8 control characters (C2 80 ... C2 9F) among them.
  const std::string pieces[] = {"\\",       "\t",   "\n",   "\r",   "\x1b", "\x7f",
                                "\x01",     "x",    "A",    "Ж",    "€",    "\xc2\x9b",
                                "\xc2\x80", "\xc2", "\x9f", "\xff", " "};
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int length = static_cast<int>(random() % 12);
    for (int i = 0; i < length; ++i) text += pieces[random() % std::size(pieces)];
    const std::string escaped = cli::EscapeText(text);
    ASSERT_EQ(Unescape(escaped), text) << escaped;
    for (std::size_t i = 0; i < escaped.size(); ++i) {
      const auto next = i + 1 < escaped.size() ? escaped[i + 1] : '\0';
      ASSERT_FALSE(IsControl(escaped[i], next)) << escaped;
    }
  }
}

class OutputTest : public testing::CliFixture {};

TEST_F(OutputTest, AMissionIsOneLineWhateverItsTextHolds) {
  const std::vector<std::string> texts = {"a\tb", "two\r\nlines", "\x1b[31mred", "back\\slash",
                                          "del\x7f"};
  DatabaseBuilder builder;
  std::int32_t id = 5001;
  for (const std::string& text : texts) builder.Entry(id++, text);
  const CliOutcome o = Run({"list", Database(builder.Marker().Build())});
  ASSERT_EQ(o.exit_code, 0) << o.err;

  std::istringstream lines(o.out);
  std::size_t n = 0;
  for (std::string line; std::getline(lines, line); ++n) {
    ASSERT_LT(n, texts.size()) << o.out;
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 2) << line;
    EXPECT_EQ(Unescape(line.substr(line.rfind('\t') + 1)), texts[n]);
  }
  EXPECT_EQ(n, texts.size());
  EXPECT_NE(o.out.find("\t\\x1b[31mred\n"), std::string::npos) << o.out;
}

// Fails every write, as a full disk does.
class FullDisk : public std::streambuf {
 protected:
  int_type overflow(int_type) override {
    errno = ENOSPC;
    return traits_type::eof();
  }
};

TEST_F(OutputTest, AFailedWriteFailsAndSaysWhetherTheDatabaseChanged) {
  const std::string db = Database(DatabaseBuilder().Entry(5001, "a").Marker().Build());
  const std::vector<std::vector<std::string>> commands = {{"--help"},
                                                          {"insert", "--help"},
                                                          {"--version"},
                                                          {"list", db},
                                                          {"list", "--json", db},
                                                          {"check", db},
                                                          {"check", "--json", db},
                                                          {"insert", db, "b"}};
  for (const auto& args : commands) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    FullDisk full;
    std::ostream out(&full);
    std::istringstream in;
    std::ostringstream err;
    EXPECT_EQ(cli::Run(views, in, out, err), cli::kExitFailure) << ::testing::PrintToString(args);
    const bool changed = args.front() == "insert" && args.size() == 3;
    EXPECT_EQ(err.str(), changed ? "orva-cli: the database was changed, but the new entries could "
                                   "not be written to standard output: No space left on device\n"
                                 : "orva-cli: cannot write to standard output: No space left on "
                                   "device\n");
  }
  EXPECT_EQ(Run({"list", db}).out, "5001\tshot001.bmp\ta\n5002\tshot002.bmp\tb\n");
}

}  // namespace
}  // namespace orva
