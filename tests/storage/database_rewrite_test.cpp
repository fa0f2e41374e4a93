// Inserting into a file on disk: whatever call fails, the database is
// afterwards exactly the old file or exactly the new one, the outcome is
// reported truly, and neither a temporary file nor a descriptor is left
// behind; one writer at a time. What one platform alone has (permission bits
// and owners, access control lists and sharing) is tested in
// file_system_posix_test.cpp and file_system_windows_test.cpp.
#include "storage/database_rewrite.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "database/insertion_plan.h"
#include "database/mission_list.h"
#include "database/read_limits.h"
#include "storage/internal/temporary_names.h"
#include "storage/quote.h"
#include "tests/storage/rewrite_fixture.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::Call;
using test_support::DatabaseBuilder;
using test_support::DatabaseRewriteTest;
using test_support::FailingFileSystem;
using test_support::kText;

TEST_F(DatabaseRewriteTest, WritesTheNewImageAtTheSamePath) {
  const Result<InsertedEntry> inserted = Insert();
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(inserted->entry, (MissionEntry{5003, std::string(kText)}));
  EXPECT_EQ(inserted->warning, "");
  EXPECT_EQ(OnDisk(), new_);
  ExpectOnlyTheDatabase();
}

// All the texts of a batch go in with one lock, one read and one rename; a
// batch refused for its third text writes nothing.
TEST_F(DatabaseRewriteTest, InsertsABatchWithOneRewriteOrNotAtAll) {
  NewTexts texts;
  for (const char* text : {"Первый", "Второй", "Третий"}) ASSERT_TRUE(texts.Add(text).ok());
  FailingFileSystem counting;
  const Result<InsertedEntries> inserted = InsertTextEntries(db_, texts, {}, counting);
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(OnDisk(), PlanInsertions(old_, texts).value().image);
  ExpectOnlyTheDatabase();
  auto count = [](const FailingFileSystem& fs, Call call) {
    return std::count(fs.calls().begin(), fs.calls().end(), call);
  };
  EXPECT_EQ(count(counting, Call::kTryLock), 1);
  EXPECT_EQ(counting.bytes_read(), old_.size());
  EXPECT_EQ(count(counting, Call::kSync), 1);  // one new file, put in place

  const auto top = DatabaseBuilder().Entry(0x7FFFFFFD, "a").Marker().Build();
  test_support::WriteFileBytes(db_, top);
  FailingFileSystem refusing;
  const Result<InsertedEntries> refused = InsertTextEntries(db_, texts, {}, refusing);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.status().message().find("text 3"), std::string::npos);
  EXPECT_EQ(count(refusing, Call::kWrite), 0);
  EXPECT_EQ(OnDisk(), top);
}

// The new file's bytes, then its metadata, reach the disk before it is
// named; nothing comes between its naming and the rename (a kill there alone
// leaves it behind); it stays open until it is in place, and the folder is
// flushed after that. Where the file system cannot replace a file that is
// open, the locked old file is closed between the refused rename and the one
// that works.
TEST_F(DatabaseRewriteTest, FlushesTheNewFileBeforeTheRenameAndTheFolderAfterIt) {
  for (const bool unnamed : {true, false}) {
    for (const bool replaces_open_files : {true, false}) {
      test_support::WriteFileBytes(db_, old_);
      FailingFileSystem counting;
      if (!unnamed) counting.WithoutUnnamedFiles();
      if (!replaces_open_files) counting.WithoutReplacingOpenFiles();
      ASSERT_TRUE(Insert(counting).ok());
      EXPECT_EQ(OnDisk(), new_);
      std::vector<Call> order;
      for (const Call call : counting.calls()) {
        const Call durable[] = {Call::kWrite, Call::kCopyMetadata, Call::kSync,         Call::kLink,
                                Call::kClose, Call::kRename,       Call::kSyncDirectory};
        if (std::find(std::begin(durable), std::end(durable), call) == std::end(durable)) continue;
        if (order.empty() || order.back() != call) order.push_back(call);
      }
      const bool closed_first = std::count(order.begin(), order.end(), Call::kRename) == 2;
      EXPECT_TRUE(replaces_open_files || closed_first);
      std::vector<Call> expected =
          closed_first
              ? std::vector<Call>{Call::kWrite,  Call::kCopyMetadata, Call::kSync,
                                  Call::kRename, Call::kClose,        Call::kRename,
                                  Call::kClose,  Call::kSyncDirectory}
              : std::vector<Call>{Call::kWrite, Call::kCopyMetadata,  Call::kSync, Call::kRename,
                                  Call::kClose, Call::kSyncDirectory, Call::kClose};
      // Only a file system that makes unnamed files names the new one late.
      const auto link = std::find(counting.calls().begin(), counting.calls().end(), Call::kLink);
      const bool linked = link != counting.calls().end();
      EXPECT_TRUE(unnamed || !linked);
      if (linked) {
        expected.insert(expected.begin() + 3, Call::kLink);
        EXPECT_EQ(*std::next(link), Call::kRename);
      }
      EXPECT_EQ(order, expected) << (unnamed ? "unnamed" : "named") << " new file, "
                                 << (replaces_open_files ? "" : "not ") << "replacing open files";
    }
  }
}

