// Inserting into a file on disk: whatever call fails, the database is
// afterwards exactly the old file or exactly the new one, the failure is
// reported, and no temporary file is left behind.
#include "database/file_replacement.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "database/text_entry_insertion.h"
#include "tests/database/failing_file_system.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::DatabaseBuilder;
using testing::FailingFileSystem;

constexpr uid_t kNobody = 65534;
constexpr std::string_view kText = "Новая миссия";

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Runs `scenario` in a child process and hands back the line it produced. When
// this process is root, the child first becomes the unprivileged user
// 'nobody', because root may write any file and make files in any folder.
std::string InChildProcess(const std::function<std::string()>& scenario, bool unprivileged) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return "pipe failed";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipe_fds[0]);
    if (unprivileged && ::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      _exit(3);
    }
    const std::string line = scenario();
    const bool written =
        ::write(pipe_fds[1], line.data(), line.size()) == static_cast<ssize_t>(line.size());
    _exit(written ? 0 : 4);
  }
  ::close(pipe_fds[1]);
  std::string line;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(pipe_fds[0], buffer, sizeof buffer)) > 0) {
    line.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(pipe_fds[0]);
  int wstatus = 0;
  ::waitpid(pid, &wstatus, 0);
  if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
    return "the child process failed (status " + std::to_string(wstatus) + ")";
  }
  return line;
}

std::string Describe(const Result<MissionEntry>& inserted) {
  return inserted.ok() ? "inserted " + std::to_string(inserted->id)
                       : "refused: " + inserted.status().message();
}

class FileReplacementTest : public ::testing::Test {
 protected:
  FileReplacementTest()
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

  void SetUp() override { testing::WriteFileBytes(db_, old_); }

  Result<MissionEntry> Insert(FileSystem& fs) { return InsertTextEntry(fs, db_, kText); }
  Result<MissionEntry> Insert() { return InsertTextEntry(db_, kText); }

  std::vector<std::byte> OnDisk() const { return testing::ReadFileBytes(db_); }
  // The folder holds the database and nothing else: no temporary file.
  void ExpectOnlyTheDatabase() const {
    EXPECT_EQ(FileNames(dir_.path()), std::vector<std::string>{"textdb_00.def"});
  }
  // Hands the folder and the database to 'nobody', for scenarios run as that user.
  void GiveToNobody() const {
    if (::geteuid() != 0) return;
    ASSERT_EQ(::chown(dir_.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(db_.c_str(), kNobody, kNobody), 0);
  }

  testing::TempDir dir_;
  const std::vector<std::byte> old_;
  const std::vector<std::byte> new_;
  const fs::path db_;
};

TEST_F(FileReplacementTest, WritesTheNewImageAtTheSamePath) {
  const Result<MissionEntry> inserted = Insert();
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(*inserted, (MissionEntry{5003, std::string(kText)}));
  EXPECT_EQ(OnDisk(), new_);
  ExpectOnlyTheDatabase();
}

// Every call the insertion makes is failed in turn, once and then for good (a
// full or read-only disk keeps refusing), with whole and with short writes.
TEST_F(FileReplacementTest, AFailureAtAnyCallLeavesTheOldOrTheNewFileAndNoTemporary) {
  for (const std::size_t short_writes : {std::size_t{0}, std::size_t{7}}) {
    testing::WriteFileBytes(db_, old_);
    FailingFileSystem counting;
    counting.ShortWrites(short_writes);
    ASSERT_TRUE(Insert(counting).ok());
    const std::size_t calls = counting.calls().size();
    ASSERT_GT(calls, short_writes > 0 ? 20u : 8u) << "short writes should take many calls";

    for (const bool persistently : {false, true}) {
      for (std::size_t n = 1; n <= calls; ++n) {
        SCOPED_TRACE("call " + std::to_string(n) + (persistently ? ", persistently" : ", once") +
                     ", short writes " + std::to_string(short_writes));
        testing::WriteFileBytes(db_, old_);
        FailingFileSystem failing;
        failing.ShortWrites(short_writes);
        failing.FailCall(n, persistently);
        const Result<MissionEntry> inserted = Insert(failing);
        ASSERT_FALSE(inserted.ok()) << "the failure was reported as success";
        EXPECT_NE(inserted.status().message().find("injected failure"), std::string::npos)
            << inserted.status().message();
        // Only a failure to flush the folder comes after the rename.
        const bool renamed = failing.failed_kind() == Call::kSyncDirectory;
        EXPECT_EQ(OnDisk(), renamed ? new_ : old_);
        ExpectOnlyTheDatabase();
      }
    }
  }
}

TEST_F(FileReplacementTest, AFullDiskLeavesTheOldBytes) {
  // Through the seam: part of the new file is written, then the disk is full.
  FailingFileSystem failing;
  failing.ShortWrites(16);
  std::size_t third_write = 0;
  {
    FailingFileSystem counting;
    counting.ShortWrites(16);
    ASSERT_TRUE(Insert(counting).ok());
    testing::WriteFileBytes(db_, old_);
    std::size_t writes = 0;
    for (std::size_t i = 0; i < counting.calls().size() && third_write == 0; ++i) {
      if (counting.calls()[i] == Call::kWrite && ++writes == 3) third_write = i + 1;
    }
  }
  ASSERT_GT(third_write, 0u);
  failing.FailCall(third_write, true, "No space left on device");
  const Result<MissionEntry> inserted = Insert(failing);
  ASSERT_FALSE(inserted.ok());
  EXPECT_NE(inserted.status().message().find("No space left on device"), std::string::npos);
  EXPECT_NE(inserted.status().message().find("was not changed"), std::string::npos);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();

  // For real: a file-size limit smaller than the new file makes the operating
  // system refuse the write part way through.
  const std::string outcome = InChildProcess(
      [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = old_.size() + 4;  // the old file fits, the new one does not
        const struct rlimit small { limit, limit };
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) return std::string("setrlimit failed");
        return Describe(Insert());
      },
      false);
  EXPECT_NE(outcome.find("refused: cannot write the new contents"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find(std::strerror(EFBIG)), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

TEST_F(FileReplacementTest, KeepsThePermissionBits) {
  for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0600}, mode_t{0666}}) {
    testing::WriteFileBytes(db_, old_);
    ASSERT_EQ(::chmod(db_.c_str(), mode), 0);
    ASSERT_TRUE(Insert().ok());
    EXPECT_EQ(ModeOf(db_), mode);
    EXPECT_EQ(OnDisk(), new_);
  }
}

