#include "exchange/entry_patch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "database/layout_check.h"
#include "database/sha256.h"
#include "exchange/patch_file.h"
#include "storage/file_system.h"
#include "tests/support/database_builder.h"
#include "tests/support/edited_databases.h"
#include "tests/support/failing_file_system.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

std::vector<std::byte> Applied(std::span<const std::byte> db, const Patch& patch,
                               std::string* problem = nullptr) {
  const std::vector<EntryText> entries = ReadEntryTexts(db).value();
  const PatchPlan plan = PlanPatch(db, entries, Sha256Of(db), patch);
  if (!plan.problems.empty()) {
    if (problem != nullptr)
      *problem = plan.problems.front().key + ": " + plan.problems.front().what;
    return {};
  }
  return Joined(plan.contents);
}

// Only printable characters and line feeds: no text breaks a record's line.
bool PrintableLines(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) < 0xA0 &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80;
    if ((c < 0x20 && c != '\n') || c == 0x7F || c1) return false;
  }
  return true;
}

// Old versions at random, new ones made from them by random edits: the
// patch gives the new version from the old byte for byte, undone it gives
// the old one back, it holds a record for each entry that differs and no
// more, and it reads back to itself. A new version whose shared entries
// stand in another order (an entry of a repeated id removed before another
// entry) is refused with that reason.
TEST(Patch, MakesTheNewVersionFromTheOldAndBack) {
  test_support::Generated generated(20261230);
  test_support::Editor editor(generated);
  int made = 0;
  int refused = 0;
  for (int round = 0; round < 400; ++round) {
    const std::vector<std::byte> old_db = generated.Next();
    const std::vector<std::byte> new_db = editor.Edit(old_db, generated.Pick(1, 6));
    Result<CreatedPatch> created = CreatePatch(old_db, new_db, "old", "new");
    const std::vector<EntryText> olds = ReadEntryTexts(old_db).value();
    const std::vector<EntryText> news = ReadEntryTexts(new_db).value();
    const EntryDiff diff = DiffEntries(olds, EntryIndex(olds), news, EntryIndex(news));
    if (!created.ok()) {
      ASSERT_TRUE(diff.reordered.has_value()) << round << ": " << created.status().message();
      ASSERT_NE(created.status().message().find("in one order in the old version"),
                std::string::npos);
      ++refused;
      continue;
    }
    const PatchReading reading = ReadPatch(created->text);
    ASSERT_TRUE(reading.problems.empty()) << round << ": line " << reading.problems.front().line
                                          << ": " << reading.problems.front().what << "\n"
                                          << created->text;
    ASSERT_EQ(WritePatch(reading.patch), created->text);
    ASSERT_TRUE(PrintableLines(created->text)) << created->text;
    ASSERT_EQ(reading.patch.records.size(), diff.differences.size());
    // A key is numbered where either version holds its id more than once.
    const EntryIndex old_index(olds), new_index(news);
    for (const PatchRecord& record : reading.patch.records) {
      const bool repeated =
          old_index.Count(record.key.id) > 1 || new_index.Count(record.key.id) > 1;
      ASSERT_EQ(record.key.numbered, repeated) << round << ": " << record.key.Text();
    }
    const PatchCounts& counts = created->counts;
    ASSERT_EQ(counts.changed + counts.inserted + counts.removed, diff.differences.size());

    std::string problem;
    ASSERT_EQ(Applied(old_db, reading.patch, &problem), new_db) << round << ": " << problem;
    ASSERT_EQ(Applied(new_db, Reversed(reading.patch), &problem), old_db)
        << round << ": " << problem;
    // Applied a second time, a patch that changes anything finds its
    // entries already changed.
    if (!reading.patch.records.empty()) {
      ASSERT_TRUE(Applied(new_db, reading.patch).empty()) << round << "\n" << created->text;
    }
    ++made;
  }
  EXPECT_GT(made, 300);
  EXPECT_GT(refused, 0);
}

TEST(Patch, IsRefusedWhereTheVersionsDifferInWhatEntriesCannotSay) {
  const auto base = [] { return DatabaseBuilder().Entry(5001, "a").Marker("z"); };
  Result<CreatedPatch> header = CreatePatch(base().Build(), base().HeaderWord(9).Build(), "a", "b");
  ASSERT_FALSE(header.ok());
  EXPECT_EQ(header.status().message(),
            "a patch holds entries and their texts alone, so none can make b from a: the header "
            "word is 0x00010203 in the old version and 0x00000009 in the new");
  // The bytes after the last text count by what they are, not only by how
  // many there are.
  Result<CreatedPatch> tail =
      CreatePatch(base().Trailing("abc").Build(), base().Trailing("abd").Build(), "a", "b");
  ASSERT_FALSE(tail.ok());
  EXPECT_NE(tail.status().message().find("the bytes after the last text differ"), std::string::npos)
      << tail.status().message();
  auto broken = base().Build();
  broken[12] = std::byte{0x7F};  // entry 1's text far past the end
  Result<CreatedPatch> damaged = CreatePatch(base().Build(), broken, "a", "b");
  ASSERT_FALSE(damaged.ok());
  EXPECT_TRUE(damaged.status().message().starts_with("b: the database is not well-formed"))
      << damaged.status().message();
}

