// What the editor window does, without a toolkit: EditorLogic driven as a
// view drives it, with a fake view that keeps what a screen would show, on
// database files made by the builder in a scratch folder, and checked against
// what orva-cli makes of the same steps.
#include "window/editor_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <numeric>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "database/text_edit.h"
#include "exchange/translation_files.h"
#include "session/edit_session.h"
#include "tests/support/cli_run.h"
#include "tests/support/database_builder.h"
#include "tests/support/edited_databases.h"
#include "tests/support/generated_databases.h"
#include "tests/support/temp_dir.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;
using test_support::ReadFileBytes;
using test_support::RunCli;
using test_support::WriteFileBytes;

class FakeView : public EditorView {
 public:
  std::optional<std::string> ChooseFile(const FileRequest& request) override {
    requests.push_back(request);
    return Next(files, std::optional<std::string>());
  }
  void ShowMessage(MessageIcon, const std::string& text, const std::string& details) override {
    messages.push_back(text + " " + details);
  }
  int Ask(const Question& question) override {
    questions.push_back(question);
    const std::string pressed = Next(buttons, std::string());
    const auto at = std::find(question.buttons.begin(), question.buttons.end(), pressed);
    return at == question.buttons.end() ? question.cancel_button
                                        : static_cast<int>(at - question.buttons.begin());
  }
  std::optional<std::size_t> ShowReport(const Report& report) override {
    reports.push_back(report);
    const std::string pressed = Next(report_choices, std::string());
    const auto at = std::find(report.choices.begin(), report.choices.end(), pressed);
    if (at == report.choices.end()) return std::nullopt;
    return static_cast<std::size_t>(at - report.choices.begin());
  }
  void ShowRows(std::size_t count) override {
    rows = count;
    selected.reset();
  }
  void ShowRowsChanged(std::size_t first, std::size_t last) override {
    EXPECT_LE(first, last);
    EXPECT_LT(last, rows);
    ++rows_changed;
  }
  void SelectRow(std::size_t row) override {
    EXPECT_LT(row, rows);
    selected = row;
  }
  void ShowTitle(const std::string& text) override { title = text; }
  void ShowStatus(const std::string& text) override { status = text; }
  void ShowReviewSummary(const std::string& text) override { review = text; }
  void ShowCommands(const EditorCommands& shown) override { commands = shown; }
  void ShowScreenshot(const std::string& path, const std::string& caption) override {
    screenshot = path;
    screenshot_caption = caption;
  }
  void ShowDetails(const EntryDetails& shown) override { details = shown; }
  void DatabaseSaved(const std::string& path) override { saved.push_back(path); }

  template <typename T>
  static T Next(std::deque<T>& answers, T otherwise) {
    if (answers.empty()) return otherwise;
    T answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }

  // The answers the user gives, in turn; none left is Cancel.
  std::deque<std::optional<std::string>> files;
  std::deque<std::string> buttons;
  std::deque<std::string> report_choices;

  std::vector<FileRequest> requests;
  std::vector<std::string> messages;
  std::vector<Question> questions;
  std::vector<Report> reports;
  std::size_t rows = 0;
  std::size_t rows_changed = 0;  // ShowRowsChanged calls
  std::optional<std::size_t> selected;
  std::string title, status, review, screenshot, screenshot_caption;
  EditorCommands commands;
  EntryDetails details;
  std::vector<std::string> saved;
};

class EditorLogicTest : public ::testing::Test {
 protected:
  void Write(const std::vector<std::byte>& bytes) { WriteFileBytes(db_, bytes); }
  std::vector<std::byte> OnDisk() const { return ReadFileBytes(db_); }
  std::string Path() const { return db_.string(); }
  // Opens the database, which must open.
  void Open() { ASSERT_TRUE(logic_.OpenPath(Path())) << Messages(); }
  std::string Messages() const {
    std::string all;
    for (const std::string& m : view_.messages) all += m + "\n";
    return all;
  }
  // The rows as `orva-cli entries` prints them: slot, id, kind, image,
  // length and text, the kind named as orva-cli names it.
  std::string Table() const {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      const EditorRow r = logic_.Row(row);
      std::string kind(RowKindName(r.kind));
      std::replace(kind.begin(), kind.end(), ' ', '-');
      if (kind == "end-marker") kind = "marker";
      out += std::to_string(r.slot) + '\t' + std::to_string(r.id) + '\t' + kind + '\t' + r.image +
             '\t' + std::to_string(r.bytes) + '\n';
    }
    return out;
  }
  // orva-cli's entries, without their texts.
  static std::string CliTable(const std::string& path, const std::string& match = {}) {
    std::vector<std::string> args{"entries"};
    if (!match.empty()) args.insert(args.end(), {"--match", match});
    args.push_back(path);
    const test_support::CliOutcome out = RunCli(args);
    EXPECT_EQ(out.exit_code, 0) << out.err;
    std::istringstream lines(out.out);
    std::string table;
    for (std::string line; std::getline(lines, line);) {
      table += line.substr(0, line.rfind('\t')) + '\n';
    }
    return table;
  }
  // The window idle until the review's pass ends, as a view's timer runs it.
  void Idle() {
    for (std::size_t slices = 0; logic_.ContinueReview(); ++slices) {
      ASSERT_LT(slices, 1u << 20) << "the pass does not end";
    }
  }
  // The window idle until the dictionaries are read and join the checks;
  // the pass has checked nothing more.
  void JoinDictionaries() {
    for (int slices = 0; logic_.reading_dictionaries(); ++slices) {
      ASSERT_LT(slices, 60) << "the dictionaries are never read";
      (void)logic_.ContinueReview(std::chrono::seconds(1));
    }
  }
  std::optional<std::size_t> RowOfId(std::int32_t id) const {
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      if (logic_.Row(row).id == id) return row;
    }
    return std::nullopt;
  }

  test_support::TempDir dir_;
  const std::filesystem::path db_ = dir_ / "textdb_00.def";
  FakeView view_;
  EditorLogic logic_{view_};
};

std::vector<std::byte> Sample() {
  return DatabaseBuilder()
      .Entry(1200, "заметка")
      .Entry(5001, "Обучение: первый вылет")
      .Entry(5002, "Патруль над рекой")
      .RawEntry(5003, "Tab\there\r\nand \x98")
      .Marker("конец")
      .Entry(7000, "после маркера")
      .Build();
}

// The table lists every entry as `orva-cli entries` does, a mission past
// slot 1000 as one the main window does not read, and the filter keeps the
// rows `entries --match` keeps, keystroke by keystroke, saying how many.
TEST_F(EditorLogicTest, ShowsEveryEntryAndFiltersAsEntriesMatch) {
  DatabaseBuilder builder;
  for (int i = 0; i < 1003; ++i) {
    builder.Entry(i == 500 ? 1500 : 7001 + i,
                  i % 7 == 0 ? "Ночной НАЛЁТ " + std::to_string(i) : "Patrol " + std::to_string(i));
  }
  Write(builder.Marker("end").Entry(42, "после").Build());
  Open();
  EXPECT_EQ(view_.rows, 1005u);
  EXPECT_EQ(Table(), CliTable(Path()));
  EXPECT_EQ(logic_.Row(1001).kind, RowKind::kUnlistedMission);
  EXPECT_EQ(view_.status, "Opened " + Path() + " · 1,005 entries");
  EXPECT_EQ(view_.title, "textdb_00.def – ORVA Editor");

  for (const std::string typed : {"н", "но", "ноч", "ночной налё", "ночной налёт 7", "x"}) {
    logic_.SetFilter(typed);
    ASSERT_EQ(Table(), CliTable(Path(), typed)) << typed;
    EXPECT_EQ(view_.rows, logic_.RowCount());
    EXPECT_EQ(view_.status, Grouped(logic_.RowCount()) + " of 1,005 entries");
  }
  // An id, an image name, and back to every row.
  for (const std::string typed : {"1500", "SHOT01", "6000", ""}) {
    logic_.SetFilter(typed);
    ASSERT_EQ(Table(), CliTable(Path(), typed)) << typed;
  }
  EXPECT_EQ(view_.status, "1,005 entries");

  // Shortened by Backspace, the filter shows every row it keeps again.
  const std::string typed = "ночной налёт 14";
  for (std::size_t n = 1; n <= typed.size(); ++n) logic_.SetFilter(typed.substr(0, n));
  for (std::size_t n = typed.size(); n-- > 0;) {
    if ((typed[n] & 0xC0) == 0x80) continue;  // within a character, as no box shows it
    logic_.SetFilter(typed.substr(0, n));
    ASSERT_EQ(Table(), CliTable(Path(), typed.substr(0, n))) << typed.substr(0, n);
  }
}

// A text shows its control bytes as symbols and keeps them when edited; the
// preview counts the bytes and names what Windows-1251 cannot store, which
// is refused without a change.
TEST_F(EditorLogicTest, EditsATextKeepingItsControlBytesAndRefusesWhatCannotBeStored) {
  Write(Sample());
  Open();
  const std::size_t row = *RowOfId(5003);
  EXPECT_EQ(logic_.Row(row).text, "Tab␉here␍␊and �");
  const std::string shown = logic_.EditableText(row);
  const TextPreview same = logic_.PreviewText(row, shown + "!");
  EXPECT_TRUE(same.can_apply);
  EXPECT_EQ(same.summary, "16 bytes (was 15)");
  ASSERT_TRUE(logic_.SetText(row, shown + "!"));
  std::vector<std::byte> expected = Sample();
  WriteFileBytes(dir_ / "cli.def", expected);
  ASSERT_EQ(
      RunCli({"set", (dir_ / "cli.def").string(), "5003", "Tab\there\r\nand \u0098!"}).exit_code,
      0);
  EXPECT_EQ(view_.title, "*textdb_00.def – ORVA Editor");
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Set 5003");
  EXPECT_EQ(view_.selected, row);

  const TextPreview foreign = logic_.PreviewText(row, "Ночь 日本");
  EXPECT_FALSE(foreign.can_apply);
  EXPECT_NE(foreign.problem.find("\"日\" (U+65E5) cannot be stored"), std::string::npos)
      << foreign.problem;
  EXPECT_FALSE(logic_.PreviewText(row, "a␀b").can_apply);
  EXPECT_FALSE(logic_.SetText(row, "Ночь 日本"));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_NE(view_.messages[0].find("U+65E5"), std::string::npos);
  EXPECT_EQ(OnDisk(), Sample());

  ASSERT_TRUE(logic_.Save());
  EXPECT_EQ(OnDisk(), ReadFileBytes(dir_ / "cli.def"));
  EXPECT_EQ(view_.title, "textdb_00.def – ORVA Editor");
  EXPECT_EQ(view_.saved, std::vector<std::string>{Path()});
}

