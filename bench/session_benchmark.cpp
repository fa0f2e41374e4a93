// What an edit session's save and a search of every entry cost:
//
//  - the save of a session holding 1,000 changes (sets, insertions,
//    removals, translations and replacements), against the floor of any
//    crash-safe rewrite of a database of the same size (read it, write its
//    bytes to a new file, flush it, rename it over the old one, flush the
//    folder), in pairs as orva-bench pairs an insertion with its floor;
//  - `entries --match` as the library does it on a 64 MiB database of about
//    970,000 entries: the file read, its entries read, every id, image name
//    and text searched with the case folded.
//
//   orva-session-bench [--data-dir=DIR] [Google Benchmark flags]
//   orva-session-bench --change-and-save=DATABASE [--changes=N] [--pairs=P]
//
// The second form opens DATABASE, makes N changes (1,000) and saves them
// once, printing how long each part took, then times P (10) further saves
// against the floor on a copy, having printed its peak memory before them. The databases are left
// in DIR (default: ./bench-data): textdb_session_8MiB.def and textdb_session_64MiB.def.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/rewrite_floor.h"
#include "cli/main_guard.h"
#include "database/code_page.h"
#include "database/format.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/read_limits.h"
#include "database/text_match.h"
#include "exchange/translation_files.h"
#include "session/edit_session.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::Ms;

constexpr std::string_view kText = "Сорок пять символов: длиннее не бывает, вот!!";

// As orva-bench lays its databases out: 1000 missions, the end marker, and as
// many entries after it as make up the size, each with a 60-byte text.
std::vector<std::byte> MissionDatabase(std::size_t bytes) {
  constexpr std::size_t kPerEntry = 8 + 61;
  const std::string text(60, 'm');
  test_support::DatabaseBuilder builder;
  std::size_t used = 16 + 4;
  std::int32_t id = 5000;
  for (std::size_t i = 0; i < 1000 && used + kPerEntry <= bytes; ++i, used += kPerEntry) {
    builder.RawEntry(id++, text);
  }
  builder.Marker("end");
  for (id = 7000; used + kPerEntry <= bytes; ++id, used += kPerEntry) builder.RawEntry(id, text);
  return builder.Build();
}

void Check(const Status& status, std::string_view what) {
  if (!status.ok()) {
    std::cerr << "orva-session-bench: " << what << ": " << status.message() << '\n';
    std::exit(1);
  }
}

// `changes` changes of every kind, in turn: a mission's text set, a text
// inserted, an entry after the marker removed, three texts translated, and a
// replacement in the texts set before.
void MakeChanges(EditSession& session, int changes) {
  const std::vector<std::byte> stored = StoredText(kText).value();
  const TextPattern pattern = TextPattern::Make("сорок", {}).value();
  NewTexts one;
  Check(one.Add("Новая миссия"), "a text");
  for (int i = 0; i < changes; ++i) {
    const auto slot = static_cast<std::size_t>(1 + (i * 7919) % 900);
    switch (i % 5) {
      case 0:
        Check(session.SetText(slot, stored).status(), "a set");
        break;
      case 1:
        Check(session.Insert(one).status(), "an insertion");
        break;
      case 2:
        Check(session.Remove(session.entry_count() - static_cast<std::size_t>(i % 100)).status(),
              "a removal");
        break;
      case 3: {
        std::vector<TextChange> texts;
        for (std::size_t k = 0; k < 3; ++k) texts.push_back({slot + k, stored});
        Check(session.ApplyTranslations(texts).status(), "translations");
        break;
      }
      case 4:
        Check(session.Replace(pattern, i % 2 == 0 ? "Сорок" : "СОРОК").status(), "a replacement");
        break;
    }
  }
}

struct Pairs {
  std::vector<double> save_ms;
  std::vector<double> floor_ms;
  std::vector<double> ratios;
};

// One pair: the last change undone or redone, untimed, so that the session
// has something to save, then its save and the floor on a database of the
// same size, `save_first` or the other way round. False when either failed.
bool OnePair(EditSession& session, const fs::path& twin, bool save_first, bool undo, Pairs& pairs) {
  Check((undo ? session.Undo() : session.Redo()).status(), "an undo or redo");
  double save = 0;
  double floor = 0;
  bool ok = true;
  for (const bool saving : {save_first, !save_first}) {
    const auto start = Clock::now();
    ok = (saving ? session.Save().ok() : RewriteFloor(twin)) && ok;
    (saving ? save : floor) = Ms(start);
  }
  pairs.save_ms.push_back(save);
  pairs.floor_ms.push_back(floor);
  pairs.ratios.push_back(save / floor);
  return ok;
}