// Another copy that has fewer entries of an id than the patch's base: the
// entry the patch inserts would get another key there, so it is refused
// rather than put where the patch would no longer name it.
TEST(Patch, InsertsNothingWhereItWouldBeNamedOtherwise) {
  const auto old_db =
      DatabaseBuilder().Entry(10, "x").Entry(10, "y").Entry(5001, "a").Marker("z").Build();
  const auto new_db = DatabaseBuilder()
                          .Entry(10, "x")
                          .Entry(10, "y")
                          .Entry(5001, "a")
                          .Entry(10, "new")
                          .Marker("z")
                          .Build();
  const PatchReading reading = ReadPatch(CreatePatch(old_db, new_db, "old", "new").value().text);
  ASSERT_EQ(Applied(old_db, reading.patch), new_db);
  const auto fewer = DatabaseBuilder().Entry(10, "y").Entry(5001, "a").Marker("z").Build();
  std::string problem;
  EXPECT_TRUE(Applied(fewer, reading.patch, &problem).empty());
  EXPECT_EQ(problem,
            "10#3: in the patched file it would be 10#2: the entries with its id would not stand "
            "as in the file the patch was made from");
}

// A difference as it is told: its kind and key, and of each side the slot and
// the text.
std::vector<std::string> Told(const EntryDiff& diff) {
  std::vector<std::string> told;
  auto side = [](const EntryText* e) {
    return e == nullptr ? std::string("-")
                        : std::to_string(e->slot) + " " + QuotedPatchText(e->text);
  };
  for (const EntryDifference& d : diff.differences) {
    told.push_back(std::to_string(static_cast<int>(d.kind)) + " " + d.key.Text() + " " +
                   side(d.old_entry) + " " + side(d.new_entry));
  }
  return told;
}

// Read from their files, the new version summed up and let go of before the
// old one is read whole, two versions give the differences, the patch and the
// refusals that both held whole give.
TEST(FromFiles, SayWhatTheVersionsHeldWholeSay) {
  test_support::TempDir dir;
  const auto old_path = dir / "old.def";
  const auto new_path = dir / "new.def";
  test_support::Generated generated(20270111);
  test_support::Editor editor(generated);
  FileSystem& fs = DefaultFileSystem();
  int differing = 0;
  for (int round = 0; round < 300; ++round) {
    const std::vector<std::byte> old_db = generated.Next();
    const std::vector<std::byte> new_db = editor.Edit(old_db, generated.Pick(0, 6));
    test_support::WriteFileBytes(old_path, old_db);
    test_support::WriteFileBytes(new_path, new_db);

    const std::vector<EntryText> olds = ReadEntryTexts(old_db).value();
    const std::vector<EntryText> news = ReadEntryTexts(new_db).value();
    const EntryDiff whole = DiffEntries(olds, EntryIndex(olds), news, EntryIndex(news));
    const TextDigester digester;
    const SummedVersion summed = SumUpVersion(new_path, digester, false, fs).value();
    const EntryIndex old_index(olds);
    const SummedDiff read =
        DiffEntries(fs, olds, old_index, summed, EntryIndex(summed.entries), digester).value();
    ASSERT_EQ(Told(read.diff), Told(whole)) << "round " << round;
    ASSERT_EQ(read.diff.reordered, whole.reordered) << "round " << round;
    ASSERT_EQ(OtherDifferences(SurroundingsOf(old_db, olds), summed.surroundings(), read.diff),
              OtherDifferences(old_db, olds, new_db, news, whole));
    differing += whole.differences.empty() ? 0 : 1;

    const Result<CreatedPatch> in_memory = CreatePatch(old_db, new_db, "old", "new");
    const Result<CreatedPatch> from_files = CreatePatch(old_path, new_path, "old", "new", fs);
    ASSERT_EQ(from_files.ok(), in_memory.ok()) << "round " << round;
    if (in_memory.ok()) {
      ASSERT_EQ(from_files->text, in_memory->text) << "round " << round;
      ASSERT_EQ(from_files->counts.size_change, in_memory->counts.size_change);
    } else {
      ASSERT_EQ(from_files.status().message(), in_memory.status().message());
    }
  }
  EXPECT_GT(differing, 200);
}

