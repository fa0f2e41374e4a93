// A process inserting into a database of several MiB is killed with SIGKILL
// at random moments: afterwards the database is every time exactly the old
// file or exactly the new one.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "database/file_reading.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kText = "Миссия, вставленная перед самым убийством";
constexpr int kRounds = 250;

// About 4 MiB: missions, the marker, then many entries after it, so that the
// insertion moves and re-points a large table and a large text area.
std::vector<std::byte> LargeDatabase() {
  testing::DatabaseBuilder builder;
  const std::string text(56, 'x');
  for (int id = 5001; id <= 5400; ++id) builder.RawEntry(id, text);
  builder.Marker("end");
  for (int i = 0; i < 60000; ++i) builder.RawEntry(7000 + i, text);
  return builder.Build();
}

// Starts a process that inserts kText into the database and exits 0 when the
// insertion reported success.
pid_t StartInsertion(const fs::path& db) {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(InsertTextEntry(db, kText).ok() ? 0 : 1);
  return pid;
}

int Wait(pid_t pid) {
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return wstatus;
}

void SleepFor(std::chrono::nanoseconds delay) {
  struct timespec ts {};
  ts.tv_sec = static_cast<time_t>(delay.count() / 1'000'000'000);
  ts.tv_nsec = static_cast<long>(delay.count() % 1'000'000'000);
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Temporary files a killed insertion could not remove.
int RemoveLeftovers(const fs::path& folder, const fs::path& db) {
  int removed = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path() != db) removed += fs::remove(entry.path()) ? 1 : 0;
  }
  return removed;
}

TEST(InsertionUnderSigkill, TheDatabaseIsAlwaysExactlyOldOrNew) {
  testing::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  std::vector<std::byte> current = LargeDatabase();
  testing::WriteFileBytes(db, current);

  // How long one whole insertion takes, so that the kills fall all over it.
  const auto started = Clock::now();
  const int calibration = Wait(StartInsertion(db));
  const auto duration = Clock::now() - started;
  ASSERT_TRUE(WIFEXITED(calibration) && WEXITSTATUS(calibration) == 0);
  current = ReadWholeFile(db).value();

  std::mt19937_64 rng(std::random_device{}());
  std::uniform_int_distribution<std::int64_t> moment(
      0, std::chrono::duration_cast<std::chrono::nanoseconds>(duration).count() * 6 / 5);
  int unchanged = 0;
  int inserted = 0;
  int leftovers = 0;
  Result<PlannedInsertion> next = PlanInsertion(current, kText);
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(next.ok()) << next.status().message();

    const pid_t child = StartInsertion(db);
    SleepFor(std::chrono::nanoseconds(moment(rng)));
    ::kill(child, SIGKILL);
    Wait(child);

    const std::vector<std::byte> after = ReadWholeFile(db).value();
    if (after == current) {
      ++unchanged;
    } else {
      ASSERT_EQ(after.size(), next->image.size()) << "round " << round << ": a damaged database";
      ASSERT_TRUE(after == next->image) << "round " << round << ": a damaged database";
      ++inserted;
      current = std::move(next->image);
      next = PlanInsertion(current, kText);
    }
    leftovers += RemoveLeftovers(dir.path(), db);
  }
  // Both outcomes must have happened, or the kills missed the write.
  EXPECT_GT(unchanged, 0);
  EXPECT_GT(inserted, 0);
  RecordProperty("unchanged", unchanged);
  RecordProperty("inserted", inserted);
  RecordProperty("temporary_files_left_by_kills", leftovers);
}

}  // namespace
}  // namespace orva
