// What spelling costs, with Debian's ru_RU and en_US dictionaries:
//
//  - opening the dictionaries;
//  - a whole-file pass over a database of 972,592 entries (the size of the
//    64 MiB one of the editor's benchmark): read from disk, every text's
//    words checked, a misspelling's place noted, no suggestions; first with
//    an empty cache of verdicts, then again with the cache the first pass
//    filled;
//  - the check of one text as it is typed: each keystroke a new word or a
//    new prefix that no verdict is cached for yet, the text some 100
//    characters long;
//  - the suggestions for a misspelt word, as a context menu asks for them;
//  - a keystroke in the editor with spelling on: what a view asks for each
//    one (EditorLogic::PreviewText, whose checks spell the text, and
//    MisspeltSpans for the underlines), the same text typed into an entry;
//  - the editor's background review of the whole file with spelling on:
//    the database opened in EditorLogic with the dictionaries, then
//    ContinueReview called slice after slice, as a view does while idle,
//    until the pass is done: its whole time, the slices, the longest one
//    (what the window waits at most between two events) and the progress
//    the status line was given.
//
// The texts are made from the dictionaries' own words: 3 to 12 of them,
// Russian mostly and English now and then, a format marker, a tag pair or a
// number in some, and one word in a hundred misspelt (two letters swapped),
// so the file holds tens of thousands of distinct words and misspellings,
// as a translated game does.
//
//   orva-spelling-bench --data-dir=DIR [--keystrokes-only | --editor-review-only]
//
// --keystrokes-only measures the editor's keystroke alone, without the
// whole-file database; --editor-review-only the editor's review alone
// (making the database first when DIR has none).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "bench/bench_support.h"
#include "bench/quiet_editor_view.h"
#include "database/code_page.h"
#include "database/text_edit.h"
#include "spelling/spell_checker.h"
#include "storage/file_system.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/editor_logic.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using QuietView = bench::QuietEditorView;
using bench::Clock;
using bench::Ms;

constexpr std::size_t kEntries = 972'592;

[[noreturn]] void Stop(const std::string& why) {
  std::fprintf(stderr, "orva-spelling-bench: %s\n", why.c_str());
  std::exit(1);
}

// Every `step`-th word of a dictionary that Windows-1251 can store and that
// is letters alone.
std::vector<std::u32string> Vocabulary(const fs::path& dic, std::size_t step) {
  std::vector<std::byte> bytes =
      ReadWholeFile(dic, {std::int64_t{1} << 30, "a dictionary"}).value();
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::vector<std::u32string> words;
  std::size_t line = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view word = text.substr(at, end - at);
    at = end + 1;
    if (line++ == 0 || line % step != 0) continue;
    word = word.substr(0, word.find('/'));
    Result<std::u32string> characters = DecodeUtf8(word);
    if (!characters.ok() || characters->size() < 2 || !StoredText(word).ok()) continue;
    if (!std::all_of(characters->begin(), characters->end(),
                     [](char32_t c) { return IsCyrillicLetter(c) || IsLatinLetter(c); })) {
      continue;
    }
    words.push_back(*characters);
  }
  return words;
}

std::string Utf8(std::u32string_view text) {
  std::string out;
  for (char32_t c : text) AppendUtf8(out, c);
  return out;
}

struct Texts {
  std::vector<std::u32string> russian, english;
  std::mt19937 rng{38};

  std::size_t Pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
  }

  std::u32string Word() {
    const auto& words = Pick(8) == 0 ? english : russian;
    std::u32string word = words[Pick(words.size())];
    if (Pick(100) == 0) {
      const std::size_t at = Pick(word.size() - 1);
      std::swap(word[at], word[at + 1]);
    }
    return word;
  }

  std::string Next() {
    std::u32string text;
    const std::size_t count = 3 + Pick(10);
    for (std::size_t i = 0; i < count; ++i) {
      if (i > 0) text += U' ';
      switch (Pick(40)) {
        case 0:
          text += U"%s ";
          break;
        case 1:
          text += U"{0} ";
          break;
        case 2:
          text += U"<b>" + Word() + U"</b> ";
          break;
        case 3:
          text += U"№" + std::u32string(1, U'1' + static_cast<char32_t>(Pick(9))) + U" ";
          break;
        default:
          break;
      }
      text += Word();
    }
    text += U'.';
    return Utf8(text);
  }
};

