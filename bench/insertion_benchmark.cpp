// How fast an insertion is, measured against the least any crash-safe
// rewrite of the file must do: read it, write the same bytes to a new file,
// flush that, rename it over the old one and flush the folder. Also times the
// layout check on texts that no NUL ends, and reading the mission list of
// 1000 missions.
//
//   orva-bench [--data-dir=DIR] [Google Benchmark flags]
//
// With --benchmark_repetitions=R the ratios are of the medians, and the
// spread of each side is shown. The generated databases are left in DIR
// (default: ./bench-data) so that peak memory can be measured on them
// afterwards with /usr/bin/time -v orva-cli: an insertion into
// textdb_64MiB.def, the list of textdb_1GiB.def (1000 missions, then holes).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "tools/main_guard.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kText = "Сорок пять символов: длиннее не бывает, вот!!";
static_assert(kText.size() > 45, "45 Cyrillic and ASCII characters, more UTF-8 bytes");

struct Size {
  std::string label;
  std::size_t bytes;
};
const std::vector<Size> kSizes = {{"4KiB", 4u << 10}, {"1MiB", 1u << 20}, {"64MiB", 64u << 20}};

// A mission database of about `bytes` bytes: up to 1000 missions, the end
// marker, and as many entries after it as make up the size.
std::vector<std::byte> MissionDatabase(std::size_t bytes, std::size_t missions_at_most = 1000) {
  constexpr std::size_t kPerEntry = 8 + 61;  // table slot + 60-byte text and NUL
  const std::string text(60, 'm');
  testing::DatabaseBuilder builder;
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

void Insert(benchmark::State& state, const fs::path& db) {
  for (auto _ : state) {
    const Result<InsertedEntry> inserted = InsertTextEntry(db, kText);
    if (!inserted.ok()) state.SkipWithError(inserted.status().message().c_str());
  }
}

// The floor: read the file, write its bytes to a new file, flush it, rename it
// over the old one (whose bytes it has) and flush the folder.
void Floor(benchmark::State& state, const fs::path& db) {
  const fs::path copy = db.string() + ".floor";
  for (auto _ : state) {
    // Into memory of its own, as a program that runs once reads.
    const int in = ::open(db.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    bool ok = in >= 0 && ::fstat(in, &st) == 0;
    const auto size = static_cast<std::size_t>(ok ? st.st_size : 0);
    const auto bytes = std::make_unique_for_overwrite<std::byte[]>(size);
    ok = ok && ::read(in, bytes.get(), size) == static_cast<ssize_t>(size);
    ok = in >= 0 && ::close(in) == 0 && ok;
    const int out = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ok = ok && out >= 0 && ::write(out, bytes.get(), size) == static_cast<ssize_t>(size) &&
         ::fsync(out) == 0;
    ok = out >= 0 && ::close(out) == 0 && ok;
    ok = ok && ::rename(copy.c_str(), db.c_str()) == 0;
    const int folder = ::open(db.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ok = folder >= 0 && ::fsync(folder) == 0 && ::close(folder) == 0 && ok;
    if (!ok) state.SkipWithError("the floor's read, write, fsync or rename failed");
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

// Shows one line per benchmark (its median, where runs are repeated) and
// keeps each repetition's time, so that insertion and floor can be compared
// at the end with the spread of each.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> shown;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration) {
        times_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        if (run.repetitions <= 1) shown.push_back(run);
      } else if (run.aggregate_name == "median") {
        shown.push_back(run);
      }
    }
    if (!shown.empty()) ConsoleReporter::ReportRuns(shown);
  }
  void PrintRatios(std::ostream& out) const {
    out << "\ninsertion / floor (read, write a new file, fsync, rename, fsync the folder),\n"
           "medians, with the lowest and highest of each side:\n";
    for (const Size& size : kSizes) {
      const auto insert = times_.find("insert:" + size.label);
      const auto floor = times_.find("floor:" + size.label);
      if (insert == times_.end() || floor == times_.end()) continue;
      char line[160];
      std::snprintf(line, sizeof line, "  %-6s %s / %s = %.2f\n", size.label.c_str(),
                    Spread(insert->second).c_str(), Spread(floor->second).c_str(),
                    Median(insert->second) / Median(floor->second));
      out << line;
    }
  }

 private:
  static double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    const std::size_t n = times.size();
    return n % 2 == 1 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  }
  static std::string Spread(const std::vector<double>& times) {
    char text[64];
    std::snprintf(text, sizeof text, "%8.3f ms [%.3f-%.3f]", Median(times),
                  *std::min_element(times.begin(), times.end()),
                  *std::max_element(times.begin(), times.end()));
    return text;
  }

  std::map<std::string, std::vector<double>> times_;
};

}  // namespace
}  // namespace orva

namespace {

int Run(int argc, char** argv) {
  using namespace orva;
  fs::path data_dir = "bench-data";
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--data-dir=")) {
      data_dir = std::string(arg.substr(11));
    } else {
      args.push_back(argv[i]);
    }
  }
  std::error_code error;
  fs::create_directories(data_dir, error);
  Check(!error, "cannot make the folder " + data_dir.string());

  for (const Size& size : kSizes) {
    const fs::path db = data_dir / ("textdb_" + size.label + ".def");
    testing::WriteFileBytes(db, MissionDatabase(size.bytes));
    // Fewer rounds for the large file keep the whole run short.
    const bool large = size.bytes > (1u << 20);
    auto* insert = benchmark::RegisterBenchmark(("insert:" + size.label).c_str(), Insert, db);
    auto* floor = benchmark::RegisterBenchmark(("floor:" + size.label).c_str(), Floor, db);
    for (auto* b : {insert, floor}) {
      b->Unit(benchmark::kMillisecond)->UseRealTime();
      if (large) b->Iterations(6);
    }
  }
  for (const std::size_t entries : {std::size_t{1000}, std::size_t{8000}}) {
    const std::string label = std::to_string(entries) + "_unended";
    const fs::path db = data_dir / ("textdb_" + label + ".def");
    testing::WriteFileBytes(db, UnendedTexts(entries));
    benchmark::RegisterBenchmark(("check:" + label).c_str(), CheckFile, db, entries)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  const fs::path missions = data_dir / "textdb_1000_missions.def";
  testing::WriteFileBytes(missions, MissionDatabase(1000 * 69 + 20, 1000));
  benchmark::RegisterBenchmark("read_mission_list:1000_missions", ReadList, missions)
      ->Unit(benchmark::kMicrosecond);
  // The same missions followed by holes up to 1 GiB, for the list's peak memory.
  const fs::path huge = data_dir / "textdb_1GiB.def";
  testing::WriteFileBytes(huge, MissionDatabase(1000 * 69 + 20, 1000));
  fs::resize_file(huge, std::uintmax_t{1} << 30);

  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(std::cout);
  benchmark::Shutdown();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return orva::GuardedMain("orva-bench", [&] { return Run(argc, argv); });
}
