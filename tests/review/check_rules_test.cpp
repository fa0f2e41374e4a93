// The rules file as a team writes it, and what it refuses.
#include "review/check_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

class CheckRulesTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& name, std::string_view text) {
    test_support::WriteFileBytes(dir_ / name, test_support::Bytes(text));
  }
  Result<CheckRules> Read(std::string_view json) {
    WriteFile("orva-rules.json", json);
    return ReadCheckRules(dir_ / "orva-rules.json");
  }
  std::string Refusal(std::string_view json) {
    const Result<CheckRules> rules = Read(json);
    EXPECT_FALSE(rules.ok()) << json;
    return rules.ok() ? "" : rules.status().message();
  }

  test_support::TempDir dir_;
};

TEST_F(CheckRulesTest, ReadsEveryPartOfADocumentedFile) {
  WriteFile("font-chars.txt",
            "\xEF\xBB\xBF"
            "абв\r\nABC\n");
  const Result<CheckRules> rules = Read(R"({
    // Briefings scroll, so they may be longer than a mission's box.
    "limits": [{"ids": "7000-7999", "length": 60}, {"ids": 100, "length": 12},
               {"ids": "-5--1", "length": 3}],
    /* the game's own placeholders */
    "markers": ["\\$[A-Z]+\\$"],
    "charset": "font-chars.txt",
    "ignore": [{"ids": "7012", "checks": ["untranslated", "spaces"]}, {"ids": "9000-9099"}]
  })");
  ASSERT_TRUE(rules.ok()) << rules.status().message();
  using format::EntryKind;
  EXPECT_EQ(rules->LimitFor(7500, EntryKind::kOther)->length, 60u);
  EXPECT_EQ(rules->LimitFor(100, EntryKind::kOther)->length, 12u);
  EXPECT_EQ(rules->LimitFor(-3, EntryKind::kOther)->length, 3u);
  EXPECT_FALSE(rules->LimitFor(8000, EntryKind::kOther));
  EXPECT_TRUE(rules->LimitFor(5001, EntryKind::kMission)->mission);
  ASSERT_EQ(rules->markers.size(), 1u);
  EXPECT_TRUE(rules->markers[0].pattern.Occurs(test_support::Bytes("a $NAME$ b")).value());
  ASSERT_TRUE(rules->glyphs);
  EXPECT_EQ(rules->glyphs->size(), 6u);  // neither the mark nor the line breaks
  EXPECT_TRUE(rules->glyphs->Has(U'б'));
  EXPECT_FALSE(rules->glyphs->Has(U'\r'));
  EXPECT_EQ(rules->glyphs_from, "font-chars.txt");
  EXPECT_TRUE(rules->Ignored("untranslated", 7012));
  EXPECT_TRUE(rules->Ignored("spaces", 7012));
  EXPECT_FALSE(rules->Ignored("markers", 7012));
  EXPECT_TRUE(rules->Ignored("markers", 9050));
  EXPECT_FALSE(rules->Ignored("untranslated", 7013));

  const Result<CheckRules> empty = Read("{}");
  ASSERT_TRUE(empty.ok());
  EXPECT_FALSE(empty->glyphs);
}

TEST_F(CheckRulesTest, RefusesWhatItDoesNotKnowSayingWhere) {
  EXPECT_NE(Refusal("{\"limit\": []}").find("unknown key \"limit\""), std::string::npos);
  EXPECT_NE(Refusal(R"({"limits": [{"ids": "7999-7000", "length": 1}]})").find("\"limits\" item 1"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"limits": [{"ids": "70a", "length": 1}]})").find("range"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"limits": [{"ids": 1, "length": -4}]})").find("length"), std::string::npos);
  EXPECT_NE(Refusal(R"({"limits": [{"ids": 1}]})").find("needs"), std::string::npos);
  EXPECT_NE(Refusal(R"({"ignore": [{"ids": 1, "checks": ["grammar"]}]})").find("too-long"),
            std::string::npos);  // the refusal lists the checks there are
  EXPECT_NE(Refusal(R"({"markers": ["(unclosed"]})").find("\"markers\" item 1"), std::string::npos);
  EXPECT_NE(Refusal(R"({"charset": "a.txt", "font": "b.ttf"})").find("give one"),
            std::string::npos);
  EXPECT_NE(Refusal(R"({"charset": "missing.txt"})").find("missing.txt"), std::string::npos);
  EXPECT_NE(Refusal("{\"limits\": [}").find("not JSON"), std::string::npos);
  EXPECT_NE(Refusal("[1]").find("object"), std::string::npos);
  // Every refusal names the file.
  EXPECT_NE(Refusal("[1]").find("orva-rules.json"), std::string::npos);
}

}  // namespace
}  // namespace orva