// Every call the insertion makes is failed in turn, once and then for good (a
// full or read-only disk keeps refusing), with whole and with short writes,
// where the file system makes unnamed files and where it does not, and where
// it replaces open files and where it does not.
TEST_F(DatabaseRewriteTest, AFailureAtAnyCallLeavesTheOldOrTheNewFileAndNothingOpen) {
  for (const bool unnamed : {true, false}) {
    for (const std::size_t short_writes : {std::size_t{0}, std::size_t{7}}) {
      const std::size_t calls = CallsOfAnInsertion(unnamed, short_writes).size();
      ASSERT_GT(calls, short_writes > 0 ? 30u : 15u) << "short writes should take many calls";
      for (const bool replaces_open_files : {true, false}) {
        for (const bool persistently : {false, true}) {
          for (std::size_t n = 1; n <= calls + 2; ++n) {
            SCOPED_TRACE("call " + std::to_string(n) +
                         (persistently ? ", persistently" : ", once") + ", short writes " +
                         std::to_string(short_writes) + (unnamed ? ", unnamed" : ", named") +
                         (replaces_open_files ? "" : ", not replacing open files"));
            test_support::WriteFileBytes(db_, old_);
            FailingFileSystem failing;
            if (!unnamed) failing.WithoutUnnamedFiles();
            if (!replaces_open_files) failing.WithoutReplacingOpenFiles();
            if (short_writes > 0) failing.ShortWrites(short_writes);
            failing.FailCall(n, persistently);
            const Result<InsertedEntry> inserted = Insert(failing);
            EXPECT_EQ(failing.open_descriptors(), 0u) << "a descriptor was left open";
            ExpectOnlyTheDatabase();
            if (!failing.failed_kind()) {
              EXPECT_TRUE(inserted.ok());  // past the last call
              continue;
            }
            // Past the rename only the new file's close, the folder's flush
            // and the old file's close remain; the leftovers' removal is a
            // courtesy.
            const Call kind = *failing.failed_kind();
            const bool warned = kind == Call::kSyncDirectory ||
                                (kind == Call::kClose && n != failing.calls().size());
            if (inserted.ok()) {
              ASSERT_TRUE(warned || kind == Call::kListFolder || n == failing.calls().size())
                  << "a failed call was reported as success";
              EXPECT_EQ(OnDisk(), new_);
              EXPECT_EQ(inserted->warning.find("may not survive a power cut") != std::string::npos,
                        warned)
                  << inserted->warning;
            } else {
              EXPECT_NE(inserted.status().message().find("injected failure"), std::string::npos)
                  << inserted.status().message();
              EXPECT_EQ(OnDisk(), old_);
            }
          }
        }
      }
    }
  }
}

// Through the seam: part of the new file is written, then the disk is full.
TEST_F(DatabaseRewriteTest, AFullDiskLeavesTheOldBytes) {
  const std::vector<Call> calls = CallsOfAnInsertion(true, 16);
  std::size_t third_write = 0;
  for (std::size_t i = 0, writes = 0; i < calls.size() && third_write == 0; ++i) {
    if (calls[i] == Call::kWrite && ++writes == 3) third_write = i + 1;
  }
  ASSERT_GT(third_write, 0u);
  FailingFileSystem failing;
  failing.ShortWrites(16);
  failing.FailCall(third_write, true, "No space left on device");
  const Result<InsertedEntry> inserted = Insert(failing);
  ASSERT_FALSE(inserted.ok());
  EXPECT_NE(inserted.status().message().find("No space left on device"), std::string::npos);
  EXPECT_NE(inserted.status().message().find("was not changed"), std::string::npos);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();

  // Writes that take no byte at all say the same, however often they would
  // be tried (the 1000th call fails, to end an insertion that keeps trying).
  FailingFileSystem taking_nothing;
  taking_nothing.ShortWrites(0);
  taking_nothing.FailCall(1000, true);
  const Result<InsertedEntry> stuck = Insert(taking_nothing);
  EXPECT_NE(stuck.status().message().find("accepted no more bytes"), std::string::npos);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

TEST_F(DatabaseRewriteTest, FollowsASymbolicLinkAndReplacesItsTarget) {
  const fs::path real_folder = dir_ / "real";
  fs::create_directory(real_folder);
  const fs::path target = real_folder / "textdb_07.def";
  test_support::WriteFileBytes(target, old_);
  fs::remove(db_);
  std::error_code error;
  fs::create_symlink(fs::path("real") / "textdb_07.def", db_, error);
  if (error) GTEST_SKIP() << "no symbolic links here: " << error.message();

  ASSERT_TRUE(Insert().ok());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(db_)));
  EXPECT_EQ(fs::read_symlink(db_), fs::path("real") / "textdb_07.def");
  EXPECT_EQ(test_support::ReadFileBytes(target), new_);
  EXPECT_EQ(test_support::FileNames(real_folder), std::vector<std::string>{"textdb_07.def"});
  EXPECT_EQ(test_support::FileNames(dir_.path()),
            (std::vector<std::string>{"real", "textdb_00.def"}));
}

