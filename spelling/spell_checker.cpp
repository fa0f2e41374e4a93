#include "spelling/spell_checker.h"

#include <algorithm>
#include <array>
#include <functional>
#include <future>
#include <hunspell/hunspell.hxx>
#include <new>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "database/code_page.h"
#include "spelling/internal/dictionary_path.h"
#include "spelling/team_words.h"
#include "storage/no_memory.h"
#include "storage/quote.h"

namespace orva {
namespace {

constexpr char32_t kYe = 0x0435, kYo = 0x0451, kCapitalYe = 0x0415, kCapitalYo = 0x0401;
// The verdicts kept before the cache starts again: some 100 MiB at most.
constexpr std::size_t kMostCachedWords = std::size_t{1} << 20;
constexpr std::size_t kMostSuggestions = 8;

struct WordHash {
  using is_transparent = void;
  std::size_t operator()(std::u32string_view word) const {
    return std::hash<std::u32string_view>{}(word);
  }
};
template <typename Value>
using WordMap = std::unordered_map<std::u32string, Value, WordHash, std::equal_to<>>;
using WordSet = std::unordered_set<std::u32string, WordHash, std::equal_to<>>;

void ToUtf8(std::u32string_view word, std::string& out) {
  out.clear();
  for (char32_t c : word) AppendUtf8(out, c);
}

SpellingLanguage LanguageOf(std::u32string_view word) {
  const auto cyrillic = std::count_if(word.begin(), word.end(), IsCyrillicLetter);
  const auto latin = std::count_if(word.begin(), word.end(), IsLatinLetter);
  return cyrillic >= latin ? SpellingLanguage::kRussian : SpellingLanguage::kEnglish;
}

struct DictionaryFiles {
  std::string_view name;     // ru_RU
  std::string_view package;  // Debian's, which has it
  std::string_view known;    // a word it must know
};
constexpr DictionaryFiles kRussianFiles{"ru_RU", "hunspell-ru", "слово"};
constexpr DictionaryFiles kEnglishFiles{"en_US", "hunspell-en-us", "word"};

// A dictionary's two files, found: the names hunspell opens them by.
struct FoundDictionary {
  const DictionaryFiles* files = nullptr;
  std::string what;  // "Russian dictionary "
  std::array<std::filesystem::path, 2> paths;
  std::array<std::string, 2> names;
};

Result<FoundDictionary> FindDictionary(const std::filesystem::path& folder,
                                       const DictionaryFiles& files, SpellingLanguage language,
                                       FileSystem& fs) {
  FoundDictionary found;
  found.files = &files;
  found.what = std::string(LanguageName(language)) + " dictionary ";
  std::size_t i = 0;
  for (std::string_view extension : {".aff", ".dic"}) {
    std::filesystem::path& path = found.paths[i];
    path = folder / (std::string(files.name) + std::string(extension));
    Result<FileInfo> info = fs.Stat(path);
    if (!info.ok()) {
      if (info.status().kind() == ErrorKind::kNotFound) {
        return Status::NotFound("the " + found.what + QuotePath(path) + " is missing (Debian's " +
                                std::string(files.package) + " package has it)");
      }
      return info.status().Within("cannot read the " + found.what + ": ");
    }
    if (!info->regular())
      return Status::Unsupported("the " + found.what + QuotePath(path) + " is no file");
    Result<std::string> name = DictionaryPath(path);
    if (!name.ok()) return name.status();
    found.names[i++] = std::move(name).value();
  }
  return found;
}

// hunspell reads the files itself, not through a FileSystem: this may run
// on a thread of its own.
Result<std::unique_ptr<Hunspell>> ReadDictionary(const FoundDictionary& found) {
  auto dictionary = std::make_unique<Hunspell>(found.names[0].c_str(), found.names[1].c_str());
  if (dictionary->get_dict_encoding() != "UTF-8") {
    return Status::Unsupported("the " + found.what + QuotePath(found.paths[0]) + " is in " +
                               dictionary->get_dict_encoding() +
                               "; ORVA reads dictionaries in UTF-8 (SET UTF-8)");
  }
  // hunspell says nothing of a file it could not read, and knows no words.
  if (!dictionary->spell(std::string(found.files->known))) {
    return Status::Malformed("the " + found.what + QuotePath(found.paths[1]) +
                             " could not be read: it does not know \"" +
                             std::string(found.files->known) + "\"");
  }
  return dictionary;
}

}  // namespace

std::string_view LanguageName(SpellingLanguage language) {
  return language == SpellingLanguage::kRussian ? "Russian" : "English";
}

std::string DescribeMisspelling(const Misspelling& misspelling) {
  std::string text = "\u201C" + misspelling.word + "\u201D is not in the " +
                     std::string(LanguageName(misspelling.language)) + " dictionary";
  if (!misspelling.suggestions.empty()) {
    text += " (perhaps: ";
    const std::size_t shown = std::min<std::size_t>(misspelling.suggestions.size(), 5);
    for (std::size_t i = 0; i < shown; ++i) {
      if (i > 0) text += ", ";
      text += misspelling.suggestions[i];
    }
    text += ")";
  }
  return text;
}

struct SpellChecker::State {
  std::unique_ptr<Hunspell> russian;
  std::unique_ptr<Hunspell> english;
  SpellingOptions options;
  std::filesystem::path team_words;
  FileSystem* fs = nullptr;
  WordMap<bool> verdicts;
  WordMap<std::vector<std::string>> suggestions;
  WordSet ignored;
  std::string utf8;        // a word as hunspell takes it
  std::u32string variant;  // a word with ё in place of е
  std::u32string decoded;  // a stored text's characters

