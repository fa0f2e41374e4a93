// How fast an insertion is, measured against the least any safe rewrite of
// the file must do: read it and write the same number of bytes to a new file
// with one fsync. Also times reading the mission list of 1000 missions.
//
//   orva-bench [--data-dir=DIR] [Google Benchmark flags]
//
// The generated databases are left in DIR (default: ./bench-data) so that the
// peak memory of one insertion can be measured on them afterwards with
// /usr/bin/time -v orva-cli insert DIR/textdb_64MiB.def TEXT.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "database/file_reading.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

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
    const Result<MissionEntry> inserted = InsertTextEntry(db, kText);
    if (!inserted.ok()) state.SkipWithError(inserted.status().message().c_str());
  }
}

// The floor: read the file, write as many bytes to a new file, fsync it. With
// `sync_folder`, the folder is synced as well, which a rename must be to last.
void Floor(benchmark::State& state, const fs::path& db, bool sync_folder) {
  const fs::path copy = db.string() + ".floor";
  for (auto _ : state) {
    const Result<std::vector<std::byte>> bytes = ReadWholeFile(db);
    const int fd = ::open(copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool ok = bytes.ok() && fd >= 0 &&
              ::write(fd, bytes->data(), bytes->size()) == static_cast<ssize_t>(bytes->size()) &&
              ::fsync(fd) == 0;
    ok = fd >= 0 && ::close(fd) == 0 && ok;
    if (sync_folder) {
      const int folder = ::open(db.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      ok = folder >= 0 && ::fsync(folder) == 0 && ::close(folder) == 0 && ok;
    }
    ok = ::unlink(copy.c_str()) == 0 && ok;
    if (!ok) state.SkipWithError("the floor's read, write or fsync failed");
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

// Keeps each run's time so that insertion and floor can be compared at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_Defaults : OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const std::string name = run.benchmark_name();
      milliseconds_[name.substr(0, name.find('/'))] = run.GetAdjustedRealTime();
    }
  }
  void PrintRatios(std::ostream& out) const {
    PrintRatios(out, "floor", "floor (read + write to a new file + one fsync)");
    PrintRatios(out, "floor+folder", "the floor with the folder's fsync after it");
  }

 private:
  void PrintRatios(std::ostream& out, const std::string& floor_name, std::string_view what) const {
    out << "\ninsertion / " << what << ":\n";
    for (const Size& size : kSizes) {
      const auto insert = milliseconds_.find("insert:" + size.label);
      const auto floor = milliseconds_.find(floor_name + ":" + size.label);
      if (insert == milliseconds_.end() || floor == milliseconds_.end()) continue;
      char line[128];
      std::snprintf(line, sizeof line, "  %-6s %9.3f ms / %9.3f ms = %.2f\n", size.label.c_str(),
                    insert->second, floor->second, insert->second / floor->second);
      out << line;
    }
  }

  std::map<std::string, double> milliseconds_;
};

}  // namespace
}  // namespace orva

int main(int argc, char** argv) {
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
    auto* floor = benchmark::RegisterBenchmark(("floor:" + size.label).c_str(), Floor, db, false);
    auto* floor_and_folder =
        benchmark::RegisterBenchmark(("floor+folder:" + size.label).c_str(), Floor, db, true);
    for (auto* b : {insert, floor, floor_and_folder}) {
      b->Unit(benchmark::kMillisecond)->UseRealTime();
      if (large) b->Iterations(6);
    }
  }
  const fs::path missions = data_dir / "textdb_1000_missions.def";
  testing::WriteFileBytes(missions, MissionDatabase(1000 * 69 + 20, 1000));
  benchmark::RegisterBenchmark("read_mission_list:1000_missions", ReadList, missions)
      ->Unit(benchmark::kMicrosecond);

  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(std::cout);
  benchmark::Shutdown();
  return 0;
}
