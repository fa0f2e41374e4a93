// Insertions in processes of their own, as windows and scripts make them.
// Several at the same moment: every insertion reported as made is in the file
// afterwards, under an id of its own, and the file stays well-formed. One
// killed with SIGKILL at random moments: afterwards the database is every
// time exactly the old file or exactly the new one, and the next insertion
// leaves no temporary file behind (ORVA_RANDOM_START=<value> repeats a run's
// kill moments).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "tests/support/child_process.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::string_view kText = "Миссия, вставленная перед самым убийством";
constexpr int kRounds = 250;

// Missions, the marker, then `after` entries (64 bytes each), so that the
// insertion moves and re-points a large table and a large text area.
std::vector<std::byte> LargeDatabase(int missions, int after) {
  test_support::DatabaseBuilder builder;
  const std::string text(56, 'x');
  for (int id = 5001; id <= 5000 + missions; ++id) builder.RawEntry(id, text);
  builder.Marker("end");
  for (int i = 0; i < after; ++i) builder.RawEntry(7000 + i, text);
  return builder.Build();
}

// Starts a process that inserts kText into the database and exits 0 when the
// insertion reported success.
pid_t StartInsertion(const fs::path& db) {
  const pid_t pid = ::fork();
  if (pid == 0) _exit(InsertTextEntry(db, kText).ok() ? 0 : 1);
  return pid;
}

// Inserts `texts` texts one after the other once `go` is closed, and writes
// one line per text to `report`: "made ID TEXT" or "refused KIND".
[[noreturn]] void InsertTexts(const fs::path& db, int process, int texts, int go, int report) {
  char start;
  (void)::read(go, &start, 1);
  for (int i = 0; i < texts; ++i) {
    const std::string text = "p" + std::to_string(process) + "-" + std::to_string(i);
    const Result<InsertedEntry> inserted = InsertTextEntry(db, text);
    const std::string line =
        inserted.ok()
            ? "made " + std::to_string(inserted->entry.id) + " " + text + "\n"
            : "refused " + std::to_string(static_cast<int>(inserted.status().kind())) + "\n";
    if (::write(report, line.data(), line.size()) != static_cast<ssize_t>(line.size())) _exit(2);
  }
  _exit(0);
}

TEST(InsertionsAtOnce, EveryInsertionReportedAsMadeIsInTheFile) {
  constexpr int kProcesses = 4;
  constexpr int kTextsEach = 10;
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  test_support::WriteFileBytes(db, LargeDatabase(1, 16000));  // 1 MiB: each rewrite takes a while
  int go[2];
  int report[2];
  ASSERT_EQ(::pipe(go), 0);
  ASSERT_EQ(::pipe(report), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(go[1]);
      ::close(report[0]);
      InsertTexts(db, p, kTextsEach, go[0], report[1]);
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(report[1]);
  ::close(go[1]);  // all start together
  std::string lines;
  char buffer[4096];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) lines.append(buffer, n);
  ::close(report[0]);
  for (const pid_t pid : children) {
    const int wstatus = test_support::WaitForChild(pid);
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
  }

  // Each waits its turn: only a wait of more than 5 s would refuse one.
  std::map<std::int32_t, std::string> made;
  std::istringstream in(lines);
  for (std::string outcome; in >> outcome;) {
    std::int32_t id = 0;
    std::string text;
    in >> id;
    EXPECT_EQ(outcome, "made") << "refused, kind " << id;
    if (outcome == "made" && in >> text) {
      EXPECT_TRUE(made.emplace(id, text).second) << "id " << id << " was reported twice";
    }
  }
  const std::vector<std::byte> after = test_support::ReadFileBytes(db);
  EXPECT_EQ(CheckLayout(after), std::vector<LayoutProblem>{});
  std::map<std::int32_t, std::string> listed;
  for (const MissionEntry& m : ReadMissionList(after).missions) {
    if (m.id != 5001) listed.emplace(m.id, m.text);
  }
  EXPECT_EQ(listed, made);
}

std::size_t FileCount(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

std::uint64_t RandomStartValue() {
  if (const char* given = std::getenv("ORVA_RANDOM_START"))
    return std::strtoull(given, nullptr, 10);
  return std::random_device{}();
}

TEST(InsertionUnderSigkill, TheDatabaseIsAlwaysExactlyOldOrNew) {
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  std::vector<std::byte> current = LargeDatabase(400, 60000);  // about 4 MiB
  test_support::WriteFileBytes(db, current);

  // How long one whole insertion takes, so that the kills fall all over it.
  const auto started = Clock::now();
  const int calibration = test_support::WaitForChild(StartInsertion(db));
  const auto duration = Clock::now() - started;
  ASSERT_TRUE(WIFEXITED(calibration) && WEXITSTATUS(calibration) == 0);
  current = test_support::ReadFileBytes(db);

  const std::uint64_t start_value = RandomStartValue();
  std::printf("random start value: %llu\n", static_cast<unsigned long long>(start_value));
  RecordProperty("random_start_value", std::to_string(start_value));
  std::mt19937_64 rng(start_value);
  // The kills fall within a window that grows after a kill that came before
  // the rename and shrinks after one that came too late, so both outcomes
  // keep happening however fast the machine is.
  double window_ns = std::chrono::duration<double, std::nano>(duration).count() * 1.2;
  int unchanged = 0;
  int inserted = 0;
  Result<PlannedInsertion> next = PlanInsertion(current, kText);
  for (int round = 0; round < kRounds; ++round) {
    ASSERT_TRUE(next.ok()) << next.status().message();

    const pid_t child = StartInsertion(db);
    test_support::SleepFor(std::chrono::nanoseconds(
        static_cast<std::int64_t>(std::uniform_real_distribution<double>(0, window_ns)(rng))));
    ::kill(child, SIGKILL);
    test_support::WaitForChild(child);

    const std::vector<std::byte> after = test_support::ReadFileBytes(db);
    if (after == current) {
      ++unchanged;
      window_ns *= 1.1;
    } else {
      ASSERT_EQ(after.size(), next->image.size()) << "round " << round << ": a damaged database";
      ASSERT_TRUE(after == next->image) << "round " << round << ": a damaged database";
      ++inserted;
      window_ns *= 0.9;
      current = std::move(next->image);
      next = PlanInsertion(current, kText);
    }
  }
  // Both outcomes must have happened, or the kills missed the write.
  EXPECT_GT(unchanged, 0);
  EXPECT_GT(inserted, 0);
  RecordProperty("unchanged", unchanged);
  RecordProperty("inserted", inserted);
  RecordProperty("files_left_by_kills", static_cast<int>(FileCount(dir.path()) - 1));

  // One insertion that runs to the end clears what the kills left.
  ASSERT_TRUE(InsertTextEntry(db, kText).ok());
  EXPECT_TRUE(test_support::ReadFileBytes(db) == next->image);
  EXPECT_EQ(FileCount(dir.path()), 1u) << "a temporary file was left behind";
}

}  // namespace
}  // namespace orva