  Hunspell& For(SpellingLanguage language) {
    return language == SpellingLanguage::kRussian ? *russian : *english;
  }

  bool Spell(Hunspell& dictionary, std::u32string_view word) {
    ToUtf8(word, utf8);
    return dictionary.spell(utf8);
  }

  // Hands `known` each form of the word with ё (Ё) in place of one of its
  // е (Е), or of all of them, that the Russian dictionary knows, until it
  // says to stop; whether it did.
  template <typename Known>
  bool ForEachYoForm(std::u32string_view word, Known known) {
    auto yo_of = [](char32_t c) { return c == kYe ? kYo : c == kCapitalYe ? kCapitalYo : c; };
    std::size_t count = 0;
    for (std::size_t i = 0; i < word.size(); ++i) {
      if (yo_of(word[i]) == word[i]) continue;
      ++count;
      variant.assign(word);
      variant[i] = yo_of(word[i]);
      if (Spell(*russian, variant) && known(variant)) return true;
    }
    if (count < 2) return false;
    variant.assign(word);
    std::transform(variant.begin(), variant.end(), variant.begin(), yo_of);
    return Spell(*russian, variant) && known(variant);
  }

  bool KnownWithYo(std::u32string_view word) {
    return ForEachYoForm(word, [](std::u32string_view) { return true; });
  }

  bool Decide(std::u32string_view word) {
    if (ignored.find(word) != ignored.end()) return true;
    const SpellingLanguage language = LanguageOf(word);
    if (Spell(For(language), word)) return true;
    return language == SpellingLanguage::kRussian && options.accept_ye_for_yo && KnownWithYo(word);
  }

  bool IsCorrect(std::u32string_view word) {
    if (auto known = verdicts.find(word); known != verdicts.end()) return known->second;
    const bool correct = Decide(word);
    if (verdicts.size() >= kMostCachedWords) verdicts.clear();
    verdicts.emplace(word, correct);
    return correct;
  }

