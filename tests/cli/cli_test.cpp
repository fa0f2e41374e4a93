#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "database/little_endian.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

using Outcome = test_support::CliOutcome;
using CliTest = test_support::CliFixture;

// One line per mission, whatever its text holds: control characters and the
// backslash are escaped.
TEST_F(CliTest, ListPrintsIdImageAndTextPerMission) {
  const auto db = Database(DatabaseBuilder()
                               .Entry(5001, "Первая")
                               .Entry(12, "x")
                               .Entry(5123, " b ")
                               .Entry(5124, "a\tb\\c\r\n\x1b[31m\x7f")
                               .Marker()
                               .Build());
  const Outcome o = Run({"list", db});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.out,
            "5001\tshot001.bmp\tПервая\n5123\tshot123.bmp\tb \n"
            "5124\tshot124.bmp\ta\\tb\\\\c\\r\\n\\x1b[31m\\x7f\n");
  EXPECT_EQ(o.err, "");
}

TEST_F(CliTest, ListPrintsWhatItReadBeforeAFailure) {
  auto bytes = DatabaseBuilder().Entry(5001, "ok").Entry(5002, "bad").Marker().Build();
  EncodeInt32(bytes, 20, -7);
  const Outcome o = Run({"list", Database(bytes)});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_EQ(o.out, "5001\tshot001.bmp\tok\n");
  EXPECT_NE(o.err.find("negative text offset"), std::string::npos);
  EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1);

  const Outcome missing = Run({"list", (dir_ / "none.def").string()});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("does not exist"), std::string::npos);
}

TEST_F(CliTest, CheckReportsEachProblemWithItsEntry) {
  const std::string sound = Database(DatabaseBuilder().Entry(5001, "a").Marker().Build());
  EXPECT_NE(Run({"check", sound}).out.find("textdb_00.def: well-formed\n"), std::string::npos);
  auto bytes = DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Marker().Build();
  EncodeInt32(bytes, 20, 4);
  const Outcome o = Run({"check", Database(bytes, "bad.def")});
  EXPECT_EQ(o.exit_code, 1);
  EXPECT_NE(o.out.find("bad.def: entry 2: its text offset 4 lies inside the entry table"),
            std::string::npos);
  EXPECT_EQ(o.err, "");  // the findings are the answer, not a failure to give one
  // A finding of the whole file names no entry.
  const Outcome none =
      Run({"check", Database(DatabaseBuilder().Entry(5001, "a").Build(), "n.def")});
  EXPECT_NE(none.out.find("n.def: no end marker"), std::string::npos) << none.out;
}

}  // namespace
}  // namespace orva
