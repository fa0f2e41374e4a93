// What a regular expression costs on long texts, for patterns a backtracking
// engine takes time on the square of the text (or worse) for:
//
//  - `.*x`, `(.*)*x`, `(a|b)*c` and `([ab]*)*c` over a text of 4 MB, `ab`
//    repeated, which none of them matches, and over one of Cyrillic `аб`
//    (two bytes a character as UTF-8);
//  - `(a|b)*c` over 80,000 characters;
//  - the replacement of `(a|b)` by `$1$1` over 80,000, which finds 80,000
//    occurrences.
// Each is TextPattern::Occurs or Replace, the calls of `entries --regex` and
// `replace --regex`, the text as a database stores it.
//
//   orva-pattern-bench [Google Benchmark flags]
//   orva-pattern-bench --make=DATABASE
//
// The second form writes a database whose entry 5001 holds the 4 MB text,
// for `make bench` to time `orva-cli entries --regex '.*x'` on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "cli/main_guard.h"
#include "database/code_page.h"
#include "database/text_match.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

constexpr std::size_t kLong = 4'000'000;  // characters
constexpr std::size_t kMedium = 80'000;

std::vector<std::byte> Text(std::string_view two_letters, std::size_t characters) {
  std::string utf8;
  for (std::size_t i = 0; i < characters / 2; ++i) utf8 += two_letters;
  return StoredText(utf8).value();
}

TextPattern Pattern(std::string_view pattern) {
  Result<TextPattern> made = TextPattern::Make(pattern, {.regex = true, .match_case = true});
  if (!made.ok()) {
    std::cerr << "orva-pattern-bench: " << pattern << ": " << made.status().message() << '\n';
    std::exit(1);
  }
  return std::move(made).value();
}

void Occurs(benchmark::State& state, const std::string& pattern,
            const std::vector<std::byte>* text) {
  const TextPattern made = Pattern(pattern);
  for (auto _ : state) {
    const Result<bool> found = made.Occurs(*text);
    if (!found.ok() || *found) state.SkipWithError("the pattern was found, or the search failed");
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}

void Replace(benchmark::State& state, const std::string& pattern,
             const std::vector<std::byte>* text) {
  const TextPattern made = Pattern(pattern);
  const std::vector<std::byte> format = StoredText("$1$1").value();
  for (auto _ : state) {
    const Result<ReplacedText> replaced = made.Replace(*text, format);
    if (!replaced.ok() || replaced->occurrences != text->size()) {
      state.SkipWithError("not every character was replaced");
    }
    benchmark::DoNotOptimize(replaced);
  }
}

constexpr std::string_view kUsage =
    "usage: orva-pattern-bench [Google Benchmark flags]\n"
    "       orva-pattern-bench --make=DATABASE\n"
    "The first form times regular expressions over long texts; the second writes a database\n"
    "whose entry 5001 holds a text of 4 MB.\n";

int Run(int argc, char** argv) {
  std::string make;
  const std::optional<int> stop =
      bench::ReadArguments(argc, argv, kUsage, [&](std::string_view arg) {
        if (!arg.starts_with("--make=")) return bench::Option::kNotMine;
        make = std::string(arg.substr(7));
        return bench::Option::kTaken;
      });
  if (stop) return *stop;
  if (!make.empty()) {
    const std::string utf8 = ExchangeText(Text("ab", kLong));
    test_support::WriteFileBytes(
        make, test_support::DatabaseBuilder().Entry(5001, utf8).Marker("конец").Build());
    return 0;
  }
  static const std::vector<std::byte> latin = Text("ab", kLong);
  static const std::vector<std::byte> cyrillic = Text("аб", kLong);
  static const std::vector<std::byte> medium = Text("ab", kMedium);
  for (const std::string pattern : {".*x", "(.*)*x", "(a|b)*c", "([ab]*)*c"}) {
    benchmark::RegisterBenchmark(("occurs:4MB_ab:" + pattern).c_str(), Occurs, pattern, &latin)
        ->Unit(benchmark::kMillisecond);
  }
  for (const std::string pattern : {".*ж", "(а|б)*в"}) {
    benchmark::RegisterBenchmark(("occurs:4MB_аб:" + pattern).c_str(), Occurs, pattern, &cyrillic)
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::RegisterBenchmark("occurs:80000_ab:(a|b)*c", Occurs, std::string("(a|b)*c"), &medium)
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("replace:80000_ab:(a|b)_by_$1$1", Replace, std::string("(a|b)"),
                               &medium)
      ->Unit(benchmark::kMillisecond);

  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-pattern-bench", [&] { return orva::Run(argc, argv); });
}
