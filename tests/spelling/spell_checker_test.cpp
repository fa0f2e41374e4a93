#include "spelling/spell_checker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "database/code_page.h"
#include "spelling/team_words.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::ReadFileBytes;
using test_support::TempDir;
using test_support::WriteFileBytes;

std::u32string U32(std::string_view utf8) { return DecodeUtf8(utf8).value(); }

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return {data, data + text.size()};
}

class SpellCheckerTest : public ::testing::Test {
 protected:
  SpellChecker Open(SpellingOptions options = {}) {
    Result<SpellChecker> checker = SpellChecker::Open(ORVA_DICTIONARY_DIR, words_, options);
    if (!checker.ok()) ADD_FAILURE() << checker.status().message();
    return std::move(checker).value();
  }
  // The misspelt words of a text, UTF-8.
  static std::vector<std::string> Misspelt(SpellChecker& checker, std::string_view utf8) {
    std::vector<std::string> words;
    for (const Misspelling& m : checker.Check(U32(utf8))) words.push_back(m.word);
    return words;
  }

  TempDir dir_;
  fs::path words_ = dir_ / std::string(kTeamWordsFileName);
};

using Words = std::vector<std::string>;

// hunspell gives up a stage of its search for suggestions when its time is
// up, by the wall clock on Windows, so what a loaded machine gets may be
// fewer. What is promised whatever the speed: the replacements of the
// dictionary's own table of typical faults (en_US: "f" for "ph"), which
// hunspell tries before it looks at the clock, and the ё forms, which the
// checker adds itself.
TEST_F(SpellCheckerTest, FindsAMisspellingInEitherLanguageWithItsPlaceAndSuggestions) {
  WriteFileBytes(words_, Bytes("Лёха\n"));
  SpellChecker checker = Open();
  const std::u32string text = U32("<b>Коррова</b> ушла, and Леха took a foto of %s letters.");
  const std::vector<Misspelling> found = checker.Check(text, WithSuggestions::kYes);
  ASSERT_EQ(found.size(), 3u);
  const auto suggested = [](const Misspelling& m, std::string_view word) {
    return std::find(m.suggestions.begin(), m.suggestions.end(), word) != m.suggestions.end();
  };

  EXPECT_EQ(found[0].word, "Коррова");
  EXPECT_EQ(text.substr(found[0].from, found[0].to - found[0].from), U32("Коррова"));
  EXPECT_EQ(found[0].language, SpellingLanguage::kRussian);

  EXPECT_EQ(found[1].word, "Леха");
  EXPECT_EQ(text.substr(found[1].from, found[1].to - found[1].from), U32("Леха"));
  EXPECT_EQ(found[1].language, SpellingLanguage::kRussian);
  ASSERT_FALSE(found[1].suggestions.empty());
  EXPECT_EQ(found[1].suggestions.front(), "Лёха");

  EXPECT_EQ(found[2].word, "foto");
  EXPECT_EQ(text.substr(found[2].from, found[2].to - found[2].from), U32("foto"));
  EXPECT_EQ(found[2].language, SpellingLanguage::kEnglish);
  EXPECT_TRUE(suggested(found[2], "photo"));
  EXPECT_EQ(DescribeMisspelling(found[2]).rfind(
                "\u201Cfoto\u201D is not in the English dictionary (perhaps: ", 0),
            0u)
      << DescribeMisspelling(found[2]);
  EXPECT_NE(DescribeMisspelling(found[2]).find("photo"), std::string::npos);

  // Whatever hunspell finds in its time, each suggestion is once in the list,
  // and asked again the list is the same, from the cache.
  for (const Misspelling& m : found) {
    std::vector<std::string> sorted = m.suggestions;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << m.word;
    EXPECT_EQ(checker.Suggest(U32(m.word)), m.suggestions) << m.word;
  }

  // Without suggestions asked for, the same words, none suggested.
  const std::vector<Misspelling> plain = checker.Check(text);
  ASSERT_EQ(plain.size(), 3u);
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(plain[i].word, found[i].word);
    EXPECT_TRUE(plain[i].suggestions.empty());
  }
}

