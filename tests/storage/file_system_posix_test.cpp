// What POSIX systems alone have, through the file-system seam: permission
// bits, owners, extended attributes and access control lists carried over to
// the new file; other users' and append-only folders; file-size limits; FIFOs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/ioctl.h>
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

#include "database/layout_check.h"
#include "database/mission_list.h"
#include "exchange/translation_export.h"
#include "storage/quote.h"
#include "tests/storage/rewrite_fixture.h"
#include "tests/support/child_process.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::DatabaseRewriteTest;
using test_support::Describe;
using test_support::InChildProcess;
using test_support::kNobody;

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

// NOLINTNEXTLINE(cert-env33-c): the tests set the scene with shell commands
void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }

class PosixRewriteTest : public DatabaseRewriteTest {
 protected:
  // Hands the folder and the database to 'nobody', for scenarios run as that user.
  void GiveToNobody() const {
    if (::geteuid() != 0) return;
    ASSERT_EQ(::chown(dir_.path().c_str(), kNobody, kNobody), 0);
    ASSERT_EQ(::chown(db_.c_str(), kNobody, kNobody), 0);
  }
};

// Set-user-id, set-group-id and sticky too, where this user may set them.
TEST_F(PosixRewriteTest, KeepsThePermissionBits) {
  for (const mode_t mode :
       {mode_t{0640}, mode_t{0604}, mode_t{0600}, mode_t{0666}, mode_t{07755}}) {
    test_support::WriteFileBytes(db_, old_);
    ASSERT_EQ(::chmod(db_.c_str(), mode), 0);
    if (MetadataOf(db_).mode != mode) continue;
    EXPECT_EQ(DefaultFileSystem().Stat(db_)->permissions, mode);
    ASSERT_TRUE(Insert().ok());
    EXPECT_EQ(MetadataOf(db_).mode, mode);
    EXPECT_EQ(OnDisk(), new_);
  }
}

// Owner, group, set-id bits, a user attribute and an ACL whose mask keeps a
// group that may only read from writing, on the new file and on the backup
// of the old one; and, in a folder whose default ACL would give a new file an
// ACL, a file without one keeps having none.
TEST_F(PosixRewriteTest, KeepsOwnerGroupPermissionsAndExtendedAttributesExactly) {
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
  ASSERT_TRUE(InsertBackingUp(DefaultFileSystem(), BackupKind::kSimple).ok());
  EXPECT_EQ(MetadataOf(db_), before);
  EXPECT_EQ(OnDisk(), new_);
  const fs::path backup = db_.string() + "~";
  EXPECT_EQ(MetadataOf(backup), before);
  EXPECT_EQ(test_support::ReadFileBytes(backup), old_);
  fs::remove(backup);

  test_support::WriteFileBytes(db_, old_);
  Shell("setfacl -b " + db + " && setfacl -d -m u:daemon:rwx '" + dir_.path().string() + "'");
  const Metadata plain = MetadataOf(db_);
  ASSERT_EQ(plain.attributes.count("system.posix_acl_access"), 0u);
  ASSERT_TRUE(Insert().ok());
  EXPECT_EQ(MetadataOf(db_), plain);
  ExpectOnlyTheDatabase();

  if (!root) return;
  ASSERT_EQ(::chown(db_.c_str(), 0, kNobody), 0);  // this user's file, another group
  const Metadata grouped = MetadataOf(db_);
  ASSERT_TRUE(Insert().ok());
  EXPECT_EQ(MetadataOf(db_), grouped);
}

// A user who may write someone else's file (group-writable, in a folder of
// their own) must not replace it with a file of their own.
TEST_F(PosixRewriteTest, RefusesToTakeOverAnotherUsersFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand the folder and the file out";
  ASSERT_EQ(::chown(dir_.path().c_str(), kNobody, kNobody), 0);
  ASSERT_EQ(::chown(db_.c_str(), 0, kNobody), 0);
  ASSERT_EQ(::chmod(db_.c_str(), 0664), 0);
  const std::string outcome = InChildProcess(
      [&] {
        const Result<InsertedEntry> refused = Insert();
        return Describe(refused) + (refused.status().kind() == ErrorKind::kUnsupported ? "" : "!");
      },
      true);
  EXPECT_NE(outcome.find("refused: the file belongs to user 'root' (0)"), std::string::npos)
      << outcome;
  EXPECT_TRUE(outcome.ends_with("would take the file over; " + DescribePath(db_) +
                                " was not changed"))  // and no '!' for another kind
      << outcome;
  EXPECT_EQ(OnDisk(), old_);
  EXPECT_EQ(MetadataOf(db_).owner, 0u);
  ExpectOnlyTheDatabase();
}