// A mission is added as the main window's Insert adds it, up to 45
// characters; the end marker cannot be removed; undo and redo name what
// they take back.
TEST_F(EditorLogicTest, AddsMissionsRemovesEntriesAndUndoesThemByName) {
  Write(Sample());
  Open();
  EXPECT_FALSE(logic_.PreviewMission(std::string(46, 'a')).can_apply);
  // Its bytes are the text's alone: the NUL that ends it is not counted.
  const TextPreview preview = logic_.PreviewMission("Ночной налёт");
  EXPECT_EQ(preview.summary, "12 of 45 characters, 12 bytes");
  EXPECT_EQ(preview.bytes, 12u);
  EXPECT_TRUE(preview.can_apply);
  // Nothing typed yet cannot be added, and is no problem to point at.
  EXPECT_FALSE(logic_.PreviewMission("").can_apply);
  EXPECT_EQ(logic_.PreviewMission("").problem, "");
  EXPECT_FALSE(logic_.AddMission(std::string(46, 'a')));
  ASSERT_TRUE(logic_.AddMission("Ночной налёт"));
  EXPECT_EQ(logic_.Row(*view_.selected).id, 5004);
  EXPECT_EQ(logic_.Row(*view_.selected).bytes, 12u);
  EXPECT_EQ(view_.status, "Mission added: 12 bytes, not saved yet · 7 entries");
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Insert 5004");

  const std::size_t marker = *RowOfId(6000);
  logic_.SelectionChanged(marker);
  EXPECT_FALSE(view_.commands.can_remove);
  const std::size_t messages = view_.messages.size();
  EXPECT_FALSE(logic_.Remove(marker));
  EXPECT_EQ(view_.messages.size(), messages + 1);
  ASSERT_TRUE(logic_.Remove(*RowOfId(5002)));
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Remove 5002");
  EXPECT_EQ(logic_.Row(*view_.selected).id, 5003);  // where the removed one was

  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(Caption(EditorCommand::kRedo, view_.commands), "&Redo Remove 5002");
  EXPECT_EQ(view_.status, "Undid Remove 5002, not saved yet · 7 entries");
  ASSERT_TRUE(logic_.Undo());
  EXPECT_FALSE(logic_.modified());
  EXPECT_EQ(view_.title, "textdb_00.def – ORVA Editor");
  EXPECT_FALSE(logic_.Undo());
  ASSERT_TRUE(logic_.Redo());
  EXPECT_EQ(logic_.Row(*view_.selected).id, 5004);
}

// Find and replace says how many occurrences it found before it changes
// anything, then replaces them in one step, as `orva-cli replace` does.
TEST_F(EditorLogicTest, ReplacesAfterCountingAsOneStep) {
  Write(Sample());
  Open();
  const ReplaceRequest request{
      .find = "НАД", .replacement = "у", .regex = false, .match_case = false};
  EXPECT_EQ(logic_.PreviewReplace(request).summary, "1 occurrence in 1 text");
  view_.buttons = {"Cancel"};
  EXPECT_FALSE(logic_.ReplaceAll(request));
  EXPECT_EQ(view_.questions.back().text, "Replace 1 occurrence in 1 text?");
  EXPECT_FALSE(logic_.modified());
  view_.buttons = {"Replace All"};
  ASSERT_TRUE(
      logic_.ReplaceAll({.find = "а", .replacement = "А", .regex = false, .match_case = true}));
  EXPECT_EQ(view_.questions.back().text, "Replace 6 occurrences in 3 texts?");
  ASSERT_TRUE(logic_.Save());
  WriteFileBytes(dir_ / "cli.def", Sample());
  ASSERT_EQ(RunCli({"replace", "--match-case", (dir_ / "cli.def").string(), "а", "А"}).exit_code,
            0);
  EXPECT_EQ(OnDisk(), ReadFileBytes(dir_ / "cli.def"));
  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(logic_.Row(*RowOfId(5002)).text, "Патруль над рекой");

  const std::size_t asked = view_.questions.size();
  EXPECT_FALSE(
      logic_.ReplaceAll({.find = "日", .replacement = "x", .regex = false, .match_case = false}));
  EXPECT_FALSE(
      logic_.ReplaceAll({.find = "(", .replacement = "x", .regex = true, .match_case = false}));
  EXPECT_EQ(view_.questions.size(), asked);  // nothing to ask about
}

// Closing, opening another file and reading the file again ask about
// unsaved changes first: Save saves them, Discard drops them, Cancel keeps
// everything as it was.
TEST_F(EditorLogicTest, AsksBeforeLeavingUnsavedChanges) {
  const std::filesystem::path other = dir_ / "textdb_01.def";
  WriteFileBytes(other, DatabaseBuilder().Entry(5001, "другая").Marker().Build());
  enum class Leave { kClose, kOpen, kReload };
  for (const Leave leave : {Leave::kClose, Leave::kOpen, Leave::kReload}) {
    for (const std::string answer : {"Save", "Discard", "Cancel"}) {
      SCOPED_TRACE(answer + " " + std::to_string(static_cast<int>(leave)));
      Write(Sample());
      view_.buttons = {"Discard"};  // what the last round left
      Open();
      view_.buttons.clear();
      ASSERT_TRUE(logic_.SetText(0, "мой текст"));
      const std::size_t asked = view_.questions.size();
      view_.buttons = {answer};
      bool left = false;
      switch (leave) {
        case Leave::kClose:
          left = logic_.CanClose();
          break;
        case Leave::kOpen:
          view_.files = {other.string()};
          logic_.Open();
          left = logic_.DatabasePath() == other.string();
          break;
        case Leave::kReload:
          logic_.Reload();
          left = !logic_.modified();
          break;
      }
      ASSERT_EQ(view_.questions.size(), asked + 1);
      EXPECT_EQ(view_.questions.back().text, "Save the changes to textdb_00.def?");
      EXPECT_EQ(left, answer != "Cancel");
      EXPECT_EQ(OnDisk() != Sample(), answer == "Save");
      if (answer == "Cancel") {
        EXPECT_TRUE(logic_.modified());
        EXPECT_EQ(logic_.DatabasePath(), Path());
        EXPECT_EQ(logic_.Row(0).text, "мой текст");
      }
      if (leave == Leave::kReload && answer != "Cancel") {
        EXPECT_EQ(logic_.Row(0).text, answer == "Save" ? "мой текст" : "заметка");
      }
      // Without changes nothing is asked.
      if (!logic_.modified()) {
        EXPECT_TRUE(logic_.CanClose());
        EXPECT_EQ(view_.questions.size(), asked + 1);
      }
    }
  }
}

// A file another program changed since it was read is not written over:
// the user is told so, keeps the changes, and may read the file again.
TEST_F(EditorLogicTest, RefusesToSaveOverAnotherProgramsChange) {
  Write(Sample());
  Open();
  ASSERT_TRUE(logic_.SetText(0, "мой"));
  const std::vector<std::byte> theirs =
      DatabaseBuilder().Entry(1200, "их").Entry(5001, "их миссия").Marker().Build();
  WriteFileBytes(db_, theirs);

  view_.buttons = {"Cancel"};
  EXPECT_FALSE(logic_.Save());
  ASSERT_FALSE(view_.questions.empty());
  EXPECT_EQ(view_.questions.back().text, "textdb_00.def was changed by another program.");
  EXPECT_NE(view_.questions.back().details.find("Your changes are kept"), std::string::npos);
  EXPECT_EQ(OnDisk(), theirs);
  EXPECT_TRUE(logic_.modified());
  EXPECT_EQ(logic_.Row(0).text, "мой");
  EXPECT_TRUE(view_.saved.empty());

  // Closing asks to save, and the save is refused again: the window stays.
  view_.buttons = {"Save", "Cancel"};
  EXPECT_FALSE(logic_.CanClose());
  EXPECT_EQ(OnDisk(), theirs);

  view_.buttons = {"Read Again"};
  EXPECT_FALSE(logic_.Save());
  EXPECT_FALSE(logic_.modified());
  EXPECT_EQ(logic_.Row(0).text, "их");
  EXPECT_EQ(view_.rows, 3u);
  EXPECT_EQ(OnDisk(), theirs);
}

// An import shows what it would do, with every problem at its line, and
// applies as one step; the export writes the texts as they stand, as
// orva-cli exports the saved file.
TEST_F(EditorLogicTest, ImportsAfterItsReportAndExportsTheTextsAsTheyStand) {
  Write(Sample());
  Open();
  const std::filesystem::path csv = dir_ / "t.csv";
  WriteFileBytes(csv, test_support::Bytes("id,translation\n5001,Training\n5002,\n9999,x\n"));
  EXPECT_FALSE(logic_.ImportFrom(csv.string()));
  ASSERT_EQ(view_.reports.size(), 1u);
  EXPECT_TRUE(view_.reports[0].choices.empty());
  ASSERT_EQ(view_.reports[0].lines.size(), 1u);
  EXPECT_EQ(view_.reports[0].lines[0].rfind(csv.string() + ":4: ", 0), 0u)
      << view_.reports[0].lines[0];
  EXPECT_FALSE(logic_.modified());

  WriteFileBytes(csv, test_support::Bytes("id,translation\n5001,Training\n5002,\n1200,заметка\n"));
  view_.report_choices = {"Apply"};
  ASSERT_TRUE(logic_.ImportFrom(csv.string()));
  EXPECT_EQ(view_.reports.back().summary,
            "changed 1, already the same 1, untranslated 4, fuzzy 0, source changed 0, size "
            "change -14 bytes");
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Translate 1 text");

  const std::filesystem::path po = dir_ / "mine.po";
  ASSERT_TRUE(logic_.ExportTo(po.string()));
  EXPECT_FALSE(logic_.ExportTo(Path()));  // never over the database
  ASSERT_TRUE(logic_.Save());
  ASSERT_EQ(RunCli({"export", Path(), "-o", (dir_ / "cli.po").string()}).exit_code, 0);
  EXPECT_EQ(ReadFileBytes(po), ReadFileBytes(dir_ / "cli.po"));
  WriteFileBytes(dir_ / "cli.def", Sample());
  ASSERT_EQ(RunCli({"import", (dir_ / "cli.def").string(), csv.string()}).exit_code, 0);
  EXPECT_EQ(OnDisk(), ReadFileBytes(dir_ / "cli.def"));
}