TEST_F(SpellCheckerTest, AStoredTextIsCheckedAsItsCharacters) {
  SpellChecker checker = Open();
  const std::string utf8 = "Ночной конвй: escort the trian, {0} ракет";
  const std::vector<std::byte> stored = StoredText(utf8).value();
  const std::vector<Misspelling> from_stored = checker.CheckStored(stored);
  const std::vector<Misspelling> from_text = checker.Check(U32(utf8));
  ASSERT_EQ(from_stored.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(from_stored[i].word, from_text[i].word);
    EXPECT_EQ(from_stored[i].from, from_text[i].from);  // a byte is a character
    EXPECT_EQ(from_stored[i].to, from_text[i].to);
  }
  EXPECT_EQ(from_stored[0].word, "конвй");
  EXPECT_EQ(from_stored[1].word, "trian");
}

// Correct Russian and English, with ё and with е, capitals among them, is
// correct whatever the option; the option accepts е only where ё is known,
// in the dictionary or in the team's list, and nothing else.
TEST_F(SpellCheckerTest, CorrectWordsPassWithAndWithoutTheYeForYoOption) {
  WriteFileBytes(words_, Bytes("Лёха\nЁлкин\n"));
  const std::string correct =
      "Ещё одна ёлка, ЁЖ и еж. Звёзды и звезды над рекой; Лёха и Ёлкин. "
      "The convoy leaves at dawn, doesn't it?";
  for (const bool option : {false, true}) {
    SCOPED_TRACE(option ? "е for ё accepted" : "as the dictionary has it");
    SpellChecker checker = Open({.accept_ye_for_yo = option});
    EXPECT_EQ(Misspelt(checker, correct), Words{});
    const Words with_ye = Misspelt(checker, "Леха и Елкин, ЕЛКИН");
    EXPECT_EQ(with_ye, option ? Words{} : (Words{"Леха", "Елкин", "ЕЛКИН"}));
    EXPECT_EQ(Misspelt(checker, "Лехха и Ежжик"), (Words{"Лехха", "Ежжик"}));
  }
  // Changing the option of an open checker forgets the verdicts it changes.
  SpellChecker checker = Open();
  EXPECT_FALSE(checker.IsCorrect(U32("Леха")));
  checker.SetOptions({.accept_ye_for_yo = true});
  EXPECT_TRUE(checker.IsCorrect(U32("Леха")));
  checker.SetOptions({.accept_ye_for_yo = false});
  EXPECT_FALSE(checker.IsCorrect(U32("Леха")));
}

TEST_F(SpellCheckerTest, AWordAddedToTheTeamsListIsAcceptedNowAndByEveryoneAfterwards) {
  const std::string old_list = "# the game's names\r\nОрвалия\r\n";
  WriteFileBytes(words_, Bytes(old_list));
  SpellChecker mine = Open();
  EXPECT_EQ(Misspelt(mine, "Орвалия и Крейнхолд"), Words{"Крейнхолд"});

  // A teammate adds a word after this checker read the list: it stays.
  ASSERT_TRUE(AddTeamWord(words_, "Zarkon").ok());
  ASSERT_TRUE(mine.AddToTeamWords("Крейнхолд").ok());
  EXPECT_EQ(Misspelt(mine, "Орвалия и Крейнхолд"), Words{});
  EXPECT_EQ(ReadFileBytes(words_), Bytes(old_list + "Zarkon\r\nКрейнхолд\r\n"));
  // Added twice, written once.
  ASSERT_TRUE(mine.AddToTeamWords("Крейнхолд").ok());
  EXPECT_EQ(ReadFileBytes(words_), Bytes(old_list + "Zarkon\r\nКрейнхолд\r\n"));

  SpellChecker theirs = Open();
  EXPECT_EQ(Misspelt(theirs, "Орвалия, Крейнхолд, Zarkon и Крейнхолдд"), Words{"Крейнхолдд"});
  // hunspell's own rules for capitals hold for the team's words.
  EXPECT_EQ(Misspelt(theirs, "КРЕЙНХОЛД ZARKON"), Words{});

  // What cannot be a line of the list is refused and nothing is written.
  for (std::string_view bad : {"два слова", "", "#тег", "строка\nвторая", "\xC3\x28"}) {
    SCOPED_TRACE(bad);
    const Status s = theirs.AddToTeamWords(bad);
    EXPECT_EQ(s.kind(), ErrorKind::kInvalidText);
  }
  EXPECT_EQ(ReadFileBytes(words_), Bytes(old_list + "Zarkon\r\nКрейнхолд\r\n"));
}

