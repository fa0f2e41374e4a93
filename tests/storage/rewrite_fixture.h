// A database on disk and the helpers of the tests that insert into it, on
// every platform (database_rewrite_test.cpp) and on each one's own
// (file_system_posix_test.cpp, file_system_windows_test.cpp).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "database/insertion_plan.h"
#include "database/text_entry_insertion.h"
#include "storage/backup.h"
#include "tests/support/database_builder.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva::test_support {

inline constexpr std::string_view kText = "Новая миссия";

inline std::vector<std::string> FileNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(PathToUtf8(entry.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Describe(const Result<InsertedEntry>& inserted) {
  return inserted.ok() ? "inserted " + std::to_string(inserted->entry.id)
                       : "refused: " + inserted.status().message();
}

class DatabaseRewriteTest : public ::testing::Test {
 protected:
  DatabaseRewriteTest()
      : old_(DatabaseBuilder()
                 .Entry(12, "служебный")
                 .Entry(5001, "Первый вылет")
                 .Entry(5002, "Патруль")
                 .Marker("конец")
                 .Entry(7000, "после")
                 .Trailing("tail")
                 .Build()),
        new_(PlanInsertion(old_, kText).value().image),
        db_(dir_ / "textdb_00.def") {}

  void SetUp() override { WriteFileBytes(db_, old_); }

  Result<InsertedEntry> Insert(FileSystem& fs) { return InsertTextEntry(db_, kText, fs); }
  Result<InsertedEntry> Insert() { return InsertTextEntry(db_, kText); }
  // Inserts kText, making the backup of the kind given first.
  Result<InsertedEntries> InsertBackingUp(FileSystem& fs, BackupKind kind) {
    NewTexts texts;
    EXPECT_TRUE(texts.Add(kText).ok());
    return InsertTextEntries(db_, texts, MakeBackup({kind, "~"}, fs), fs);
  }

  std::vector<std::byte> OnDisk() const { return ReadFileBytes(db_); }
  // The folder holds the database and nothing else: no temporary file.
  void ExpectOnlyTheDatabase() const {
    EXPECT_EQ(FileNames(dir_.path()), std::vector<std::string>{"textdb_00.def"});
  }
  // The calls of one insertion that succeeds.
  std::vector<Call> CallsOfAnInsertion(bool unnamed, std::size_t short_writes = 0) {
    WriteFileBytes(db_, old_);
    FailingFileSystem counting;
    if (!unnamed) counting.WithoutUnnamedFiles();
    if (short_writes > 0) counting.ShortWrites(short_writes);
    EXPECT_TRUE(Insert(counting).ok());
    WriteFileBytes(db_, old_);
    return counting.calls();
  }

  TempDir dir_;
  const std::vector<std::byte> old_;
  const std::vector<std::byte> new_;
  const std::filesystem::path db_;
};

}  // namespace orva::test_support