void SaveAgainstFloor(benchmark::State& state, EditSession* session, const fs::path* twin,
                      Pairs* pairs) {
  int i = 0;
  for (auto _ : state) {
    if (!OnePair(*session, *twin, i % 2 == 0, i % 2 == 0, *pairs)) {
      state.SkipWithError("a save or the floor failed");
    }
    state.SetIterationTime((pairs->save_ms.back() + pairs->floor_ms.back()) / 1000);
    ++i;
  }
}

// What `entries --match` does but print: read the file and its entries, and
// search each id, image name and text.
void SearchEntries(benchmark::State& state, const fs::path& db, std::string_view match,
                   std::size_t wanted) {
  const TextPattern pattern = TextPattern::Make(match, {}).value();
  for (auto _ : state) {
    Result<std::vector<std::byte>> bytes = ReadWholeFile(db, kDatabaseReadLimit);
    Check(bytes.status(), "the read");
    Result<std::vector<EntryText>> entries = ReadEntryTexts(*bytes);
    Check(entries.status(), "the entries");
    // The image names of the missions before the marker.
    const auto marker = static_cast<std::size_t>(*FindInsertionPoint(*bytes)) + 1;
    std::size_t found = 0;
    for (const EntryText& entry : *entries) {
      const bool mission = entry.slot < marker && format::IsMission(entry.id);
      found += *pattern.OccursInEntry(entry, mission) ? 1 : 0;
    }
    if (found != wanted) state.SkipWithError("the search found other entries");
  }
}

double Quantile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(
      std::lround(share * static_cast<double>(values.size() - 1)))];
}

void PrintRatios(const Pairs& p, std::string_view what) {
  if (p.ratios.empty()) return;
  auto spread = [](const std::vector<double>& values, const char* format) {
    char text[80];
    std::snprintf(text, sizeof text, format, Quantile(values, 0.5), Quantile(values, 0.1),
                  Quantile(values, 0.9));
    return std::string(text);
  };
  std::cout << "\nsave of " << what
            << " / the floor (read, write a new file, fsync, rename, fsync the folder), in pairs;\n"
            << "medians with the 10th and 90th percentiles:\n  "
            << spread(p.save_ms, "%.2f ms [%.2f-%.2f]") << " / "
            << spread(p.floor_ms, "%.2f ms [%.2f-%.2f]") << "   ratio "
            << spread(p.ratios, "%.2f [%.2f-%.2f]") << '\n';
}

// One run of the second form: open, change, save, each part timed.
int ChangeAndSave(const fs::path& db, int changes, int pairs_wanted) {
  auto start = Clock::now();
  Result<EditSession> session = EditSession::Open(db);
  Check(session.status(), "the open");
  const double open = Ms(start);
  start = Clock::now();
  MakeChanges(*session, changes);
  const double change = Ms(start);
  start = Clock::now();
  Check(session->Save().status(), "the save");
  const double save = Ms(start);
  std::printf("%s: open %.0f ms, %d changes %.0f ms (%.1f ms each), save %.0f ms\n",
              db.string().c_str(), open, changes, change, change / changes, save);
  // Before the floor, which holds a whole file of its own.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto file_size = static_cast<double>(fs::file_size(db));
  std::printf(
      "peak memory of opening, %d changes and their save: %ld KiB, %.2f times the file "
      "(%.0f bytes)\n",
      changes, usage.ru_maxrss, static_cast<double>(usage.ru_maxrss) * 1024 / file_size, file_size);
  // Then saves of the session against the floor on a copy of the file.
  const fs::path twin = db.string() + ".twin";
  std::error_code error;
  fs::copy_file(db, twin, fs::copy_options::overwrite_existing, error);
  if (error) Check(Status::Io(error.message()), "the copy");
  Pairs pairs;
  for (int i = 0; i < pairs_wanted; ++i) {
    if (!OnePair(*session, twin, i % 2 == 0, i % 2 == 0, pairs)) {
      Check(Status::Io("a save or the floor failed"), "the pairs");
    }
  }
  fs::remove(twin, error);
  PrintRatios(pairs, "a session of " + std::to_string(changes) + " changes, " +
                         std::to_string((fs::file_size(db) + (1u << 19)) >> 20) + " MiB");
  return 0;
}

}  // namespace
}  // namespace orva

