// orva-cli --json: each command's document, parsed back with nlohmann-json,
// says what the library says.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using nlohmann::json;
using test_support::DatabaseBuilder;

class JsonTest : public test_support::CliFixture {
 protected:
  static json RunJson(const std::vector<std::string>& args, int expected_exit = 0) {
    const test_support::CliOutcome o = Run(args);
    EXPECT_EQ(o.exit_code, expected_exit) << o.err;
    return json::parse(o.out);  // throws, failing the test, on anything but one document
  }
};

TEST_F(JsonTest, ListCheckAndInsertGiveWhatTheLibraryGives) {
  auto bytes = DatabaseBuilder()
                   .Entry(5001, "\"Кавычки\" и \\ черта")
                   .Entry(5002, "tab\there\x1b[0m")
                   .RawEntry(5998, "\x98 unassigned")
                   .Marker()
                   .Build();
  const std::string db = Database(bytes);
  const json listed = RunJson({"list", "--json", db});
  const MissionList missions = ReadMissionList(bytes);
  ASSERT_EQ(listed["missions"].size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(listed["missions"][i], json({{"id", missions.missions[i].id},
                                           {"image", ImageName(missions.missions[i].id)},
                                           {"text", missions.missions[i].text}}));
  }
  const json sound = RunJson({"check", "--json", db});
  EXPECT_EQ(sound["well_formed"], true);
  EXPECT_EQ(sound["problems"], json::array());
  EXPECT_EQ(RunJson({"insert", "--json", db, "Один", "\\два\\"}), json::parse(R"({"inserted": [
      {"id": 5999, "image": "shot999.bmp", "text": "Один", "mission": true},
      {"id": 6000, "image": "shot000.bmp", "text": "\\два\\", "mission": false}]})"));
  EXPECT_EQ(RunJson({"insert", "--json", db, "Три", ""}, 1), json::parse(R"({"inserted": []})"));

  EncodeInt32(bytes, 32, 0);  // no end marker: a problem of the whole file
  EncodeInt32(bytes, 20, 4);  // entry 2's text inside the table
  const json checked = RunJson({"check", Database(bytes, "bad.def"), "--json"}, 1);
  const std::vector<LayoutProblem> problems = CheckLayout(bytes);
  ASSERT_EQ(checked["problems"].size(), problems.size());
  for (std::size_t i = 0; i < problems.size(); ++i) {
    const json entry = problems[i].entry > 0 ? json(problems[i].entry) : json(nullptr);
    EXPECT_EQ(checked["problems"][i], json({{"entry", entry}, {"problem", problems[i].what}}));
  }
  EXPECT_EQ(checked["well_formed"], false);

  // A file that cannot be read gives a document too, like list and insert.
  const std::string missing = (dir_ / "none.def").string();
  EXPECT_EQ(RunJson({"check", "--json", missing}, 1),
            json::parse(R"({"well_formed":false,"problems":[]})"));
}

// "mission" says whether the window lists the entry: not past table slot
// 1000, where the window stops reading, which check then points out.
TEST_F(JsonTest, AMissionPastTheSlotsTheWindowReadsIsNoneAndCheckSaysSo) {
  DatabaseBuilder full;
  for (std::int32_t id = 1; id <= 10; ++id) full.Entry(id, "x");
  for (std::int32_t id = 5001; id <= 5989; ++id) full.Entry(id, "m");
  const std::string db = Database(full.Marker().Build());
  const test_support::CliOutcome o = Run({"insert", "--json", db, "A", "B"});
  const json inserted = json::parse(o.out);
  EXPECT_EQ(inserted["inserted"][0]["mission"], true);
  EXPECT_EQ(inserted["inserted"][1]["mission"], false);
  EXPECT_NE(o.err.find("\"B\" has the id 5991 but lies in table slot 1001"), std::string::npos)
      << o.err;
  const json checked = RunJson({"check", "--json", db}, 1);
  ASSERT_EQ(checked["problems"].size(), 1u) << checked;
  EXPECT_EQ(checked["problems"][0]["entry"], 1001);
}

// An import counts each entry once: changed, the same, of a changed text
// (skipped), fuzzy, or untranslated.
TEST_F(JsonTest, ImportCountsEveryEntryOnce) {
  DatabaseBuilder builder;
  std::string po;
  for (const auto& [id, text, flags, message] :
       std::vector<std::tuple<int, std::string, std::string, std::string>>{
           {5001, "один", "", "msgid \"один\"\nmsgstr \"one\""},
           {5002, "два", "", "msgid \"два\"\nmsgstr \"два\""},
           {5003, "три", "#, fuzzy\n", "msgid \"три\"\nmsgstr \"three\""},
           {1200, "четыре", "", "msgid \"четыре!\"\nmsgstr \"four\""},
           {1201, "пять", "", "msgid \"пять\"\nmsgstr \"\""},
           {1202, "шесть", "#, fuzzy\n", "msgid \"шесть\"\nmsgstr \"six\""}}) {
    builder.Entry(id, text);
    po.append("\n").append(flags).append("msgctxt \"").append(std::to_string(id)).append("\"\n");
    po.append(message).append("\n");
  }
  test_support::WriteFileBytes(dir_ / "t.po", test_support::Bytes(po));
  const json counted = RunJson({"import", "--json", "--source-changed=skip",
                                Database(builder.Marker().Build()), (dir_ / "t.po").string()});
  // Untranslated: 1201 and the marker, which the file does not name.
  for (const auto& [count, expected] : std::vector<std::pair<std::string, std::size_t>>{
           {"changed", 1}, {"same", 1}, {"source_changed", 1}, {"fuzzy", 2}, {"untranslated", 2}}) {
    EXPECT_EQ(counted[count], expected) << count;
  }
  EXPECT_EQ(counted["written"], true);
}

}  // namespace
}  // namespace orva
