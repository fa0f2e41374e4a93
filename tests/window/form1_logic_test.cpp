// What the window does, without a toolkit: Form1Logic driven as a view drives
// it, with a fake view that keeps what a screen would show, on real database
// files made by the builder in a scratch folder.
#include "window/form1_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "database/format.h"
#include "database/little_endian.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "window/form1_layout.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;
using test_support::ReadFileBytes;

// What the window shows.
struct Screen {
  std::string path;
  std::vector<std::string> missions;
  int selected = -1;
  std::string image_name;
  std::string id;
  bool commands_enabled = true;
  bool help_shown = false;

  friend bool operator==(const Screen&, const Screen&) = default;
};

struct Message {
  MessageIcon icon;
  std::string text;
  std::string details;
  bool commands_enabled;  // while the box was up
};

class FakeView : public Form1View {
 public:
  std::optional<std::string> ChooseExistingFile(const OpenFileRequest& request) override {
    requests.push_back(request);
    help_shown_during_dialog = screen.help_shown;
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void ShowMessage(MessageIcon icon, const std::string& text, const std::string& details) override {
    messages.push_back({icon, text, details, screen.commands_enabled});
  }
  void ShowPath(const std::string& path) override { screen.path = path; }
  void ShowMissions(const std::vector<std::string>& texts) override {
    screen.missions = texts;
    screen.selected = -1;
  }
  void SelectMission(int row) override { screen.selected = row; }
  void ShowDetails(const std::string& image_name, const std::string& id) override {
    screen.image_name = image_name;
    screen.id = id;
  }
  void SetCommandsEnabled(bool enabled) override { screen.commands_enabled = enabled; }
  void SetHelpShown(bool shown) override { screen.help_shown = shown; }

  Screen screen;
  std::deque<std::optional<std::string>> answers;  // the Open dialog's; none left is Cancel
  std::vector<OpenFileRequest> requests;
  std::vector<Message> messages;
  bool help_shown_during_dialog = false;
};

// The real files, with the calls counted; reads can be made to fail once a
// text has been inserted, and insertions to come with a warning.
class CountingDatabase : public MissionDatabase {
 public:
  bool Exists(const std::filesystem::path& path) override { return files_.Exists(path); }
  MissionList Read(const std::filesystem::path& path) override {
    ++reads;
    if (!fail_reads_after_insert || inserts == 0) return files_.Read(path);
    MissionList failed;
    failed.status = Status::Io("the disk was gone");
    return failed;
  }
  Result<InsertedEntry> Insert(const std::filesystem::path& path,
                               std::string_view utf8_text) override {
    ++inserts;
    Result<InsertedEntry> inserted = files_.Insert(path, utf8_text);
    if (inserted.ok()) inserted->warning = warning;
    return inserted;
  }

  int reads = 0;
  int inserts = 0;
  bool fail_reads_after_insert = false;
  std::string warning;

 private:
  FileMissionDatabase files_;
};

std::vector<std::byte> ThreeMissions() {
  return DatabaseBuilder()
      .Entry(5001, "Обучение")
      .Entry(1200, "briefing, not listed")
      .Entry(5002, "Патруль")
      .Entry(5003, "Convoy")
      .Marker("Конец")
      .Build();
}

// ThreeMissions with 5003's text offset negative: the read fails after two.
std::vector<std::byte> FailingAtTheThird() {
  std::vector<std::byte> bytes = ThreeMissions();
  EncodeInt32(bytes, static_cast<std::size_t>(format::TextOffsetField(4)), -1);
  return bytes;
}

class Form1LogicTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<std::byte>& bytes) {
    test_support::WriteFileBytes(dir_ / name, bytes);
    return (dir_ / name).string();
  }
  void Open(const std::string& path) {
    view_.answers.push_back(path);
    logic_.Open();
  }
  void CancelOpen() { logic_.Open(); }
  // The user moves the list's selection, which the view passes on.
  void Select(int row) {
    view_.screen.selected = row;
    logic_.SelectionChanged(row);
  }
  std::vector<std::string> TextsOnDisk(const std::string& path) {
    std::vector<std::string> texts;
    for (const MissionEntry& m : ReadMissionList(std::filesystem::path(path)).missions)
      texts.push_back(m.text);
    return texts;
  }

  test_support::TempDir dir_;
  FakeView view_;
  CountingDatabase database_;
  Form1Logic logic_{view_, database_};
};