// Compared with an older copy, the rows added and changed since are marked
// and the removed ones shown where they were, as `orva-cli diff` finds them,
// and none of them can be changed; the patch made
// from the comparison gives this database from the copy, and applied in the
// editor to the copy it does what `orva-cli patch apply` does, in one step.
TEST_F(EditorLogicTest, ComparesMakesAndAppliesPatches) {
  const std::filesystem::path old_copy = dir_ / "textdb_00.orig";
  WriteFileBytes(old_copy, Sample());
  Write(Sample());
  Open();
  ASSERT_TRUE(logic_.SetText(*RowOfId(5002), "Новый патруль"));
  ASSERT_TRUE(logic_.Remove(*RowOfId(1200)));
  ASSERT_TRUE(logic_.AddMission("Рейд"));
  ASSERT_TRUE(logic_.CompareWith(old_copy.string()));
  EXPECT_EQ(
      view_.status,
      "Compared with textdb_00.orig: 1 added, 1 changed, 1 removed · 6 entries and 1 removed");
  EXPECT_TRUE(view_.reports.empty());  // the table shows it all
  const EditorRow removed = logic_.Row(0);
  EXPECT_EQ(removed.mark, RowMark::kRemoved);
  EXPECT_EQ(removed.slot, 0u);
  EXPECT_EQ(removed.id, 1200);
  EXPECT_EQ(removed.text, "заметка");
  EXPECT_EQ(logic_.Row(*RowOfId(5002)).mark, RowMark::kChanged);
  EXPECT_EQ(logic_.Row(*RowOfId(5004)).mark, RowMark::kAdded);
  EXPECT_EQ(logic_.Row(*RowOfId(5001)).mark, RowMark::kNone);
  logic_.SelectionChanged(0);
  EXPECT_FALSE(view_.commands.can_edit);
  EXPECT_FALSE(view_.commands.can_remove);
  EXPECT_FALSE(logic_.PreviewText(0, "x").can_apply);
  EXPECT_EQ(logic_.EditableText(0), "заметка");
  const std::size_t told = view_.messages.size();
  EXPECT_FALSE(logic_.SetText(0, "x"));
  EXPECT_FALSE(logic_.Remove(0));
  ASSERT_EQ(view_.messages.size(), told + 2);
  EXPECT_NE(view_.messages.back().find("1200 is not in this database"), std::string::npos)
      << view_.messages.back();
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Insert 5004");
  logic_.SetChangedOnly(true);
  EXPECT_EQ(logic_.RowCount(), 3u);
  EXPECT_EQ(view_.status, "2 of 6 entries and 1 removed");
  EXPECT_EQ(logic_.SelectedRow(), 0u);  // the removed entry, still selected
  // A change while comparing is marked at once.
  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(logic_.RowCount(), 2u);
  ASSERT_TRUE(logic_.Redo());

  const std::filesystem::path patch = dir_ / "missions.orvapatch";
  ASSERT_TRUE(logic_.MakePatchTo(patch.string()));
  EXPECT_FALSE(logic_.MakePatchTo(old_copy.string()));  // never over either database
  ASSERT_TRUE(logic_.Save());
  const std::filesystem::path friend_copy = dir_ / "friend.def";
  WriteFileBytes(friend_copy, Sample());
  ASSERT_EQ(RunCli({"patch", "apply", friend_copy.string(), patch.string()}).exit_code, 0);
  EXPECT_EQ(ReadFileBytes(friend_copy), OnDisk());

  // The copy changed elsewhere first, as a friend's may be.
  std::vector<std::byte> theirs = Sample();
  WriteFileBytes(friend_copy, theirs);
  ASSERT_EQ(RunCli({"set", friend_copy.string(), "5001", "Свой текст"}).exit_code, 0);
  theirs = ReadFileBytes(friend_copy);
  ASSERT_TRUE(logic_.OpenPath(friend_copy.string()));
  ASSERT_TRUE(logic_.ApplyPatchFrom(patch.string()));
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Apply patch");
  ASSERT_TRUE(logic_.Save());
  const std::filesystem::path by_cli = dir_ / "friend-cli.def";
  WriteFileBytes(by_cli, theirs);
  ASSERT_EQ(RunCli({"patch", "apply", by_cli.string(), patch.string()}).exit_code, 0);
  EXPECT_EQ(ReadFileBytes(friend_copy), ReadFileBytes(by_cli));
  ASSERT_TRUE(logic_.Undo());
  ASSERT_TRUE(logic_.Save());
  EXPECT_EQ(ReadFileBytes(friend_copy), theirs);

  // Applied twice, it finds its entries changed already and changes nothing.
  ASSERT_TRUE(logic_.Redo());
  const std::size_t reports = view_.reports.size();
  EXPECT_FALSE(logic_.ApplyPatchFrom(patch.string()));
  ASSERT_EQ(view_.reports.size(), reports + 1);
  EXPECT_FALSE(view_.reports.back().lines.empty());
  EXPECT_EQ(Caption(EditorCommand::kUndo, view_.commands), "&Undo Apply patch");
}

// Whatever was changed, and whatever changes while comparing: the table
// holds this database's entries in order with each removed entry between
// them, just where it was in the database compared with (read top to
// bottom without the added rows, the table is that database's, unless
// entries both have were reordered); Changed Only keeps the marked rows and
// a filter the rows it matches, removed ones among them, in the same order.
TEST_F(EditorLogicTest, ShowsEachRemovedEntryWhereItWasAmongTheRowsKept) {
  test_support::Generated generated(20260417);
  const std::filesystem::path old_copy = dir_ / "old.def";
  auto ids = [](const std::vector<EditorRow>& rows, RowMark without) {
    std::vector<std::int32_t> out;
    for (const EditorRow& r : rows) {
      if (r.mark != without) out.push_back(r.id);
    }
    return out;
  };
  auto ids_of_table = [](const std::string& table) {
    std::vector<std::int32_t> out;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
      out.push_back(std::stoi(line.substr(line.find('\t') + 1)));
    }
    return out;
  };
  auto lower = [](std::string text) {
    for (char& c : text) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    return text;
  };
  std::size_t removed_seen = 0;
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::vector<std::byte> old = generated.Next();
    WriteFileBytes(old_copy, old);
    Write(old);
    logic_.SetFilter("");
    Open();
    for (int step = 0; step < 8; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      // A change, made before the comparison or while it is made.
      const auto row = static_cast<std::size_t>(generated.Pick(0, int(logic_.RowCount()) - 1));
      switch (generated.Pick(0, 2)) {
        case 0:
          (void)logic_.Remove(row);
          break;
        case 1:
          (void)logic_.SetText(row, "ab5");
          break;
        default:
          (void)logic_.AddMission("sh");
          break;
      }
      view_.messages.clear();
      if (step == 2) {
        ASSERT_TRUE(logic_.CompareWith(old_copy.string())) << Messages();
      }
      if (step < 2) continue;
      ASSERT_TRUE(logic_.Save()) << Messages();
      std::vector<EditorRow> all;
      for (std::size_t r = 0; r < logic_.RowCount(); ++r) all.push_back(logic_.Row(r));

      const test_support::CliOutcome diff = RunCli({"diff", old_copy.string(), Path()});
      std::vector<std::int32_t> removed;
      std::istringstream lines(diff.out);
      bool reordered = false;
      for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("removed ")) removed.push_back(std::stoi(line.substr(8)));
        reordered = reordered || line.find("lie in one order") != std::string::npos;
      }
      std::vector<std::int32_t> shown_removed;
      for (const EditorRow& r : all) {
        if (r.mark == RowMark::kRemoved) shown_removed.push_back(r.id);
      }
      std::sort(shown_removed.begin(), shown_removed.end());
      ASSERT_EQ(shown_removed, removed);  // diff lists them by id
      removed_seen += removed.size();
      std::string live;
      for (const EditorRow& r : all) {
        if (r.mark != RowMark::kRemoved) live += std::to_string(r.slot) + '\t';
      }
      const std::string table = CliTable(Path());
      std::string slots;
      for (std::size_t n = 1; n <= ids_of_table(table).size(); ++n) {
        slots += std::to_string(n) + '\t';
      }
      ASSERT_EQ(live, slots);
      ASSERT_EQ(ids(all, RowMark::kRemoved), ids_of_table(table));
      if (!reordered) {
        ASSERT_EQ(ids(all, RowMark::kAdded), ids_of_table(CliTable(old_copy.string())));
      }

      logic_.SetChangedOnly(true);
      std::vector<EditorRow> marked;
      for (const EditorRow& r : all) {
        if (r.mark != RowMark::kNone) marked.push_back(r);
      }
      ASSERT_EQ(logic_.RowCount(), marked.size());
      for (std::size_t r = 0; r < marked.size(); ++r) {
        ASSERT_EQ(logic_.Row(r).id, marked[r].id);
        ASSERT_EQ(logic_.Row(r).mark, marked[r].mark);
      }
      logic_.SetChangedOnly(false);
      // Typed a letter at a time, so that the filter narrows what it kept.
      for (const std::string typed : {"s", "sh", "a", "ab", "5"}) {
        logic_.SetFilter(typed);
        std::vector<EditorRow> kept;
        for (const EditorRow& r : all) {
          if (lower(r.text).find(typed) != std::string::npos ||
              std::to_string(r.id).find(typed) != std::string::npos ||
              r.image.find(typed) != std::string::npos) {
            kept.push_back(r);
          }
        }
        ASSERT_EQ(logic_.RowCount(), kept.size()) << typed;
        for (std::size_t r = 0; r < kept.size(); ++r) {
          ASSERT_EQ(logic_.Row(r).text, kept[r].text) << typed << " row " << r;
          ASSERT_EQ(logic_.Row(r).mark, kept[r].mark) << typed << " row " << r;
          ASSERT_EQ(logic_.RowOfSlot(kept[r].slot),
                    kept[r].slot == 0 ? std::nullopt : std::optional(r));
        }
      }
      logic_.SetFilter("");
    }
  }
  EXPECT_GT(removed_seen, 20u);
}

