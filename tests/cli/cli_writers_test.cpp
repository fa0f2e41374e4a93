// orva-cli's writing commands against a full disk and against another writer
// that holds the database.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"
#include "cli/formats.h"
#include "database/code_page.h"
#include "database/insertion_plan.h"
#include "database/read_limits.h"
#include "database/text_edit.h"
#include "storage/database_rewrite.h"
#include "storage/file_system.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"
#include "tests/support/failing_file_system.h"

namespace orva {
namespace {

using test_support::Call;
using test_support::DatabaseBuilder;
using test_support::FailingFileSystem;
using Outcome = test_support::CliOutcome;

Outcome RunOn(FileSystem& fs, const std::vector<std::string>& args) {
  std::vector<std::string_view> views(args.begin(), args.end());
  std::istringstream in;
  std::ostringstream out, err;
  const int code = cli::Run(views, in, out, err, fs);
  return {code, out.str(), err.str()};
}

class CliWritersTest : public test_support::CliFixture {
 protected:
  CliWritersTest()
      : old_(DatabaseBuilder()
                 .Entry(5001, "Ёлка у реки")
                 .Entry(5002, "Патруль над рекой")
                 .Marker("конец")
                 .Entry(1200, "заметка")
                 .Build()),
        db_(Database(old_)),
        other_(Database(DatabaseBuilder()
                            .Entry(5001, "Ёлка у реки")
                            .Entry(5002, "Патруль над морем")
                            .Marker("конец")
                            .Entry(1200, "заметка")
                            .Build(),
                        "other.def")) {
    EXPECT_EQ(Run({"export", db_, "-o", Path("base.po")}).exit_code, 0);
    EXPECT_EQ(Run({"patch", "create", db_, other_, "-o", Path("base.orvapatch")}).exit_code, 0);
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  std::string Texts() const {
    std::string texts;
    const std::vector<std::byte> bytes = test_support::ReadFileBytes(db_);
    const std::vector<EntryText> entries = ReadEntryTexts(bytes).value();
    for (const EntryText& entry : entries) {
      texts += std::to_string(entry.id) + "=" + ExchangeText(entry.text) + ";";
    }
    return texts;
  }

  // Every command that writes, as a script runs it, with the file it writes
  // besides the database (nothing: the database alone).
  struct Command {
    std::vector<std::string> args;
    std::string output;
  };
  std::vector<Command> Writers() const {
    return {
        {{"insert", db_, "Новая миссия"}, ""},
        {{"set", db_, "5002", "Дозор над рекой"}, ""},
        {{"remove", db_, "1200"}, ""},
        {{"replace", db_, "рек", "озер"}, ""},
        {{"replace", "--regex", db_, "(\\S+) над", "$1 за"}, ""},
        {{"import", db_, Path("translated.po")}, ""},
        {{"patch", "apply", db_, Path("base.orvapatch")}, ""},
        {{"export", db_, "-o", Path("out.po")}, "out.po"},
        {{"export", db_, "--format", "csv", "-o", Path("out.csv")}, "out.csv"},
        {{"patch", "create", db_, other_, "-o", Path("out.orvapatch")}, "out.orvapatch"},
    };
  }

  void Translate() const {
    const std::vector<std::byte> bytes = test_support::ReadFileBytes(dir_ / "base.po");
    std::string po(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string source = "msgid \"заметка\"\nmsgstr \"\"";
    ASSERT_NE(po.find(source), std::string::npos) << po;
    po.replace(po.find(source), source.size(), "msgid \"заметка\"\nmsgstr \"записка\"");
    test_support::WriteFileBytes(dir_ / "translated.po", test_support::Bytes(po));
  }

  const std::vector<std::byte> old_;
  const std::string db_;
  const std::string other_;
};

// A full disk refuses every writing command, with the file that could not
// be written named: the output of an export or a patch, the database for a
// change (its new contents go beside it), the backup for -b. Nothing
// changes.
TEST_F(CliWritersTest, AFullDiskIsReportedAgainstTheFileThatCouldNotBeWritten) {
  Translate();
  for (const bool backup : {false, true}) {
    for (Command command : Writers()) {
      if (backup && !command.output.empty()) continue;
      if (backup) command.args.push_back("-b");
      const std::string what = command.args[0] + " " + command.args[1] + " " + command.args[2];
      // Which writes the command makes, on a disk with room.
      FailingFileSystem counting;
      const Outcome made = RunOn(counting, command.args);
      ASSERT_EQ(made.exit_code, 0) << what << ": " << made.err;
      test_support::WriteFileBytes(db_, old_);
      std::filesystem::remove(db_ + "~");
      if (!command.output.empty()) std::filesystem::remove(Path(command.output));
      std::vector<std::size_t> writes;
      for (std::size_t n = 0; n < counting.calls().size(); ++n) {
        if (counting.calls()[n] == Call::kWrite) writes.push_back(n + 1);
      }
      ASSERT_FALSE(writes.empty()) << what << (backup ? " -b" : "") << ": " << made.out;
      // The disk full from the first write on, or with -b from the backup's,
      // which is written last.
      FailingFileSystem full;
      full.FailCall(backup ? writes.back() : writes.front(), true, "No space left on device");
      const Outcome refused = RunOn(full, command.args);
      SCOPED_TRACE(what + ": " + refused.err);
      EXPECT_EQ(refused.exit_code, 1);
      EXPECT_NE(refused.err.find("No space left on device"), std::string::npos);
      const std::string named = backup                   ? "textdb_00.def~'"
                                : command.output.empty() ? "textdb_00.def"
                                                         : command.output + "'";
      EXPECT_NE(refused.err.find(named), std::string::npos) << "expected " << named;
      if (!command.output.empty()) {
        // Messages are escaped as texts: a backslash of a Windows path is doubled.
        EXPECT_EQ(refused.err.rfind("orva-cli: " + cli::EscapeText(Path(command.output)) + ": ", 0),
                  0u);
        EXPECT_FALSE(std::filesystem::exists(Path(command.output)));
      }
      EXPECT_EQ(test_support::ReadFileBytes(db_), old_);
      EXPECT_FALSE(std::filesystem::exists(db_ + "~"));
    }
  }
}

// Two scripts that write the same database at the same moment both land: a
// command that plans its change from the file waits while another writer
// holds it, then plans from what that writer left, rather than refusing
// the file as changed since it was read.
TEST_F(CliWritersTest, ACommandWaitsForAnotherWriterAndKeepsItsChange) {
#ifdef _WIN32
  // Under wine the writer held by another thread of this process was seen not
  // to hold the command back; until that is understood, Linux alone checks it.
  GTEST_SKIP() << "the lock between two threads of one process is checked on Linux";
#endif
  Translate();
  for (const Command& command : Writers()) {
    if (!command.output.empty()) continue;
    test_support::WriteFileBytes(db_, old_);
    SCOPED_TRACE(command.args[0] + " " + command.args[1]);
    // The other writer: it holds the database's lock until the command has
    // started, then inserts a text (a change of a text could be a conflict
    // of its own: import refuses a text changed since the export).
    std::atomic<bool> holding = false;
    std::atomic<bool> release = false;
    std::thread other([&] {
      const Result<Rewritten> rewritten = RewriteDatabase(
          db_, kDatabaseReadLimit, [&](std::span<const std::byte> bytes) -> Result<NewContents> {
            holding = true;
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            Result<PlannedInsertion> inserted = PlanInsertion(bytes, "Сосна");
            if (!inserted.ok()) return inserted.status();
            NewContents contents;
            contents.Add(std::move(inserted->image));
            return contents;
          });
      EXPECT_TRUE(rewritten.ok()) << rewritten.status().message();
    });
    while (!holding) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    Outcome outcome;
    std::thread command_run([&] { outcome = Run(command.args); });
    // Long enough for the command to read the file, were it to read it
    // before it waits for the lock.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    release = true;
    other.join();
    command_run.join();
    EXPECT_EQ(outcome.exit_code, 0) << outcome.err;
    const std::string texts = Texts();
    EXPECT_NE(texts.find("=Сосна;"), std::string::npos) << texts;
    EXPECT_NE(texts, "5001=Ёлка у реки;5002=Патруль над рекой;5003=Сосна;6000=конец;1200=заметка;")
        << "the command changed nothing";
  }
}

}  // namespace
}  // namespace orva
