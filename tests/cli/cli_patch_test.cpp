// orva-cli diff, patch create and patch apply.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"

namespace orva {
namespace {

using test_support::Bytes;
using test_support::DatabaseBuilder;
using Outcome = test_support::CliOutcome;

// A modder's two versions: one text changed, one mission removed, two
// inserted (the second with a tab), one id repeated.
class CliPatchTest : public test_support::CliFixture {
 protected:
  static DatabaseBuilder Campaign(std::string_view third = "Ночной налёт",
                                  std::string_view first = "Обучение") {
    return std::move(DatabaseBuilder()
                         .Entry(5001, first)
                         .Entry(5002, "Патруль")
                         .Entry(5003, third)
                         .Entry(5004, "Конвой"));
  }
  CliPatchTest()
      : old_(Campaign().Marker("конец").Entry(7000, "a").Entry(7000, "b").Build()),
        new_(Campaign("Ночной конвой")
                 .Entry(5005, "Новая")
                 .Entry(5006, "Ещё\tодна")
                 .Marker("конец")
                 .Entry(7000, "a")
                 .Entry(7000, "b")
                 .Build()),
        old_path_(Database(old_, "old.def")),
        new_path_(Database(WithoutEntry(new_, 5004), "new.def")) {}

  // The bytes without the entry of that id, as orva-cli remove leaves them.
  std::vector<std::byte> WithoutEntry(const std::vector<std::byte>& bytes, int id) {
    const std::string path = Database(bytes, "scratch.def");
    EXPECT_EQ(Run({"remove", path, std::to_string(id)}).exit_code, 0);
    return test_support::ReadFileBytes(path);
  }
  std::string Patch() {
    std::string patch = (dir_ / "mod.orvapatch").string();
    const Outcome o = Run({"patch", "create", old_path_, new_path_, "-o", patch});
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, "changed 1, inserted 2, removed 1, size change +17 bytes\n");
    return patch;
  }
  std::string File(const std::string& name, const std::string& content) {
    test_support::WriteFileBytes(dir_ / name, Bytes(content));
    return (dir_ / name).string();
  }
  static std::vector<std::byte> Read(const std::string& path) {
    return test_support::ReadFileBytes(path);
  }