// Translations of texts changed since the file was made are refused unless
// the user skips them or applies them too, in the report, which then does
// what `orva-cli import --source-changed` does, in one step.
TEST_F(EditorLogicTest, ImportSkipsOrAppliesTranslationsOfChangedTextsAsOrvaCliDoes) {
  Write(Sample());
  const std::filesystem::path csv = dir_ / "t.csv";
  WriteFileBytes(csv, test_support::Bytes("id,text,translation\n"
                                          "5001,Обучение: первый вылет,Training\n"
                                          "5002,Патруль над рекой,River patrol\n"
                                          "1200,заметка,Note\n"));
  const std::filesystem::path changed = dir_ / "changed.def";
  WriteFileBytes(changed, Sample());
  ASSERT_EQ(RunCli({"set", changed.string(), "5002", "Патруль у моста"}).exit_code, 0);
  ASSERT_EQ(RunCli({"set", changed.string(), "1200", "другая заметка"}).exit_code, 0);
  const std::vector<std::byte> start = ReadFileBytes(changed);
  for (const auto& [choice, cli] : {std::pair("Cancel", "refuse"), std::pair("Skip Them", "skip"),
                                    std::pair("Apply Them Too", "apply")}) {
    SCOPED_TRACE(choice);
    Write(start);
    Open();
    view_.report_choices = {choice};
    EXPECT_EQ(logic_.ImportFrom(csv.string()), cli != std::string("refuse"));
    const Report& report = view_.reports.back();
    EXPECT_EQ(report.choices, (std::vector<std::string>{"Skip Them", "Apply Them Too"}));
    EXPECT_EQ(report.summary,
              "2 translations are of a text that has changed since the file was made: skip them, "
              "or apply them too?");
    ASSERT_EQ(report.lines.size(), 4u);
    EXPECT_EQ(report.lines[1].substr(0, 33), "Apply Them Too: changed 3, alread");
    EXPECT_EQ(report.lines[2].rfind(csv.string() + ":3: ", 0), 0u) << report.lines[2];
    if (cli == std::string("refuse")) {
      EXPECT_FALSE(logic_.modified());
      continue;
    }
    ASSERT_TRUE(logic_.Save());
    const std::filesystem::path by_cli = dir_ / "cli.def";
    WriteFileBytes(by_cli, start);
    const test_support::CliOutcome done =
        RunCli({"import", "--source-changed", cli, by_cli.string(), csv.string()});
    ASSERT_EQ(done.exit_code, 0) << done.err;
    EXPECT_EQ(OnDisk(), ReadFileBytes(by_cli));
    // One step: a single undo gives the database back as it was.
    ASSERT_TRUE(logic_.Undo());
    EXPECT_FALSE(logic_.Undo());
    ASSERT_TRUE(logic_.Save());
    EXPECT_EQ(OnDisk(), start);
  }
}

// The selected mission's screenshot is looked for in the database's folder,
// or in the folder chosen.
TEST_F(EditorLogicTest, ShowsTheSelectedMissionsScreenshotWhereThereIsOne) {
  Write(Sample());
  WriteFileBytes(dir_ / "shot002.bmp", test_support::Bytes("BM"));
  Open();
  logic_.SelectionChanged(*RowOfId(5002));
  EXPECT_EQ(view_.screenshot, (dir_ / "shot002.bmp").string());
  logic_.SelectionChanged(*RowOfId(5001));
  EXPECT_EQ(view_.screenshot, "");
  EXPECT_EQ(view_.screenshot_caption, "shot001.bmp is not in " + dir_.path().string() + ".");
  std::filesystem::create_directory(dir_ / "shots");
  WriteFileBytes(dir_ / "shots" / "shot001.bmp", test_support::Bytes("BM"));
  view_.files = {(dir_ / "shots").string()};
  logic_.ChooseScreenshotFolder();
  EXPECT_EQ(view_.requests.back().kind, FileRequest::Kind::kFolder);
  EXPECT_EQ(view_.screenshot, (dir_ / "shots" / "shot001.bmp").string());
  logic_.SelectionChanged(*RowOfId(1200));
  EXPECT_EQ(view_.screenshot, "");
}

// What a translator reads: the status line says what a change did and
// whether the file holds it yet, the details pane the selected entry whole,
// the filter's matches where they are in its text; Save is offered only
// while there is something to save.
TEST_F(EditorLogicTest, SaysWhatEachChangeDidAndShowsTheSelectedEntryWhole) {
  Write(Sample());
  Open();
  EXPECT_FALSE(IsEnabled(EditorCommand::kSave, view_.commands));
  const std::size_t row = *RowOfId(5001);
  logic_.SelectionChanged(row);
  EXPECT_EQ(view_.details.row, row);
  EXPECT_EQ(view_.details.heading, "5001 · mission · slot 2");
  EXPECT_EQ(view_.details.text, "Обучение: первый вылет");
  EXPECT_EQ(view_.details.summary, "22 bytes");
  EXPECT_TRUE(view_.details.editable);

  ASSERT_TRUE(logic_.SetText(row, "Учебный вылет №1 и ещё"));
  EXPECT_EQ(view_.status, "5001: text changed, 22 → 22 bytes, not saved yet · 6 entries");
  ASSERT_TRUE(logic_.SetText(row, "Учебный вылет"));
  EXPECT_EQ(view_.status, "5001: text changed, 22 → 13 bytes, not saved yet · 6 entries");
  EXPECT_EQ(view_.details.text, "Учебный вылет");
  EXPECT_EQ(view_.details.summary, "13 bytes");
  EXPECT_TRUE(IsEnabled(EditorCommand::kSave, view_.commands));
  ASSERT_TRUE(logic_.Save());
  EXPECT_FALSE(IsEnabled(EditorCommand::kSave, view_.commands));
  EXPECT_TRUE(IsEnabled(EditorCommand::kUndo, view_.commands));
  ASSERT_TRUE(logic_.Undo());
  EXPECT_TRUE(IsEnabled(EditorCommand::kSave, view_.commands));
  ASSERT_TRUE(logic_.Redo());
  EXPECT_EQ(view_.status, "Redid Set 5001, as the file holds it · 6 entries");
  EXPECT_FALSE(IsEnabled(EditorCommand::kSave, view_.commands));

  // A mission's text past what the main window reads says so.
  const std::string long_text(80, 'x');
  EXPECT_NE(logic_.PreviewText(row, long_text).summary.find("the main window shows the first 69"),
            std::string::npos);
  EXPECT_EQ(logic_.PreviewText(*RowOfId(1200), long_text).summary, "80 bytes (was 7)");

  // Matches, ignoring case, in characters of the text as shown.
  logic_.SetFilter("РЕ");
  const EditorRow kept = logic_.Row(*RowOfId(5002));
  ASSERT_EQ(kept.matches.size(), 1u);
  EXPECT_EQ(kept.matches[0].first, 12u);
  EXPECT_EQ(kept.matches[0].length, 2u);
  logic_.SetFilter("e");
  const EditorRow tab = logic_.Row(*RowOfId(5003));
  ASSERT_EQ(tab.matches.size(), 2u);  // after the tab's one symbol: "Tab␉here"
  EXPECT_EQ(tab.matches[0].first, 5u);
  EXPECT_EQ(tab.matches[1].first, 7u);
}

// A mission added under a filter it does not match stays in sight,
// selected, until the filter changes.
TEST_F(EditorLogicTest, AMissionAddedUnderAFilterItDoesNotMatchStaysInSight) {
  Write(Sample());
  Open();
  logic_.SetFilter("патруль");
  ASSERT_EQ(logic_.RowCount(), 1u);
  ASSERT_TRUE(logic_.AddMission("Рейд"));
  ASSERT_EQ(logic_.RowCount(), 2u);
  ASSERT_TRUE(view_.selected.has_value());
  EXPECT_EQ(logic_.Row(*view_.selected).text, "Рейд");
  EXPECT_EQ(view_.rows, 2u);
  logic_.SetFilter("патрул");
  EXPECT_EQ(logic_.RowCount(), 1u);
}

// Skip Them and Apply Them Too are offered only when translations of
// changed texts are the import's only problems; with any other problem
// nothing can be imported.
TEST_F(EditorLogicTest, OffersToSkipChangedSourcesOnlyWhenTheyAreTheOnlyProblem) {
  Write(Sample());
  Open();
  const std::filesystem::path csv = dir_ / "t.csv";
  for (const auto& [content, offered] :
       {std::pair("id,text,translation\n5001,не тот текст,Training\n",
                  std::vector<std::string>{"Skip Them", "Apply Them Too"}),
        std::pair("id,text,translation\n5001,не тот текст,Training\n9999,нет такого,None\n",
                  std::vector<std::string>{}),
        std::pair("id,text,translation\n5001,Обучение: первый вылет,Training\n",
                  std::vector<std::string>{"Apply"})}) {
    SCOPED_TRACE(content);
    WriteFileBytes(csv, test_support::Bytes(content));
    EXPECT_FALSE(logic_.ImportFrom(csv.string()));  // Cancel
    ASSERT_FALSE(view_.reports.empty());
    EXPECT_EQ(view_.reports.back().choices, offered);
    EXPECT_FALSE(logic_.modified());
  }
}

// --- Random commands against orva-cli ---

// What a typed character is stored as: itself, or for a symbol, its byte,
// as orva-cli is given it (U+0098 for the byte 0x98).
struct Typed {
  const char* typed;
  const char* cli;
};
constexpr Typed kAlphabet[] = {{"a", "a"},  {"Z", "Z"},      {"ж", "ж"},   {"Ё", "Ё"},
                               {" ", " "},  {"5", "5"},      {"␉", "\t"},  {"␊", "\n"},
                               {"␍", "\r"}, {"�", "\u0098"}, {"\t", "\t"}, {"é", "é"}};

