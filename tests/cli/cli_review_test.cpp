// orva-cli check of a translation's texts against its reference and the
// team's rules, as a mod pack's CI runs it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli/formats.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using json = nlohmann::json;
using test_support::DatabaseBuilder;

class CliReviewTest : public test_support::CliFixture {
 protected:
  // The source language, and a translation of it with one fault of each kind.
  void SetUp() override {
    reference_ = Database(DatabaseBuilder()
                              .Entry(1200, "Briefing")
                              .Entry(5001, "Training flight")
                              .Entry(5002, "Patrol, %d planes\nat dawn")
                              .Entry(5003, "Escort the train")
                              .Entry(5004, "Bridge")
                              .Marker("end")
                              .Entry(7000, "Only the reference has this")
                              .Build(),
                          "textdb_en.def");
    translation_ = Database(DatabaseBuilder()
                                .Entry(1200, "Брифинг")
                                .Entry(5001, "Учебный полёт над аэродромом и полигоном у реки")
                                .Entry(5002, "Патруль, %d самолётов")
                                .Entry(5003, "Escort the train")
                                .Entry(5004, "Мост  у реки")
                                .Marker("end")
                                .Entry(7001, "Только здесь")
                                .Build(),
                            "textdb_ru.def");
  }

  std::string reference_, translation_;
};

TEST_F(CliReviewTest, CheckReportsTheTextsFaultsAndFailsOnAnError) {
  const test_support::CliOutcome o = Run({"check", translation_, "--reference", reference_});
  EXPECT_EQ(o.exit_code, 1) << o.out << o.err;
  EXPECT_EQ(o.err, "");
  const auto has = [&](const std::string& line) {
    EXPECT_NE(o.out.find(line), std::string::npos) << line << "\nin\n" << o.out;
  };
  has("textdb_ru.def: well-formed\n");
  has("textdb_ru.def: entry 2 (id 5001): error: too-long: the text has 47 characters");
  has("textdb_ru.def: entry 3 (id 5002): error: markers: a line break (\\\\n) is in the reference "
      "once and in the text not at all\n");
  has("textdb_ru.def: entry 4 (id 5003): warning: untranslated: ");
  has("textdb_ru.def: entry 5 (id 5004): warning: spaces: the text has a doubled space\n");
  has("textdb_ru.def: 2 errors, 2 warnings\n");
  // The marker is in neither kind; 7001 has no partner, 7000 none here.
  has("textdb_ru.def: translated: missions 3 of 4, others 1 of 1; 1 only in this file, 1 only in "
      "the reference\n");

  // Warnings alone pass, as do texts the rules exempt.
  test_support::WriteFileBytes(dir_ / "orva-rules.json", test_support::Bytes(R"({
    "ignore": [{"ids": 5001, "checks": ["too-long"]}, {"ids": 5002, "checks": ["markers"]}]})"));
  const test_support::CliOutcome beside = Run({"check", translation_, "--reference", reference_});
  EXPECT_EQ(beside.exit_code, 0) << beside.out << beside.err;
  EXPECT_NE(beside.out.find(": 0 errors, 2 warnings\n"), std::string::npos) << beside.out;
  // Named rules take the place of those beside the database.
  test_support::WriteFileBytes(dir_ / "strict.json",
                               test_support::Bytes(R"({"limits": [{"ids": 1200, "length": 3}]})"));
  const test_support::CliOutcome named = Run({"check", translation_, "--reference", reference_,
                                              "--rules", (dir_ / "strict.json").string()});
  EXPECT_EQ(named.exit_code, 1);
  EXPECT_NE(named.out.find(": 3 errors, 2 warnings\n"), std::string::npos) << named.out;
}