TEST_F(Form1LogicTest, OpenListsTheMissionsAndSelectsTheLastOfWhichTheDetailsShow) {
  const std::string path = Write("textdb_01.def", ThreeMissions());
  Open(path);

  ASSERT_EQ(view_.requests.size(), 1u);
  EXPECT_EQ(view_.requests[0].title, "Открыть textdb_XX.def файл");
  EXPECT_EQ(view_.requests[0].filter_description, "*.def");
  EXPECT_EQ(view_.requests[0].filter_pattern, "*.def");
  EXPECT_EQ(view_.requests[0].start_path, "");
  EXPECT_EQ(view_.screen, (Screen{.path = path,
                                  .missions = {"Обучение", "Патруль", "Convoy"},
                                  .selected = 2,
                                  .image_name = "shot003.bmp",
                                  .id = "5003"}));
  EXPECT_EQ(logic_.DatabasePath(), path);
  EXPECT_TRUE(view_.messages.empty());

  Select(0);
  EXPECT_EQ(view_.screen.id, "5001");
  EXPECT_EQ(view_.screen.image_name, "shot001.bmp");

  // A database with no mission leaves no selection and the details empty.
  Open(Write("textdb_02.def", DatabaseBuilder().Entry(100, "other").Marker().Build()));
  EXPECT_EQ(view_.requests.back().start_path, path);  // the dialog starts at the current one
  EXPECT_TRUE(view_.screen.missions.empty());
  EXPECT_EQ(view_.screen.selected, -1);
  EXPECT_EQ(view_.screen.id + view_.screen.image_name, "");
  EXPECT_TRUE(view_.screen.commands_enabled);
  EXPECT_TRUE(view_.messages.empty());
}

// Each view runs the menu by its commands: the item that opens a submenu
// has none, Open's item asks for a file, Help's shows the panel.
TEST_F(Form1LogicTest, EachMenuItemRunsTheCommandItNames) {
  for (const layout::MenuItem& item : layout::Menu()) {
    const bool opens_menu = std::ranges::any_of(
        layout::Menu(), [&](const layout::MenuItem& i) { return i.parent == item.name; });
    EXPECT_EQ(opens_menu, item.command == layout::MenuCommand::kNone) << item.name;
    const std::size_t asked = view_.requests.size();
    view_.screen.help_shown = false;
    logic_.RunMenuCommand(item.command);
    EXPECT_EQ(view_.requests.size() - asked, item.name == "tb" ? 1U : 0U) << item.name;
    EXPECT_EQ(view_.screen.help_shown, item.name == "ooo") << item.name;
  }
  EXPECT_EQ(layout::ControlKeyOf("Ctrl+O"), 'O');
  for (const std::string_view other : {"", "Ctrl+", "Ctrl+F2", "Alt+O", "Ctrl+o"}) {
    EXPECT_EQ(layout::ControlKeyOf(other), 0) << other;
  }
}

TEST_F(Form1LogicTest, OpenThenCancelOnlyHidesTheHelpPanel) {
  Open(Write("textdb_01.def", ThreeMissions()));
  Select(0);
  logic_.ShowHelp();
  logic_.ShowHelp();  // Help... while shown leaves it shown
  ASSERT_TRUE(view_.screen.help_shown);
  Screen expected = view_.screen;
  expected.help_shown = false;

  CancelOpen();

  EXPECT_FALSE(view_.help_shown_during_dialog);  // hidden before the dialog
  EXPECT_EQ(view_.screen, expected);
  EXPECT_EQ(database_.reads, 1);
  EXPECT_TRUE(view_.messages.empty());

  logic_.ShowHelp();
  logic_.HideHelp();  // OK or Esc
  EXPECT_EQ(view_.screen, expected);
}

