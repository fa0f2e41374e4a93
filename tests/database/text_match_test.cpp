#include "database/text_match.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/code_page.h"
#include "database/text_edit.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

std::vector<std::byte> Stored(const std::string& utf8) { return StoredText(utf8).value(); }

TextPattern Pattern(const std::string& utf8, TextSearch how = {}) {
  Result<TextPattern> pattern = TextPattern::Make(utf8, how);
  EXPECT_TRUE(pattern.ok()) << pattern.status().message();
  return std::move(pattern).value();
}

// The text with every occurrence replaced, as UTF-8.
std::string Replaced(const TextPattern& pattern, const std::string& text,
                     const std::string& replacement) {
  Result<ReplacedText> replaced = pattern.Replace(Stored(text), Stored(replacement));
  EXPECT_TRUE(replaced.ok()) << replaced.status().message();
  return ExchangeText(replaced->text);
}

// Every letter pair of the code page folds, and nothing else does.
TEST(FoldCase, FoldsEachLetterPairOfTheCodePageAndNothingElse) {
  std::string upper = "ABCDEFGHIJKLMNOPQRSTUVWXYZАБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯЁЂЃЉЊЌЋЏЎЈҐЄЇІЅ";
  std::string lower = "abcdefghijklmnopqrstuvwxyzабвгдежзийклмнопрстуфхцчшщъыьэюяёђѓљњќћџўјґєїіѕ";
  const std::vector<std::byte> from = Stored(upper);
  const std::vector<std::byte> to = Stored(lower);
  ASSERT_EQ(from.size(), 73u);
  for (std::size_t i = 0; i < from.size(); ++i) {
    EXPECT_EQ(FoldCase(from[i]), to[i]) << i;
    EXPECT_EQ(FoldCase(to[i]), to[i]) << i;
  }
  int folded = 0;
  for (int b = 0; b < 256; ++b) folded += FoldCase(static_cast<std::byte>(b)) != std::byte(b);
  EXPECT_EQ(folded, 73);
}

TEST(TextPattern, FindsALiteralTextWhateverTheCaseUnlessToldOtherwise) {
  const std::string text = "ЁЛКА, Ёлка и ёлка; ЃЉЊ ѓљњ";
  EXPECT_EQ(Replaced(Pattern("ёлка"), text, "ель"), "ель, ель и ель; ЃЉЊ ѓљњ");
  EXPECT_EQ(Replaced(Pattern("ѓЉњ"), text, "-"), "ЁЛКА, Ёлка и ёлка; - -");
  EXPECT_EQ(Replaced(Pattern("ёлка", {.match_case = true}), text, "ель"),
            "ЁЛКА, Ёлка и ель; ЃЉЊ ѓљњ");
  // Left to right, without overlapping.
  Result<ReplacedText> aaa = Pattern("aa").Replace(Stored("aaaaa"), Stored("b"));
  EXPECT_EQ(ExchangeText(aaa->text), "bba");
  EXPECT_EQ(aaa->occurrences, 2u);
  // A text the code page cannot hold occurs nowhere; an empty one is refused.
  EXPECT_FALSE(*Pattern("ж日").Occurs(Stored("ж?ж\xC2\x98")));
  EXPECT_FALSE(TextPattern::Make("", {}).ok());
}

TEST(TextPattern, RunsARegularExpressionOverCharacters) {
  const TextSearch regex{.regex = true, .match_case = true};
  EXPECT_TRUE(*Pattern("^п.езд$", regex).Occurs(Stored("поезд")));
  EXPECT_FALSE(*Pattern("^[а-я]+$", regex).Occurs(Stored("ПОЕЗД")));
  EXPECT_TRUE(*Pattern("^[а-я]+$", {.regex = true}).Occurs(Stored("ПоЕзД")));
  EXPECT_TRUE(*Pattern("^Ё[ђ-џ]$", {.regex = true}).Occurs(Stored("ёЋ")));
  // \w is ASCII's, as ECMAScript has it.
  EXPECT_FALSE(*Pattern("\\w", regex).Occurs(Stored("поезд")));
  EXPECT_TRUE(*Pattern("^\\w+$", regex).Occurs(Stored("Train_1")));
  EXPECT_EQ(Replaced(Pattern("(\\S+) (\\S+)", regex), "первый второй", "$2 $1 ($$)"),
            "второй первый ($)");
  // 0x98, which has no character, comes through as it was.
  EXPECT_EQ(Replaced(Pattern("x", regex), "x\xC2\x98x", "у"), "у\xC2\x98у");

  // However long the text: the stack does not grow with it.
  EXPECT_TRUE(*Pattern("^(а|б)*$", regex).Occurs(test_support::Bytes(std::string(400000, '\xE0'))));
  EXPECT_FALSE(TextPattern::Make("(а)\\1", regex).ok());

  const Result<TextPattern> bad = TextPattern::Make("(а", regex);
  ASSERT_FALSE(bad.ok());
  EXPECT_NE(bad.status().message().find("regular expression is not valid"), std::string::npos);
}

TEST(PlanReplacement, ChangesTheEntriesWhoseTextsChangeAndNamesOneItCannotStore) {
  const auto db = test_support::DatabaseBuilder()
                      .Entry(5001, "Поезд")
                      .Entry(1200, "нет")
                      .Entry(5002, "поезд и ПОЕЗД")
                      .Marker("конец")
                      .Build();
  const std::vector<EntryText> entries = ReadEntryTexts(db).value();
  Result<PlannedReplacement> plan = PlanReplacement(entries, Pattern("поезд"), "состав");
  ASSERT_TRUE(plan.ok()) << plan.status().message();
  EXPECT_EQ(plan->occurrences, 3u);
  ASSERT_EQ(plan->changes.size(), 2u);
  EXPECT_EQ(plan->changes[1].slot, 3u);
  EXPECT_EQ(ExchangeText(plan->changes[1].text), "состав и состав");

  EXPECT_TRUE(PlanReplacement(entries, Pattern("нет"), "нет")->changes.empty());
  EXPECT_TRUE(PlanReplacement(entries, Pattern("самолёт"), "日本").ok());
  const Result<PlannedReplacement> refused = PlanReplacement(entries, Pattern("нет"), "日本");
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.status().message().find("table slot 2 (id 1200)"), std::string::npos)
      << refused.status().message();
}

}  // namespace
}  // namespace orva
