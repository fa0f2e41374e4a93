// Files ORVA writes beside a database (exports, backups): a failure at any
// call leaves the file that was there, or none, or the whole new one, and
// nothing else; the file a write is made from is never written over.
#include "storage/durable_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "exchange/translation_export.h"
#include "storage/internal/temporary_names.h"
#include "tests/storage/rewrite_fixture.h"
#include "tests/support/database_builder.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::Call;
using test_support::FailingFileSystem;
using test_support::FileNames;
using test_support::ReadFileBytes;
using test_support::WriteFileBytes;

class DurableFileTest : public ::testing::Test {
 protected:
  DurableFileTest()
      : db_(dir_ / "textdb_00.def"),
        db_bytes_(test_support::DatabaseBuilder()
                      .Entry(5001, "Первый вылет")
                      .Entry(1200, "заметка")
                      .Marker("конец")
                      .Build()) {
    WriteFileBytes(db_, db_bytes_);
  }

  // What an export writes, made through the real file system elsewhere.
  std::vector<std::byte> ExportedBytes(TranslationFormat format) {
    const fs::path elsewhere = other_ / "expected";
    EXPECT_TRUE(ExportTranslations(db_, elsewhere, format).ok());
    return ReadFileBytes(elsewhere);
  }

  test_support::TempDir dir_;
  test_support::TempDir other_;
  const fs::path db_;
  const std::vector<std::byte> db_bytes_;
};

// Every call of an export is failed in turn, once and for good, over an
// existing file and onto a new name, with and without unnamed files.
TEST_F(DurableFileTest, AFailureAtAnyCallLeavesTheOldOrTheWholeNewFileAndNothingElse) {
  const fs::path out = dir_ / "textdb_00.po";
  const std::vector<std::byte> old_export = Bytes("the translator's earlier work\n");
  for (const TranslationFormat format : {TranslationFormat::kPo, TranslationFormat::kCsv}) {
    const std::vector<std::byte> expected = ExportedBytes(format);
    for (const bool existing : {true, false}) {
      for (const bool unnamed : {true, false}) {
        std::size_t calls = 0;
        for (std::size_t n = 1; calls == 0 || n <= calls + 1; ++n) {
          for (const bool persistently : {false, true}) {
            SCOPED_TRACE("call " + std::to_string(n) + (persistently ? " for good" : " once") +
                         (existing ? ", over a file" : ", a new file") +
                         (unnamed ? ", unnamed" : ", named"));
            fs::remove(out);
            if (existing) WriteFileBytes(out, old_export);
            FailingFileSystem failing;
            if (!unnamed) failing.WithoutUnnamedFiles();
            failing.FailCall(n, persistently);
            const Result<Exported> exported = ExportTranslations(db_, out, format, failing);
            if (!failing.failed_kind()) calls = failing.calls().size();

            EXPECT_EQ(failing.open_descriptors(), 0u);
            std::vector<std::string> names = {"textdb_00.def", "textdb_00.po"};
            if (!existing && !exported.ok()) names.pop_back();
            EXPECT_EQ(FileNames(dir_.path()), names) << "a temporary file was left";
            EXPECT_EQ(ReadFileBytes(db_), db_bytes_);
            if (exported.ok()) {
              EXPECT_EQ(ReadFileBytes(out), expected);
              const bool after_rename = failing.failed_kind() == Call::kSyncDirectory ||
                                        failing.failed_kind() == Call::kClose;
              EXPECT_TRUE(!failing.failed_kind() || after_rename ||
                          failing.failed_kind() == Call::kListFolder ||
                          failing.failed_kind() == Call::kUnlink)
                  << "a failed call was reported as success";
              if (after_rename && n < calls) {
                EXPECT_NE(exported->warning.find("may not survive a power cut"), std::string::npos);
              }
            } else {
              EXPECT_NE(exported.status().message().find("injected failure"), std::string::npos)
                  << exported.status().message();
              if (existing) {
                EXPECT_EQ(ReadFileBytes(out), old_export);
              }
            }
          }
        }
        EXPECT_GT(calls, 8u);
      }
    }
  }
}

