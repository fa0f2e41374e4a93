// What a power cut leaves, cut after each call of an operation in turn: a
// database exactly old or exactly new, a backup of the old bytes whole, an
// export exactly the earlier file or the whole new one. Once an operation has
// said it is done without a warning, a power cut takes nothing back. What
// else survives is a hidden temporary, which the next run clears away.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "database/text_entry_insertion.h"
#include "exchange/translation_export.h"
#include "session/edit_session.h"
#include "storage/backup.h"
#include "storage/internal/temporary_names.h"
#include "tests/storage/power_cut_file_system.h"
#include "tests/storage/rewrite_fixture.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::Bytes;
using test_support::FileNames;
using test_support::FolderState;
using test_support::PowerCutFileSystem;
using test_support::ReadFileBytes;
using test_support::TempDir;
using test_support::WriteFileBytes;

// More calls than any operation here makes: a loop that gets this far has
// stopped cutting anything.
constexpr std::size_t kMostCalls = 1000;

class PowerCutTest : public test_support::DatabaseRewriteTest {
 protected:
  // The database's folder holds the old database and `others`, nothing else.
  void Lay(const std::vector<std::pair<std::string, std::vector<std::byte>>>& others = {}) {
    for (const auto& entry : fs::directory_iterator(dir_.path())) fs::remove_all(entry.path());
    WriteFileBytes(db_, old_);
    for (const auto& [name, bytes] : others) WriteFileBytes(dir_ / name, bytes);
  }

  // Which of the database's versions `bytes` are, for the messages.
  std::string Version(const std::vector<std::byte>& bytes) const {
    if (bytes == old_) return "the old database";
    if (bytes == new_) return "the new database";
    return "neither version (" + std::to_string(bytes.size()) + " bytes)";
  }

  const std::string db_name_ = "textdb_00.def";
};

// Cut after every call of an insertion, with no backup, a numbered one and a
// simple one over an older backup, where new files can be unnamed and where
// they are named from the start. After each cut, the next insertion into what
// survived succeeds and leaves no temporary behind.
TEST_F(PowerCutTest, AnInsertionLeavesTheOldOrTheNewDatabaseAndTheOldOneBackedUp) {
  const std::vector<std::byte> older_backup = Bytes("the backup of an earlier insertion");
  for (const BackupKind kind : {BackupKind::kNone, BackupKind::kNumbered, BackupKind::kSimple}) {
    const std::string backup = db_name_ + (kind == BackupKind::kNumbered ? ".~1~" : "~");
    for (const bool unnamed : {true, false}) {
      std::size_t cut = 0;
      for (;; ++cut) {
        SCOPED_TRACE("power cut after call " + std::to_string(cut) +
                     (kind == BackupKind::kNone       ? ", no backup"
                      : kind == BackupKind::kNumbered ? ", a numbered backup"
                                                      : ", a simple backup over an older one") +
                     (unnamed ? ", unnamed new files" : ", named new files"));
        ASSERT_LT(cut, kMostCalls);
        if (kind == BackupKind::kSimple) {
          Lay({{backup, older_backup}});
        } else {
          Lay();
        }
        PowerCutFileSystem power(dir_.path());
        if (!unnamed) power.WithoutUnnamedFiles();
        power.CutPowerAfter(cut);
        const Result<InsertedEntries> inserted = InsertBackingUp(power, kind);
        const FolderState after = power.StateAfterPowerCut();

        ASSERT_TRUE(after.contains(db_name_)) << "the database is gone";
        const std::vector<std::byte>& db = after.at(db_name_);
        EXPECT_TRUE(db == old_ || db == new_) << Version(db);
        if (!inserted.ok()) {
          EXPECT_TRUE(db == old_) << "refused (" << inserted.status().message() << ") yet "
                                  << Version(db);
        } else if (inserted->warning.empty()) {
          EXPECT_TRUE(db == new_) << "reported done without a warning, yet " << Version(db);
        }
        if (kind != BackupKind::kNone) {
          const auto kept = after.find(backup);
          if (kind == BackupKind::kSimple || db == new_) {
            ASSERT_NE(kept, after.end()) << "no backup beside " << Version(db);
          }
          if (kept != after.end()) {
            const bool older = kind == BackupKind::kSimple && kept->second == older_backup;
            EXPECT_TRUE(kept->second == old_ || (older && db == old_))
                << "the backup holds " << Version(kept->second) << " beside " << Version(db);
          }
        }
        for (const auto& [name, bytes] : after) {
          const bool known = name == db_name_ || (kind != BackupKind::kNone && name == backup);
          EXPECT_TRUE(known || IsTemporaryName(name, db_)) << name << " survived";
        }

        TempDir restarted;
        power.WriteStateAfterPowerCut(restarted.path());
        const fs::path db_again = restarted / db_name_;
        NewTexts texts;
        ASSERT_TRUE(texts.Add(test_support::kText).ok());
        const Result<InsertedEntries> again =
            InsertTextEntries(db_again, texts, MakeBackup({kind, "~"}));
        EXPECT_TRUE(again.ok()) << "after the restart: " << again.status().message();
        for (const std::string& name : FileNames(restarted.path())) {
          EXPECT_FALSE(IsTemporaryName(name, db_again))
              << name << " stayed after the next insertion";
        }

        if (!power.refused()) {
          ASSERT_TRUE(inserted.ok()) << inserted.status().message();
          EXPECT_EQ(inserted->warning, "");
          break;
        }
      }
      EXPECT_GT(cut, kind == BackupKind::kNone ? 15u : 30u) << "too few calls to cut after";
    }
  }
}