// Tab and Shift+Tab walk the layout's order round, each stop once, skipping
// what cannot take the focus; with the help panel up only its OK is a stop,
// and Esc closes the panel and does nothing more.
TEST_F(Form1LogicTest, TabVisitsTheUsableStopsInOrderAndTheHelpPanelKeepsItToOk) {
  const std::vector<std::string_view> order(layout::FocusOrder().begin(),
                                            layout::FocusOrder().end());
  ASSERT_GE(order.size(), 3U);
  const std::string_view disabled = order[1];
  auto usable = [&](std::string_view name) { return name != disabled; };
  std::vector<std::string_view> forward;
  std::string_view at = order.front();
  for (std::size_t i = 0; i + 1 < order.size(); ++i) {
    forward.push_back(at);
    at = logic_.NextFocusStop(at, 1, usable);
  }
  EXPECT_EQ(at, order.front()) << "Tab comes round to the first stop";
  std::vector<std::string_view> expected = order;
  std::erase(expected, disabled);
  EXPECT_EQ(forward, expected);
  for (std::string_view name : expected) {
    EXPECT_EQ(logic_.NextFocusStop(logic_.NextFocusStop(name, 1, usable), -1, usable), name);
  }
  EXPECT_EQ(logic_.NextFocusStop("Label3", 1, usable), expected.front());
  EXPECT_EQ(logic_.NextFocusStop("", -1, usable), expected.back());
  EXPECT_EQ(logic_.NextFocusStop(order.front(), 1, [](std::string_view) { return false; }), "");

  EXPECT_FALSE(logic_.Escape());
  EXPECT_FALSE(view_.screen.help_shown);
  logic_.ShowHelp();
  for (std::string_view from : {order.front(), layout::kHelpOkName}) {
    EXPECT_EQ(logic_.NextFocusStop(from, 1, usable), layout::kHelpOkName);
    EXPECT_EQ(logic_.NextFocusStop(from, -1, usable), layout::kHelpOkName);
  }
  EXPECT_TRUE(logic_.Escape());
  EXPECT_FALSE(view_.screen.help_shown);
  EXPECT_EQ(logic_.NextFocusStop(layout::kHelpOkName, 1, usable), expected.front());
}

TEST_F(Form1LogicTest, AFailedReadKeepsTheMissionsReadAndDisablesTheCommandsUntilTheNextOpen) {
  const std::string path = Write("textdb_01.def", FailingAtTheThird());
  Open(path);

  ASSERT_EQ(view_.messages.size(), 1u);
  const Message& error = view_.messages[0];
  EXPECT_EQ(error.icon, MessageIcon::kExclamation);
  EXPECT_EQ(error.text, "ERROR!");
  EXPECT_NE(error.details.find("negative"), std::string::npos) << error.details;
  EXPECT_TRUE(std::isupper(static_cast<unsigned char>(error.details.front())));  // a sentence
  EXPECT_EQ(error.details.back(), '.');
  EXPECT_TRUE(error.commands_enabled);  // disabled once the box is dismissed
  EXPECT_EQ(view_.screen.missions, (std::vector<std::string>{"Обучение", "Патруль"}));
  EXPECT_FALSE(view_.screen.commands_enabled);
  EXPECT_EQ(view_.screen.path, path);

  logic_.Insert("x");  // cannot happen through a disabled Insert, and does nothing
  EXPECT_EQ(database_.inserts, 0);
  CancelOpen();
  EXPECT_FALSE(view_.screen.commands_enabled);

  Open(Write("textdb_02.def", ThreeMissions()));
  EXPECT_TRUE(view_.screen.commands_enabled);
  EXPECT_EQ(view_.screen.missions.size(), 3u);

  // A missing file is a failed read as well.
  Open((dir_ / "textdb_09.def").string());
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[1].text, "ERROR!");
  EXPECT_FALSE(view_.messages[1].details.empty());
  EXPECT_FALSE(view_.screen.commands_enabled);
}

TEST_F(Form1LogicTest, AMissionListedPastTheEntryCountShowsNoId) {
  // One entry claimed, three missions before the marker: the read lists
  // them, then fails; MissionIds has no place for the third.
  Open(Write("textdb_01.def", DatabaseBuilder()
                                  .Entry(5001, "a")
                                  .Entry(5002, "b")
                                  .Entry(5003, "c")
                                  .Marker()
                                  .ClaimedCount(1)
                                  .Build()));
  ASSERT_EQ(view_.screen.missions.size(), 3u);
  Select(1);
  EXPECT_EQ(view_.screen.id, "5002");
  Select(2);
  EXPECT_EQ(view_.screen.id + view_.screen.image_name, "");
}

