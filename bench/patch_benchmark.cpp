// How fast diff, patch create and patch apply are on two versions of a
// 64 MiB database (about 970,000 entries, each with a 60-byte text) that
// differ in 1,000 changed texts, 1,000 removed entries and 1,000 inserted
// ones, spread over the whole table. diff and patch create are timed as
// orva-cli runs them (the new version summed up, then the old one read
// whole), from reading the files to the differences or the checked patch,
// without printing; patch apply is the whole rewrite, flushes
// included, of a fresh copy of the old version each time.
//
// The versions stay in the data folder as patch_old_64MiB.def and
// patch_new_64MiB.def, so that `make bench` measures orva-cli's time and peak
// memory on them as well.
#include "bench/patch_benchmark.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "database/entry_diff.h"
#include "database/read_limits.h"
#include "database/text_edit.h"
#include "exchange/entry_patch.h"
#include "exchange/patch_file.h"
#include "exchange/translation_files.h"
#include "storage/file_system.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBytes = std::size_t{64} << 20;
constexpr std::size_t kPerEntry = 8 + 61;  // table slot, 60-byte text and NUL
constexpr std::size_t kEach = 1000;        // texts changed, entries removed, entries inserted

// The old version (`edited` false) or the new one: 1000 missions, the end
// marker and entries enough to make up 64 MiB; in the new one every k-th
// entry has another text, the one after it is gone and a new one follows the
// one after that.
std::vector<std::byte> Version(bool edited) {
  const std::size_t entries = kBytes / kPerEntry - 1;
  const std::size_t step = entries / kEach;
  const std::string text(60, 'm');
  test_support::DatabaseBuilder builder;
  std::int32_t next_new_id = 1'000'000;
  for (std::size_t i = 0; i < entries; ++i) {
    const auto id = static_cast<std::int32_t>(i < 1000 ? 5000 + i : i == 1000 ? 6000 : 6000 + i);
    const std::size_t place = i % step;
    if (!edited || i <= 1000 || (place != 1 && place != 2 && place != 3)) {
      builder.RawEntry(id, text);
    } else if (place == 1) {
      builder.RawEntry(id, std::string(60, 'n'));  // changed
    } else if (place == 3) {
      builder.RawEntry(id, text);
      builder.RawEntry(next_new_id++, "a new entry's text");  // inserted
    }                                                         // place 2: removed
  }
  return builder.Build();
}

std::vector<std::byte> Read(const fs::path& path) {
  return ReadWholeFile(path, kDatabaseReadLimit).value();
}

void Diff(benchmark::State& state, const fs::path& old_path, const fs::path& new_path) {
  FileSystem& fs = DefaultFileSystem();
  for (auto _ : state) {
    const TextDigester digester;
    const SummedVersion news = SumUpVersion(new_path, digester, false, fs).value();
    const EntryIndex new_index(news.entries);
    const std::vector<std::byte> old_bytes = Read(old_path);
    const std::vector<EntryText> olds = ReadEntryTexts(old_bytes).value();
    const EntryIndex old_index(olds);
    const SummedDiff summed = DiffEntries(fs, olds, old_index, news, new_index, digester).value();
    const EntryDiff& diff = summed.diff;
    const std::vector<std::string> other =
        OtherDifferences(SurroundingsOf(old_bytes, olds), news.surroundings(), diff);
    if (diff.differences.size() < 3 * (kEach - 2) || !other.empty()) {
      state.SkipWithError("the versions do not differ as they were made to");
    }
  }
}

void Create(benchmark::State& state, const fs::path& old_path, const fs::path& new_path) {
  for (auto _ : state) {
    Result<CreatedPatch> created = CreatePatch(old_path, new_path, "old", "new");
    if (!created.ok() || created->counts.inserted < kEach - 2) {
      state.SkipWithError("the patch was not made");
    }
    benchmark::DoNotOptimize(created);
  }
}

void Apply(benchmark::State& state, const fs::path& old_path, const fs::path& new_path) {
  const std::vector<std::byte> old_bytes = Read(old_path);
  const std::vector<std::byte> new_bytes = Read(new_path);
  Result<CreatedPatch> created = CreatePatch(old_bytes, new_bytes, "old", "new");
  if (!created.ok()) return state.SkipWithError("the patch was not made");
  const Patch patch = ReadPatch(created->text).patch;
  const fs::path work = old_path.parent_path() / "patch_work_64MiB.def";
  for (auto _ : state) {
    state.PauseTiming();
    test_support::WriteFileBytes(work, old_bytes);
    state.ResumeTiming();
    Result<PatchOutcome> applied = ApplyPatch(work, patch, false);
    if (!applied.ok() || !applied->written) state.SkipWithError("the patch did not apply");
  }
  fs::remove(work);
}

}  // namespace

void RegisterPatchBenchmarks(const fs::path& data_dir) {
  const fs::path old_path = data_dir / "patch_old_64MiB.def";
  const fs::path new_path = data_dir / "patch_new_64MiB.def";
  test_support::WriteFileBytes(old_path, Version(false));
  test_support::WriteFileBytes(new_path, Version(true));
  for (auto [name, run] : {std::pair("diff:64MiB", &Diff), std::pair("patch_create:64MiB", &Create),
                           std::pair("patch_apply:64MiB", &Apply)}) {
    benchmark::RegisterBenchmark(name, run, old_path, new_path)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5)
        ->Repetitions(3)
        ->DisplayAggregatesOnly(true);
  }
}

}  // namespace orva