namespace {

// A whole positive decimal number, or a message on stderr and false.
constexpr std::string_view kUsage =
    "usage: orva-session-bench [--data-dir=DIR] [Google Benchmark flags]\n"
    "       orva-session-bench --change-and-save=DATABASE [--changes=N] [--pairs=P]\n"
    "The first form times an edit session's save against the floor of a crash-safe rewrite and\n"
    "the search of `entries --match`, on databases it writes into DIR (default: ./bench-data);\n"
    "the second opens DATABASE, makes N changes (1000), saves them and times P (10) more saves\n"
    "against the floor.\n";

int Run(int argc, char** argv) {
  using namespace orva;
  fs::path data_dir = "bench-data";
  fs::path change_and_save;
  int changes = 1000;
  int pairs = 10;
  int handed_on = 0;
  const std::optional<int> stop = bench::ReadArguments(
      argc, argv, kUsage,
      [&](std::string_view arg) {
        const auto count = [&](std::size_t name, int& value) {
          const std::optional<long> n = bench::PositiveCount(arg.substr(name));
          if (!n) {
            std::cerr << "orva-session-bench: not a positive count: '" << arg << "'\n";
            return bench::Option::kRefused;
          }
          value = static_cast<int>(*n);
          return bench::Option::kTaken;
        };
        if (arg.starts_with("--data-dir=")) {
          data_dir = std::string(arg.substr(11));
        } else if (arg.starts_with("--change-and-save=")) {
          change_and_save = std::string(arg.substr(18));
        } else if (arg.starts_with("--changes=")) {
          return count(10, changes);
        } else if (arg.starts_with("--pairs=")) {
          return count(8, pairs);
        } else {
          return bench::Option::kNotMine;
        }
        return bench::Option::kTaken;
      },
      &handed_on);
  if (stop) return *stop;
  if (!change_and_save.empty()) {
    if (handed_on > 0) {
      std::cerr << "orva-session-bench: --change-and-save takes no benchmark flags\n" << kUsage;
      return 2;
    }
    return ChangeAndSave(change_and_save, changes, pairs);
  }

  std::error_code error;
  fs::create_directories(data_dir, error);
  if (error) Check(Status::Io(error.message()), "the folder " + data_dir.string());
  const fs::path db8 = data_dir / "textdb_session_8MiB.def";
  const fs::path twin = data_dir / "textdb_session_8MiB_twin.def";
  const fs::path db64 = data_dir / "textdb_session_64MiB.def";
  test_support::WriteFileBytes(db8, MissionDatabase(8u << 20));
  test_support::WriteFileBytes(twin, MissionDatabase(8u << 20));
  test_support::WriteFileBytes(db64, MissionDatabase(64u << 20));

  Result<EditSession> session = EditSession::Open(db8);
  Check(session.status(), "the open");
  const auto start = Clock::now();
  MakeChanges(*session, 1000);
  std::printf("1,000 changes in a session of 8 MiB: %.1f s\n", Ms(start) / 1000);
  Pairs pairs_8;
  benchmark::RegisterBenchmark("session_save_and_floor:8MiB_1000_changes", SaveAgainstFloor,
                               &*session, &twin, &pairs_8)
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime()
      ->Iterations(60);
  // "мм" is in no text, "975999" in one id alone, "SHOT999" in one image
  // name (of 5999), in another case.
  for (const auto& [match, wanted] :
       std::vector<std::pair<std::string, std::size_t>>{{"мм", 0}, {"975999", 1}, {"SHOT999", 1}}) {
    benchmark::RegisterBenchmark(("entries_match:64MiB:" + match).c_str(), SearchEntries, db64,
                                 match, wanted)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
  }

  benchmark::RunSpecifiedBenchmarks();
  PrintRatios(pairs_8, "a session of 1,000 changes, 8 MiB");
  benchmark::Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-session-bench", [&] { return Run(argc, argv); });
}
