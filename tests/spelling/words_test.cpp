#include "spelling/words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/code_page.h"

namespace orva {
namespace {

// The words FindWords picks from a UTF-8 text, as UTF-8, with "/en" after an
// English one.
std::vector<std::string> WordsOf(std::string_view utf8) {
  const std::u32string text = DecodeUtf8(utf8).value();
  std::vector<std::string> out;
  for (const Word& word : FindWords(text)) {
    std::string w;
    for (std::size_t i = word.from; i < word.to; ++i) AppendUtf8(w, text[i]);
    if (word.language == SpellingLanguage::kEnglish) w += "/en";
    out.push_back(w);
  }
  return out;
}

using Words = std::vector<std::string>;

TEST(FindWords, LeavesWhatTheGameReadsAndChecksWhatAPlayerReads) {
  // Format markers of every shape, and the words around them.
  EXPECT_EQ(WordsOf("Нажмите %s, потом %d раз, %1 и %2$s или %-5.2f%% готово"),
            (Words{"Нажмите", "потом", "раз", "и", "или", "готово"}));
  EXPECT_EQ(WordsOf("{0} убит {name}, счёт {0:N2}"), (Words{"убит", "счёт"}));
  // Tags go, the text between a pair stays.
  EXPECT_EQ(WordsOf("<b>Внимание</b>: <color=#ff0000>red alert</color><br/>"),
            (Words{"Внимание", "red/en", "alert/en"}));
  // Ids, numbers, identifiers.
  EXPECT_EQ(WordsOf("SHOT999 mission_01 3rd PlayerName iPhone 100 удар"), (Words{"удар"}));
  // Escapes written out, entities, control characters between words.
  EXPECT_EQ(WordsOf("Строка\\nвторая\\tтретья &amp; &nbsp;конец\nещё\tраз\r\x01тут"),
            (Words{"Строка", "вторая", "третья", "конец", "ещё", "раз", "тут"}));
  // Addresses and names with dots.
  EXPECT_EQ(WordsOf("см. http://example.com/путь или user@mail.ru, файл save.dat т.е. всё"),
            (Words{"см", "или", "файл", "всё"}));
}

TEST(FindWords, JoinsWhatAWordHoldsAndTellsItsLanguageByItsLetters) {
  EXPECT_EQ(WordsOf("кто-то don't it\u2019s -край- 'quoted'"),
            (Words{"кто-то", "don't/en", "it\u2019s/en", "край", "quoted/en"}));
  // A Latin look-alike in a Russian word keeps it Russian (and misspelt).
  EXPECT_EQ(WordsOf("мoлоко milk"), (Words{"мoлоко", "milk/en"}));
  // A lone marker sign, an unclosed brace or tag is punctuation.
  EXPECT_EQ(WordsOf("100 % верно {не закрыто < меньше"),
            (Words{"верно", "не", "закрыто", "меньше"}));
}

// Whatever the text, each word lies inside it, after the one before, and
// holds only letters and joiners between letters.
TEST(FindWords, WordsAreLettersInOrderForAnyText) {
  std::u32string alphabet = U"аеёжзйЁЕabzAZ'\u2019-%{}<>/&;#\\_0 9.@:\n\t";
  std::uint32_t state = 1;
  for (int round = 0; round < 3000; ++round) {
    std::u32string text;
    const std::size_t length = round % 40;
    for (std::size_t i = 0; i < length; ++i) {
      state = state * 1103515245u + 12345u;
      text.push_back(alphabet[(state >> 16) % alphabet.size()]);
    }
    std::size_t last_end = 0;
    for (const Word& word : FindWords(text)) {
      ASSERT_LT(word.from, word.to);
      ASSERT_LE(word.to, text.size());
      ASSERT_GE(word.from, last_end);
      last_end = word.to;
      EXPECT_TRUE(IsCyrillicLetter(text[word.from]) || IsLatinLetter(text[word.from]));
      EXPECT_TRUE(IsCyrillicLetter(text[word.to - 1]) || IsLatinLetter(text[word.to - 1]));
      for (std::size_t i = word.from; i < word.to; ++i) {
        const char32_t c = text[i];
        EXPECT_TRUE(IsCyrillicLetter(c) || IsLatinLetter(c) || c == U'\'' || c == U'\u2019' ||
                    c == U'-');
      }
    }
  }
}

}  // namespace
}  // namespace orva
