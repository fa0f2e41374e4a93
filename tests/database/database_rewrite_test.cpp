// Inserting into a file on disk: whatever call fails, the database is
// afterwards exactly the old file or exactly the new one, the outcome is
// reported truly, and neither a temporary file nor a descriptor is left
// behind; the new file has everything the old one had; one writer at a time.
#include "database/database_rewrite.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "database/text_entry_insertion.h"
#include "tests/database/failing_file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using testing::Call;
using testing::DatabaseBuilder;
using testing::FailingFileSystem;

using testing::InChildProcess;
using testing::kNobody;
constexpr std::string_view kText = "Новая миссия";

std::vector<std::string> FileNames(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::size_t OpenDescriptors() {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

// What a file carries besides its bytes.
struct Metadata {
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  std::map<std::string, std::string> attributes;

  friend bool operator==(const Metadata&, const Metadata&) = default;
};

Metadata MetadataOf(const fs::path& path) {
  Metadata m;
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  m.mode = st.st_mode & 07777;
  m.owner = st.st_uid;
  m.group = st.st_gid;
  std::string names(4096, '\0');
  names.resize(static_cast<std::size_t>(
      std::max<ssize_t>(0, ::listxattr(path.c_str(), names.data(), names.size()))));
  for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
    const std::string name = names.c_str() + at;
    std::string value(4096, '\0');
    value.resize(static_cast<std::size_t>(
        ::getxattr(path.c_str(), name.c_str(), value.data(), value.size())));
    m.attributes[name] = value;
  }
  return m;
}

void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

std::string Describe(const Result<InsertedEntry>& inserted) {
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

  void SetUp() override { testing::WriteFileBytes(db_, old_); }

  Result<InsertedEntry> Insert(FileSystem& fs) { return InsertTextEntry(fs, db_, kText); }
  Result<InsertedEntry> Insert() { return InsertTextEntry(db_, kText); }

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
  // The calls of one insertion that succeeds.
  std::vector<Call> CallsOfAnInsertion(bool unnamed, std::size_t short_writes = 0) {
    testing::WriteFileBytes(db_, old_);
    FailingFileSystem counting;
    if (!unnamed) counting.WithoutUnnamedFiles();
    counting.ShortWrites(short_writes);
    EXPECT_TRUE(Insert(counting).ok());
    testing::WriteFileBytes(db_, old_);
    return counting.calls();
  }

  testing::TempDir dir_;
  const std::vector<std::byte> old_;
  const std::vector<std::byte> new_;
  const fs::path db_;
};

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
  const Result<InsertedEntries> inserted = InsertTextEntries(counting, db_, texts);
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(OnDisk(), PlanInsertions(old_, texts).value().image);
  ExpectOnlyTheDatabase();
  auto count = [](const FailingFileSystem& fs, Call call) {
    return std::count(fs.calls().begin(), fs.calls().end(), call);
  };
  EXPECT_EQ(count(counting, Call::kTryLock), 1);
  EXPECT_EQ(counting.bytes_read(), old_.size());
  EXPECT_EQ(count(counting, Call::kRename), 1);

  const auto top = DatabaseBuilder().Entry(0x7FFFFFFD, "a").Marker().Build();
  testing::WriteFileBytes(db_, top);
  FailingFileSystem refusing;
  const Result<InsertedEntries> refused = InsertTextEntries(refusing, db_, texts);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.status().message().find("text 3"), std::string::npos);
  EXPECT_EQ(count(refusing, Call::kWrite), 0);
  EXPECT_EQ(OnDisk(), top);
}

// The new file's bytes, then its metadata, reach the disk before it is
// named; it is closed before the rename, and the folder is flushed after it.
TEST_F(DatabaseRewriteTest, FlushesTheNewFileBeforeTheRenameAndTheFolderAfterIt) {
  for (const bool unnamed : {true, false}) {
    std::vector<Call> order;
    for (const Call call : CallsOfAnInsertion(unnamed)) {
      const Call durable[] = {Call::kWrite, Call::kCopyMetadata, Call::kSync,         Call::kLink,
                              Call::kClose, Call::kRename,       Call::kSyncDirectory};
      if (std::find(std::begin(durable), std::end(durable), call) == std::end(durable)) continue;
      if (order.empty() || order.back() != call) order.push_back(call);
    }
    std::vector<Call> expected = {
        Call::kWrite,  Call::kCopyMetadata,  Call::kSync, Call::kClose,
        Call::kRename, Call::kSyncDirectory, Call::kClose};  // the locked old file, last
    if (unnamed) expected.insert(expected.begin() + 3, Call::kLink);
    EXPECT_EQ(order, expected) << (unnamed ? "unnamed" : "named") << " new file";
  }
}