// Every command, done in the editor and by orva-cli on a copy of the
// database as it stands; undo and redo go back to and forth between the
// copies' bytes. Each save leaves the file byte for byte as orva-cli left
// the copy, and the table always shows the copy's entries.
TEST_F(EditorLogicTest, RandomCommandsSaveWhatOrvaCliMakesOfTheSameSteps) {
  test_support::Generated generated(20260301);
  const std::filesystem::path copy = dir_ / "cli.def";
  const std::filesystem::path csv = dir_ / "t.csv";
  auto typed = [&](int longest, bool symbols, std::string& cli) {
    std::string text;
    for (int i = generated.Pick(1, longest); i > 0; --i) {
      const Typed& t = kAlphabet[generated.Pick(0, symbols ? 11 : 5)];
      text += t.typed;
      cli += t.cli;
    }
    return text;
  };
  int steps[9] = {};
  std::string filter;  // kept from one database to the next, as the window keeps it
  for (int round = 0; round < 40; ++round) {
    const std::vector<std::byte> db = generated.Next();
    Write(db);
    Open();
    if (round % 4 == 0) logic_.SetBackup(BackupKind::kSimple);
    std::vector<std::vector<std::byte>> done{db}, undone;
    std::vector<std::byte> on_disk = db;
    // How many steps were done at the last save; none once that step is
    // undone and another done in its place.
    constexpr std::size_t kNever = SIZE_MAX;
    std::size_t saved_at = 1;
    for (int op = 0; op < 25; ++op) {
      WriteFileBytes(copy, done.back());
      const std::vector<EntryText> entries = ReadEntryTexts(done.back()).value();
      if (logic_.RowCount() == 0) logic_.SetFilter(filter = "");
      const auto row = static_cast<std::size_t>(generated.Pick(0, int(logic_.RowCount()) - 1));
      const std::size_t at = logic_.Row(row).slot - 1;
      const std::string slot = std::to_string(at + 1);
      const std::string id = std::to_string(entries[at].id);
      bool changed = false;
      int cli_code = 0;
      const int command = generated.Pick(0, 8);
      switch (command) {
        case 0: {
          std::string cli;
          const std::string text = typed(8, true, cli);
          changed = logic_.SetText(row, text);
          cli_code = RunCli({"set", "--slot", slot, copy.string(), id, cli}).exit_code;
          break;
        }
        case 1: {
          std::string cli;
          const std::string text = typed(generated.Pick(0, 5) == 0 ? 50 : 10, true, cli);
          changed = logic_.AddMission(text);
          cli_code = RunCli({"insert", copy.string(), text}).exit_code;
          break;
        }
        case 2:
          changed = logic_.Remove(row);
          cli_code = RunCli({"remove", "--slot", slot, copy.string(), id}).exit_code;
          break;
        case 3: {
          std::string cli_find, cli_by;
          const std::string find = typed(1, false, cli_find);
          const std::string by = typed(3, false, cli_by);
          const bool match_case = generated.Pick(0, 1) == 0;
          view_.buttons = {"Replace All"};
          changed = logic_.ReplaceAll(
              {.find = find, .replacement = by, .regex = false, .match_case = match_case});
          std::vector<std::string> args{"replace", copy.string(), find, by};
          if (match_case) args.insert(args.begin() + 1, "--match-case");
          cli_code = RunCli(args).exit_code;
          break;
        }
        case 4: {
          std::string rows = "id,translation\n";
          const std::vector<std::string> keys = ExchangeKeys(entries);
          for (std::size_t i = 0; i < keys.size(); ++i) {
            std::string ignored;
            if (generated.Pick(0, 1) == 0) rows += keys[i] + "," + typed(6, false, ignored) + "\n";
          }
          WriteFileBytes(csv, test_support::Bytes(rows));
          view_.report_choices = {"Apply"};
          changed = logic_.ImportFrom(csv.string());
          cli_code = RunCli({"import", copy.string(), csv.string()}).exit_code;
          break;
        }
        case 5:
          changed = logic_.Undo();
          ASSERT_EQ(changed, done.size() > 1);
          if (changed) undone.push_back(done.back()), done.pop_back();
          break;
        case 6:
          changed = logic_.Redo();
          ASSERT_EQ(changed, !undone.empty());
          if (changed) done.push_back(undone.back()), undone.pop_back();
          break;
        case 7: {
          ASSERT_TRUE(logic_.Save()) << Messages();
          if (round % 4 == 0 && on_disk != done.back()) {
            EXPECT_EQ(ReadFileBytes(dir_ / "textdb_00.def~"), on_disk);
          }
          on_disk = done.back();
          saved_at = done.size();
          break;
        }
        default: {
          static constexpr const char* kFilters[] = {"", "a", "ж", "5"};
          filter = kFilters[generated.Pick(0, 3)];
          logic_.SetFilter(filter);
          break;
        }
      }
      if (command <= 4) {
        const std::vector<std::byte> after = ReadFileBytes(copy);
        // What orva-cli refuses the editor refuses too; the table below
        // shows that it changed what orva-cli changed.
        if (cli_code != 0) {
          ASSERT_FALSE(changed) << "round " << round << " op " << op;
        }
        if (after != done.back()) {
          if (saved_at != kNever && saved_at > done.size()) saved_at = kNever;
          done.push_back(after);
          undone.clear();
        }
      }
      ++steps[command];
      ASSERT_EQ(OnDisk(), on_disk) << "round " << round << " op " << op;
      ASSERT_EQ(logic_.modified(), saved_at != done.size()) << "round " << round << " op " << op;
      WriteFileBytes(copy, done.back());
      // A filtered table still shows every row the filter keeps, with the
      // rows changed since; chosen again, exactly those it keeps.
      const std::string kept = CliTable(copy.string(), filter);
      std::istringstream lines(kept);
      const std::string shown = Table();
      for (std::string line; std::getline(lines, line);) {
        ASSERT_NE(shown.find(line + '\n'), std::string::npos)
            << line << " in round " << round << " op " << op << " command " << command << " filter "
            << filter;
      }
      logic_.SetFilter(filter);
      ASSERT_EQ(Table(), kept) << "round " << round << " op " << op;
      ASSERT_EQ(view_.title.starts_with("*"), logic_.modified());
    }
    ASSERT_TRUE(logic_.Save());
    ASSERT_EQ(OnDisk(), done.back()) << "round " << round;
    logic_.SetBackup(BackupKind::kNone);
  }
  for (const int count : steps) EXPECT_GT(count, 50);
}