// Another program changes the new version after it was summed up, before the
// texts that differ are read from it again: in its texts (of the same size),
// or only in what its times say. Neither a diff nor a patch is made of it.
TEST(FromFiles, RefuseANewVersionThatChangesMeanwhile) {
  test_support::TempDir dir;
  const auto old_path = dir / "old.def";
  const auto new_path = dir / "new.def";
  auto version = [](std::string_view second) {
    return DatabaseBuilder().Entry(5001, "Alpha").Entry(5002, second).Marker("z").Build();
  };
  for (const bool texts : {true, false}) {
    for (const bool patch : {true, false}) {
      test_support::WriteFileBytes(old_path, version("Beta"));
      test_support::WriteFileBytes(new_path, version("Gamma"));
      test_support::FailingFileSystem fs;
      int reads = 0;  // the new version whole, the old one whole, then again
      fs.OnCall([&](test_support::Call call) {
        if (call == test_support::Call::kReadAt && ++reads == 3 && texts) {
          test_support::WriteFileBytes(new_path, version("Delta"));
        }
      });
      fs.OnStat([&](const std::filesystem::path& path, FileInfo& info) {
        if (path.empty() && reads >= 3 && !texts) ++info.changed_ns;
      });
      Status refused;
      if (patch) {
        refused = CreatePatch(old_path, new_path, "old", "new", fs).status();
      } else {
        const TextDigester digester;
        const SummedVersion news = SumUpVersion(new_path, digester, false, fs).value();
        const std::vector<std::byte> old_db = version("Beta");
        const std::vector<EntryText> olds = ReadEntryTexts(old_db).value();
        ++reads;  // as though the old version were read from its file
        refused = DiffEntries(fs, olds, EntryIndex(olds), news, EntryIndex(news.entries), digester)
                      .status();
      }
      EXPECT_EQ(refused.kind(), ErrorKind::kBusy) << texts << patch;
      EXPECT_NE(refused.message().find("new.def' changed while it was read"), std::string::npos)
          << refused.message();
      EXPECT_EQ(patch, refused.message().starts_with("new: "));
    }
  }
}

// A damaged or made-up patch: each problem is named with its line.
TEST(ReadPatch, NamesTheLineOfEachProblem) {
  const std::string head =
      "orva-patch 1\n"
      "base 40 bytes sha256 " +
      std::string(64, 'a') +
      "\n"
      "result 40 bytes sha256 " +
      std::string(64, 'b') + "\n";
  struct Case {
    std::string patch;
    std::size_t line;
    std::string problem;
  };
  const Case cases[] = {
      {"", 0, "the file is empty"},
      {"--- a/textdb\n", 1, "this is no ORVA patch"},
      {"orva-patch 2\n", 1, "of version '2'"},
      {"orva-patch 1\nbase 40 bytes sha256 abc\n", 2, "with 64 hex digits"},
      {"orva-patch 1\nbase 2147483648 bytes sha256 " + std::string(64, 'a') + "\n", 2,
       "no size of a database"},
      {"orva-patch 1\nbase -1 bytes sha256 " + std::string(64, 'a') + "\n", 2,
       "no size of a database"},
      {"orva-patch 1\nchange 1 \"a\" \"b\"\n", 2, "must come before the records"},
      {head, 0, ""},
      {head + "\n# a comment\nchange 1 \"a\" \"ab\"\n", 3, "the records make a file of 40 bytes"},
      {head + "change 1 \"a\" \"b\"\nchange 1 \"b\" \"a\"\n", 5, "touched already, at line 4"},
      {head + "replace 1 \"a\" \"b\"\n", 4, "no record of a patch"},
      {head + "change x1 \"a\" \"b\"\n", 4, "'x1' is no entry's key"},
      {head + "change 1#0 \"a\" \"b\"\n", 4, "'1#0' is no entry's key"},
      {head + "change 2147483648 \"a\" \"b\"\n", 4, "is no entry's key"},
      {head + "change 1 \"a\" \"b\n", 4, "no closing double quote"},
      {head + "change 1 \"a\" \"\\q\"\n", 4, "unknown escape \\q"},
      {head + "change 1 \"a\" \"\\400\"\n", 4, "stands for no byte"},
      {head + "change 1 \"a\" \"日本\"\n", 4, "日"},
      {head + "change 1 \"a\" \"b\\0\"\n", 4, "NUL"},
      {head + "change 1 \"a\" \"b\" x\n", 4, "goes on after its record"},
      {head + "remove 1 \"a\"\n", 4, "'after KEY' or 'first'"},
      {head + "insert 1 after 1 \"a\"\n", 4, "cannot come after itself"},
      {head + "insert 7#3 first \"a\"\nremove 7#2 first \"a\"\n", 4, "both gain and lose"},
      {head + "insert 7#3 first \"a\"\ninsert 7#5 after 7#3 \"a\"\n", 5, "without a gap"},
      {head + "insert 7#3 first \"a\"\nchange 7#4 \"a\" \"b\"\n", 5, "comes before it"},
      {head + "insert 7 after 8 \"\"\ninsert 9 after 8 \"\"\n", 5, "puts another entry after 8"},
      {head + "insert 7 after 9 \"\"\ninsert 9 after 7 \"\"\n", 4, "go round in a loop"},
      {head + "insert 7 after 9 \"\"\nremove 9 first \"\"\n", 4, "does not have"},
  };
  for (const Case& c : cases) {
    const PatchReading reading = ReadPatch(c.patch);
    if (c.problem.empty()) {
      EXPECT_TRUE(reading.problems.empty()) << c.patch;
      continue;
    }
    ASSERT_FALSE(reading.problems.empty()) << c.patch;
    const PatchProblem& p = reading.problems.front();
    EXPECT_EQ(p.line, c.line) << c.patch << p.what;
    EXPECT_NE(p.what.find(c.problem), std::string::npos) << c.patch << p.what;
  }
}

}  // namespace
}  // namespace orva
