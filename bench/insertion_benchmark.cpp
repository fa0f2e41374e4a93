// How fast an insertion is, of one text and of a batch of 300, measured
// against the least any crash-safe rewrite of the file must do: read it,
// write the same bytes to a new file, flush that, rename it over the old one
// and flush the folder. Also times the layout check on texts that no NUL
// ends, and reading the mission list of 1000 missions; patch_benchmark.cpp
// adds diff and patches of two versions of 64 MiB.
//
//   orva-bench [--data-dir=DIR] [Google Benchmark flags]
//
// Insertion and floor run in pairs, and the ratio is given with its spread
// over the pairs. The generated databases are left in DIR
// (default: ./bench-data) so that peak memory can be measured on them
// afterwards with /usr/bin/time -v orva-cli: an insertion into
// textdb_64MiB.def, the list of textdb_1GiB.def (1000 missions, then holes),
// the 100,000 lines of texts_100000.txt inserted with --from.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/bench_support.h"
#include "bench/patch_benchmark.h"
#include "bench/rewrite_floor.h"
#include "cli/main_guard.h"
#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "database/new_texts.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kText = "Сорок пять символов: длиннее не бывает, вот!!";
static_assert(kText.size() > 45, "45 Cyrillic and ASCII characters, more UTF-8 bytes");

// One insertion, of one text or of a batch of them, into a generated database.
struct Case {
  std::string label;
  std::size_t bytes;
  int texts;
  std::size_t missions;  // in the database at first
};
const std::vector<Case> kCases = {{"4KiB", 4u << 10, 1, 1000},
                                  {"1MiB", 1u << 20, 1, 1000},
                                  {"64MiB", 64u << 20, 1, 1000},
                                  {"8MiB", 8u << 20, 1, 100},
                                  {"8MiB_300_texts", 8u << 20, 300, 100}};

// A mission database of about `bytes` bytes: up to 1000 missions, the end
// marker, and as many entries after it as make up the size.
std::vector<std::byte> MissionDatabase(std::size_t bytes, std::size_t missions_at_most = 1000) {
  constexpr std::size_t kPerEntry = 8 + 61;  // table slot + 60-byte text and NUL
  const std::string text(60, 'm');
  test_support::DatabaseBuilder builder;
  std::size_t used = 16 + 4;  // count, header word, the marker's slot and text
  std::int32_t id = 5000;     // 5000 ... 5999: 6000 would be a second marker
  for (std::size_t i = 0; i < missions_at_most && used + kPerEntry <= bytes; ++i) {
    builder.RawEntry(id++, text);
    used += kPerEntry;
  }
  builder.Marker("end");
  for (id = 7000; used + kPerEntry <= bytes; ++id) {
    builder.RawEntry(id, text);
    used += kPerEntry;
  }
  return builder.Build();
}

void Check(bool ok, std::string_view what) {
  if (!ok) {
    std::cerr << "orva-bench: " << what << '\n';
    std::exit(1);
  }
}

// The floor: read the file, write its bytes to a new file, flush it, rename it
// over the old one (whose bytes it has) and flush the folder.
bool Floor(const fs::path& db) { return RewriteFloor(db); }

// The times of insertion and floor, pair by pair.
struct Pairs {
  std::vector<double> insert_ms;
  std::vector<double> floor_ms;
  std::vector<double> ratios;
};

// One insertion and one floor per iteration, back to back, their order
// alternating: the time a flush takes here swings with what other programs
// write, and a pair sees the same swing on both sides.
void InsertAgainstFloor(benchmark::State& state, const fs::path& db, const NewTexts* texts,
                        Pairs* pairs) {
  using Clock = std::chrono::steady_clock;
  bool insert_first = true;
  for (auto _ : state) {
    double insert = 0;
    double floor = 0;
    for (const bool inserting : {insert_first, !insert_first}) {
      const auto start = Clock::now();
      const bool ok = inserting ? InsertTextEntries(db, *texts).ok() : Floor(db);
      const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      if (!ok) state.SkipWithError(inserting ? "an insertion failed" : "the floor failed");
      (inserting ? insert : floor) = ms;
    }
    insert_first = !insert_first;
    state.SetIterationTime((insert + floor) / 1000);
    pairs->insert_ms.push_back(insert);
    pairs->floor_ms.push_back(floor);
    pairs->ratios.push_back(insert / floor);
  }
}

// `entries` texts of 2000 bytes that no NUL ends, one after the other: the
// check reports each of them.
std::vector<std::byte> UnendedTexts(std::size_t entries) {
  constexpr std::size_t kText = 2000;
  const std::size_t table_end = 8 * (entries + 1);
  std::vector<std::byte> db(table_end + entries * kText, std::byte{'x'});
  EncodeInt32(db, 0, static_cast<std::int32_t>(entries));
  EncodeInt32(db, 4, 0);
  for (std::size_t k = 1; k <= entries; ++k) {
    EncodeInt32(db, 8 * k, static_cast<std::int32_t>(5000 + k));
    EncodeInt32(db, 8 * k + 4, static_cast<std::int32_t>(table_end + (k - 1) * kText));
  }
  return db;
}