TEST_F(SpellCheckerTest, AnIgnoredWordIsAcceptedForThisRunAlone) {
  SpellChecker checker = Open();
  EXPECT_EQ(Misspelt(checker, "Крейнхолд"), Words{"Крейнхолд"});
  checker.Ignore("Крейнхолд");
  EXPECT_EQ(Misspelt(checker, "Крейнхолд ждёт"), Words{});
  // Not even when the option's change empties the cache.
  checker.SetOptions({.accept_ye_for_yo = true});
  EXPECT_EQ(Misspelt(checker, "Крейнхолд"), Words{});
  EXPECT_FALSE(fs::exists(words_));
  SpellChecker next = Open();
  EXPECT_EQ(Misspelt(next, "Крейнхолд"), Words{"Крейнхолд"});
}

TEST_F(SpellCheckerTest, RefusesMissingDictionariesAndAListItCannotRead) {
  const fs::path empty = dir_ / "no-dictionaries";
  fs::create_directory(empty);
  Result<SpellChecker> none = SpellChecker::Open(empty, words_);
  ASSERT_FALSE(none.ok());
  EXPECT_EQ(none.status().kind(), ErrorKind::kNotFound);
  EXPECT_NE(none.status().message().find("ru_RU.aff"), std::string::npos);
  EXPECT_NE(none.status().message().find("hunspell-ru"), std::string::npos);

  // A dictionary in another encoding than UTF-8.
  const fs::path other = dir_ / "koi8";
  fs::create_directory(other);
  for (std::string_view name : {"en_US.aff", "en_US.dic"}) {
    fs::copy_file(fs::path(ORVA_DICTIONARY_DIR) / name, other / name);
  }
  WriteFileBytes(other / "ru_RU.aff", Bytes("SET KOI8-R\n"));
  WriteFileBytes(other / "ru_RU.dic", Bytes("1\nslovo\n"));
  Result<SpellChecker> koi8 = SpellChecker::Open(other, words_);
  ASSERT_FALSE(koi8.ok());
  EXPECT_EQ(koi8.status().kind(), ErrorKind::kUnsupported);
  EXPECT_NE(koi8.status().message().find("KOI8-R"), std::string::npos);

  WriteFileBytes(words_, Bytes("Орвалия\n\xFF\xFE\n"));
  Result<SpellChecker> unreadable = SpellChecker::Open(ORVA_DICTIONARY_DIR, words_);
  ASSERT_FALSE(unreadable.ok());
  EXPECT_EQ(unreadable.status().kind(), ErrorKind::kInvalidText);
  EXPECT_NE(unreadable.status().message().find("line 2"), std::string::npos);

  // With no list to add to, a word is refused.
  Result<SpellChecker> listless = SpellChecker::Open(ORVA_DICTIONARY_DIR, {});
  ASSERT_TRUE(listless.ok());
  EXPECT_EQ(listless->AddToTeamWords("Орвалия").kind(), ErrorKind::kUnsupported);
}

}  // namespace
}  // namespace orva