TEST_F(Form1LogicTest, InsertAddsTheTextAsTheNextMissionSelectsItAndSaysAllRight) {
  const std::string path =
      Write("textdb_05.def",
            DatabaseBuilder().Entry(5122, "Мост").Entry(5123, "Переправа").Marker("end").Build());
  Open(path);
  logic_.Insert("Щит и меч");

  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(view_.messages[0].text, "All Right!");
  EXPECT_EQ(view_.messages[0].details, "");
  EXPECT_EQ(view_.screen.missions, (std::vector<std::string>{"Мост", "Переправа", "Щит и меч"}));
  EXPECT_EQ(view_.screen.selected, 2);
  EXPECT_EQ(view_.screen.id, "5124");
  EXPECT_EQ(view_.screen.image_name, "shot124.bmp");
  EXPECT_EQ(TextsOnDisk(path), view_.screen.missions);

  // The text is taken as typed: spaces too (the list shows them as an empty
  // text); an empty text does nothing.
  const std::size_t size = ReadFileBytes(path).size();
  logic_.Insert("  ");
  EXPECT_EQ(view_.screen.id, "5125");
  EXPECT_EQ(ReadFileBytes(path).size(), size + 2 + 1 + format::kEntrySize);
  const std::vector<std::byte> before = ReadFileBytes(path);
  logic_.Insert("");
  EXPECT_EQ(database_.inserts, 2);
  EXPECT_EQ(database_.reads, 3);
  EXPECT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(ReadFileBytes(path), before);
}

TEST_F(Form1LogicTest, InsertBeforeAnyOpenAsksToOpenADatabase) {
  logic_.Insert("Новая");
  EXPECT_EQ(database_.inserts, 0);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(view_.messages[0].text, "Open a database first.");
}

// A refused insertion tells why and changes neither the file nor the window.
TEST_F(Form1LogicTest, ARefusedInsertionShowsItsReasonAndChangesNothing) {
  struct Case {
    std::vector<std::byte> bytes;
    std::string text;
    std::string reason;  // a part of the details
  };
  const std::vector<Case> cases = {
      {ThreeMissions(), "Мир 日本", "U+65E5"},
      // Without a marker the reader scans on past the table, but the
      // insertion has no place to put the text.
      {DatabaseBuilder().Entry(5001, "a").Entry(5002, "b").Build(), "c", "marker"},
  };
  for (const Case& c : cases) {
    const std::string path = Write("textdb_01.def", c.bytes);
    Open(path);
    Select(0);
    const Screen before = view_.screen;
    const int reads = database_.reads;
    view_.messages.clear();

    logic_.Insert(c.text);

    ASSERT_EQ(view_.messages.size(), 1u) << c.reason;
    EXPECT_EQ(view_.messages[0].icon, MessageIcon::kExclamation);
    EXPECT_EQ(view_.messages[0].text, "The text was not inserted.");
    EXPECT_NE(view_.messages[0].details.find(c.reason), std::string::npos)
        << view_.messages[0].details;
    EXPECT_EQ(ReadFileBytes(path), c.bytes);
    EXPECT_EQ(database_.reads, reads);  // no reload
    EXPECT_EQ(view_.screen, before);
  }
}

// The text is in the file: the window must not suggest inserting it again.
TEST_F(Form1LogicTest, AnInsertionWithAWarningIsStillAllRight) {
  Open(Write("textdb_01.def", ThreeMissions()));
  database_.warning = "it may not survive a power cut: the folder could not be flushed";
  logic_.Insert("Последний");
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(view_.messages[0].text, "All Right!");
  EXPECT_EQ(view_.messages[0].details,
            "Inserted, but it may not survive a power cut: the folder could not be flushed.");
}

TEST_F(Form1LogicTest, AReloadFailingAfterAnInsertionSaysErrorThenAllRight) {
  const std::string path = Write("textdb_01.def", ThreeMissions());
  Open(path);
  database_.fail_reads_after_insert = true;
  logic_.Insert("Последний");

  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[0].text, "ERROR!");
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(view_.messages[1].text, "All Right!");
  EXPECT_EQ(view_.messages[1].icon, MessageIcon::kInformation);
  EXPECT_FALSE(view_.messages[1].commands_enabled);
  EXPECT_FALSE(view_.screen.commands_enabled);
  EXPECT_EQ(TextsOnDisk(path).back(), "Последний");
}

