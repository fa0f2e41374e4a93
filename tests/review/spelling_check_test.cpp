// The spelling check as the check engine runs it: with the rules file's
// options and the team's word list beside it, over entries of a database
// and over a text as typed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/code_page.h"
#include "review/check_rules.h"
#include "review/database_review.h"
#include "review/text_checks.h"
#include "spelling/team_words.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using format::EntryKind;
using test_support::Bytes;
using Words = std::vector<std::string>;

class SpellingCheckTest : public ::testing::Test {
 protected:
  // The rules of `json` (none: no rules file), with the spell checker open.
  CheckRules Rules(std::string_view json = "") {
    CheckRules rules;
    if (!json.empty()) {
      test_support::WriteFileBytes(dir_ / "orva-rules.json", Bytes(json));
      Result<CheckRules> read = ReadCheckRules(dir_ / "orva-rules.json");
      EXPECT_TRUE(read.ok()) << read.status().message();
      if (read.ok()) rules = std::move(read).value();
    }
    const Status opened = OpenSpelling(rules, dir_.path(), ORVA_DICTIONARY_DIR);
    EXPECT_TRUE(opened.ok()) << opened.message();
    return rules;
  }
  void WriteWords(std::string_view lines) {
    test_support::WriteFileBytes(dir_ / std::string(kTeamWordsFileName), Bytes(lines));
  }

  // The words the spelling check reports in a typed text, each checked to be
  // a warning whose span holds the word its message names.
  static Words Misspelt(const CheckRules& rules, std::string_view utf8,
                        EntryKind kind = EntryKind::kOther) {
    const std::u32string text = TypedCharacters(utf8);
    const CheckedEntry entry{3, 7000, kind, text, std::nullopt, 1};
    std::vector<Finding> findings;
    CheckEntry(entry, rules, findings);
    Words words;
    for (const Finding& f : findings) {
      if (f.check != "spelling") continue;
      EXPECT_EQ(f.severity, Severity::kWarning);
      EXPECT_TRUE(f.span.has_value());
      if (!f.span) continue;
      std::string word;
      for (std::size_t i = f.span->from; i < f.span->to; ++i) AppendUtf8(word, text[i]);
      EXPECT_EQ(f.message.find("\u201C" + word + "\u201D is not in the "), 0u) << f.message;
      words.push_back(word);
    }
    return words;
  }

  test_support::TempDir dir_;
};

TEST_F(SpellingCheckTest, ReportsMisspeltWordsAndLeavesWhatIsNoWord) {
  const CheckRules rules = Rules();
  EXPECT_EQ(Misspelt(rules,
                     "<b>Коррова</b> ушла %s за {0} реку\x01и recieve SHOT999 mission_01 "
                     "<color=#ff0000>красный</color> \\n PlayerName 100%"),
            (Words{"Коррова", "recieve"}));
  // The language is the letters': an English word in a Russian text is
  // English, and the other way round.
  EXPECT_EQ(Misspelt(rules, "Конвой escort поезд and Ночь"), Words{});
  EXPECT_EQ(Misspelt(rules, "Конвой escrot поезд and Ночьь"), (Words{"escrot", "Ночьь"}));
  // The end marker's text is no player's.
  EXPECT_EQ(Misspelt(rules, "Коррова", EntryKind::kEndMarker), Words{});
  // The rules can leave the check out for some ids.
  const CheckRules ignoring = Rules(R"({"ignore": [{"ids": 7000, "checks": ["spelling"]}]})");
  EXPECT_EQ(Misspelt(ignoring, "Коррова"), Words{});
}

TEST_F(SpellingCheckTest, NothingIsReportedWithoutASpellChecker) {
  EXPECT_EQ(Misspelt(CheckRules{}, "Коррова recieve"), Words{});
  // "spelling": false opens none, and asks for no dictionary.
  test_support::WriteFileBytes(dir_ / "orva-rules.json", Bytes(R"({"spelling": false})"));
  CheckRules off = ReadCheckRules(dir_ / "orva-rules.json").value();
  ASSERT_TRUE(OpenSpelling(off, dir_.path(), dir_ / "no-dictionaries").ok());
  EXPECT_EQ(off.speller, nullptr);
  EXPECT_EQ(Misspelt(off, "Коррова recieve"), Words{});
}

