// What Windows alone has, through the file-system seam: programs that hold a
// file for a moment without sharing it, access control lists and attributes
// carried over to the new file, names outside the ANSI code page, and byte
// 0x1A, which a read in text mode takes for the end of the file.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>
#include <sddl.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "database/insertion_plan.h"
#include "database/layout_check.h"
#include "database/mission_list.h"
#include "storage/database_rewrite.h"
#include "storage/internal/temporary_names.h"
#include "storage/quote.h"
#include "tests/storage/rewrite_fixture.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::DatabaseBuilder;
using test_support::DatabaseRewriteTest;

// What an editor or a backup tool may do: open the file sharing nothing.
HANDLE HoldUnshared(const fs::path& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The access control list in the security descriptor language ("D:P(A;;FA;;;OW)...").
std::wstring AccessList(const fs::path& path) {
  DWORD size = 0;
  GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<std::byte> descriptor(size);
  wchar_t* text = nullptr;
  if (size == 0 ||
      !GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, descriptor.data(), size, &size) ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorW(
          descriptor.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
    return L"(unreadable)";
  }
  std::wstring list = text;
  LocalFree(text);
  return list;
}

// Held for a moment, the file is waited for; held for long, the insertion is
// refused with the reason and changes nothing.
TEST_F(DatabaseRewriteTest, WaitsForAProgramThatHoldsTheFileUnsharedForAMoment) {
  HANDLE held = HoldUnshared(db_);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread let_go([held] {
    std::this_thread::sleep_for(200ms);
    CloseHandle(held);
  });
  const Result<InsertedEntry> inserted = Insert();
  let_go.join();
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(OnDisk(), new_);

  test_support::WriteFileBytes(db_, old_);
  held = HoldUnshared(db_);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const auto start = std::chrono::steady_clock::now();
  const Result<InsertedEntry> refused = Insert();
  const auto waited = std::chrono::steady_clock::now() - start;
  CloseHandle(held);
  ASSERT_FALSE(refused.ok());
  EXPECT_NE(refused.status().message().find("cannot open " + DescribePath(db_) + " to change it"),
            std::string::npos)
      << refused.status().message();
  EXPECT_GT(waited, 500ms);
  EXPECT_LT(waited, 10s);
  EXPECT_EQ(OnDisk(), old_);
  ExpectOnlyTheDatabase();
}

// An access control list of the file's own that lets everyone read it, where
// the new file starts as this user's alone; and the hidden attribute. (Wine
// keeps a list as the permission bits it maps to, which shows it just as well.)
TEST_F(DatabaseRewriteTest, KeepsTheAccessControlListAndTheAttributes) {
  PSECURITY_DESCRIPTOR own = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;OW)(A;;FR;;;WD)",
                                                                   SDDL_REVISION_1, &own, nullptr));
  const bool set = SetFileSecurityW(db_.c_str(), DACL_SECURITY_INFORMATION, own);
  LocalFree(own);
  ASSERT_TRUE(set);
  ASSERT_TRUE(SetFileAttributesW(db_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  const std::wstring before = AccessList(db_);
  ASSERT_NE(before.find(L";;;WD)"), std::wstring::npos) << before;  // everyone may read

  const Result<InsertedEntry> inserted = Insert();
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(AccessList(db_), before);
  EXPECT_NE(GetFileAttributesW(db_.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(OnDisk(), new_);
  ExpectOnlyTheDatabase();
}

// A new file that another run holds open (about to rename it into place,
// with the database closed for that) is no leftover: only once it is closed
// can a clean-up remove it.
TEST_F(DatabaseRewriteTest, LeavesATemporaryThatAnotherRunHoldsOpen) {
  RealFileSystem other;
  const fs::path live = TemporaryPathFor(db_);
  const Result<int> fd = other.CreateExclusive(live, NewFileAccess::kOwnerOnly);
  ASSERT_TRUE(fd.ok()) << fd.status().message();
  EXPECT_TRUE(Insert().ok());
  ASSERT_TRUE(other.Close(*fd).ok());
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(Insert().ok());
  ExpectOnlyTheDatabase();
}

// Cyrillic and other names that the ANSI code page cannot hold: the file is
// found, rewritten and named in messages in UTF-8.
TEST(WindowsFile, NamesOutsideTheAnsiCodePage) {
  test_support::TempDir dir;
  const fs::path folder = dir.path() / PathFromUtf8("Кампания «Север»");
  fs::create_directory(folder);
  const fs::path db = folder / PathFromUtf8("база_00.def");
  const auto old = DatabaseBuilder().Entry(5001, "Первый вылет").Marker("конец").Build();
  test_support::WriteFileBytes(db, old);

  const Result<InsertedEntry> inserted = InsertTextEntry(db, test_support::kText);
  ASSERT_TRUE(inserted.ok()) << inserted.status().message();
  EXPECT_EQ(test_support::ReadFileBytes(db), PlanInsertion(old, test_support::kText).value().image);
  EXPECT_EQ(ReadMissionList(db).missions.back().text, test_support::kText);
  EXPECT_EQ(test_support::FileNames(folder), std::vector<std::string>{"база_00.def"});

  const Status missing = ReadMissionList(folder / PathFromUtf8("нет.def")).status;
  EXPECT_NE(missing.message().find("Кампания «Север»\\нет.def' does not exist"), std::string::npos)
      << missing.message();
}

// 0x1A in the table and in a text, inserted after twice: read in text mode,
// the file would end there.
TEST(WindowsFile, Byte0x1AIsData) {
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  const auto old = DatabaseBuilder()
                       .Entry(5001, "до\x1aпосле")
                       .Marker("конец")
                       .Entry(0x1A1A, "после маркера")
                       .Build();
  test_support::WriteFileBytes(db, old);
  ASSERT_TRUE(InsertTextEntry(db, "Вторая").ok());
  ASSERT_TRUE(InsertTextEntry(db, "Третья").ok());

  const auto once = PlanInsertion(old, "Вторая").value().image;
  EXPECT_EQ(test_support::ReadFileBytes(db), PlanInsertion(once, "Третья").value().image);
  const MissionList list = ReadMissionList(db);
  ASSERT_TRUE(list.status.ok()) << list.status.message();
  EXPECT_EQ(list.missions,
            (std::vector<MissionEntry>{{5001, "до\x1aпосле"}, {5002, "Вторая"}, {5003, "Третья"}}));
  std::vector<LayoutProblem> problems;
  EXPECT_TRUE(CheckLayout(db, [&](const LayoutProblem& p) { problems.push_back(p); }).ok());
  EXPECT_TRUE(problems.empty());
}

}  // namespace
}  // namespace orva