// Every call the insertion makes is failed in turn, once and then for good (a
// full or read-only disk keeps refusing), with whole and with short writes,
// where the file system makes unnamed files and where it does not.
TEST_F(DatabaseRewriteTest, AFailureAtAnyCallLeavesTheOldOrTheNewFileAndNothingOpen) {
  for (const bool unnamed : {true, false}) {
    for (const std::size_t short_writes : {std::size_t{0}, std::size_t{7}}) {
      const std::size_t calls = CallsOfAnInsertion(unnamed, short_writes).size();
      ASSERT_GT(calls, short_writes > 0 ? 30u : 15u) << "short writes should take many calls";
      for (const bool persistently : {false, true}) {
        for (std::size_t n = 1; n <= calls; ++n) {
          SCOPED_TRACE("call " + std::to_string(n) + (persistently ? ", persistently" : ", once") +
                       ", short writes " + std::to_string(short_writes) +
                       (unnamed ? ", unnamed" : ", named"));
          testing::WriteFileBytes(db_, old_);
          const std::size_t descriptors = OpenDescriptors();
          FailingFileSystem failing;
          if (!unnamed) failing.WithoutUnnamedFiles();
          failing.ShortWrites(short_writes);
          failing.FailCall(n, persistently);
          const Result<InsertedEntry> inserted = Insert(failing);
          EXPECT_EQ(OpenDescriptors(), descriptors) << "a descriptor was left open";
          ExpectOnlyTheDatabase();
          // Past the rename only the folder's flush and the old file's close
          // remain; the leftovers' removal is a courtesy.
          const Call kind = failing.failed_kind().value();
          if (inserted.ok()) {
            ASSERT_TRUE(kind == Call::kSyncDirectory || kind == Call::kListFolder || n == calls)
                << "a failed call was reported as success";
            EXPECT_EQ(OnDisk(), new_);
            EXPECT_EQ(inserted->warning.find("may not survive a power cut") != std::string::npos,
                      kind == Call::kSyncDirectory)
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

TEST_F(DatabaseRewriteTest, AFullDiskLeavesTheOldBytes) {
  // Through the seam: part of the new file is written, then the disk is full.
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

TEST_F(DatabaseRewriteTest, KeepsThePermissionBits) {
  for (const mode_t mode : {mode_t{0640}, mode_t{0604}, mode_t{0600}, mode_t{0666}}) {
    testing::WriteFileBytes(db_, old_);
    ASSERT_EQ(::chmod(db_.c_str(), mode), 0);
    ASSERT_TRUE(Insert().ok());
    EXPECT_EQ(MetadataOf(db_).mode, mode);
    EXPECT_EQ(OnDisk(), new_);
  }
}

// Owner, group, set-id bits, a user attribute and an ACL whose mask keeps a
// group that may only read from writing; and, in a folder whose default ACL
// would give a new file an ACL, a file without one keeps having none.
TEST_F(DatabaseRewriteTest, KeepsOwnerGroupPermissionsAndExtendedAttributesExactly) {
  const bool root = ::geteuid() == 0;
  const std::string db = "'" + db_.string() + "'";
  if (root) {
    ASSERT_EQ(::chown(db_.c_str(), kNobody, kNobody), 0);
  }
  Shell("setfattr -n user.note -v 'карта кампании' " + db);
  Shell("setfacl -m u:daemon:rw,g::r,m::r " + db);
  if (root) {
    ASSERT_EQ(::chmod(db_.c_str(), 02640), 0);
  }
  const Metadata before = MetadataOf(db_);
  ASSERT_EQ(before.attributes.count("system.posix_acl_access"), 1u);
  ASSERT_TRUE(Insert().ok());
  EXPECT_EQ(MetadataOf(db_), before);
  EXPECT_EQ(OnDisk(), new_);

  testing::WriteFileBytes(db_, old_);
  Shell("setfacl -b " + db + " && setfacl -d -m u:daemon:rwx '" + dir_.path().string() + "'");
  const Metadata plain = MetadataOf(db_);
  ASSERT_EQ(plain.attributes.count("system.posix_acl_access"), 0u);
  ASSERT_TRUE(Insert().ok());
  EXPECT_EQ(MetadataOf(db_), plain);
  ExpectOnlyTheDatabase();
}

// A user who may write someone else's file (group-writable, in a folder of
// their own) must not replace it with a file of their own.
TEST_F(DatabaseRewriteTest, RefusesToTakeOverAnotherUsersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder and the file out";
  ASSERT_EQ(::chown(dir_.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chown(db_.c_str(), 0, kNobody), 0);
  ASSERT_EQ(::chmod(db_.c_str(), 0664), 0);
  const std::string outcome = InChildProcess([&] { return Describe(Insert()); }, true);
  EXPECT_NE(outcome.find("refused: the file belongs to user 'root' (0)"), std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find("would take the file over"), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(MetadataOf(db_).owner, 0u);
  ExpectOnlyTheDatabase();
}

TEST_F(DatabaseRewriteTest, FollowsASymbolicLinkAndReplacesItsTarget) {
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

TEST_F(DatabaseRewriteTest, RefusesAHardLinkedFileAndChangesNeitherName) {
  const fs::path other = dir_ / "copy.def";
  fs::create_hard_link(db_, other);
  const Result<InsertedEntry> inserted = Insert();
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.status().kind(), ErrorKind::kUnsupported);
  EXPECT_NE(inserted.status().message().find("2 hard links"), std::string::npos)
      << inserted.status().message();
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(testing::ReadFileBytes(other), old_);
  EXPECT_EQ(fs::hard_link_count(db_), 2u);
}

// Read-only for everyone, root included; and a file the user may not write.
TEST_F(DatabaseRewriteTest, RefusesAReadOnlyFile) {
  ASSERT_EQ(::chmod(db_.c_str(), 0444), 0);
  EXPECT_NE(Describe(Insert()).find("refused: " + DescribePath(db_) + " is read-only"),
            std::string::npos);

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the file to another user";
  GiveToNobody();
  ASSERT_EQ(::chown(db_.c_str(), 0, 0), 0);
  ASSERT_EQ(::chmod(db_.c_str(), 0644), 0);
  const std::string outcome = InChildProcess([&] { return Describe(Insert()); }, true);
  EXPECT_NE(outcome.find("refused: cannot open " + DescribePath(db_) + " to change it"),
            std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find(std::strerror(EACCES)), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

// The file may be writable while its folder takes no new file: the database
// cannot be replaced safely there, so it is refused rather than patched.
TEST_F(DatabaseRewriteTest, RefusesAFolderWhereNoNewFileCanBeMade) {
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
  testing::WriteFileBytes(db_, damaged);
  const Result<InsertedEntry> refused = Insert();
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kMalformed);
  EXPECT_EQ(OnDisk(), damaged);
  ExpectOnlyTheDatabase();
}

// Temporary files that killed runs left (named as ORVA names them, for this
// database) go; anything else stays.
TEST_F(DatabaseRewriteTest, RemovesTheTemporariesOfKilledRunsAndNothingElse) {
  const std::vector<std::string> others = {".textdb_00.def.orva-notes.tmp",
                                           ".textdb_01.def.orva-0123456789abcdef.tmp",
                                           "textdb_00.def.orva-0123456789abcdef.tmp"};
  for (const std::string& name : others) testing::WriteFileBytes(dir_ / name, old_);
  testing::WriteFileBytes(dir_ / ".textdb_00.def.orva-0123456789abcdef.tmp", old_);
  testing::WriteFileBytes(dir_ / ".textdb_00.def.orva-fedcba9876543210.tmp", old_);
  ASSERT_TRUE(Insert().ok());
  std::vector<std::string> expected = others;
  expected.push_back("textdb_00.def");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FileNames(dir_.path()), expected);
}

// A program that takes no lock writes the file in place, or puts another
// file at its path, while the new contents are being made from the old.
TEST_F(DatabaseRewriteTest, RefusesWhenAnotherProgramChangedTheFileMeanwhile) {
  const std::vector<std::byte> theirs = testing::Bytes("written by another program");
  for (const bool in_place : {true, false}) {
    testing::WriteFileBytes(db_, old_);
    const Result<Rewritten> rewritten =
        RewriteDatabase(DefaultFileSystem(), db_, [&](std::span<const std::byte>) {
          const fs::path written = in_place ? db_ : dir_ / "theirs";
          testing::WriteFileBytes(written, theirs);
          if (!in_place) fs::rename(written, db_);
          NewContents contents;
          contents.Add(new_);
          return Result<NewContents>(std::move(contents));
        });
    ASSERT_FALSE(rewritten.ok());
    EXPECT_EQ(rewritten.status().kind(), ErrorKind::kBusy);
    EXPECT_NE(rewritten.status().message().find("was changed by another program"),
              std::string::npos);
    EXPECT_EQ(OnDisk(), theirs);
    ExpectOnlyTheDatabase();
  }
}

// Another program holding the lock is waited for (Pause is not waited out
// here) and then the insertion is refused, changing nothing; once it lets go,
// the insertion goes through.
TEST_F(DatabaseRewriteTest, WaitsForTheLockThenRefusesWithTheReason) {
  const int holder = ::open(db_.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  struct flock whole {};
  whole.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &whole), 0);

  FailingFileSystem waiting;
  const Result<InsertedEntry> refused = Insert(waiting);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(refused.status().kind(), ErrorKind::kBusy);
  EXPECT_NE(refused.status().message().find("is being changed by another program"),
            std::string::npos);
  const auto pauses = std::count(waiting.calls().begin(), waiting.calls().end(), Call::kPause);
  EXPECT_GT(pauses, 100);
  EXPECT_LT(pauses, 1000);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();

  ::close(holder);
  EXPECT_TRUE(Insert().ok());
  EXPECT_EQ(OnDisk(), new_);
}

}  // namespace
}  // namespace orva
