// orva-cli --json: each command's document, parsed back with nlohmann-json,
// says what the library says.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "tests/cli/cli_fixture.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using nlohmann::json;
using testing::CliOutcome;
using testing::DatabaseBuilder;

class JsonTest : public testing::CliFixture {
 protected:
  json RunJson(const std::vector<std::string>& args, int expected_exit = 0) {
    const CliOutcome o = Run(args);
    EXPECT_EQ(o.exit_code, expected_exit) << o.err;
    return json::parse(o.out);  // throws, failing the test, on anything but one document
  }
};

TEST_F(JsonTest, ListGivesEveryMissionWithItsIdImageAndText) {
  const std::string db = Database(DatabaseBuilder()
                                      .Entry(5001, "\"Кавычки\" и \\ черта")
                                      .Entry(40, "не миссия")
                                      .Entry(5002, "tab\there\x1b[0m")
                                      .RawEntry(12345, "\x98 unassigned")
                                      .Marker()
                                      .Build());
  const json document = RunJson({"list", "--json", db});
  const MissionList expected = ReadMissionList(std::filesystem::path(db));
  ASSERT_EQ(document["missions"].size(), expected.missions.size());
  for (std::size_t i = 0; i < expected.missions.size(); ++i) {
    const json& mission = document["missions"][i];
    EXPECT_EQ(mission["id"], expected.missions[i].id);
    EXPECT_EQ(mission["image"], ImageName(expected.missions[i].id));
    EXPECT_EQ(mission["text"], expected.missions[i].text);
  }
}

TEST_F(JsonTest, CheckGivesEachProblemWithItsEntry) {
  EXPECT_EQ(
      RunJson({"check", "--json", Database(DatabaseBuilder().Entry(5001, "a").Marker().Build())}),
      json::parse(R"({"well_formed": true, "problems": []})"));

  auto bytes = DatabaseBuilder().Entry(6000, "a").Entry(5002, "b").Build();
  EncodeInt32(bytes, 20, 4);  // entry 2's text inside the table
  const json document = RunJson({"check", Database(bytes), "--json"}, 1);
  EXPECT_EQ(document["well_formed"], false);
  const std::vector<LayoutProblem> expected = CheckLayout(bytes);
  ASSERT_EQ(document["problems"].size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const json& problem = document["problems"][i];
    EXPECT_EQ(problem["entry"], expected[i].entry > 0 ? json(expected[i].entry) : json(nullptr));
    EXPECT_EQ(problem["problem"], expected[i].what);
  }
}

TEST_F(JsonTest, InsertGivesTheNewEntriesAndWhetherTheyAreMissions) {
  const std::string db = Database(DatabaseBuilder().Entry(5998, "a").Marker().Build());
  EXPECT_EQ(RunJson({"insert", "--json", db, "Один", "\\два\\"}), json::parse(R"({"inserted": [
      {"id": 5999, "image": "shot999.bmp", "text": "Один", "mission": true},
      {"id": 6000, "image": "shot000.bmp", "text": "\\два\\", "mission": false}]})"));
}

}  // namespace
}  // namespace orva
