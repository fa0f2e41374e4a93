// Backups as GNU cp, mv and install make them: the name each kind takes, and
// how the backup is written beside the database before the new contents
// replace it. The backup's owner, permission bits and attributes are looked
// at in file_system_posix_test.cpp, and the names GNU cp itself gives in
// backup_gnu_test.cpp.
#include "storage/backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/storage/rewrite_fixture.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::Call;
using test_support::DatabaseRewriteTest;
using test_support::FailingFileSystem;

constexpr const char* kFile = "textdb_00.def";

std::string NameOfBackup(BackupKind kind, const std::vector<std::string>& names) {
  const std::optional<fs::path> backup = BackupPath(fs::path("db") / kFile, {kind, ".old"}, names);
  return backup ? PathToUtf8(backup->filename()) : "none";
}

// A folder of backups numbered at random, small and past any integer type,
// among names that only look like numbered backups of the database; the
// model counts the small ones as integers and the large ones as integers
// past a prefix that puts them above every small one.
TEST(BackupPath, NumbersOneAboveTheLargestBackupHoweverLarge) {
  const std::string large = "1" + std::string(24, '0');  // 10^24, past 64 bits
  auto numbered = [](const std::string& number) { return kFile + (".~" + number + "~"); };
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> names = {kFile, kFile + std::string("~"), kFile + std::string(".old")};
    std::optional<unsigned> small_max, large_max;
    const int count = static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
      const auto n = static_cast<unsigned>(1 + random() % 120);
      const std::string digits = std::to_string(n);
      switch (random() % 8) {
        case 0:
        case 1:
          names.push_back(numbered(digits));
          small_max = std::max(small_max.value_or(0), n);
          break;
        case 2: {
          const std::string padded = std::string(3 - digits.size(), '0') + digits;
          names.push_back(numbered(large.substr(0, large.size() - 3) + padded));
          large_max = std::max(large_max.value_or(0), n);
          break;
        }
        case 3:
          names.push_back(numbered("0" + digits));  // a leading zero
          break;
        case 4:
          names.push_back(numbered(digits + (n % 2 ? "x" : " ")));
          break;
        case 5:
          names.push_back(numbered((n % 2 ? "-" : "+") + digits));
          break;
        case 6:
          names.push_back("textdb_01.def.~" + digits + "~");  // another file's
          break;
        default:
          names.push_back(numbered(digits).substr(0, numbered(digits).size() - 1));
          break;
      }
    }
    names.push_back(numbered("0"));
    names.push_back(numbered(""));
    std::shuffle(names.begin(), names.end(), random);

    std::optional<std::string> next;
    if (large_max) {
      const std::string digits = std::to_string(*large_max + 1);
      next = large.substr(0, large.size() - 3) + std::string(3 - digits.size(), '0') + digits;
    } else if (small_max) {
      next = std::to_string(*small_max + 1);
    }
    SCOPED_TRACE(::testing::PrintToString(names));
    EXPECT_EQ(NameOfBackup(BackupKind::kNumbered, names), numbered(next.value_or("1")));
    EXPECT_EQ(NameOfBackup(BackupKind::kExisting, names),
              next ? numbered(*next) : kFile + std::string(".old"));
    EXPECT_EQ(NameOfBackup(BackupKind::kSimple, names), kFile + std::string(".old"));
    EXPECT_EQ(NameOfBackup(BackupKind::kNone, names), "none");
  }

  // Past the largest 64-bit number, and each carry into a new digit.
  EXPECT_EQ(NameOfBackup(BackupKind::kNumbered, {numbered("18446744073709551615")}),
            numbered("18446744073709551616"));
  for (std::size_t digits = 1; digits <= 40; ++digits) {
    EXPECT_EQ(NameOfBackup(BackupKind::kExisting, {numbered(std::string(digits, '9')),
                                                   numbered(std::string(digits, '8'))}),
              numbered("1" + std::string(digits, '0')));
  }
}

class BackupTest : public DatabaseRewriteTest {
 protected:
  // The folder holds the database and, if `backup`, the backup with the old
  // bytes; nothing else.
  void ExpectTheDatabaseAnd(bool backup) const {
    std::vector<std::string> expected = {kFile};
    if (backup) expected.push_back(std::string(kFile) + ".~1~");
    EXPECT_EQ(test_support::FileNames(dir_.path()), expected);
    if (backup) {
      EXPECT_EQ(test_support::ReadFileBytes(backup_), old_);
    }
  }