// Cut after every call of an edit session's save, whose document goes
// straight into the new file, with no backup and a numbered one: the
// database is the old one or the saved one whole, the backup the old one
// whole, and a save reported done without a warning is never taken back.
TEST_F(PowerCutTest, ASessionsSaveLeavesTheOldOrTheSavedDatabaseAndTheOldOneBackedUp) {
  for (const BackupKind kind : {BackupKind::kNone, BackupKind::kNumbered}) {
    const std::string backup = db_name_ + ".~1~";
    std::size_t cut = 0;
    for (;; ++cut) {
      SCOPED_TRACE("power cut after call " + std::to_string(cut) + " of the save" +
                   (kind == BackupKind::kNone ? ", no backup" : ", a numbered backup"));
      ASSERT_LT(cut, kMostCalls);
      Lay();
      PowerCutFileSystem power(dir_.path());
      Result<EditSession> session = EditSession::Open(db_, power);
      ASSERT_TRUE(session.ok()) << session.status().message();
      NewTexts texts;
      ASSERT_TRUE(texts.Add(test_support::kText).ok());
      ASSERT_TRUE(session->Insert(texts).ok());
      power.CutPowerAfter(power.calls() + cut);
      const Result<SessionSaved> saved = session->Save(MakeBackup({kind, "~"}, power));
      const FolderState after = power.StateAfterPowerCut();

      ASSERT_TRUE(after.contains(db_name_)) << "the database is gone";
      const std::vector<std::byte>& db = after.at(db_name_);
      EXPECT_TRUE(db == old_ || db == new_) << Version(db);
      if (!saved.ok()) {
        EXPECT_TRUE(db == old_) << "refused (" << saved.status().message() << ") yet "
                                << Version(db);
        EXPECT_TRUE(session->modified()) << "a refused save counts as saved";
      } else if (saved->warning.empty()) {
        EXPECT_TRUE(db == new_) << "reported saved without a warning, yet " << Version(db);
      }
      const auto kept = after.find(backup);
      if (kind != BackupKind::kNone && db == new_) {
        ASSERT_NE(kept, after.end()) << "no backup beside the saved database";
      }
      if (kept != after.end()) {
        EXPECT_TRUE(kept->second == old_) << Version(kept->second);
      }
      for (const auto& [name, bytes] : after) {
        EXPECT_TRUE(name == db_name_ || name == backup || IsTemporaryName(name, db_))
            << name << " survived";
      }
      if (!power.refused()) {
        ASSERT_TRUE(saved.ok()) << saved.status().message();
        EXPECT_EQ(saved->warning, "");
        break;
      }
    }
    EXPECT_GT(cut, kind == BackupKind::kNone ? 10u : 25u) << "too few calls to cut after";
  }
}