  const std::vector<std::string>& Suggest(std::u32string_view word) {
    if (auto made = suggestions.find(word); made != suggestions.end()) return made->second;
    // A Russian word whose е the dictionary writes ё gets that form first:
    // hunspell finds it too, but only where its time allows.
    std::vector<std::string> found;
    const SpellingLanguage language = LanguageOf(word);
    if (language == SpellingLanguage::kRussian) {
      ForEachYoForm(word, [&](std::u32string_view form) {
        std::string& out = found.emplace_back();
        ToUtf8(form, out);
        return false;
      });
    }
    ToUtf8(word, utf8);
    for (std::string& theirs : For(language).suggest(utf8)) {
      if (std::find(found.begin(), found.end(), theirs) == found.end()) {
        found.push_back(std::move(theirs));
      }
    }
    if (found.size() > kMostSuggestions) found.resize(kMostSuggestions);
    if (suggestions.size() >= kMostCachedWords) suggestions.clear();
    return suggestions.emplace(word, std::move(found)).first->second;
  }

  void Accept(std::u32string_view word) {
    ToUtf8(word, utf8);
    For(LanguageOf(word)).add(utf8);
    verdicts.insert_or_assign(std::u32string(word), true);
  }

  std::vector<Misspelling> Check(std::u32string_view text, WithSuggestions with) {
    std::vector<Misspelling> found;
    for (const Word& word : FindWords(text)) {
      const std::u32string_view letters = text.substr(word.from, word.to - word.from);
      if (IsCorrect(letters)) continue;
      Misspelling& m = found.emplace_back();
      m.from = word.from;
      m.to = word.to;
      ToUtf8(letters, m.word);
      m.language = word.language;
      if (with == WithSuggestions::kYes) m.suggestions = Suggest(letters);
    }
    return found;
  }
};

SpellChecker::SpellChecker(std::unique_ptr<State> state) : state_(std::move(state)) {}
SpellChecker::SpellChecker(SpellChecker&&) noexcept = default;
SpellChecker& SpellChecker::operator=(SpellChecker&&) noexcept = default;
SpellChecker::~SpellChecker() = default;

// Both dictionaries, read one after the other on one thread: hunspell
// keeps tables of its own for every dictionary of the process, which two
// threads making dictionaries at once would set up twice.
struct ReadDictionaries {
  Result<std::unique_ptr<Hunspell>> russian = std::unique_ptr<Hunspell>();
  Result<std::unique_ptr<Hunspell>> english = std::unique_ptr<Hunspell>();
};

struct SpellCheckerOpening::Reading {
  std::unique_ptr<SpellChecker::State> state;
  std::future<ReadDictionaries> dictionaries;
};

SpellCheckerOpening::SpellCheckerOpening(std::unique_ptr<Reading> reading)
    : reading_(std::move(reading)) {}
SpellCheckerOpening::SpellCheckerOpening(SpellCheckerOpening&&) noexcept = default;
SpellCheckerOpening& SpellCheckerOpening::operator=(SpellCheckerOpening&&) noexcept = default;
SpellCheckerOpening::~SpellCheckerOpening() = default;

Result<SpellCheckerOpening> SpellChecker::StartOpening(const std::filesystem::path& dictionaries,
                                                       const std::filesystem::path& team_words,
                                                       SpellingOptions options, FileSystem& fs) {
  return OrNoMemory("load the dictionaries", [&]() -> Result<SpellCheckerOpening> {
    Result<FoundDictionary> russian =
        FindDictionary(dictionaries, kRussianFiles, SpellingLanguage::kRussian, fs);
    if (!russian.ok()) return russian.status();
    Result<FoundDictionary> english =
        FindDictionary(dictionaries, kEnglishFiles, SpellingLanguage::kEnglish, fs);
    if (!english.ok()) return english.status();
    auto reading = std::make_unique<SpellCheckerOpening::Reading>();
    reading->state = std::make_unique<State>();
    reading->state->options = options;
    reading->state->team_words = team_words;
    reading->state->fs = &fs;
    auto read = [russian = std::move(russian).value(), english = std::move(english).value()] {
      ReadDictionaries read;
      read.russian = ReadDictionary(russian);
      if (read.russian.ok()) read.english = ReadDictionary(english);
      return read;
    };
    try {
      reading->dictionaries = std::async(std::launch::async, std::move(read));
    } catch (const std::system_error&) {
      // No thread to be had: they are read when the opening finishes.
      reading->dictionaries = std::async(std::launch::deferred, std::move(read));
    }
    return SpellCheckerOpening(std::move(reading));
  });
}

bool SpellCheckerOpening::Ready(std::chrono::milliseconds wait) const {
  return reading_ == nullptr ||
         reading_->dictionaries.wait_for(wait) != std::future_status::timeout;
}

Result<SpellChecker> SpellCheckerOpening::Finish() {
  return OrNoMemory("load the dictionaries", [&]() -> Result<SpellChecker> {
    if (!reading_) return Status::InvalidText("the dictionaries' opening was finished already");
    const std::unique_ptr<Reading> reading = std::move(reading_);
    SpellChecker::State& state = *reading->state;
    ReadDictionaries read = reading->dictionaries.get();
    if (!read.russian.ok()) return read.russian.status();
    if (!read.english.ok()) return read.english.status();
    state.russian = std::move(read.russian).value();
    state.english = std::move(read.english).value();
    if (!state.team_words.empty()) {
      Result<std::vector<std::string>> words = ReadTeamWords(state.team_words, *state.fs);
      if (!words.ok()) return words.status();
      for (const std::string& word : *words) {
        Result<std::u32string> characters = DecodeUtf8(word);
        if (characters.ok()) state.Accept(*characters);
      }
    }
    return SpellChecker(std::move(reading->state));
  });
}

Result<SpellChecker> SpellChecker::Open(const std::filesystem::path& dictionaries,
                                        const std::filesystem::path& team_words,
                                        SpellingOptions options, FileSystem& fs) {
  Result<SpellCheckerOpening> opening = StartOpening(dictionaries, team_words, options, fs);
  if (!opening.ok()) return opening.status();
  return opening->Finish();
}

std::vector<Misspelling> SpellChecker::Check(std::u32string_view text, WithSuggestions with) {
  return state_->Check(text, with);
}

std::vector<Misspelling> SpellChecker::CheckStored(std::span<const std::byte> stored,
                                                   WithSuggestions with) {
  std::u32string& text = state_->decoded;
  text.resize(stored.size());
  std::transform(stored.begin(), stored.end(), text.begin(), Windows1251Character);
  return state_->Check(text, with);
}

bool SpellChecker::IsCorrect(std::u32string_view word) { return state_->IsCorrect(word); }

const std::vector<std::string>& SpellChecker::Suggest(std::u32string_view word) {
  return state_->Suggest(word);
}

Status SpellChecker::AddToTeamWords(std::string_view word) {
  if (state_->team_words.empty()) {
    return Status::Unsupported("there is no word list to add \"" + std::string(word) +
                               "\" to: the database has not been saved to a folder yet");
  }
  if (Status s = AddTeamWord(state_->team_words, word, *state_->fs); !s.ok()) return s;
  Result<std::u32string> characters = DecodeUtf8(word);  // checked by AddTeamWord
  if (characters.ok()) state_->Accept(*characters);
  return Status::Ok();
}

void SpellChecker::Ignore(std::string_view word) {
  Result<std::u32string> characters = DecodeUtf8(word);
  if (!characters.ok()) return;
  state_->ignored.insert(*characters);
  state_->verdicts.insert_or_assign(*characters, true);
}

const SpellingOptions& SpellChecker::options() const { return state_->options; }

void SpellChecker::SetOptions(const SpellingOptions& options) {
  if (options.accept_ye_for_yo == state_->options.accept_ye_for_yo) return;
  state_->options = options;
  state_->verdicts.clear();  // what was wrong with е may be right now, or the other way
}

const std::filesystem::path& SpellChecker::team_words_path() const { return state_->team_words; }

std::size_t SpellChecker::cached_words() const { return state_->verdicts.size(); }

}  // namespace orva