TEST_F(FileReplacementTest, KeepsTheOwnerWhereTheProcessMaySetIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  ASSERT_EQ(::chown(db_.c_str(), kNobody, kNobody), 0);
  ASSERT_TRUE(Insert().ok());
  struct stat st {};
  ASSERT_EQ(::stat(db_.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kNobody);
  EXPECT_EQ(st.st_gid, kNobody);
  EXPECT_EQ(OnDisk(), new_);
}

TEST_F(FileReplacementTest, FollowsASymbolicLinkAndReplacesItsTarget) {
  const fs::path real_folder = dir_ / "real";
  fs::create_directory(real_folder);
  const fs::path target = real_folder / "textdb_07.def";
  testing::WriteFileBytes(target, old_);
  fs::remove(db_);
  fs::create_symlink("real/textdb_07.def", db_);

  ASSERT_TRUE(Insert().ok());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(db_)));
  EXPECT_EQ(fs::read_symlink(db_), "real/textdb_07.def");
  EXPECT_EQ(testing::ReadFileBytes(target), new_);
  EXPECT_EQ(FileNames(real_folder), std::vector<std::string>{"textdb_07.def"});
  EXPECT_EQ(FileNames(dir_.path()), (std::vector<std::string>{"real", "textdb_00.def"}));
}

TEST_F(FileReplacementTest, RefusesAHardLinkedFileAndChangesNeitherName) {
  const fs::path other = dir_ / "copy.def";
  fs::create_hard_link(db_, other);
  const Result<MissionEntry> inserted = Insert();
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.status().kind(), ErrorKind::kUnsupported);
  EXPECT_NE(inserted.status().message().find("2 hard links"), std::string::npos)
      << inserted.status().message();
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(testing::ReadFileBytes(other), old_);
  EXPECT_EQ(fs::hard_link_count(db_), 2u);
}

TEST_F(FileReplacementTest, RefusesAReadOnlyFile) {
  GiveToNobody();
  ASSERT_EQ(::chmod(db_.c_str(), 0444), 0);
  const std::string outcome = InChildProcess([&] { return Describe(Insert()); }, true);
  EXPECT_NE(outcome.find("refused: cannot write the file"), std::string::npos) << outcome;
  EXPECT_NE(outcome.find(std::strerror(EACCES)), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(ModeOf(db_), 0444u);
  ExpectOnlyTheDatabase();
}

// The file may be writable while its folder takes no new file: the database
// cannot be replaced safely there, so it is refused rather than patched.
TEST_F(FileReplacementTest, RefusesAFolderWhereNoNewFileCanBeMade) {
  GiveToNobody();
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  const std::string outcome = InChildProcess([&] { return Describe(Insert()); }, true);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  EXPECT_NE(outcome.find("refused: cannot make a new file in the folder"), std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find("was not changed"), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

TEST_F(FileReplacementTest, RefusesWhatIsNoDatabaseFile) {
  const Result<MissionEntry> missing = InsertTextEntry(dir_ / "none.def", kText);
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.status().kind(), ErrorKind::kNotFound);
  EXPECT_NE(missing.status().message().find("does not exist"), std::string::npos);

  const Result<MissionEntry> folder = InsertTextEntry(dir_.path(), kText);
  ASSERT_FALSE(folder.ok());
  EXPECT_NE(folder.status().message().find("not a regular file"), std::string::npos);

  // A layout refusal happens before anything is made on disk.
  auto damaged = old_;
  damaged[0] = std::byte{0};
  testing::WriteFileBytes(db_, damaged);
  const Result<MissionEntry> refused = Insert();
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kMalformed);
  EXPECT_EQ(OnDisk(), damaged);
  ExpectOnlyTheDatabase();
}

}  // namespace
}  // namespace orva