TEST_F(CliReviewTest, CheckJsonGivesEachFindingWithItsSpanAndTheProgress) {
  const test_support::CliOutcome o =
      Run({"check", "--json", translation_, "--reference", reference_});
  EXPECT_EQ(o.exit_code, 1);
  const json checked = json::parse(o.out);
  EXPECT_EQ(checked["well_formed"], true);
  EXPECT_EQ(checked["errors"], 2);
  EXPECT_EQ(checked["warnings"], 2);
  ASSERT_EQ(checked["findings"].size(), 4u);
  EXPECT_EQ(checked["findings"][0], json::parse(R"({"slot": 2, "id": 5001, "check": "too-long",
              "name": "Too long for its kind", "severity": "error",
              "message": "the text has 47 characters; a mission's text holds at most 45, as many as the window's input box takes",
              "span": {"from": 45, "to": 47}})"));
  EXPECT_EQ(checked["findings"][3]["span"], json::parse(R"({"from": 4, "to": 6})"));
  EXPECT_EQ(checked["progress"], json::parse(R"({"missions": {"translated": 3, "entries": 4},
    "others": {"translated": 1, "entries": 1}, "only_in_database": 1, "only_in_reference": 1})"));

  // Without a reference only what needs none is checked, and there is no progress.
  const json alone = json::parse(Run({"check", "--json", translation_}).out);
  EXPECT_EQ(alone["progress"], nullptr);
  EXPECT_EQ(alone["errors"], 1);    // too long
  EXPECT_EQ(alone["warnings"], 1);  // the doubled space
}

// Spelling is a warning like the others, in text and JSON, and takes the
// team's words from beside the rules file that is used.
TEST_F(CliReviewTest, CheckReportsMisspeltWordsSaveTheTeamsBesideTheRules) {
  const std::string database = Database(DatabaseBuilder()
                                            .Entry(5001, "Патруль над Орвалия")
                                            .Entry(5002, "Коррова у реки %s")
                                            .Marker("end")
                                            .Build(),
                                        "textdb_ru.def");
  // As orva-cli writes any text: on Windows the path's backslashes double.
  const std::string shown = cli::EscapeText(database);
  const std::string line = shown +
                           ": entry 2 (id 5002): warning: spelling: \u201CКоррова\u201D is not in "
                           "the Russian dictionary\n";
  test_support::WriteFileBytes(dir_ / "orva-words.txt", test_support::Bytes("Орвалия\n"));
  const test_support::CliOutcome beside = Run({"check", database});
  EXPECT_EQ(beside.exit_code, 0) << beside.out << beside.err;
  EXPECT_EQ(beside.out, shown + ": well-formed\n" + line + shown + ": 0 errors, 1 warning\n");

  const json checked = json::parse(Run({"check", "--json", database}).out);
  ASSERT_EQ(checked["findings"].size(), 1u);
  EXPECT_EQ(checked["findings"][0], json::parse(R"({"slot": 2, "id": 5002, "check": "spelling",
              "name": "Misspelt word", "severity": "warning",
              "message": "\u201CКоррова\u201D is not in the Russian dictionary",
              "span": {"from": 0, "to": 7}})"));

  // Rules named in another folder take the word list of that folder.
  std::filesystem::create_directory(dir_ / "team");
  test_support::WriteFileBytes(dir_ / "team" / "rules.json", test_support::Bytes("{}"));
  const test_support::CliOutcome named =
      Run({"check", database, "--rules", (dir_ / "team" / "rules.json").string()});
  EXPECT_NE(named.out.find("warning: spelling: \u201CОрвалия\u201D"), std::string::npos)
      << named.out;
  EXPECT_NE(named.out.find(": 0 errors, 2 warnings\n"), std::string::npos) << named.out;
  // And the rules can leave spelling out.
  test_support::WriteFileBytes(dir_ / "team" / "rules.json",
                               test_support::Bytes(R"({"spelling": false})"));
  EXPECT_EQ(Run({"check", database, "--rules", (dir_ / "team" / "rules.json").string()}).out,
            shown + ": well-formed\n" + shown + ": 0 errors, 0 warnings\n");
}

TEST_F(CliReviewTest, ABadReferenceOrRulesFileIsRefusedWithItsReason) {
  const test_support::CliOutcome missing =
      Run({"check", translation_, "--reference", (dir_ / "none.def").string()});
  EXPECT_EQ(missing.exit_code, 1);
  EXPECT_NE(missing.err.find("none.def"), std::string::npos) << missing.err;
  test_support::WriteFileBytes(dir_ / "orva-rules.json",
                               test_support::Bytes(R"({"limits": [{"ids": "x", "length": 1}]})"));
  const test_support::CliOutcome rules = Run({"check", translation_});
  EXPECT_EQ(rules.exit_code, 1);
  EXPECT_NE(rules.err.find("orva-rules.json"), std::string::npos) << rules.err;
  EXPECT_NE(rules.err.find("\"limits\" item 1"), std::string::npos) << rules.err;
}

}  // namespace
}  // namespace orva