TEST_F(DatabaseRewriteTest, RefusesAHardLinkedFileAndChangesNeitherName) {
  const fs::path other = dir_ / "copy.def";
  fs::create_hard_link(db_, other);
  const Result<InsertedEntry> inserted = Insert();
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.status().kind(), ErrorKind::kUnsupported);
  EXPECT_NE(inserted.status().message().find("2 hard links"), std::string::npos)
      << inserted.status().message();
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(test_support::ReadFileBytes(other), old_);
  EXPECT_TRUE(DefaultFileSystem().Stat(db_)->SameFile(*DefaultFileSystem().Stat(other)));
}

// A file something is mounted on lies on another device than its folder.
TEST_F(DatabaseRewriteTest, RefusesAMountPointAndChangesNothing) {
  FailingFileSystem mounted;
  mounted.OnStat([&](const fs::path& path, FileInfo& info) {
    if (path.filename() == dir_.path().filename()) info.device ^= 1;
  });
  const Result<InsertedEntry> inserted = Insert(mounted);
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.status().kind(), ErrorKind::kUnsupported);
  EXPECT_NE(inserted.status().message().find("is a mount point"), std::string::npos)
      << inserted.status().message();
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

// Read-only for everyone (on Windows: the read-only attribute), root and
// administrators included.
TEST_F(DatabaseRewriteTest, RefusesAReadOnlyFile) {
  fs::permissions(db_, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_NE(
      test_support::Describe(Insert()).find("refused: " + DescribePath(db_) + " is read-only"),
      std::string::npos);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
  fs::permissions(db_, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(DatabaseRewriteTest, RefusesWhatIsNoDatabaseFile) {
  const Result<InsertedEntry> missing = InsertTextEntry(dir_ / "none.def", kText);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().kind(), ErrorKind::kNotFound);
  EXPECT_NE(missing.status().message().find("does not exist"), std::string::npos);

  const Result<InsertedEntry> folder = InsertTextEntry(dir_.path(), kText);
  ASSERT_FALSE(folder.ok());
  EXPECT_NE(folder.status().message().find("not a regular file"), std::string::npos);

  // A layout refusal happens before anything is made on disk.
  auto damaged = old_;
  damaged[0] = std::byte{0};
  test_support::WriteFileBytes(db_, damaged);
  const Result<InsertedEntry> refused = Insert();
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kMalformed);
  EXPECT_EQ(OnDisk(), damaged);
  ExpectOnlyTheDatabase();
}

// Temporary files that killed runs left (named as ORVA names them, for this
// database) go; anything else stays.
TEST_F(DatabaseRewriteTest, RemovesTheTemporariesOfKilledRunsAndNothingElse) {
  const std::vector<std::string> others = {
      ".textdb_00.def.orva-saved-by-a-human.tmp", ".textdb_00.def.orva-0123456789abcdef0.tmp",
      ".textdb_00.def.orva-0123456789abcdeg.tmp", ".textdb_00.def.orva-0123456789abcdef.bak",
      ".textdb_01.def.orva-0123456789abcdef.tmp", "textdb_00.def.orva-0123456789abcdef.tmp"};
  for (const std::string& name : others) test_support::WriteFileBytes(dir_ / name, old_);
  test_support::WriteFileBytes(dir_ / ".textdb_00.def.orva-0123456789abcdef.tmp", old_);
  test_support::WriteFileBytes(dir_ / ".textdb_00.def.orva-fedcba9876543210.tmp", old_);
  ASSERT_TRUE(Insert().ok());
  std::vector<std::string> expected = others;
  expected.push_back("textdb_00.def");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(test_support::FileNames(dir_.path()), expected);

  // A folder too large to list in the memory left keeps its leftovers; the
  // insertion goes through all the same.
  const fs::path leftover = TemporaryPathFor(db_);
  test_support::WriteFileBytes(leftover, old_);
  FailingFileSystem short_of_memory;
  short_of_memory.OnCall([](Call call) {
    if (call == Call::kListFolder) throw std::bad_alloc();
  });
  EXPECT_EQ(test_support::Describe(Insert(short_of_memory)), "inserted 5004");
  EXPECT_TRUE(fs::exists(leftover));

  // The usual name ('.textdb_00.def.orva-<16 hex digits>.tmp') is taken as
  // long as it has no more than the 255 bytes a name may have, and not past
  // them; every name made is found again as a leftover.
  for (std::size_t length = 220; length <= 240; ++length) {
    const fs::path database = dir_ / (std::string(length - 4, 'n') + ".def");
    const std::string usual = "." + PathToUtf8(database.filename()) + ".orva-";
    const bool fits = (usual + std::string(16, '0') + ".tmp").size() <= 255;
    const std::string made = PathToUtf8(TemporaryPathFor(database).filename());
    EXPECT_EQ(made.starts_with(usual), fits) << made;
    EXPECT_LE(made.size(), 255u) << made;
    EXPECT_TRUE(IsTemporaryName(made, database)) << made;
  }

#ifndef _WIN32  // where a path past 260 characters is another matter
  // A database whose name leaves no room for the usual temporary name (255
  // bytes at most) is rewritten too, and its leftovers are found.
  const fs::path long_name = dir_ / (std::string(240, 'n') + ".def");
  test_support::WriteFileBytes(long_name, old_);
  test_support::WriteFileBytes(TemporaryPathFor(long_name), old_);
  const std::size_t files = test_support::FileNames(dir_.path()).size();
  EXPECT_TRUE(InsertTextEntry(long_name, kText).ok());
  EXPECT_EQ(test_support::ReadFileBytes(long_name), new_);
  EXPECT_EQ(test_support::FileNames(dir_.path()).size(), files - 1);
  EXPECT_FALSE(IsTemporaryName(PathToUtf8(TemporaryPathFor(db_).filename()), long_name));
#endif
}

// A program that takes no lock writes the file in place, or puts another
// file at its path, while the new contents are being made from the old; or,
// where the file system cannot replace an open file, writes it in the
// moment the old file is closed for the rename.
TEST_F(DatabaseRewriteTest, RefusesWhenAnotherProgramChangedTheFileMeanwhile) {
  std::vector<std::byte> theirs = test_support::Bytes("written by another program");
  auto expect_theirs_kept = [&](const Status& refusal) {
    EXPECT_EQ(refusal.kind(), ErrorKind::kBusy);
    EXPECT_NE(refusal.message().find("was changed by another program"), std::string::npos)
        << refusal.message();
    EXPECT_EQ(OnDisk(), theirs);
    ExpectOnlyTheDatabase();
  };
  // In place; in place with the old size, setting the modification time back
  // (touch -r); or with a rename.
  enum class Way { kInPlace, kInPlaceTimeKept, kRenamed };
  for (const Way way : {Way::kInPlace, Way::kInPlaceTimeKept, Way::kRenamed}) {
    test_support::WriteFileBytes(db_, old_);
    bool replaced = true;
    const Result<Rewritten> rewritten =
        RewriteDatabase(db_, kDatabaseReadLimit, [&](std::span<const std::byte>) {
          const fs::path written = way == Way::kRenamed ? dir_ / "theirs" : db_;
          const fs::file_time_type modified = fs::last_write_time(db_);
          // Past the clock tick of the change time the read saw.
          std::this_thread::sleep_for(std::chrono::milliseconds(30));
          theirs = test_support::Bytes("written by another program");
          if (way == Way::kInPlaceTimeKept) theirs.resize(old_.size(), std::byte{'!'});
          test_support::WriteFileBytes(written, theirs);
          if (way == Way::kInPlaceTimeKept) fs::last_write_time(db_, modified);
          std::error_code error;
          if (way == Way::kRenamed) fs::rename(written, db_, error);
          replaced = !error;
          NewContents contents;
          contents.Add(new_);
          return Result<NewContents>(std::move(contents));
        });
    // Windows may refuse to put another file over the one ORVA holds open.
    if (!replaced) {
      fs::remove(dir_ / "theirs");
      continue;
    }
    ASSERT_FALSE(rewritten.ok());
    expect_theirs_kept(rewritten.status());
  }

  test_support::WriteFileBytes(db_, old_);
  FailingFileSystem failing;
  failing.WithoutReplacingOpenFiles();
  bool refused_once = false;
  failing.OnCall([&](Call call) {
    if (call == Call::kRename) refused_once = true;
    if (call == Call::kStat && refused_once) test_support::WriteFileBytes(db_, theirs);
  });
  const Result<InsertedEntry> inserted = Insert(failing);
  ASSERT_FALSE(inserted.ok());
  expect_theirs_kept(inserted.status());

  // Any mark of the file that differs from what was read (its size, its
  // times, the file the path names) counts as a change.
  for (int mark = 0; mark < 4; ++mark) {
    test_support::WriteFileBytes(db_, old_);
    FailingFileSystem seeing;
    bool read = false;
    seeing.OnCall([&](Call call) { read = read || call == Call::kReadAt; });
    seeing.OnStat([&](const fs::path& path, FileInfo& info) {
      if (!read) return;
      if (mark == 0) info.size += 1;
      if (mark == 1) info.modified_ns += 1;
      if (mark == 2) info.changed_ns += 1;
      if (mark == 3 && !path.empty()) info.inode ^= 1;
    });
    const Result<InsertedEntry> seen = Insert(seeing);
    ASSERT_FALSE(seen.ok()) << "mark " << mark;
    EXPECT_EQ(seen.status().kind(), ErrorKind::kBusy) << seen.status().message();
    EXPECT_EQ(OnDisk(), old_);
  }

  // A file cut short while it is read is refused before anything is planned.
  test_support::WriteFileBytes(db_, old_);
  FailingFileSystem shrinking;
  shrinking.OnCall([&](Call call) {
    if (call == Call::kReadAt) fs::resize_file(db_, 8);
  });
  EXPECT_NE(Insert(shrinking).status().message().find("is being changed"), std::string::npos);
}

// Once locked, the file is looked at again: while this run waited, the
// holder may have put another database at the path, or given the file a
// second name.
TEST_F(DatabaseRewriteTest, LooksAtTheFileAgainOnceLocked) {
  const auto theirs = DatabaseBuilder().Entry(5001, "их").Marker().Build();
  for (const bool renamed : {true, false}) {
    test_support::WriteFileBytes(db_, old_);
    FailingFileSystem racing;
    bool first = true;
    std::error_code error;
    racing.OnCall([&](Call call) {
      if (call != Call::kTryLock || !std::exchange(first, false)) return;
      if (!renamed) return fs::create_hard_link(db_, dir_ / "second");
      test_support::WriteFileBytes(dir_ / "theirs", theirs);
      fs::rename(dir_ / "theirs", db_, error);  // Windows may refuse while the file is open
    });
    const std::string outcome = test_support::Describe(Insert(racing));
    if (renamed && !error) {
      EXPECT_EQ(outcome, "inserted 5002");
      EXPECT_EQ(OnDisk(), PlanInsertion(theirs, kText)->image);
    } else if (!renamed) {
      EXPECT_NE(outcome.find("2 hard links"), std::string::npos) << outcome;
      EXPECT_EQ(OnDisk(), old_);
      fs::remove(dir_ / "second");
    }
  }
}

// Another program holding the lock is waited for (Pause is not waited out
// here) and then the insertion is refused, changing nothing; meanwhile the
// database can be read as ever. Once the holder lets go, the insertion goes
// through.
TEST_F(DatabaseRewriteTest, WaitsForTheLockThenRefusesWithTheReason) {
  RealFileSystem holder;
  const Result<int> held = holder.Open(db_, OpenMode::kUpdate);
  ASSERT_TRUE(held.ok()) << held.status().message();
  ASSERT_TRUE(holder.TryLock(*held).value());

  FailingFileSystem waiting;
  const Result<InsertedEntry> refused = Insert(waiting);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kBusy);
  EXPECT_NE(refused.status().message().find("is being changed by another program"),
            std::string::npos);
  const auto pauses = std::count(waiting.calls().begin(), waiting.calls().end(), Call::kPause);
  EXPECT_GT(pauses, 100);
  EXPECT_LT(pauses, 1000);
  EXPECT_EQ(OnDisk(), old_);  // read by a program that takes no lock
  EXPECT_TRUE(ReadMissionList(db_).status.ok());
  ExpectOnlyTheDatabase();

  ASSERT_TRUE(holder.Close(*held).ok());
  EXPECT_TRUE(Insert().ok());
  EXPECT_EQ(OnDisk(), new_);
}

}  // namespace
}  // namespace orva
