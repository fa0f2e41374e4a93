#include "spelling/team_words.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

namespace fs = std::filesystem;
using test_support::FailingFileSystem;
using test_support::ReadFileBytes;
using test_support::TempDir;
using test_support::WriteFileBytes;

std::vector<std::byte> Bytes(std::string_view text) {
  const auto* data = reinterpret_cast<const std::byte*>(text.data());
  return {data, data + text.size()};
}

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(TeamWords, ReadsOneWordALineWhateverTheLineEnds) {
  EXPECT_EQ(ParseTeamWords("\xEF\xBB\xBF# names\r\nОрвалия\n\nZarkon\r\nкто-то").value(),
            (std::vector<std::string>{"Орвалия", "Zarkon", "кто-то"}));
  EXPECT_EQ(ParseTeamWords("").value(), std::vector<std::string>{});
  TempDir dir;
  EXPECT_EQ(ReadTeamWords(dir / "none.txt").value(), std::vector<std::string>{});
  EXPECT_EQ(TeamWordsBeside(dir / "textdb_00.def"), dir / "orva-words.txt");
}

// Each call of an addition is failed in turn, once and for good, over a list
// and where there is none yet: afterwards the list is the old one or the old
// one with the word, nothing else is left in the folder, and an addition
// reported as done is in the file.
TEST(TeamWords, AFailureAtAnyCallLeavesTheOldListOrTheNewOne) {
  const std::string old_list = "Орвалия\nZarkon";  // no line end after the last word
  const std::string new_list = old_list + "\nКрейнхолд\n";
  for (const bool existing : {true, false}) {
    std::size_t calls = 0;
    for (std::size_t n = 1; calls == 0 || n <= calls + 1; ++n) {
      for (const bool persistently : {false, true}) {
        SCOPED_TRACE("call " + std::to_string(n) + (persistently ? " for good" : " once") +
                     (existing ? ", over a list" : ", a new list"));
        TempDir dir;
        const fs::path list = dir / "orva-words.txt";
        if (existing) WriteFileBytes(list, Bytes(old_list));
        FailingFileSystem failing;
        failing.FailCall(n, persistently);
        const Status added = AddTeamWord(list, "Крейнхолд", failing);
        if (!failing.failed_kind()) calls = failing.calls().size();

        EXPECT_EQ(failing.open_descriptors(), 0u);
        const bool there = fs::exists(list);
        EXPECT_EQ(Names(dir.path()),
                  there ? std::vector<std::string>{"orva-words.txt"} : std::vector<std::string>{});
        const std::vector<std::byte> now = there ? ReadFileBytes(list) : std::vector<std::byte>{};
        if (added.ok()) {
          EXPECT_EQ(now, Bytes(existing ? new_list : "Крейнхолд\n"));
        } else {
          EXPECT_FALSE(added.message().empty());
          if (existing) {
            EXPECT_TRUE(now == Bytes(old_list) || now == Bytes(new_list));
          } else {
            EXPECT_TRUE(!there || now == Bytes("Крейнхолд\n"));
          }
        }
      }
    }
    EXPECT_GT(calls, 6u);
  }
}

}  // namespace
}  // namespace orva