void CheckFile(benchmark::State& state, const fs::path& db, std::size_t problems_wanted) {
  for (auto _ : state) {
    std::size_t problems = 0;
    const Status read = CheckLayout(db, [&](const LayoutProblem&) { ++problems; });
    if (!read.ok() || problems < problems_wanted) state.SkipWithError("the check went wrong");
  }
}

void ReadList(benchmark::State& state, const fs::path& db) {
  for (auto _ : state) {
    const MissionList list = ReadMissionList(db);
    if (!list.status.ok() || list.missions.size() != 1000) {
      state.SkipWithError("the 1000 missions did not read back");
    }
    benchmark::DoNotOptimize(list.missions.data());
  }
}

// The value below which `share` of the values lie.
double Quantile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(
      std::lround(share * static_cast<double>(values.size() - 1)))];
}

void PrintRatios(const std::map<std::string, Pairs>& pairs) {
  std::cout << "\ninsertion / floor (read, write a new file, fsync, rename, fsync the folder),\n"
               "run in pairs; medians with the 10th and 90th percentiles:\n";
  auto spread = [](const std::vector<double>& values, const char* format) {
    char text[80];
    std::snprintf(text, sizeof text, format, Quantile(values, 0.5), Quantile(values, 0.1),
                  Quantile(values, 0.9));
    return std::string(text);
  };
  for (const Case& c : kCases) {
    const auto found = pairs.find(c.label);
    if (found == pairs.end() || found->second.ratios.empty()) continue;
    const Pairs& p = found->second;
    std::cout << "  " << c.label << std::string(16 - std::min<std::size_t>(15, c.label.size()), ' ')
              << spread(p.insert_ms, "%8.2f ms [%.2f-%.2f]") << " / "
              << spread(p.floor_ms, "%8.2f ms [%.2f-%.2f]") << "   ratio "
              << spread(p.ratios, "%.2f [%.2f-%.2f]") << '\n';
  }
}

}  // namespace
}  // namespace orva

namespace {

constexpr std::string_view kUsage =
    "usage: orva-bench [--data-dir=DIR] [Google Benchmark flags, such as "
    "--benchmark_filter=REGEX]\n"
    "Times insertions against the floor of a crash-safe rewrite, the layout check, the mission\n"
    "list, diff and patches, on databases it writes into DIR (default: ./bench-data).\n";

int Run(int argc, char** argv) {
  using namespace orva;
  fs::path data_dir = "bench-data";
  const std::optional<int> stop =
      bench::ReadArguments(argc, argv, kUsage, [&](std::string_view arg) {
        if (!arg.starts_with("--data-dir=")) return bench::Option::kNotMine;
        data_dir = std::string(arg.substr(11));
        return bench::Option::kTaken;
      });
  if (stop) return *stop;
  std::error_code error;
  fs::create_directories(data_dir, error);
  Check(!error, "cannot make the folder " + data_dir.string());

  std::map<std::string, Pairs> pairs;
  std::map<std::string, NewTexts> batches;
  for (const Case& c : kCases) {
    const fs::path db = data_dir / ("textdb_" + c.label + ".def");
    test_support::WriteFileBytes(db, MissionDatabase(c.bytes, c.missions));
    for (int i = 0; i < c.texts; ++i) Check(batches[c.label].Add(kText).ok(), "a text was refused");
    // Fewer pairs for the large files keep the whole run short.
    benchmark::RegisterBenchmark(("insert_and_floor:" + c.label).c_str(), InsertAgainstFloor, db,
                                 &batches[c.label], &pairs[c.label])
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(c.bytes > (1u << 20) ? 20 : 200);
  }
  // 100,000 lines for the peak memory of orva-cli insert --from.
  std::ofstream lines(data_dir / "texts_100000.txt");
  for (int i = 1; i <= 100000; ++i) lines << "Миссия из пакета, номер " << i << '\n';
  lines.close();
  Check(!lines.fail(), "cannot write the texts of --from");
  for (const std::size_t entries : {std::size_t{1000}, std::size_t{8000}}) {
    const std::string label = std::to_string(entries) + "_unended";
    const fs::path db = data_dir / ("textdb_" + label + ".def");
    test_support::WriteFileBytes(db, UnendedTexts(entries));
    benchmark::RegisterBenchmark(("check:" + label).c_str(), CheckFile, db, entries)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Repetitions(5)
        ->DisplayAggregatesOnly(true);
  }
  const fs::path missions = data_dir / "textdb_1000_missions.def";
  test_support::WriteFileBytes(missions, MissionDatabase(1000 * 69 + 20, 1000));
  benchmark::RegisterBenchmark("read_mission_list:1000_missions", ReadList, missions)
      ->Unit(benchmark::kMicrosecond);
  // The same missions followed by holes up to 1 GiB, for the list's peak memory.
  const fs::path huge = data_dir / "textdb_1GiB.def";
  test_support::WriteFileBytes(huge, MissionDatabase(1000 * 69 + 20, 1000));
  fs::resize_file(huge, std::uintmax_t{1} << 30);

  RegisterPatchBenchmarks(data_dir);

  benchmark::RunSpecifiedBenchmarks();
  PrintRatios(pairs);
  benchmark::Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-bench", [&] { return Run(argc, argv); });
}
