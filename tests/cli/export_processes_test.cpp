// An export killed with SIGKILL at random moments, over a translator's
// earlier file: afterwards the file is every time exactly the earlier one or
// exactly the whole new export, and the next export leaves no temporary file
// behind (ORVA_RANDOM_START=<value> repeats a run's kill moments).
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
#include <random>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRounds = 40;

pid_t StartExport(const fs::path& db, const fs::path& out) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    const auto outcome = test_support::RunCli({"export", db.string(), "-o", out.string()});
    _exit(outcome.exit_code);
  }
  return pid;
}

TEST(ExportUnderSigkill, TheOutputIsAlwaysTheEarlierFileOrTheWholeExport) {
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  const fs::path out = dir / "textdb_00.po";
  test_support::DatabaseBuilder builder;
  for (int id = 5001; id <= 5400; ++id) builder.RawEntry(id, "Миссия номер " + std::to_string(id));
  builder.Marker("конец");
  for (int i = 0; i < 60000; ++i) builder.RawEntry(7000 + i, "запись " + std::to_string(i));
  test_support::WriteFileBytes(db, builder.Build());

  // The whole export, and how long it takes, so that the kills fall all over it.
  const auto started = Clock::now();
  const int calibration = test_support::WaitForChild(StartExport(db, out));
  const auto duration = Clock::now() - started;
  ASSERT_TRUE(WIFEXITED(calibration) && WEXITSTATUS(calibration) == 0);
  const std::vector<std::byte> whole = test_support::ReadFileBytes(out);
  ASSERT_GT(whole.size(), 1'000'000u);
  const std::vector<std::byte> earlier = test_support::Bytes("msgid \"\"\nmsgstr \"\"\n");

  const char* given = std::getenv("ORVA_RANDOM_START");
  const std::uint64_t start_value =
      given != nullptr ? std::strtoull(given, nullptr, 10) : std::random_device{}();
  std::printf("random start value: %llu\n", static_cast<unsigned long long>(start_value));
  std::mt19937_64 rng(start_value);
  // A window that grows after a kill before the rename and shrinks after one
  // too late, so that both outcomes keep happening however fast the machine.
  double window_ns = std::chrono::duration<double, std::nano>(duration).count() * 1.2;
  int kept = 0;
  int replaced = 0;
  for (int round = 0; round < kRounds; ++round) {
    test_support::WriteFileBytes(out, earlier);
    const pid_t child = StartExport(db, out);
    test_support::SleepFor(std::chrono::nanoseconds(
        static_cast<std::int64_t>(std::uniform_real_distribution<double>(0, window_ns)(rng))));
    ::kill(child, SIGKILL);
    test_support::WaitForChild(child);
    const std::vector<std::byte> after = test_support::ReadFileBytes(out);
    if (after == earlier) {
      ++kept;
      window_ns *= 1.1;
    } else {
      ASSERT_EQ(after.size(), whole.size()) << "round " << round << ": a torn export";
      ASSERT_TRUE(after == whole) << "round " << round << ": a torn export";
      ++replaced;
      window_ns *= 0.9;
    }
  }
  EXPECT_GT(kept, 0);
  EXPECT_GT(replaced, 0);

  ASSERT_EQ(test_support::WaitForChild(StartExport(db, out)), 0);
  EXPECT_TRUE(test_support::ReadFileBytes(out) == whole);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names.size(), 2u) << "a temporary file was left behind";
}

}  // namespace
}  // namespace orva
