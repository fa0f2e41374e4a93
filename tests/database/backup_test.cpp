// Backups as GNU cp, mv and install make them: the name each kind takes. The
// names GNU cp itself gives are asked of it in backup_gnu_test.cpp.
#include "database/backup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "database/path_text.h"

namespace orva {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFile = "textdb_00.def";

std::string NameOfBackup(BackupKind kind, const std::vector<std::string>& names) {
  const std::optional<fs::path> backup = BackupPath(fs::path("db") / kFile, {kind, ".old"}, names);
  return backup ? PathToUtf8(backup->filename()) : "none";
}

// A folder of backups numbered at random, small and past any integer type,
// among names that only look like numbered backups of the database; the
// model counts the small ones as integers and the large ones as integers
// past a prefix that puts them above every small one.
TEST(BackupPath, NumbersOneAboveTheLargestBackupHoweverLarge) {
  const std::string large = "1" + std::string(24, '0');  // 10^24, past 64 bits
  auto numbered = [](const std::string& number) { return kFile + (".~" + number + "~"); };
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> names = {kFile, kFile + std::string("~"), kFile + std::string(".old")};
    std::optional<unsigned> small_max, large_max;
    const int count = static_cast<int>(random() % 8);
    for (int i = 0; i < count; ++i) {
      const auto n = static_cast<unsigned>(1 + random() % 120);
      const std::string digits = std::to_string(n);
      switch (random() % 8) {
        case 0:
        case 1:
          names.push_back(numbered(digits));
          small_max = std::max(small_max.value_or(0), n);
          break;
        case 2: {
          const std::string padded = std::string(3 - digits.size(), '0') + digits;
          names.push_back(numbered(large.substr(0, large.size() - 3) + padded));
          large_max = std::max(large_max.value_or(0), n);
          break;
        }
        case 3:
          names.push_back(numbered("0" + digits));  // a leading zero
          break;
        case 4:
          names.push_back(numbered(digits + (n % 2 ? "x" : " ")));
          break;
        case 5:
          names.push_back(numbered((n % 2 ? "-" : "+") + digits));
          break;
        case 6:
          names.push_back("textdb_01.def.~" + digits + "~");  // another file's
          break;
        default:
          names.push_back(numbered(digits).substr(0, numbered(digits).size() - 1));
          break;
      }
    }
    names.push_back(numbered("0"));
    names.push_back(numbered(""));
    std::shuffle(names.begin(), names.end(), random);

    std::optional<std::string> next;
    if (large_max) {
      const std::string digits = std::to_string(*large_max + 1);
      next = large.substr(0, large.size() - 3) + std::string(3 - digits.size(), '0') + digits;
    } else if (small_max) {
      next = std::to_string(*small_max + 1);
    }
    SCOPED_TRACE(::testing::PrintToString(names));
    EXPECT_EQ(NameOfBackup(BackupKind::kNumbered, names), numbered(next.value_or("1")));
    EXPECT_EQ(NameOfBackup(BackupKind::kExisting, names),
              next ? numbered(*next) : kFile + std::string(".old"));
    EXPECT_EQ(NameOfBackup(BackupKind::kSimple, names), kFile + std::string(".old"));
    EXPECT_EQ(NameOfBackup(BackupKind::kNone, names), "none");
  }

  // Past the largest 64-bit number, and each carry into a new digit.
  EXPECT_EQ(NameOfBackup(BackupKind::kNumbered, {numbered("18446744073709551615")}),
            numbered("18446744073709551616"));
  for (std::size_t digits = 1; digits <= 40; ++digits) {
    EXPECT_EQ(NameOfBackup(BackupKind::kExisting, {numbered(std::string(digits, '9')),
                                                   numbered(std::string(digits, '8'))}),
              numbered("1" + std::string(digits, '0')));
  }
}

}  // namespace
}  // namespace orva
