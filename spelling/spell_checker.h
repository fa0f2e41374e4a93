// Spelling of the texts in Russian and English, with hunspell and its ru_RU
// and en_US dictionaries, and the team's own word list beside the database.
//
// The dictionaries are UTF-8 (their .aff files say SET UTF-8; others are
// refused). Texts are given as characters: the decoded text of the checks,
// or the stored Windows-1251 bytes, one character each. Each word that
// FindWords picks (words.h) goes to the dictionary of its letters.
//
// Verdicts are cached by word, so a whole file costs about one dictionary
// look-up per distinct word; suggestions, far dearer, are made only when
// asked for and cached too. Not thread-safe: a pass on a thread of its own
// opens a checker of its own.
//
// A "spelling" check (a warning) calls Check with an entry's characters and
// reports each Misspelling at [from, to) in the words of
// DescribeMisspelling; the team's words, the ignored ones and the ё/е option
// are the checker's, so the check needs nothing else.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "spelling/words.h"
#include "storage/file_system.h"
#include "storage/status.h"

namespace orva {

struct SpellingOptions {
  // Accept е (Е) where the dictionary writes ё (Ё): "еж" for "ёж", as most
  // Russian print does.
  bool accept_ye_for_yo = false;
};

// Where the dictionaries are: /usr/share/hunspell on Linux (Debian's
// hunspell-ru and hunspell-en-us), the folder "dictionaries" beside the
// program on Windows.
std::filesystem::path DefaultDictionaryFolder();

// A word the dictionary of its language does not know.
struct Misspelling {
  std::size_t from = 0;  // characters [from, to) of the text
  std::size_t to = 0;
  std::string word;  // UTF-8
  SpellingLanguage language = SpellingLanguage::kRussian;
  std::vector<std::string> suggestions;  // UTF-8, best first; only when asked for
};

enum class WithSuggestions : bool { kNo, kYes };

// The finding in plain words: "“превед” is not in the Russian dictionary
// (perhaps: привет, привод)".
std::string DescribeMisspelling(const Misspelling& misspelling);
std::string_view LanguageName(SpellingLanguage language);  // "Russian", "English"

class SpellChecker;

// A spell checker being opened: its dictionaries found and being read on a
// thread of their own (hunspell takes about a tenth of a second over the
// Russian one), so that the caller may do other work meanwhile, but not
// make or drop another dictionary of hunspell's. Finish waits for them.
// Abandoned, it waits for them too, then lets them go.
class SpellCheckerOpening {
 public:
  SpellCheckerOpening(SpellCheckerOpening&&) noexcept;
  SpellCheckerOpening& operator=(SpellCheckerOpening&&) noexcept;
  ~SpellCheckerOpening();

  // Whether Finish would not wait for the dictionaries, waiting up to
  // `wait` for them. Where no thread could be had they are read by Finish,
  // and this is true at once.
  bool Ready(std::chrono::milliseconds wait = std::chrono::milliseconds(0)) const;
  // The spell checker, or SpellChecker::Open's refusal; once only.
  Result<SpellChecker> Finish();

 private:
  friend class SpellChecker;
  struct Reading;
  explicit SpellCheckerOpening(std::unique_ptr<Reading> reading);
  std::unique_ptr<Reading> reading_;
};

class SpellChecker {
 public:
  // Loads ru_RU.aff/.dic and en_US.aff/.dic from `dictionaries`, and the
  // words of `team_words` (none when the path is empty or names no file).
  // Refuses, saying which file and why, a dictionary that is missing or not
  // UTF-8, and a word list it cannot read.
  static Result<SpellChecker> Open(const std::filesystem::path& dictionaries,
                                   const std::filesystem::path& team_words,
                                   SpellingOptions options = {},
                                   FileSystem& fs = DefaultFileSystem());
  // The same in two halves: the files found and the word list's path kept
  // now, through `fs` (which must outlive the opening), the dictionaries
  // read meanwhile, the word list read by Finish, through `fs` again.
  static Result<SpellCheckerOpening> StartOpening(const std::filesystem::path& dictionaries,
                                                  const std::filesystem::path& team_words,
                                                  SpellingOptions options = {},
                                                  FileSystem& fs = DefaultFileSystem());

  SpellChecker(SpellChecker&&) noexcept;
  SpellChecker& operator=(SpellChecker&&) noexcept;
  ~SpellChecker();

  // The words of `text` that are misspelt, in the text's order.
  std::vector<Misspelling> Check(std::u32string_view text,
                                 WithSuggestions with = WithSuggestions::kNo);
  // The same for a text as the database stores it (Windows-1251).
  std::vector<Misspelling> CheckStored(std::span<const std::byte> stored,
                                       WithSuggestions with = WithSuggestions::kNo);

  // Whether one word (letters only, as FindWords gives them) is known.
  bool IsCorrect(std::u32string_view word);
  // Up to the dictionary's best few replacements, UTF-8. A Russian word that
  // the dictionary knows with ё in place of an е gets those forms first.
  // hunspell gives up a stage of its search when its time is up (a tenth of
  // a second by the program's clock: processor time on Linux, the wall clock
  // on Windows), so a busy machine may get fewer of the rest.
  const std::vector<std::string>& Suggest(std::u32string_view word);

  // Adds `word` (UTF-8) to the team's word list, crash-safely, and accepts it
  // from now on. Refuses, changing nothing, a word that cannot be a line of
  // the list (CheckTeamWord) or when there is no list to add to.
  Status AddToTeamWords(std::string_view word);
  // Accepts `word` (UTF-8) until the checker is closed, without writing it.
  void Ignore(std::string_view word);

  const SpellingOptions& options() const;
  void SetOptions(const SpellingOptions& options);
  const std::filesystem::path& team_words_path() const;
  // How many distinct words have a cached verdict.
  std::size_t cached_words() const;

 private:
  friend class SpellCheckerOpening;
  struct State;
  explicit SpellChecker(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace orva