// Read-only for everyone is refused on every platform; here, root included,
// and a file the user may not write, but not a file someone may write.
TEST_F(PosixRewriteTest, RefusesAReadOnlyFile) {
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

  // Writable by its group alone, or by others alone, a file is not
  // read-only: root, who may write it, inserts.
  for (const mode_t mode : {mode_t{0464}, mode_t{0446}}) {
    test_support::WriteFileBytes(db_, old_);
    ASSERT_EQ(::chmod(db_.c_str(), mode), 0);
    const auto inserted = Insert();
    EXPECT_TRUE(inserted.ok()) << std::oct << mode << ": " << Describe(inserted);
    EXPECT_EQ(OnDisk(), new_);
  }
}

// The file may be writable while its folder takes no new file: the database
// cannot be replaced safely there, so it is refused rather than patched.
TEST_F(PosixRewriteTest, RefusesAFolderWhereNoNewFileCanBeMade) {
  GiveToNobody();
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  const std::string outcome = InChildProcess([&] { return Describe(Insert()); }, true);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0755), 0);
  EXPECT_NE(outcome.find("refused: cannot make a new file in the folder"), std::string::npos)
      << outcome;
  EXPECT_NE(outcome.find("was not changed"), std::string::npos) << outcome;
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();

  // An append-only folder (chattr +a) takes new files but never lets one
  // replace the database, nor be removed afterwards.
  const int folder = ::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  ASSERT_EQ(::ioctl(folder, FS_IOC_GETFLAGS, &flags), 0);
  const int append_only = flags | FS_APPEND_FL;
  if (::ioctl(folder, FS_IOC_SETFLAGS, &append_only) != 0) {
    ::close(folder);
    GTEST_SKIP() << "cannot make the folder append-only: " << std::strerror(errno);
  }
  const std::string appending = Describe(Insert());
  ASSERT_EQ(::ioctl(folder, FS_IOC_SETFLAGS, &flags), 0);
  ::close(folder);
  EXPECT_NE(appending.find("is append-only"), std::string::npos) << appending;
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

// A file-size limit smaller than the new file makes the operating system
// refuse the write part way through.
TEST_F(PosixRewriteTest, AFileSizeLimitLeavesTheOldBytes) {
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

// A FIFO opened for reading waits for a writer: each call refuses it at once
// (the child process is stopped if one waits).
TEST(PosixFile, ASpecialFileIsRefusedWithoutWaiting) {
  test_support::TempDir dir;
  const fs::path fifo = dir / "textdb_00.def";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string outcome = InChildProcess([&] {
    const Status list = ReadMissionList(fifo).status;
    const Status check = CheckLayout(fifo, [](const LayoutProblem&) {});
    const Result<InsertedEntry> insert = InsertTextEntry(fifo, "x");
    return list.message() + "\n" + check.message() + "\n" + insert.status().message();
  });
  const std::string refusal = DescribePath(fifo) + " is not a regular file";
  EXPECT_EQ(outcome, refusal + "\n" + refusal + "\n" + refusal);
}

// An export that replaces a file keeps that file's permission bits; a new one
// gets what the umask lets any new file have, not the owner-only bits a
// database's temporary starts with.
TEST_F(DatabaseRewriteTest, AnExportKeepsThePermissionsOfTheFileItReplaces) {
  const fs::path kept = dir_ / "kept.po";
  test_support::WriteFileBytes(kept, test_support::Bytes("old"));
  ASSERT_EQ(::chmod(kept.c_str(), 0604), 0);
  ASSERT_TRUE(ExportTranslations(db_, kept, TranslationFormat::kPo).ok());
  const mode_t mask = ::umask(027);
  const fs::path made = dir_ / "new.csv";
  const bool exported = ExportTranslations(db_, made, TranslationFormat::kCsv).ok();
  ::umask(mask);
  ASSERT_TRUE(exported);
  struct stat st {};
  ASSERT_EQ(::stat(kept.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(::stat(made.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// A temporary file's name that another file already has is never opened
// over that file.
TEST(PosixFile, CreatingAFileThatExistsFails) {
  test_support::TempDir dir;
  const fs::path taken = dir / ".textdb_00.def.orva-0123456789abcdef.tmp";
  test_support::WriteFileBytes(taken, test_support::Bytes("theirs"));
  EXPECT_FALSE(DefaultFileSystem().CreateExclusive(taken, NewFileAccess::kOwnerOnly).ok());
  EXPECT_EQ(test_support::ReadFileBytes(taken), test_support::Bytes("theirs"));
}

}  // namespace
}  // namespace orva