// The output is never the database, whatever path names it, and what cannot
// be replaced faithfully is refused as a database would be.
TEST_F(DurableFileTest, RefusesTheFileItIsMadeFromAndWhatItCannotReplace) {
  fs::create_directory(dir_ / "sub");
  std::vector<fs::path> same = {db_, dir_ / "sub" / ".." / "textdb_00.def"};
  std::error_code error;
  fs::create_hard_link(db_, dir_ / "hard.po", error);
  if (!error) same.push_back(dir_ / "hard.po");
  fs::create_symlink(db_, dir_ / "link.po", error);
  if (!error) same.push_back(dir_ / "link.po");
  for (const fs::path& out : same) {
    for (const TranslationFormat format : {TranslationFormat::kPo, TranslationFormat::kCsv}) {
      const Result<Exported> exported = ExportTranslations(db_, out, format);
      ASSERT_FALSE(exported.ok()) << out;
      EXPECT_NE(exported.status().message().find("the file it is made from"), std::string::npos)
          << exported.status().message();
      EXPECT_EQ(ReadFileBytes(db_), db_bytes_);
    }
  }
  const Result<Exported> folder = ExportTranslations(db_, dir_ / "sub", TranslationFormat::kPo);
  ASSERT_FALSE(folder.ok());
  EXPECT_NE(folder.status().message().find("not a regular file"), std::string::npos);
  const Result<Exported> nowhere =
      ExportTranslations(db_, dir_ / "no" / "x.po", TranslationFormat::kPo);
  EXPECT_EQ(nowhere.status().kind(), ErrorKind::kNotFound) << nowhere.status().message();
  EXPECT_FALSE(fs::exists(dir_ / "no"));

  // A file with a second name, and one that no one may write, stay as they are.
  const fs::path linked = dir_ / "linked.po";
  const fs::path locked = dir_ / "locked.po";
  WriteFileBytes(linked, Bytes("old"));
  WriteFileBytes(locked, Bytes("old"));
  fs::permissions(locked, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::vector<std::pair<fs::path, std::string>> kept = {{locked, "is read-only"}};
  fs::create_hard_link(linked, dir_ / "second-name.po", error);
  if (!error) kept.emplace_back(linked, "2 hard links");
  for (const auto& [out, why] : kept) {
    const Result<Exported> refused = ExportTranslations(db_, out, TranslationFormat::kPo);
    ASSERT_FALSE(refused.ok()) << out;
    EXPECT_NE(refused.status().message().find(why), std::string::npos)
        << refused.status().message();
    EXPECT_EQ(ReadFileBytes(out), Bytes("old"));
  }
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);

  // A symbolic link to another file is followed: the file it names is replaced.
  const fs::path target = dir_ / "sub" / "real.po";
  WriteFileBytes(target, Bytes("old"));
  fs::create_symlink(target, dir_ / "to-real.po", error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();
  ASSERT_TRUE(ExportTranslations(db_, dir_ / "to-real.po", TranslationFormat::kPo).ok());
  EXPECT_TRUE(fs::is_symlink(dir_ / "to-real.po"));
  EXPECT_EQ(ReadFileBytes(target), ExportedBytes(TranslationFormat::kPo));
}

// The temporaries that killed exports to a file left beside it go with the
// next export to it; those of another file stay.
TEST_F(DurableFileTest, AnExportClearsAwayWhatKilledExportsToItLeft) {
  const fs::path out = dir_ / "textdb_00.po";
  const fs::path leftover = TemporaryPathFor(out);
  const fs::path others = TemporaryPathFor(dir_ / "textdb_01.po");
  WriteFileBytes(leftover, Bytes("half an export"));
  WriteFileBytes(others, Bytes("half an export"));
  ASSERT_TRUE(ExportTranslations(db_, out, TranslationFormat::kPo).ok());
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_TRUE(fs::exists(others));
}

}  // namespace
}  // namespace orva