// A database named on the command line or dropped on the window.
TEST_F(Form1LogicTest, OpenPathOpensAsTheDialogWouldAndRefusesAMissingFile) {
  const std::string path = Write("textdb_01.def", ThreeMissions());
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  logic_.OpenPath("textdb_01.def");  // relative, as typed in a terminal
  std::filesystem::current_path(previous);
  EXPECT_EQ(logic_.DatabasePath(), path);
  EXPECT_EQ(view_.screen.path, path);
  EXPECT_EQ(view_.screen.selected, 2);
  EXPECT_TRUE(view_.messages.empty());

  logic_.ShowHelp();
  Screen expected = view_.screen;
  expected.help_shown = false;
  const std::string missing = (dir_ / "textdb_09.def").string();
  logic_.OpenPath(missing);
  ASSERT_EQ(view_.messages.size(), 1u);
  EXPECT_EQ(view_.messages[0].icon, MessageIcon::kExclamation);
  EXPECT_EQ(view_.messages[0].text, "The file was not found.");  // nothing was read
  EXPECT_EQ(view_.messages[0].details, missing);
  EXPECT_EQ(view_.screen, expected);
  EXPECT_EQ(logic_.DatabasePath(), path);
  EXPECT_EQ(database_.reads, 1);

  logic_.OpenPath(Write("textdb_02.def", FailingAtTheThird()));
  ASSERT_EQ(view_.messages.size(), 2u);
  EXPECT_EQ(view_.messages[1].text, "ERROR!");
  EXPECT_FALSE(view_.screen.commands_enabled);
}

TEST(DatabaseFileName, IsAnyNameEndingInDefInAnyCase) {
  for (const char* name : {"textdb_01.def", "TEXTDB_01.DEF", "база.Def", ".def"})
    EXPECT_TRUE(IsDatabaseFileName(name)) << name;
  for (const char* name : {"notes.txt", "def", "textdb.def.bak", "textdb_def", ""})
    EXPECT_FALSE(IsDatabaseFileName(name)) << name;
}

// Twips become the nearest pixel at any screen's dots per inch, positions
// above the window's top (negative) as far as their mirror image below.
TEST(LayoutTwips, BecomeTheNearestPixelAtEveryDpi) {
  for (int dpi : {96, 120, 144, 168, 192, 288}) {
    for (int twips = 0; twips <= 6000; ++twips) {
      const int pixels = layout::TwipsToPixels(twips, dpi);
      ASSERT_LE(std::abs(pixels * layout::kTwipsPerInch - twips * dpi), layout::kTwipsPerInch / 2)
          << twips << " twips at " << dpi;
      ASSERT_EQ(layout::TwipsToPixels(-twips, dpi), -pixels);
    }
  }
  EXPECT_EQ(layout::CentipointsToPixels(825, 192), 22);
}

// The table is one a view can be built from: every control named once,
// inside a container made before it; Tab's stops, the labels' boxes and the
// submenus all exist.
TEST(LayoutTable, NamesEveryControlOnceInsideAContainerMadeBefore) {
  std::set<std::string_view> made{layout::kWindowName};
  for (const layout::Control& control : layout::Controls()) {
    EXPECT_TRUE(made.contains(control.parent)) << control.name;
    EXPECT_TRUE(made.insert(control.name).second) << control.name;
    if (!control.label_for.empty()) {
      EXPECT_EQ(layout::FindControl(control.label_for)->kind, layout::Kind::kTextBox);
    }
  }
  for (std::string_view name : layout::FocusOrder()) {
    ASSERT_NE(layout::FindControl(name), nullptr) << name;
    EXPECT_EQ(layout::FindControl(name)->focus, layout::Focus::kTab) << name;
  }
  for (const layout::MenuItem& item : layout::Menu()) {
    if (item.parent.empty()) continue;
    EXPECT_TRUE(std::ranges::any_of(layout::Menu(), [&](const layout::MenuItem& other) {
      return other.name == item.parent && other.parent.empty();
    })) << item.name;
  }
}

}  // namespace
}  // namespace orva