// What is typed into the editor: three words misspelt.
constexpr std::u32string_view kEditorTyped =
    U"Колонна выходит на рассвтее, держитесь западнее реки и не отставайте от "
    U"головоной машины; escort the convoi past the bridge before nightfall";

// A keystroke in the editor's box: the preview with its findings and the
// misspelt words to underline, for each prefix of `typed`.
void MeasureEditorKeystrokes(const fs::path& data_dir, std::u32string_view typed) {
  const fs::path database = data_dir / "textdb_spelling_editor.def";
  fs::create_directories(data_dir);
  test_support::WriteFileBytes(database, test_support::DatabaseBuilder()
                                             .Entry(5001, "Обучение")
                                             .Entry(5002, "Патруль над рекой")
                                             .Marker("конец")
                                             .Build());
  QuietView view("orva-spelling-bench");
  EditorLogic logic(view);
  if (!logic.OpenPath(database.string())) Stop("cannot open " + database.string());
  if (!logic.spelling()) Stop("the editor opened without spelling: " + view.status);
  std::vector<double> keystrokes;
  std::size_t underlined = 0;
  for (std::size_t length = 1; length <= typed.size(); ++length) {
    const std::string text = Utf8(typed.substr(0, length));  // as a view gives it
    const Clock::time_point start = Clock::now();
    (void)logic.PreviewText(1, text);
    underlined = logic.MisspeltSpans(text, 1).size();
    keystrokes.push_back(Ms(start));
  }
  std::sort(keystrokes.begin(), keystrokes.end());
  std::printf(
      "an editor keystroke with spelling on (%zu keystrokes; preview, findings and underlines): "
      "median %.3f ms, slowest %.3f ms; %zu words underlined at the end\n",
      keystrokes.size(), keystrokes[keystrokes.size() / 2], keystrokes.back(), underlined);
  fs::remove(database);
}

// The database of 972,592 entries, made once in `data_dir`.
fs::path WholeFile(const fs::path& data_dir) {
  const fs::path folder = DefaultDictionaryFolder();
  fs::path database = data_dir / "textdb_spelling_972592.def";
  if (!fs::exists(database)) {
    Texts texts;
    texts.russian = Vocabulary(folder / "ru_RU.dic", 8);
    texts.english = Vocabulary(folder / "en_US.dic", 4);
    test_support::DatabaseBuilder builder;
    for (std::size_t i = 0; i < kEntries - 1; ++i) {
      builder.Entry(static_cast<std::int32_t>(i < 1000 ? 5000 + i : 6001 + i), texts.Next());
      if (i == 999) builder.Marker("end");
    }
    fs::create_directories(data_dir);
    test_support::WriteFileBytes(database, builder.Build());
    std::printf("wrote %s (%ju bytes; vocabulary %zu Russian and %zu English words)\n",
                database.string().c_str(), static_cast<std::uintmax_t>(fs::file_size(database)),
                texts.russian.size(), texts.english.size());
  }
  return database;
}