// Cut after every call of an export over an earlier one and to a new name,
// unnamed and named: the database is never touched, and after each cut the
// next export to the same path succeeds and leaves no temporary behind.
TEST_F(PowerCutTest, AnExportLeavesTheEarlierFileOrTheWholeNewOne) {
  const std::string out_name = "textdb_00.po";
  const fs::path out = dir_ / out_name;
  const std::vector<std::byte> earlier = Bytes("msgid \"\"\nmsgstr \"the translator's work\"\n");
  TempDir elsewhere;
  ASSERT_TRUE(ExportTranslations(db_, elsewhere / out_name, TranslationFormat::kPo).ok());
  const std::vector<std::byte> whole = ReadFileBytes(elsewhere / out_name);
  auto version = [&](const std::vector<std::byte>& bytes) -> std::string {
    if (bytes == earlier) return "the earlier export";
    if (bytes == whole) return "the whole new export";
    return "neither version (" + std::to_string(bytes.size()) + " bytes)";
  };

  for (const bool existing : {true, false}) {
    for (const bool unnamed : {true, false}) {
      std::size_t cut = 0;
      for (;; ++cut) {
        SCOPED_TRACE("power cut after call " + std::to_string(cut) +
                     (existing ? ", over an earlier export" : ", to a new name") +
                     (unnamed ? ", unnamed new file" : ", named new file"));
        ASSERT_LT(cut, kMostCalls);
        if (existing) {
          Lay({{out_name, earlier}});
        } else {
          Lay();
        }
        PowerCutFileSystem power(dir_.path());
        if (!unnamed) power.WithoutUnnamedFiles();
        power.CutPowerAfter(cut);
        const Result<Exported> exported =
            ExportTranslations(db_, out, TranslationFormat::kPo, power);
        const FolderState after = power.StateAfterPowerCut();

        ASSERT_TRUE(after.contains(db_name_)) << "the database is gone";
        EXPECT_TRUE(after.at(db_name_) == old_)
            << "the database holds " << Version(after.at(db_name_));
        const auto kept = after.find(out_name);
        if (existing) {
          ASSERT_NE(kept, after.end()) << "the earlier export is gone";
        }
        const std::string found = kept == after.end() ? "no file" : version(kept->second);
        const bool before = kept == after.end() || kept->second == earlier;
        EXPECT_TRUE(before || kept->second == whole) << found;
        if (!exported.ok()) {
          EXPECT_TRUE(before) << "refused (" << exported.status().message() << ") yet " << found;
        } else if (exported->warning.empty()) {
          EXPECT_TRUE(kept != after.end() && kept->second == whole)
              << "reported done without a warning, yet " << found;
        }
        for (const auto& [name, bytes] : after) {
          const bool known = name == db_name_ || name == out_name;
          EXPECT_TRUE(known || IsTemporaryName(name, out)) << name << " survived";
        }

        TempDir restarted;
        power.WriteStateAfterPowerCut(restarted.path());
        const fs::path out_again = restarted / out_name;
        const Result<Exported> again =
            ExportTranslations(restarted / db_name_, out_again, TranslationFormat::kPo);
        EXPECT_TRUE(again.ok()) << "after the restart: " << again.status().message();
        EXPECT_EQ(FileNames(restarted.path()), (std::vector<std::string>{db_name_, out_name}));

        if (!power.refused()) {
          ASSERT_TRUE(exported.ok()) << exported.status().message();
          EXPECT_EQ(exported->warning, "");
          break;
        }
      }
      EXPECT_GT(cut, 10u) << "too few calls to cut after";
    }
  }
}

}  // namespace
}  // namespace orva
