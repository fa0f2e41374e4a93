// Several processes insert into one database at the same moment, as several
// windows and scripts may: every insertion reported as made is in the file
// afterwards, under an id of its own, and the file stays well-formed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

constexpr int kProcesses = 4;
constexpr int kTextsEach = 10;

// Inserts its texts one after the other and writes one line per text to
// `report`: "made ID TEXT" or "refused KIND".
[[noreturn]] void InsertTexts(const std::filesystem::path& db, int process, int go, int report) {
  char start;
  (void)::read(go, &start, 1);  // returns when the parent closes its end: all start together
  for (int i = 0; i < kTextsEach; ++i) {
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

TEST(ConcurrentInsertion, EveryInsertionReportedAsMadeIsInTheFile) {
  testing::TempDir dir;
  const std::filesystem::path db = dir / "textdb_00.def";
  // About 1 MiB after the marker, so that each rewrite takes a while to overlap.
  testing::DatabaseBuilder builder;
  builder.Entry(5001, "first").Marker("end");
  for (int i = 0; i < 16000; ++i) builder.RawEntry(7000, std::string(60, 'x'));
  testing::WriteFileBytes(db, builder.Build());

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
      InsertTexts(db, p, go[0], report[1]);
    }
    children.push_back(pid);
  }
  ::close(go[0]);
  ::close(report[1]);
  ::close(go[1]);
  std::string lines;
  char buffer[4096];
  for (ssize_t n; (n = ::read(report[0], buffer, sizeof buffer)) > 0;) {
    lines.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(report[0]);
  for (const pid_t pid : children) {
    int wstatus = 0;
    ASSERT_EQ(::waitpid(pid, &wstatus, 0), pid);
    ASSERT_TRUE(WIFEXITED(wstatus) && WEXITSTATUS(wstatus) == 0);
  }

  // Made: id -> text, each id once. A refusal may only say the database was busy.
  std::map<std::int32_t, std::string> made;
  int refused = 0;
  std::istringstream in(lines);
  for (std::string outcome; in >> outcome;) {
    if (outcome == "refused") {
      int kind = 0;
      in >> kind;
      EXPECT_EQ(kind, static_cast<int>(ErrorKind::kBusy));
      ++refused;
      continue;
    }
    std::int32_t id = 0;
    std::string text;
    in >> id >> text;
    EXPECT_TRUE(made.emplace(id, text).second) << "id " << id << " was reported twice";
  }
  // Each waits its turn: only a wait of more than 5 s would refuse one.
  EXPECT_EQ(refused, 0);

  const std::vector<std::byte> after = testing::ReadFileBytes(db);
  EXPECT_EQ(CheckLayout(after), std::vector<LayoutProblem>{});
  std::map<std::int32_t, std::string> listed;
  for (const MissionEntry& m : ReadMissionList(after).missions) {
    if (m.id != 5001) listed.emplace(m.id, m.text);
  }
  EXPECT_EQ(listed, made);
}

}  // namespace
}  // namespace orva