  const std::vector<std::byte> old_;
  const std::vector<std::byte> new_;
  const std::string old_path_;
  const std::string new_path_;
};

// diff exits as diff(1) does: 0 equal, 1 different, 2 for trouble, with one
// line per difference by id.
TEST_F(CliPatchTest, DiffTellsEqualFromDifferentFromUnreadable) {
  const Outcome same = Run({"diff", old_path_, old_path_});
  EXPECT_EQ(same.exit_code, 0) << same.err;
  EXPECT_EQ(same.out, "");

  const Outcome differ = Run({"diff", old_path_, new_path_});
  EXPECT_EQ(differ.exit_code, 1) << differ.err;
  EXPECT_EQ(differ.out,
            "changed 5003\tНочной налёт\tНочной конвой\n"
            "removed 5004\tКонвой\n"
            "added 5005\tНовая\n"
            "added 5006\tЕщё\\tодна\n");
  const auto document = nlohmann::json::parse(Run({"diff", "--json", old_path_, new_path_}).out);
  EXPECT_EQ(document["changed"][0]["old_text"], "Ночной налёт");
  EXPECT_EQ(document["added"][1]["text"], "Ещё\tодна");
  EXPECT_EQ(document["added"][1]["slot"], 5);
  EXPECT_EQ(document["removed"][0]["key"], "5004");
  EXPECT_TRUE(document["other"].empty());

  // Bytes outside the texts count as a difference too.
  const std::string trailing = Database(Campaign().Marker("конец").Trailing("!").Build(), "t.def");
  const std::string base = Database(Campaign().Marker("конец").Build(), "b.def");
  const Outcome other = Run({"diff", base, trailing});
  EXPECT_EQ(other.exit_code, 1);
  EXPECT_EQ(other.out,
            "other\tthe bytes after the last text differ (0 bytes in the old version, 1 "
            "byte in the new)\n");
  // As many bytes after the last text, but other ones: diff tells them
  // apart, and no patch can be made that would lose them.
  const std::string other_tail =
      Database(Campaign().Marker("конец").Trailing("?").Build(), "q.def");
  const Outcome tails = Run({"diff", trailing, other_tail});
  EXPECT_EQ(tails.exit_code, 1);
  EXPECT_EQ(tails.out,
            "other\tthe bytes after the last text differ (1 byte in the old version, 1 "
            "byte in the new)\n");
  const Outcome no_patch =
      Run({"patch", "create", trailing, other_tail, "-o", (dir_ / "tails.orvapatch").string()});
  EXPECT_NE(no_patch.exit_code, 0);
  EXPECT_NE(no_patch.err.find("the bytes after the last text differ"), std::string::npos)
      << no_patch.err;

  for (const std::string& bad : {(dir_ / "none.def").string(), File("junk.def", "xyz")}) {
    const Outcome trouble = Run({"diff", old_path_, bad});
    EXPECT_EQ(trouble.exit_code, 2) << bad;
    EXPECT_EQ(trouble.out, "");
    EXPECT_EQ(Lines(trouble.err), 1) << trouble.err;
  }
  EXPECT_EQ(Run({"diff", old_path_}).exit_code, 2);
}

// A patch made, applied to a copy of the old version, and undone.
TEST_F(CliPatchTest, ApplyGivesTheNewVersionAndReverseTheOld) {
  const std::string patch = Patch();
  const std::string copy = Database(old_, "copy.def");
  const Outcome applied = Run({"patch", "apply", "-b", copy, patch});
  ASSERT_EQ(applied.exit_code, 0) << applied.err;
  EXPECT_EQ(applied.err, "");
  EXPECT_EQ(Read(copy), Read(new_path_));
  EXPECT_EQ(Read(copy + "~"), old_);
  const Outcome undone = Run({"patch", "apply", "--reverse", copy, patch});
  ASSERT_EQ(undone.exit_code, 0) << undone.err;
  EXPECT_EQ(Read(copy), old_);
  // The patch goes to standard output as well, and never over a version.
  EXPECT_EQ(Bytes(Run({"patch", "create", old_path_, new_path_}).out), Read(patch));
  const Outcome over = Run({"patch", "create", old_path_, new_path_, "-o", new_path_});
  EXPECT_EQ(over.exit_code, 1);
  EXPECT_NE(over.err.find("the file it is made from"), std::string::npos) << over.err;
}

// Every way patch apply refuses, and what it takes: each refusal leaves the
// file as it was.
TEST_F(CliPatchTest, ApplyRefusesWhatDoesNotFitAndSaysWhere) {
  const std::string patch = Patch();
  auto refused = [&](const std::vector<std::string>& args, const std::string& file,
                     const std::string& said) {
    const std::vector<std::byte> before = Read(file);
    const Outcome o = Run(args);
    EXPECT_EQ(o.exit_code, 1) << said;
    EXPECT_NE(o.err.find(said), std::string::npos) << o.err;
    EXPECT_EQ(Read(file), before) << said;
  };

  // Another language's copy whose changed entry differs: named, with both texts.
  const std::string translated = Database(
      Campaign("Night convoy").Marker("конец").Entry(7000, "a").Entry(7000, "b").Build(), "en.def");
  refused({"patch", "apply", translated, patch}, translated,
          "mod.orvapatch:4: 5003: expected \"Ночной налёт\", found \"Night convoy\"\n");

  // Another copy whose touched entries are as expected: applied, its own
  // texts kept.
  const std::string other = Database(Campaign("Ночной налёт", "Training")
                                         .Marker("конец")
                                         .Entry(7000, "a")
                                         .Entry(7000, "b")
                                         .Build(),
                                     "other.def");
  const Outcome fits = Run({"patch", "apply", other, patch});
  ASSERT_EQ(fits.exit_code, 0) << fits.err;
  EXPECT_NE(fits.err.find("other.def is not the file the patch was made from"), std::string::npos)
      << fits.err;
  const std::string expected = Database(new_, "expected.def");
  ASSERT_EQ(Run({"set", expected, "5001", "Training"}).exit_code, 0);
  ASSERT_EQ(Run({"remove", expected, "5004"}).exit_code, 0);
  EXPECT_EQ(Read(other), Read(expected));

  // Applied twice: the entries it changed are named.
  const std::string twice = Database(Read(new_path_), "twice.def");
  refused({"patch", "apply", twice, patch}, twice,
          "5003: expected \"Ночной налёт\", found \"Ночной конвой\"");
  refused({"patch", "apply", twice, patch}, twice, "it was applied before");
  // Another file of the result's size is no file the patch was applied to.
  const std::string alike = Database(Read(new_path_), "alike.def");
  ASSERT_EQ(Run({"set", alike, "5003", "Ночной конвоЙ"}).exit_code, 0);
  ASSERT_EQ(Read(alike).size(), Read(new_path_).size());
  refused({"patch", "apply", alike, patch}, alike,
          "problems, so the patch was not applied (the file is not the one the patch was made "
          "from)\n");

  // A damaged patch: its file and line.
  const std::vector<std::byte> written = Read(patch);
  const std::string text(reinterpret_cast<const char*>(written.data()), written.size());
  const std::string damaged =
      File("damaged.orvapatch", std::string(text).replace(text.find("change"), 6, "chnage"));
  const std::string copy = Database(old_, "copy.def");
  refused({"patch", "apply", copy, damaged}, copy, "damaged.orvapatch:4: 'chnage' is no record");

  // The right base, but a result that is not what the patch names.
  std::string wrong = text;
  const std::size_t digest = wrong.find("sha256 ", wrong.find("result")) + 7;
  wrong[digest] = wrong[digest] == '0' ? '1' : '0';
  const std::string wrong_patch = File("wrong.orvapatch", wrong);
  refused({"patch", "apply", copy, wrong_patch}, copy,
          "wrong.orvapatch:3: the database is the file the patch was made from, yet");
  // As JSON a refused patch counts nothing, and a problem of the patch as a
  // whole is the patch's, without a line.
  const auto counted =
      nlohmann::json::parse(Run({"patch", "apply", "--json", copy, wrong_patch}).out);
  for (const char* count : {"changed", "inserted", "removed", "size_change"}) {
    EXPECT_EQ(counted[count], 0) << count;
  }
  const std::string empty = File("empty.orvapatch", "");
  const auto unread = nlohmann::json::parse(Run({"patch", "apply", "--json", copy, empty}).out);
  ASSERT_EQ(unread["problems"].size(), 1u) << unread;
  EXPECT_EQ(unread["problems"][0]["file"], empty);
  EXPECT_EQ(unread["problems"][0]["line"], nullptr);

  // A dry run says what it would do and writes nothing.
  const Outcome dry = Run({"patch", "apply", "--dry-run", copy, patch});
  EXPECT_EQ(dry.exit_code, 0) << dry.err;
  EXPECT_EQ(dry.out,
            "changed 1, inserted 2, removed 1, size change +17 bytes (dry run: nothing "
            "was written)\n");
  EXPECT_EQ(Read(copy), old_);
}

}  // namespace
}  // namespace orva
