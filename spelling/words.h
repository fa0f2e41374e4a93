// The words of a text that spelling looks at, and what it leaves alone:
// whatever the game or the program reads rather than a player.
//
//   ids and numbers      a run of letters with a digit or "_" in it (SHOT999,
//                        mission_01, 3rd), or with a capital after a small
//                        letter (PlayerName, iPhone)
//   format markers       %s %d %1 %-5.2f %% and {0} {name} {0:N2}
//   tags                 <b> </b> <br/> <color=#ff0000>; the text between a
//                        pair is checked
//   escapes, entities    \n \t written out, &amp; &nbsp;
//   names with dots      file.txt, example.com, т.е.
//   addresses            a run without spaces holding "://" or "@"
//   control characters   line breaks and tabs separate words like spaces
//
// A word is a run of Cyrillic or Latin letters; an apostrophe (' or U+2019)
// or a hyphen between two letters joins them into one word (don't, кто-то).
// Its language is that of most of its letters: a Cyrillic word is Russian,
// a Latin one English.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace orva {

enum class SpellingLanguage : std::uint8_t { kRussian, kEnglish };

// Characters [from, to) of a text, and the language of the word there.
struct Word {
  std::size_t from = 0;
  std::size_t to = 0;
  SpellingLanguage language = SpellingLanguage::kRussian;
  friend bool operator==(const Word&, const Word&) = default;
};

std::vector<Word> FindWords(std::u32string_view text);

bool IsCyrillicLetter(char32_t c);
bool IsLatinLetter(char32_t c);

}  // namespace orva