// Correct Russian and English, with ё and with е, is never reported; the
// rules' option accepts е for the ё of the team's words too.
TEST_F(SpellingCheckTest, CorrectWordsPassWithAndWithoutTheYeForYoOption) {
  WriteWords("# names\nЛёха\nЁлкин\n");
  const std::string correct =
      "Ещё одна ёлка, ЁЖ и еж. Звёзды и звезды над рекой; Лёха и Ёлкин. "
      "The convoy leaves at dawn, doesn't it?";
  for (const bool option : {false, true}) {
    SCOPED_TRACE(option ? "е for ё accepted" : "as the dictionary has it");
    const CheckRules rules =
        Rules(option ? R"({"spelling": {"accept-ye-for-yo": true}})" : R"({"spelling": {}})");
    EXPECT_EQ(rules.spelling.options.accept_ye_for_yo, option);
    EXPECT_EQ(Misspelt(rules, correct), Words{});
    EXPECT_EQ(Misspelt(rules, "Леха и Елкин"), option ? Words{} : (Words{"Леха", "Елкин"}));
    EXPECT_EQ(Misspelt(rules, "Лехха"), Words{"Лехха"});
  }
}

TEST_F(SpellingCheckTest, AWordAddedToTheSharedListIsAcceptedAfterwards) {
  const CheckRules before = Rules();
  EXPECT_EQ(Misspelt(before, "Крейнхолд и Орвалия"), (Words{"Крейнхолд", "Орвалия"}));
  // Added from the check's own spell checker: accepted at once, and written.
  ASSERT_TRUE(before.speller->AddToTeamWords("Крейнхолд").ok());
  EXPECT_EQ(Misspelt(before, "Крейнхолд и Орвалия"), Words{"Орвалия"});
  // Added by a teammate to the list beside the rules: the next check takes
  // both.
  ASSERT_TRUE(AddTeamWord(dir_ / std::string(kTeamWordsFileName), "Орвалия").ok());
  EXPECT_EQ(Misspelt(Rules(), "Крейнхолд и Орвалия"), Words{});
}

TEST_F(SpellingCheckTest, AWholeDatabaseIsCheckedEntryByEntry) {
  WriteWords("Орвалия\n");
  const std::vector<std::byte> database = test_support::DatabaseBuilder()
                                              .Entry(5001, "Патруль над Орвалией")
                                              .Entry(5002, "Патрруль над Орвалия")
                                              .Marker("Коррова")
                                              .Entry(7001, "Escort the trian")
                                              .Build();
  const CheckRules rules = Rules();
  std::vector<std::string> found;
  const Result<DatabaseReview> review =
      ReviewDatabase(database, nullptr, rules, [&](const Finding& f) {
        if (f.check == "spelling") {
          found.push_back(std::to_string(f.slot) + ":" + std::to_string(f.span->from) + "-" +
                          std::to_string(f.span->to));
        }
      });
  ASSERT_TRUE(review.ok()) << review.status().message();
  // "Орвалией" is a form the list does not have; the marker is not checked.
  EXPECT_EQ(found, (std::vector<std::string>{"1:12-20", "2:0-8", "4:11-16"}));
  EXPECT_EQ(review->warnings, found.size());
  EXPECT_EQ(review->errors, 0u);
}

TEST_F(SpellingCheckTest, RefusesWhatItCannotUseAndSaysHowToGoOn) {
  for (std::string_view bad : {R"({"spelling": "yes"})", R"({"spelling": {"accept-yo": true}})",
                               R"({"spelling": {"accept-ye-for-yo": 1}})"}) {
    test_support::WriteFileBytes(dir_ / "orva-rules.json", Bytes(bad));
    const Result<CheckRules> rules = ReadCheckRules(dir_ / "orva-rules.json");
    ASSERT_FALSE(rules.ok()) << bad;
    EXPECT_EQ(rules.status().kind(), ErrorKind::kInvalidText);
    EXPECT_NE(rules.status().message().find("\"spelling\""), std::string::npos)
        << rules.status().message();
  }
  CheckRules rules;
  fs::create_directory(dir_ / "no-dictionaries");
  const Status missing = OpenSpelling(rules, dir_.path(), dir_ / "no-dictionaries");
  EXPECT_EQ(missing.kind(), ErrorKind::kNotFound);
  EXPECT_NE(missing.message().find("ru_RU.aff"), std::string::npos) << missing.message();
  EXPECT_NE(missing.message().find("\"spelling\": false"), std::string::npos) << missing.message();
  EXPECT_EQ(rules.speller, nullptr);

  WriteWords("Орвалия\n\xFF\n");
  const Status unreadable = OpenSpelling(rules, dir_.path(), ORVA_DICTIONARY_DIR);
  EXPECT_EQ(unreadable.kind(), ErrorKind::kInvalidText);
  EXPECT_NE(unreadable.message().find("orva-words.txt"), std::string::npos) << unreadable.message();
}

}  // namespace
}  // namespace orva
