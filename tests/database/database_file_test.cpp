// Listing, checking and inserting on files as they come: files far larger
// than what is read of them, and files read a block at a time, which must
// give what the same bytes in memory give. (Special files, which only POSIX
// systems have, are in file_system_posix_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/little_endian.h"
#include "database/mission_list.h"
#include "database/text_entry_insertion.h"
#include "tests/support/database_builder.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::DatabaseBuilder;

std::vector<LayoutProblem> CheckFile(FileSystem& fs, const fs::path& path, Status* read) {
  std::vector<LayoutProblem> problems;
  *read = CheckLayout(
      path, [&](const LayoutProblem& p) { problems.push_back(p); }, fs);
  return problems;
}

constexpr std::int64_t kLargestFile = std::numeric_limits<std::int32_t>::max();

// A valid database followed by holes up to one byte more than 32-bit offsets
// address: the list and the check read only what they look at, and the
// insertion refuses before reading anything.
TEST(DatabaseFile, AHugeFileIsAnsweredFromTheFewBytesNeeded) {
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  test_support::WriteFileBytes(
      db, DatabaseBuilder().Entry(5001, "Первый").Entry(5002, "Второй").Marker("end").Build());
  fs::resize_file(db, kLargestFile + 1);
  constexpr std::size_t kFewBytes = 1 << 20;

  test_support::FailingFileSystem listing;
  const MissionList list = ReadMissionList(db, listing);
  EXPECT_TRUE(list.status.ok()) << list.status.message();
  EXPECT_EQ(list.missions, (std::vector<MissionEntry>{{5001, "Первый"}, {5002, "Второй"}}));
  EXPECT_LT(listing.bytes_read(), kFewBytes);

  test_support::FailingFileSystem checking;
  Status read;
  const std::vector<LayoutProblem> problems = CheckFile(checking, db, &read);
  EXPECT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].what.find("2 GiB"), std::string::npos) << problems[0].what;
  EXPECT_LT(checking.bytes_read(), kFewBytes);

  test_support::FailingFileSystem inserting;
  const Result<InsertedEntry> inserted = InsertTextEntry(db, "x", inserting);
  ASSERT_FALSE(inserted.ok());
  EXPECT_EQ(inserted.status().kind(), ErrorKind::kNoRoom);
  EXPECT_EQ(inserting.bytes_read(), 0u);
}

// At the limit itself a file is sound, and an insertion may make it, but
// not one byte more: the text, its NUL and the entry count.
TEST(DatabaseFile, TheLimitOf32BitOffsetsHoldsToTheByte) {
  test_support::TempDir dir;
  const fs::path db = dir / "textdb_00.def";
  test_support::WriteFileBytes(db, DatabaseBuilder().Entry(5001, "a").Marker().Build());
  auto site_kind = [&](std::int64_t size) {
    fs::resize_file(db, static_cast<std::uintmax_t>(size));
    FileSystem& files = DefaultFileSystem();
    const int fd = files.Open(db, OpenMode::kRead).value();
    TableReader reader(files, fd, size, 4096);
    const ErrorKind kind = FindInsertionSite(reader, 2).status().kind();
    (void)files.Close(fd);
    return kind;
  };
  EXPECT_EQ(site_kind(kLargestFile - 11), ErrorKind::kOk);
  EXPECT_EQ(site_kind(kLargestFile - 10), ErrorKind::kNoRoom);
  Status read;
  test_support::FailingFileSystem checking;
  fs::resize_file(db, kLargestFile);
  EXPECT_EQ(CheckFile(checking, db, &read), std::vector<LayoutProblem>{});
}

// Databases of several blocks, well-formed and damaged in the table, in the
// texts and at block edges, read by path and from memory alike.
TEST(DatabaseFile, ReadingByBlocksGivesWhatTheBytesInMemoryGive) {
  DatabaseBuilder builder;
  for (int id = 5001; id <= 5900; ++id) builder.RawEntry(id, std::string(150, 'a'));
  builder.Marker("end");
  for (int i = 0; i < 3000; ++i) builder.RawEntry(7000 + i, std::string(90, 'z'));
  const std::vector<std::byte> well = builder.Build();
  ASSERT_GT(well.size(), 400'000u);  // several blocks of the check

  std::vector<std::vector<std::byte>> databases = {well};
  for (const std::size_t entry : {2u, 700u, 3500u}) {
    auto joined = well;  // a text not ended where the next begins
    joined[static_cast<std::size_t>(DecodeInt32(joined, 8 * entry + 4)) - 1] = std::byte{'!'};
    databases.push_back(joined);
  }
  auto unended = well;  // the last text runs to the end of the file
  unended.back() = std::byte{'!'};
  databases.push_back(unended);
  auto swapped = well;  // two entries on each other's texts, far apart
  const std::int32_t early = DecodeInt32(swapped, 8 * 10 + 4);
  EncodeInt32(swapped, 8 * 10 + 4, DecodeInt32(swapped, 8 * 3000 + 4));
  EncodeInt32(swapped, 8 * 3000 + 4, early);
  databases.push_back(swapped);

  test_support::TempDir dir;
  const fs::path path = dir / "textdb_00.def";
  for (std::size_t i = 0; i < databases.size(); ++i) {
    SCOPED_TRACE("database " + std::to_string(i));
    test_support::WriteFileBytes(path, databases[i]);
    test_support::FailingFileSystem real;
    Status read;
    const std::vector<LayoutProblem> by_path = CheckFile(real, path, &read);
    ASSERT_TRUE(read.ok()) << read.message();
    EXPECT_EQ(by_path, CheckLayout(databases[i]));
    EXPECT_EQ(by_path.empty(), i == 0);
    const MissionList listed = ReadMissionList(path);
    EXPECT_EQ(listed.missions, ReadMissionList(databases[i]).missions);
    EXPECT_EQ(listed.missions.size(), 900u);
  }
}

}  // namespace
}  // namespace orva