// The editor's review of the whole file with spelling on, made a slice at a
// time as the window makes it while idle.
void MeasureEditorReview(const fs::path& data_dir) {
  const fs::path database = WholeFile(data_dir);
  QuietView view("orva-spelling-bench");
  EditorLogic logic(view);
  Clock::time_point start = Clock::now();
  if (!logic.OpenPath(database.string())) Stop("cannot open " + database.string());
  if (!logic.spelling()) Stop("the editor opened without spelling: " + view.status);
  const double open_ms = Ms(start);
  const std::size_t summaries_at_open = view.summaries;
  start = Clock::now();
  const std::clock_t cpu_start = std::clock();
  std::size_t slices = 0;
  double longest = 0;
  bool more = logic.reviewing();
  while (more) {
    const Clock::time_point slice = Clock::now();
    more = logic.ContinueReview();
    longest = std::max(longest, Ms(slice));
    ++slices;
  }
  const double pass_ms = Ms(start);
  const double cpu_s = static_cast<double>(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  if (!logic.review().complete()) Stop("the editor's review ended unfinished: " + view.summary);
  std::printf(
      "the editor's review with spelling on over %zu entries (opened in %.2f s): %.2f s (cpu "
      "%.2f s) in %zu slices of %lld ms, the longest %.1f ms; progress shown %zu times; at the "
      "end \"%s\"\n",
      logic.review().total(), open_ms / 1000, pass_ms / 1000, cpu_s, slices,
      static_cast<long long>(EditorLogic::kReviewSlice.count()), longest,
      view.summaries - summaries_at_open, view.summary.c_str());
}

void Measure(const fs::path& data_dir) {
  const fs::path folder = DefaultDictionaryFolder();
  Clock::time_point start = Clock::now();
  Result<SpellChecker> opened = SpellChecker::Open(folder, {});
  if (!opened.ok()) Stop(opened.status().message());
  std::printf("opening the ru_RU and en_US dictionaries: %.0f ms\n", Ms(start));

  const fs::path database = WholeFile(data_dir);

  for (int pass = 1; pass <= 2; ++pass) {
    start = Clock::now();
    Result<std::vector<std::byte>> bytes =
        ReadWholeFile(database, {std::int64_t{1} << 31, "a database"});
    if (!bytes.ok()) Stop(bytes.status().message());
    Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes);
    if (!entries.ok()) Stop(entries.status().message());
    std::size_t misspellings = 0;
    std::unordered_set<std::string> distinct;
    for (const EntryText& entry : *entries) {
      for (Misspelling& m : opened->CheckStored(entry.text)) {
        ++misspellings;
        if (pass == 1) distinct.insert(std::move(m.word));
      }
    }
    const double ms = Ms(start);
    std::printf(
        "whole-file pass %d (%s cache) over %zu entries: %.2f s, %zu misspellings%s, "
        "%zu words cached\n",
        pass, pass == 1 ? "an empty" : "a filled", entries->size(), ms / 1000, misspellings,
        pass == 1 ? (" (" + std::to_string(distinct.size()) + " distinct)").c_str() : "",
        opened->cached_words());
  }

  // Typing: a text of some 100 characters, each keystroke checked; every
  // prefix of the word being typed is new to the cache.
  Result<SpellChecker> fresh = SpellChecker::Open(folder, {});
  if (!fresh.ok()) Stop(fresh.status().message());
  const std::u32string typed =
      DecodeUtf8(
          "Колонна выходит на рассвете, держитесь западнее реки и не отставайте от "
          "головной машины; escort the convoy past the bridge before nightfall")
          .value();
  std::vector<double> keystrokes;
  for (std::size_t length = 1; length <= typed.size(); ++length) {
    start = Clock::now();
    (void)fresh->Check(std::u32string_view(typed).substr(0, length));
    keystrokes.push_back(Ms(start));
  }
  std::sort(keystrokes.begin(), keystrokes.end());
  std::printf(
      "checking a text as it is typed (%zu keystrokes, up to %zu characters): median %.3f ms, "
      "slowest %.3f ms\n",
      keystrokes.size(), typed.size(), keystrokes[keystrokes.size() / 2], keystrokes.back());

  std::vector<double> suggestions;
  for (std::string_view word : {"коррова", "выхоидт", "рассвтее", "запданее", "ортсавайте",
                                "головоной", "recieve", "brigde", "nightfal", "convoi"}) {
    start = Clock::now();
    (void)fresh->Suggest(DecodeUtf8(word).value());
    suggestions.push_back(Ms(start));
  }
  std::sort(suggestions.begin(), suggestions.end());
  std::printf("suggestions for a misspelt word (%zu words): median %.1f ms, slowest %.1f ms\n",
              suggestions.size(), suggestions[suggestions.size() / 2], suggestions.back());

  MeasureEditorKeystrokes(data_dir, kEditorTyped);
  MeasureEditorReview(data_dir);
}

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
  try {
    std::filesystem::path data_dir = "bench-data";
    bool keystrokes_only = false;
    bool review_only = false;
    for (int i = 1; i < argc; ++i) {
      const std::string_view arg = argv[i];
      if (arg.starts_with("--data-dir=")) {
        data_dir = std::string(arg.substr(11));
      } else if (arg == "--keystrokes-only") {
        keystrokes_only = true;
      } else if (arg == "--editor-review-only") {
        review_only = true;
      } else {
        std::fprintf(stderr,
                     "usage: orva-spelling-bench [--data-dir=DIR] "
                     "[--keystrokes-only | --editor-review-only]\n");
        return 2;
      }
    }
    if (keystrokes_only) {
      orva::MeasureEditorKeystrokes(data_dir, orva::kEditorTyped);
    } else if (review_only) {
      orva::MeasureEditorReview(data_dir);
    } else {
      orva::Measure(data_dir);
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orva-spelling-bench: %s\n", e.what());
    return 1;
  }
}
