// A file read whole to be kept: its bytes exactly, or a refusal in words
// when it is too large, not there, or changed by another program while it
// was read.
#include "storage/whole_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

TEST(WholeFile, ReadsEveryByteOrRefusesAFileItCannotTrust) {
  test_support::TempDir dir;
  const std::filesystem::path path = dir / "textdb_00.def";
  constexpr ReadLimit kLimit{1 << 20, "a test keeps at most a MiB"};
  // Sizes around a page and past several, so that the large pages asked for
  // and the ones the system gives change nothing of what is read.
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4095},
                                 std::size_t{4097}, std::size_t{3 << 16} + 7}) {
    std::vector<std::byte> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = std::byte(i * 131 % 251);
    test_support::WriteFileBytes(path, bytes);
    const Result<WholeFile> read = ReadWholeFileToKeep(path, kLimit);
    ASSERT_TRUE(read.ok()) << read.status().message();
    EXPECT_TRUE(std::ranges::equal(read->view(), bytes)) << size << " bytes";
    EXPECT_EQ(read->info.size, static_cast<std::int64_t>(size));
  }

  const Result<WholeFile> missing = ReadWholeFileToKeep(dir / "none.def", kLimit);
  EXPECT_EQ(missing.status().kind(), ErrorKind::kNotFound);

  test_support::WriteFileBytes(path, std::vector<std::byte>((1 << 20) + 1));
  const Result<WholeFile> large = ReadWholeFileToKeep(path, kLimit);
  EXPECT_EQ(large.status().kind(), ErrorKind::kNoRoom);
  EXPECT_NE(large.status().message().find("a test keeps at most a MiB"), std::string::npos)
      << large.status().message();

  // Another program writes it while it is read: its times move on.
  test_support::FailingFileSystem changing;
  int looks = 0;
  changing.OnStat([&](const std::filesystem::path& at, FileInfo& info) {
    // The open file, looked at once opened and again after the read.
    if (at.empty() && ++looks > 1) info.modified_ns += 1;
  });
  test_support::WriteFileBytes(path, std::vector<std::byte>(100));
  const Result<WholeFile> changed = ReadWholeFileToKeep(path, kLimit, changing);
  EXPECT_EQ(changed.status().kind(), ErrorKind::kBusy);
  EXPECT_NE(changed.status().message().find("changed while it was read"), std::string::npos)
      << changed.status().message();
  EXPECT_EQ(changing.open_descriptors(), 0u);
}

}  // namespace
}  // namespace orva