// A translator's way through a file beside its reference: the reference's
// texts joined by id (an id twice by its order), the filters, the checks as
// orva-cli check makes them with the rules beside the database, a draft's
// findings before it is applied, and the reference copied as one step.
TEST_F(EditorLogicTest, TranslatesBesideAReferenceAsOrvaCliChecks) {
  Write(DatabaseBuilder()
            .Entry(1200, "заметка")
            .Entry(5001, "Первый вылет")
            .Entry(5002, "")
            .Entry(5003, "Patrol")
            .Entry(5005, "Только  здесь")
            .Marker("end")
            .Entry(7000, "Абв")
            .Entry(7000, "Б")
            .Build());
  // Spelling off: the editor does not check words yet, orva-cli does.
  const std::string rules = R"({"limits": [{"ids": "7000", "length": 2}], "spelling": false})";
  WriteFileBytes(dir_ / "orva-rules.json", std::as_bytes(std::span(rules)));
  const std::filesystem::path ref = dir_ / "textdb_01.def";
  WriteFileBytes(ref, DatabaseBuilder()
                          .Entry(1200, "note")
                          .Entry(5001, "First flight")
                          .Entry(5002, "Second flight")
                          .Entry(5003, "Patrol")
                          .Entry(5004, "Only in the reference")
                          .Marker("end")
                          .Entry(7000, "one")
                          .Entry(7000, "two")
                          .Build());
  Open();
  EXPECT_FALSE(view_.commands.has_reference);
  view_.files.push_back(ref.string());
  logic_.Run(EditorCommand::kOpenReference);
  ASSERT_TRUE(view_.commands.has_reference) << Messages();
  Idle();

  const auto column = [&] {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      const EditorRow r = logic_.Row(row);
      out += std::to_string(r.id) + "=" + r.reference.value_or("-") + " ";
    }
    return out;
  };
  EXPECT_EQ(column(),
            "1200=note 5001=First flight 5002=Second flight 5003=Patrol 5005=- 6000=end "
            "7000=one 7000=two ");
  const auto ids = [&] {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      out += std::to_string(logic_.Row(row).id) + " ";
    }
    return out;
  };
  logic_.Run(EditorCommand::kUntranslated);
  EXPECT_EQ(ids(), "5002 5003 ");
  EXPECT_TRUE(IsChecked(EditorCommand::kUntranslated, view_.commands));
  logic_.Run(EditorCommand::kOnlyHere);
  EXPECT_EQ(ids(), "5005 ");
  logic_.Run(EditorCommand::kOnlyInReference);
  EXPECT_EQ(ids(), "5004 ");
  EXPECT_EQ(logic_.Row(0).reference, "Only in the reference");

  // The rows with problems, their counts and the progress are orva-cli's.
  const test_support::CliOutcome checked =
      RunCli({"check", "--reference", ref.string(), "--json", Path()});
  const nlohmann::json cli = nlohmann::json::parse(checked.out);
  std::map<std::size_t, std::size_t> cli_slots;
  for (const nlohmann::json& f : cli["findings"]) ++cli_slots[f["slot"].get<std::size_t>()];
  logic_.Run(EditorCommand::kWithProblems);
  std::map<std::size_t, std::size_t> slots;
  for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
    slots[logic_.Row(row).slot] = logic_.Row(row).problems;
  }
  EXPECT_EQ(slots, cli_slots) << checked.out;
  EXPECT_GE(slots.size(), 4u);  // 5002 empty, 5003 untranslated, 5005 spaces, 7000 too long
  const nlohmann::json& p = cli["progress"];
  EXPECT_EQ(view_.review, Plural(cli["errors"].get<std::size_t>(), "error", "errors") + ", " +
                              Plural(cli["warnings"].get<std::size_t>(), "warning", "warnings") +
                              " · missions " + p["missions"]["translated"].dump() + " of " +
                              p["missions"]["entries"].dump() + " translated, others " +
                              p["others"]["translated"].dump() + " of " +
                              p["others"]["entries"].dump());

  // A draft too long for a mission shows its finding before it is applied,
  // and the row's own only once it is.
  logic_.Run(EditorCommand::kAllRows);
  const std::size_t first = *RowOfId(5001);
  logic_.SelectionChanged(first);
  EXPECT_EQ(view_.details.reference, "First flight");
  const std::string long_text(46, 'x');
  const TextPreview draft = logic_.PreviewText(first, long_text);
  ASSERT_EQ(draft.findings.size(), 1u);
  EXPECT_TRUE(draft.findings[0].starts_with("error · too-long: ")) << draft.findings[0];
  EXPECT_EQ(logic_.Row(first).problems, 0u);
  const std::size_t errors = cli["errors"].get<std::size_t>();
  ASSERT_TRUE(logic_.SetText(first, long_text));
  EXPECT_EQ(CellText(logic_.Row(first), EditorColumn::kProblems), "1 · too-long");
  EXPECT_TRUE(logic_.Row(first).error);
  EXPECT_TRUE(view_.review.starts_with(Plural(errors + 1, "error", "errors"))) << view_.review;
  EXPECT_EQ(view_.details.findings, draft.findings);

  // The reference copied to two rows is one step, and one Undo takes it back.
  logic_.SelectionChanged(*RowOfId(5005));
  EXPECT_FALSE(IsEnabled(EditorCommand::kCopyReference, view_.commands));
  logic_.SelectionChanged(*RowOfId(5002));
  EXPECT_TRUE(IsEnabled(EditorCommand::kCopyReference, view_.commands));
  const std::vector<std::size_t> rows{*RowOfId(5002), first};
  ASSERT_TRUE(logic_.CopyReference(rows));
  EXPECT_EQ(logic_.Row(*RowOfId(5002)).text, "Second flight");
  EXPECT_EQ(logic_.Row(first).text, "First flight");
  EXPECT_EQ(logic_.Row(first).worst, "untranslated");
  EXPECT_EQ(view_.status, "Reference copied to 2 texts, not saved yet · 8 entries");
  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(logic_.Row(*RowOfId(5002)).text, "");
  EXPECT_EQ(logic_.Row(first).text, long_text);
  logic_.SelectionChanged(*RowOfId(5002));
  logic_.Run(EditorCommand::kCopyReference);
  EXPECT_EQ(logic_.Row(*RowOfId(5002)).text, "Second flight");
  EXPECT_EQ(view_.commands.undo_text, "Translate 1 text");
  ASSERT_TRUE(logic_.Save());
  EXPECT_EQ(RunCli({"check", "--reference", ref.string(), "--json", Path()}).out.find("\"empty\""),
            std::string::npos);

  // Closed, the reference takes its column and its filter with it.
  logic_.Run(EditorCommand::kOnlyHere);
  logic_.Run(EditorCommand::kCloseReference);
  EXPECT_FALSE(view_.commands.has_reference);
  EXPECT_EQ(logic_.review_filter(), ReviewFilter::kAll);
  EXPECT_EQ(logic_.RowCount(), 8u);
  EXPECT_FALSE(logic_.Row(0).reference.has_value());
  EXPECT_EQ(view_.review.find("translated"), std::string::npos);
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// View ▸ Only in the Reference: the rows are the reference's entries that
// nothing here pairs with, as many as orva-cli counts, in the reference's
// order, read only, each with its text in the Reference column; the Ctrl+F
// filter chooses among them. A mission added whose id pairs one takes its
// row, the selection going on to the next; Undo brings it back.
TEST_F(EditorLogicTest, ShowsTheEntriesOnlyInTheReferenceAsReadOnlyRows) {
  Write(DatabaseBuilder()
            .Entry(1200, "заметка")
            .Entry(5001, "Первый вылет")
            .Entry(5002, "Второй вылет")
            .Marker("end")
            .Entry(7000, "А")
            .Build());
  const std::filesystem::path ref = dir_ / "textdb_01.def";
  WriteFileBytes(ref, DatabaseBuilder()
                          .Entry(1200, "note")
                          .Entry(5001, "First flight")
                          .Entry(5002, "Second flight")
                          .Entry(5003, "Third flight")
                          .RawEntry(5004, "Fourth\tflight")
                          .Marker("end")
                          .Entry(7000, "a")
                          .Entry(7000, "b")
                          .Entry(7100, "x")
                          .Build());
  Open();
  logic_.Run(EditorCommand::kOnlyInReference);  // nothing to show it beside yet
  EXPECT_EQ(logic_.review_filter(), ReviewFilter::kAll);
  ASSERT_TRUE(logic_.OpenReferencePath(ref.string())) << Messages();
  Idle();
  logic_.Run(EditorCommand::kOnlyInReference);
  EXPECT_TRUE(IsChecked(EditorCommand::kOnlyInReference, view_.commands));

  // Each row's cells as a view draws them, and its text cell as read aloud.
  const auto rows = [&] {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      const EditorRow r = logic_.Row(row);
      for (int column = 0; column + 1 < kEditorColumnCount; ++column) {
        out += CellText(r, static_cast<EditorColumn>(column)) + "|";
      }
      out += CellReading(r, EditorColumn::kText) + "\n";
    }
    return out;
  };
  EXPECT_EQ(rows(),
            "|5003|mission, only in the reference|shot003.bmp|||Third flight|not in this file\n"
            "|5004|mission, only in the reference|shot004.bmp|||Fourth␉flight|not in this file\n"
            "|7000|other, only in the reference||||b|not in this file\n"
            "|7100|other, only in the reference||||x|not in this file\n");
  EXPECT_EQ(view_.rows, 4u);
  const nlohmann::json cli =
      nlohmann::json::parse(RunCli({"check", "--reference", ref.string(), "--json", Path()}).out);
  EXPECT_EQ(cli["progress"]["only_in_reference"].get<std::size_t>(), logic_.RowCount());
  EXPECT_EQ(view_.status, "4 entries only in the reference");

  // Nothing here to change: each command that would is off, and each
  // refuses when asked all the same, changing nothing.
  ASSERT_EQ(view_.selected, 0u);
  EXPECT_EQ(view_.details.reference, "Third flight");
  EXPECT_FALSE(view_.details.editable);
  logic_.SelectedRowsChanged(std::vector<RowSpan>{{0, 3}});
  for (const EditorCommand command :
       {EditorCommand::kEditText, EditorCommand::kRemove, EditorCommand::kCopyReference}) {
    EXPECT_FALSE(IsEnabled(command, view_.commands)) << Info(command).name;
  }
  EXPECT_FALSE(logic_.PreviewText(0, "Третий вылет").can_apply);
  EXPECT_FALSE(logic_.SetText(0, "Третий вылет"));
  EXPECT_FALSE(logic_.Remove(1));
  EXPECT_FALSE(logic_.CopyReference(logic_.SelectedRows()));
  ASSERT_EQ(view_.messages.size(), 3u);
  EXPECT_NE(view_.messages[0].find("5003 is only in textdb_01.def"), std::string::npos)
      << view_.messages[0];
  view_.messages.clear();
  EXPECT_FALSE(logic_.modified());

  logic_.SetFilter("FOURTH");
  EXPECT_EQ(rows(),
            "|5004|mission, only in the reference|shot004.bmp|||Fourth␉flight|not in this file\n");
  EXPECT_EQ(view_.status, "1 of 4 entries only in the reference");
  logic_.SetFilter("");

  // The mission added goes before the marker as 5003 and pairs with the
  // reference's 5003, selected, which leaves the rows.
  const auto ids = [&] {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      out += std::to_string(logic_.Row(row).id) + " ";
    }
    return out;
  };
  logic_.SelectionChanged(0);
  ASSERT_TRUE(logic_.AddMission("Третий вылет")) << Messages();
  Idle();
  EXPECT_EQ(ids(), "5004 7000 7100 ");
  EXPECT_EQ(view_.rows, 3u);
  ASSERT_TRUE(logic_.SelectedRow().has_value());
  EXPECT_EQ(view_.selected, logic_.SelectedRow());
  EXPECT_EQ(logic_.Row(*logic_.SelectedRow()).id, 5004);
  EXPECT_EQ(logic_.review().progress()->only_in_reference, 3u);
  EXPECT_TRUE(view_.status.ends_with(" · 3 entries only in the reference")) << view_.status;
  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(ids(), "5003 5004 7000 7100 ");
  EXPECT_EQ(logic_.Row(*logic_.SelectedRow()).id, 5004);
  logic_.SelectionChanged(3);
  ASSERT_TRUE(logic_.Redo());
  EXPECT_EQ(ids(), "5004 7000 7100 ");
  EXPECT_EQ(logic_.Row(*logic_.SelectedRow()).id, 7100);

  // The reference closed takes the filter with it; every row is back, the
  // mission added among them.
  logic_.Run(EditorCommand::kCloseReference);
  EXPECT_EQ(logic_.review_filter(), ReviewFilter::kAll);
  EXPECT_EQ(ids(), "1200 5001 5002 5003 6000 7000 ");
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// Copy Reference to Text acts on every row selected: one step changes
// exactly those with a partner in the reference, leaving the rest (one the
// reference lacks, two a comparison shows removed, the rows not selected)
// as they were, and one Undo brings every text back. A selection outlives
// no showing of the rows anew, and every other command keeps to the
// current row.
TEST_F(EditorLogicTest, CopiesTheReferenceToEverySelectedRowWithAPartnerAsOneStep) {
  const auto database = [](bool with_gone) {
    DatabaseBuilder b;
    b.Entry(1200, "заметка");
    if (with_gone) b.Entry(4000, "убрано").Entry(4001, "тоже");
    return b.Entry(5001, "Первый вылет")
        .Entry(5002, "")
        .Entry(5005, "Только здесь")
        .Marker("end")
        .Build();
  };
  const std::filesystem::path old_copy = dir_ / "textdb_00.orig";
  WriteFileBytes(old_copy, database(true));
  Write(database(false));
  const std::filesystem::path ref = dir_ / "textdb_01.def";
  WriteFileBytes(ref, DatabaseBuilder()
                          .Entry(1200, "note")
                          .Entry(4000, "gone")
                          .Entry(4001, "gone too")
                          .Entry(5001, "First flight")
                          .Entry(5002, "Second flight")
                          .Marker("the end")
                          .Build());
  Open();
  ASSERT_TRUE(logic_.CompareWith(old_copy.string())) << Messages();
  ASSERT_TRUE(logic_.OpenReferencePath(ref.string())) << Messages();
  Idle();
  const auto texts = [&] {
    std::string out;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      out += std::to_string(logic_.Row(row).id) + "=" + logic_.Row(row).text + " ";
    }
    return out;
  };
  const std::string before = texts();
  ASSERT_EQ(before,
            "1200=заметка 4000=убрано 4001=тоже 5001=Первый вылет 5002= 5005=Только здесь "
            "6000=end ");
  ASSERT_EQ(logic_.Row(*RowOfId(4000)).mark, RowMark::kRemoved);

  // The removed rows to 5005, told as two spans that overlap, one running
  // past the table; 5005, the current row, has no partner.
  const std::size_t first = *RowOfId(4000), last = *RowOfId(5005);
  const std::vector<RowSpan> spans{{first, last - 1}, {last - 1, logic_.RowCount() + 5}};
  logic_.SelectionChanged(last);
  logic_.SelectedRowsChanged(spans);
  std::vector<std::size_t> all(logic_.RowCount() - first);
  std::iota(all.begin(), all.end(), first);
  EXPECT_EQ(logic_.SelectedRows(), all);
  EXPECT_EQ(view_.commands.copy_reference_rows, 3u);  // 5001, 5002 and the end marker
  EXPECT_EQ(Caption(EditorCommand::kCopyReference, view_.commands), "&Copy Reference to 3 Texts");

  // A filter shows the rows anew: the current row alone is left selected.
  logic_.SetFilter("Только");
  logic_.SetFilter("");
  EXPECT_EQ(logic_.SelectedRows(), std::vector<std::size_t>{*RowOfId(5005)});
  EXPECT_FALSE(IsEnabled(EditorCommand::kCopyReference, view_.commands));
  logic_.Run(EditorCommand::kCopyReference);
  EXPECT_EQ(texts(), before);

  logic_.SelectionChanged(last);
  logic_.SelectedRowsChanged(std::vector<RowSpan>{{first, last}});
  EXPECT_EQ(view_.commands.copy_reference_rows, 2u);
  EXPECT_EQ(Caption(EditorCommand::kCopyReference, view_.commands), "&Copy Reference to 2 Texts");
  EXPECT_TRUE(view_.commands.can_edit);  // 5005, the current row
  EXPECT_TRUE(view_.details.heading.starts_with("5005")) << view_.details.heading;
  logic_.Run(EditorCommand::kCopyReference);
  EXPECT_EQ(texts(),
            "1200=заметка 4000=убрано 4001=тоже 5001=First flight 5002=Second flight "
            "5005=Только здесь 6000=end ");
  EXPECT_EQ(view_.commands.undo_text, "Translate 2 texts");
  EXPECT_TRUE(view_.status.starts_with("Reference copied to 2 texts, not saved yet"))
      << view_.status;
  // The edit selects one row again.
  EXPECT_EQ(logic_.SelectedRows().size(), 1u);
  ASSERT_TRUE(logic_.Undo());
  EXPECT_EQ(texts(), before);
  EXPECT_FALSE(view_.commands.can_undo);
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// The review's pass runs while the window is idle, a slice at a time, and
// can be stopped: an entry not checked never looks clean, the filters by
// findings leave it out until it is checked and say the review is not
// whole, and the rows they keep as the pass goes are those they keep when
// chosen afresh. Stop Checking is there only while a pass runs.
TEST_F(EditorLogicTest, AStoppedPassNeverShowsAnEntryNotCheckedAsClean) {
  DatabaseBuilder builder;
  std::size_t with_problems = 0;
  for (int i = 0; i < 3000; ++i) {
    const bool spaced = i % 3 == 0;
    with_problems += spaced ? 1 : 0;
    builder.Entry(7001 + i, spaced ? "Патруль  над рекой" : "Патруль над рекой");
  }
  Write(builder.Marker("end").Build());
  Open();
  JoinDictionaries();
  EXPECT_TRUE(IsEnabled(EditorCommand::kStopChecking, view_.commands));
  EXPECT_TRUE(view_.review.starts_with("Checking entries: 0 of 3,001 (Esc stops)")) << view_.review;
  logic_.Run(EditorCommand::kWithProblems);
  EXPECT_EQ(logic_.RowCount(), 0u);

  // A slice with no time to spare still checks some, but not all, of them.
  ASSERT_TRUE(logic_.ContinueReview(std::chrono::milliseconds(0)));
  const std::size_t checked = logic_.review().checked();
  EXPECT_GT(checked, 0u);
  EXPECT_LT(checked, 3001u);
  EXPECT_GT(logic_.RowCount(), 0u);
  EXPECT_EQ(view_.rows, logic_.RowCount());
  EXPECT_TRUE(view_.review.starts_with("Checking entries: " + Grouped(checked) + " of 3,001"))
      << view_.review;

  logic_.Run(EditorCommand::kStopChecking);
  EXPECT_FALSE(logic_.reviewing());
  EXPECT_FALSE(IsEnabled(EditorCommand::kStopChecking, view_.commands));
  EXPECT_FALSE(logic_.ContinueReview());
  EXPECT_EQ(logic_.review().checked(), checked);
  EXPECT_TRUE(view_.status.starts_with("Checking stopped: " + Grouped(checked) + " of 3,001"))
      << view_.status;
  EXPECT_NE(view_.status.find(Grouped(3001 - checked)), std::string::npos) << view_.status;
  EXPECT_TRUE(view_.review.starts_with("Only " + Grouped(checked) + " of 3,001 entries checked"))
      << view_.review;

  // Under the filter, only entries checked, each with its problem; among
  // every row, none not checked reads as clean.
  const auto shown = [&] {
    std::vector<std::size_t> slots;
    for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
      const EditorRow r = logic_.Row(row);
      EXPECT_TRUE(r.checked && r.problems > 0) << "slot " << r.slot;
      slots.push_back(r.slot);
    }
    return slots;
  };
  const std::vector<std::size_t> kept = shown();
  logic_.Run(EditorCommand::kAllRows);
  logic_.Run(EditorCommand::kWithProblems);
  EXPECT_EQ(shown(), kept);
  logic_.Run(EditorCommand::kAllRows);
  std::size_t not_checked = 0;
  for (std::size_t row = 0; row < logic_.RowCount(); ++row) {
    const EditorRow r = logic_.Row(row);
    ASSERT_EQ(r.checked, logic_.review().Checked(r.slot));
    if (r.checked) continue;
    ++not_checked;
    EXPECT_EQ(CellText(r, EditorColumn::kProblems), "not checked");
    EXPECT_EQ(CellReading(r, EditorColumn::kProblems), "not checked yet");
  }
  EXPECT_EQ(not_checked, 3001 - checked);

  // A text edited while the pass is stopped is checked at once.
  const std::size_t last = logic_.RowCount() - 2;
  ASSERT_FALSE(logic_.Row(last).checked);
  ASSERT_TRUE(logic_.SetText(last, "Текст  с пробелами"));
  EXPECT_TRUE(logic_.Row(last).checked);
  EXPECT_EQ(logic_.Row(last).problems, 1u);

  // Continued, the pass checks the rest and ends; Continue Checking is
  // there only while a pass is stopped short.
  EXPECT_TRUE(IsEnabled(EditorCommand::kContinueChecking, view_.commands));
  logic_.Run(EditorCommand::kContinueChecking);
  EXPECT_TRUE(logic_.reviewing());
  EXPECT_TRUE(IsEnabled(EditorCommand::kStopChecking, view_.commands));
  EXPECT_FALSE(IsEnabled(EditorCommand::kContinueChecking, view_.commands));
  Idle();
  EXPECT_TRUE(logic_.review().complete());
  EXPECT_FALSE(IsEnabled(EditorCommand::kContinueChecking, view_.commands));
  EXPECT_EQ(logic_.review().warnings(), with_problems + 1);

  // Checked again from the start, under the filter, the pass keeps the rows
  // a filter chosen afresh keeps, and ends with the whole review.
  logic_.Run(EditorCommand::kWithProblems);
  logic_.ReviewAgain();
  EXPECT_TRUE(IsEnabled(EditorCommand::kStopChecking, view_.commands));
  EXPECT_EQ(logic_.review().checked(), 0u);
  Idle();
  EXPECT_FALSE(IsEnabled(EditorCommand::kStopChecking, view_.commands));
  const std::vector<std::size_t> passed = shown();
  EXPECT_EQ(passed.size(), with_problems + 1);
  logic_.Run(EditorCommand::kAllRows);
  logic_.Run(EditorCommand::kWithProblems);
  EXPECT_EQ(shown(), passed);
  EXPECT_EQ(view_.review,
            Plural(0, "error", "errors") + ", " + Plural(with_problems + 1, "warning", "warnings"));

  // Without a filter by findings, each slice redraws the rows it checked
  // among those a text filter keeps (the view checks that they are rows),
  // and the rows stay.
  logic_.Run(EditorCommand::kAllRows);
  logic_.SetFilter("  ");
  const std::size_t spaced_rows = logic_.RowCount();
  EXPECT_EQ(spaced_rows, with_problems + 1);
  logic_.ReviewAgain();
  view_.rows_changed = 0;
  while (logic_.ContinueReview(std::chrono::milliseconds(0))) {
  }
  EXPECT_GT(view_.rows_changed, 1u);
  EXPECT_EQ(logic_.RowCount(), spaced_rows);
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// --- Spelling, with Debian's dictionaries ---

