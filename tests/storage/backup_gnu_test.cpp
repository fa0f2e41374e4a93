// The names of numbered and existing backups, asked of GNU cp for a second
// opinion: in a folder of backups, cp --backup makes one, and its name must
// be the one BackupPath gives.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "storage/backup.h"
#include "tests/storage/rewrite_fixture.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

// NOLINTNEXTLINE(cert-env33-c): GNU cp is the program asked
int Shell(const std::string& command) { return std::system(command.c_str()); }

std::set<std::string> NamesIn(const fs::path& folder) {
  const std::vector<std::string> names = test_support::FileNames(folder);
  return {names.begin(), names.end()};
}

TEST(BackupPathAsGnuCp, NamesTheBackupAsCpDoes) {
  if (Shell("cp --version 2>/dev/null | grep -q 'GNU coreutils'") != 0) {
    GTEST_SKIP() << "no GNU cp here";
  }
  const std::string file = "textdb_00.def";
  const std::vector<std::vector<std::string>> folders = {
      {},
      {"~", ".~9~"},
      {".~18446744073709551615~"},
      {".~" + std::string(30, '9') + "~", ".~" + std::string(29, '9') + "~"},
      {".~99~", ".~100~", ".~0~", ".~~", ".~-5~", ".~+7~", ".~099~", ".~1x~", ".~2"},
      {".~0~", ".~01~", "x.~3~"},
  };
  for (const char* control : {"numbered", "existing"}) {
    for (const std::vector<std::string>& suffixes : folders) {
      SCOPED_TRACE(control + (" " + ::testing::PrintToString(suffixes)));
      test_support::TempDir dir;
      std::vector<std::string> names = {file};
      test_support::WriteFileBytes(dir / file, test_support::Bytes("old"));
      test_support::WriteFileBytes(dir / "new", test_support::Bytes("new"));
      for (const std::string& suffix : suffixes) {
        names.push_back(file + suffix);
        test_support::WriteFileBytes(dir / names.back(), test_support::Bytes("older"));
      }
      const std::set<std::string> before = NamesIn(dir.path());
      ASSERT_EQ(Shell("cd '" + dir.path().string() + "' && cp --backup=" + control +
                      " --suffix='~' new " + file),
                0);
      std::vector<std::string> made;
      for (const std::string& name : NamesIn(dir.path())) {
        if (!before.contains(name)) made.push_back(name);
      }
      const BackupKind kind = *ParseBackupControl(control);
      const fs::path ours = *BackupPath(dir / file, {kind, "~"}, names);
      EXPECT_EQ(made, std::vector<std::string>{PathToUtf8(ours.filename())});
    }
  }
}

}  // namespace
}  // namespace orva