  // The old database alone in its folder.
  void Reset() const {
    fs::remove(backup_);
    test_support::WriteFileBytes(db_, old_);
  }

  const fs::path backup_ = dir_ / (std::string(kFile) + ".~1~");
};

// The backup gets the old bytes, then the old file's metadata (a write would
// clear set-id bits), is flushed to disk, and only then renamed to its name;
// the new contents are renamed over the database after that.
TEST_F(BackupTest, IsWrittenWithTheOldMetadataAndFlushedBeforeEitherRename) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed new file" : "named new file");
    Reset();
    FailingFileSystem recording;
    if (!unnamed) recording.WithoutUnnamedFiles();
    ASSERT_TRUE(InsertBackingUp(recording, BackupKind::kNumbered).ok());
    EXPECT_EQ(OnDisk(), new_);
    ExpectTheDatabaseAnd(true);

    const auto& made = recording.made();
    const auto renamed = std::find_if(made.begin(), made.end(), [&](const auto& m) {
      return m.call == Call::kRename && m.other.filename() == backup_.filename();
    });
    ASSERT_NE(renamed, made.end()) << "the backup was not renamed into place";
    const fs::path temporary = renamed->file;
    // An unnamed file is known by its label until Link gives it that name.
    const auto linked = std::find_if(made.begin(), made.end(), [&](const auto& m) {
      return m.call == Call::kLink && m.other == temporary;
    });
    const fs::path label = linked == made.end() ? temporary : linked->file;
    std::vector<Call> steps;
    bool database_renamed = false;
    for (const FailingFileSystem::Made& m : made) {
      const bool backups = m.call != Call::kClose && (m.file == temporary || m.other == temporary ||
                                                      m.file == label || m.other == label);
      // Where an open file cannot be replaced (Windows), the database's
      // rename is tried again once its old file is closed: one step.
      const bool databases =
          m.call == Call::kRename && m.other.filename() == kFile && !database_renamed;
      database_renamed = database_renamed || databases;
      const bool again = m.call == Call::kWrite && !steps.empty() && steps.back() == Call::kWrite;
      if ((backups || databases) && !again) steps.push_back(m.call);
      if (m.call == Call::kCopyMetadata && (m.other == temporary || m.other == label)) {
        EXPECT_EQ(m.file.filename(), kFile) << "the metadata came from another file";
      }
    }
    // Windows makes no unnamed files: there the backup is named from the start.
    const std::vector<Call> expected =
        linked != made.end()
            ? std::vector<Call>{Call::kCreateUnnamed, Call::kWrite, Call::kCopyMetadata,
                                Call::kSync,          Call::kLink,  Call::kRename,
                                Call::kRename}
            : std::vector<Call>{Call::kCreateExclusive, Call::kWrite,
                                Call::kCopyMetadata,    Call::kSync,
                                Call::kRename,          Call::kRename};
    EXPECT_EQ(steps, expected);
  }
}

// Whatever call fails, once or for good: a database with the new contents has
// its backup beside it; a refusal leaves the old database; a backup, where
// there is one, holds the old bytes whole; and nothing else stays behind.
TEST_F(BackupTest, AFailureAtAnyCallLeavesTheOldDatabaseOrTheNewOneBackedUp) {
  for (const bool unnamed : {true, false}) {
    Reset();
    FailingFileSystem counting;
    if (!unnamed) counting.WithoutUnnamedFiles();
    ASSERT_TRUE(InsertBackingUp(counting, BackupKind::kNumbered).ok());
    const std::size_t calls = counting.calls().size();
    for (const bool persistently : {false, true}) {
      for (std::size_t n = 1; n <= calls + 2; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + (persistently ? ", persistently" : ", once") +
                     (unnamed ? ", unnamed" : ", named"));
        Reset();
        FailingFileSystem failing;
        if (!unnamed) failing.WithoutUnnamedFiles();
        failing.FailCall(n, persistently);
        const Result<InsertedEntries> inserted = InsertBackingUp(failing, BackupKind::kNumbered);
        EXPECT_EQ(failing.open_descriptors(), 0u) << "a descriptor was left open";
        if (inserted.ok()) {
          EXPECT_EQ(OnDisk(), new_);
          ExpectTheDatabaseAnd(true);
        } else {
          EXPECT_EQ(OnDisk(), old_) << inserted.status().message();
          ExpectTheDatabaseAnd(fs::exists(backup_));
        }
      }
    }
  }
}

}  // namespace
}  // namespace orva