class EditorSpellingTest : public EditorLogicTest {
 protected:
  void SetUp() override { logic_.SetDictionaryFolder(ORVA_DICTIONARY_DIR); }
  std::vector<std::string> Words(std::string_view text) const {
    std::vector<std::string> words;
    for (const MisspeltSpan& span : logic_.MisspeltSpans(text)) words.push_back(span.word);
    return words;
  }
  std::string FileText(const std::filesystem::path& path) const {
    if (!std::filesystem::exists(path)) return "(none)";
    const std::vector<std::byte> bytes = ReadFileBytes(path);
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
  }
};

// A word misspelt as it is typed is found where the box holds it (UTF-16
// code units, a symbol or a character beyond the first plane before it
// too), its suggestions offer the word meant, and the text with the chosen
// one saves exactly what `orva-cli set` makes of it.
TEST_F(EditorSpellingTest, TypedMisspellingIsFoundAndItsSuggestionSavesAsSetDoes) {
  Write(Sample());
  Open();
  JoinDictionaries();
  EXPECT_TRUE(view_.commands.spelling);
  EXPECT_TRUE(IsEnabled(EditorCommand::kSpellingSuggestions, view_.commands));
  EXPECT_EQ(view_.status.find("spelling"), std::string::npos) << view_.status;
  const std::size_t row = *RowOfId(5002);

  const std::string typed = "Ночной патрул␊над рекой";
  const std::vector<MisspeltSpan> spans = logic_.MisspeltSpans(typed, row);
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0], (MisspeltSpan{.from = 7, .to = 13, .word = "патрул"}));
  const std::vector<MisspeltSpan> after_emoji = logic_.MisspeltSpans("😀 ␉патрул");
  ASSERT_EQ(after_emoji.size(), 1u);
  EXPECT_EQ(after_emoji[0].from, 4u);  // two units for 😀, one for the space and ␉
  EXPECT_EQ(after_emoji[0].to, 10u);
  // The pane's findings list it too.
  const TextPreview preview = logic_.PreviewText(row, typed);
  EXPECT_EQ(std::count_if(
                preview.findings.begin(), preview.findings.end(),
                [](const std::string& line) { return line.find("патрул") != std::string::npos; }),
            1)
      << ::testing::PrintToString(preview.findings);

  // At the word's start, inside and just after it; not on a word spelt well.
  for (const std::size_t at : {7u, 10u, 13u}) {
    const std::optional<SpellingChoices> choices = logic_.SpellingAt(typed, at);
    ASSERT_TRUE(choices) << at;
    EXPECT_EQ(choices->span, spans[0]);
    EXPECT_NE(std::find(choices->suggestions.begin(), choices->suggestions.end(), "патруль"),
              choices->suggestions.end())
        << ::testing::PrintToString(choices->suggestions);
  }
  EXPECT_FALSE(logic_.SpellingAt(typed, 2));
  EXPECT_FALSE(logic_.SpellingAt(typed, 17));

  // The suggestion in place of the span, as a view's box puts it.
  const std::string chosen = "Ночной патруль␊над рекой";
  EXPECT_TRUE(logic_.MisspeltSpans(chosen, row).empty());
  ASSERT_TRUE(logic_.SetText(row, chosen));
  EXPECT_EQ(view_.commands.undo_text, "Set 5002");
  ASSERT_TRUE(logic_.Save());
  WriteFileBytes(dir_ / "cli.def", Sample());
  ASSERT_EQ(
      RunCli({"set", (dir_ / "cli.def").string(), "5002", "Ночной патруль\nнад рекой"}).exit_code,
      0);
  EXPECT_EQ(OnDisk(), ReadFileBytes(dir_ / "cli.def"));
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// Add to Dictionary writes the team's list beside the database and accepts
// the word from then on, in the typed text and in the review's findings;
// Ignore accepts it for this run alone and writes nothing; a word that
// cannot be a line of the list is refused in words, the list as it was.
TEST_F(EditorSpellingTest, AddedWordsAreKeptAndIgnoredOnesForgotten) {
  Write(DatabaseBuilder()
            .Entry(5001, "Шмыглик летит")
            .Entry(5002, "Кваздрик спит")
            .Marker("конец")
            .Build());
  Open();
  Idle();  // the review's pass, run to its end
  const std::filesystem::path list = dir_ / "orva-words.txt";
  const std::size_t warnings = logic_.review().warnings();
  ASSERT_GE(warnings, 2u);
  const std::string typed = "Шмыглик и Кваздрик";
  ASSERT_EQ(Words(typed), (std::vector<std::string>{"Шмыглик", "Кваздрик"}));

  EXPECT_FALSE(logic_.AddToDictionary("два слова"));
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_NE(view_.messages[0].find("not added"), std::string::npos) << Messages();
  EXPECT_EQ(FileText(list), "(none)");
  view_.messages.clear();

  ASSERT_TRUE(logic_.AddToDictionary("Шмыглик"));
  EXPECT_EQ(FileText(list), "Шмыглик\n");
  EXPECT_EQ(Words(typed), (std::vector<std::string>{"Кваздрик"}));
  Idle();
  EXPECT_EQ(logic_.review().warnings(), warnings - 1);
  EXPECT_NE(view_.review.find(Plural(warnings - 1, "warning", "warnings")), std::string::npos)
      << view_.review;

  logic_.IgnoreWord("Кваздрик");
  EXPECT_TRUE(Words(typed).empty());
  Idle();
  EXPECT_EQ(logic_.review().warnings(), warnings - 2);
  EXPECT_EQ(FileText(list), "Шмыглик\n");
  EXPECT_TRUE(view_.messages.empty()) << Messages();

  // The next run: the list's word is still accepted, the ignored one not.
  FakeView next_view;
  EditorLogic next(next_view);
  next.SetDictionaryFolder(ORVA_DICTIONARY_DIR);
  ASSERT_TRUE(next.OpenPath(Path()));
  while (next.ContinueReview()) {
  }
  std::vector<std::string> found;
  for (const MisspeltSpan& span : next.MisspeltSpans(typed)) found.push_back(span.word);
  EXPECT_EQ(found, (std::vector<std::string>{"Кваздрик"}));
  EXPECT_EQ(next.review().warnings(), warnings - 1);
}

// Words spelt well are never flagged, with the ё/е option or without; е for
// ё is accepted only with it, and the option starts as the rules say and
// follows its command. Rules that leave spelling out leave the editor
// without it, and say nothing of it.
TEST_F(EditorSpellingTest, TheYeForYoOptionAcceptsOnlyWhatItSays) {
  Write(DatabaseBuilder().Entry(5001, "Лёха и ёж").Marker("конец").Build());
  WriteFileBytes(dir_ / "orva-words.txt", test_support::Bytes("Лёха\n"));
  const std::string correct = "Ещё один ёж и еж, Лёха, the hedgehog's day, учёный считает";
  const std::string with_ye = "Леха, ЛЕХА";
  Open();
  JoinDictionaries();
  EXPECT_FALSE(view_.commands.accept_ye_for_yo);
  EXPECT_TRUE(Words(correct).empty()) << ::testing::PrintToString(Words(correct));
  EXPECT_EQ(Words(with_ye), (std::vector<std::string>{"Леха", "ЛЕХА"}));
  logic_.Run(EditorCommand::kAcceptYeForYo);
  EXPECT_TRUE(view_.commands.accept_ye_for_yo);
  EXPECT_TRUE(IsChecked(EditorCommand::kAcceptYeForYo, view_.commands));
  EXPECT_TRUE(Words(correct).empty());
  EXPECT_TRUE(Words(with_ye).empty());
  logic_.Run(EditorCommand::kAcceptYeForYo);
  EXPECT_EQ(Words(with_ye).size(), 2u);

  WriteFileBytes(dir_ / "orva-rules.json",
                 test_support::Bytes(R"({"spelling": {"accept-ye-for-yo": true}})"));
  logic_.Reload();
  JoinDictionaries();
  EXPECT_TRUE(view_.commands.accept_ye_for_yo);
  EXPECT_TRUE(Words(with_ye).empty());

  WriteFileBytes(dir_ / "orva-rules.json", test_support::Bytes(R"({"spelling": false})"));
  logic_.Reload();
  EXPECT_FALSE(logic_.reading_dictionaries());
  EXPECT_FALSE(logic_.spelling());
  EXPECT_FALSE(IsEnabled(EditorCommand::kSpellingSuggestions, view_.commands));
  EXPECT_TRUE(Words("превед").empty());
  EXPECT_EQ(view_.status.find("spelling"), std::string::npos) << view_.status;
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// The table is there before the dictionaries are read (they take a tenth
// of a second or more, the table of a small file far less), and spelling
// then joins the checks: a text changed meanwhile gets its findings too,
// and the pass checks every entry once. Opening another file while they
// are read waits for them. A word list that cannot be read turns spelling
// off when they join, with the reason in the status line.
TEST_F(EditorSpellingTest, SpellingJoinsTheChecksOnceTheDictionariesAreRead) {
  Write(DatabaseBuilder()
            .Entry(5001, "Ночной патруль")
            .Entry(5002, "Тихая река")
            .Marker("конец")
            .Build());
  Open();
  ASSERT_EQ(logic_.RowCount(), 3u);
  ASSERT_TRUE(logic_.SetText(*RowOfId(5002), "Тихий патрул"));
  Idle();
  EXPECT_FALSE(logic_.reading_dictionaries());
  EXPECT_TRUE(view_.commands.spelling);
  EXPECT_FALSE(view_.commands.checking);
  EXPECT_EQ(logic_.review().checked(), 3u);
  EXPECT_EQ(logic_.review().warnings(), 1u) << view_.review;
  EXPECT_NE(view_.review.find("1 warning"), std::string::npos) << view_.review;
  EXPECT_EQ(logic_.MisspeltSpans("патрул").size(), 1u);

  // Reopened, and opened again at once: the second open waits for the
  // first one's dictionaries, then reads its own.
  ASSERT_TRUE(logic_.Save());
  logic_.Reload();
  logic_.Reload();
  Idle();
  EXPECT_TRUE(view_.commands.spelling);
  EXPECT_EQ(logic_.review().warnings(), 1u) << view_.review;

  std::filesystem::create_directory(dir_ / "orva-words.txt");
  logic_.Reload();
  Idle();
  EXPECT_FALSE(logic_.spelling());
  EXPECT_FALSE(view_.commands.spelling);
  EXPECT_NE(view_.status.find("pelling is off"), std::string::npos) << view_.status;
  EXPECT_NE(view_.status.find("orva-words.txt"), std::string::npos) << view_.status;
  EXPECT_EQ(logic_.review().checked(), 3u);
  EXPECT_EQ(logic_.review().warnings(), 0u) << view_.review;
  EXPECT_EQ(logic_.RowCount(), 3u);
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

// Without the dictionaries the database opens all the same, the status line
// says why spelling is off, and nothing is underlined.
TEST_F(EditorSpellingTest, MissingDictionariesLeaveSpellingOffAndSaySo) {
  Write(Sample());
  logic_.SetDictionaryFolder((dir_ / "no-dictionaries").string());
  Open();
  EXPECT_EQ(logic_.RowCount(), 6u);
  EXPECT_NE(view_.status.find("spelling is off: the Russian dictionary"), std::string::npos)
      << view_.status;
  EXPECT_NE(view_.status.find("no-dictionaries"), std::string::npos) << view_.status;
  EXPECT_FALSE(view_.commands.spelling);
  EXPECT_TRUE(logic_.MisspeltSpans("превед").empty());
  EXPECT_FALSE(logic_.SpellingAt("превед", 2));
  EXPECT_FALSE(logic_.AddToDictionary("превед"));
  EXPECT_TRUE(view_.messages.empty()) << Messages();
}

}  // namespace
}  // namespace orva
