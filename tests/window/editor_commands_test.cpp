// The editor's command table, as both views build their menus and keys from
// it: each command reachable once, each key and mnemonic leading to one place.
#include "window/editor_commands.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace orva {
namespace {

// The letter after the caption's single "&", lower case; 0 without one.
char Mnemonic(const std::string& caption) {
  char letter = 0;
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    EXPECT_EQ(letter, 0) << caption << " has two mnemonics";
    letter = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
  }
  return letter;
}

// Alt and a letter in an open menu (or on the menu bar) leads to one item.
void ExpectOneItemALetter(const std::vector<MenuItem>& items, const std::string& where,
                          std::vector<EditorCommand>& reached) {
  std::map<char, std::string> taken;
  for (const MenuItem& item : items) {
    if (item.kind == MenuItem::Kind::kSeparator) continue;
    const char letter = Mnemonic(item.caption);
    EXPECT_NE(letter, 0) << item.caption << " in " << where << " has no mnemonic";
    const auto [at, fresh] = taken.emplace(letter, item.caption);
    EXPECT_TRUE(fresh) << item.caption << " and " << at->second << " in " << where << " share "
                       << letter;
    if (item.kind == MenuItem::Kind::kSubmenu) {
      EXPECT_FALSE(item.items.empty());
      ExpectOneItemALetter(item.items, item.caption, reached);
    } else {
      reached.push_back(item.command);
    }
  }
}

// Every command is in the menus once, in the table's order, each menu's
// mnemonics lead to one item, and no separator starts, ends or doubles.
TEST(EditorCommandsTest, EveryCommandIsInTheMenusOnceWithAMnemonicOfItsOwn) {
  const std::vector<MenuModel> menus = EditorMenus();
  std::vector<MenuItem> bar;
  std::vector<EditorCommand> reached;
  for (const MenuModel& menu : menus) {
    bar.push_back({.kind = MenuItem::Kind::kSubmenu,
                   .command = EditorCommand::kOpen,
                   .caption = menu.caption,
                   .shortcut = {},
                   .items = {}});
    ExpectOneItemALetter(menu.items, menu.caption, reached);
    ASSERT_FALSE(menu.items.empty());
    EXPECT_NE(menu.items.front().kind, MenuItem::Kind::kSeparator) << menu.caption;
    EXPECT_NE(menu.items.back().kind, MenuItem::Kind::kSeparator) << menu.caption;
    for (std::size_t i = 1; i < menu.items.size(); ++i) {
      EXPECT_FALSE(menu.items[i].kind == MenuItem::Kind::kSeparator &&
                   menu.items[i - 1].kind == MenuItem::Kind::kSeparator)
          << menu.caption;
    }
  }
  std::vector<EditorCommand> unused;
  for (MenuItem& menu : bar) menu.kind = MenuItem::Kind::kCommand;
  ExpectOneItemALetter(bar, "the menu bar", unused);
  std::vector<EditorCommand> table;
  for (const CommandInfo& info : EditorCommandTable()) table.push_back(info.id);
  EXPECT_EQ(reached, table);
  ASSERT_EQ(table.size(), kEditorCommandCount);
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(static_cast<std::size_t>(table[i]), i) << "the ids are the table's order";
  }
  EXPECT_EQ(PlainCaption("Save &As…"), "Save As…");
  EXPECT_EQ(PlainCaption("A && B"), "A & B");
}

// A key does one thing, names of commands are distinct for scripts, and
// Help ▸ Keys lists every shortcut.
TEST(EditorCommandsTest, EachKeyLeadsToOneCommandAndIsListedInTheKeys) {
  std::map<std::string, std::string> keys;
  std::set<std::string_view> names;
  const std::vector<std::string> listed = EditorKeys();
  for (const CommandInfo& info : EditorCommandTable()) {
    EXPECT_TRUE(names.insert(info.name).second) << info.name;
    for (const Shortcut& shortcut : info.shortcuts) {
      const std::string text = ShortcutText(shortcut);
      const auto [at, fresh] = keys.emplace(text, std::string(info.name));
      EXPECT_TRUE(fresh) << text << " is " << at->second << " and " << info.name;
      bool found = false;
      for (const std::string& line : listed) {
        found = found || line.find(text) != std::string::npos;
      }
      EXPECT_TRUE(found) << text << " is not in Help ▸ Keys";
    }
  }
}

// Undo and Redo name what they take back; an "&" in that name shows as itself.
TEST(EditorCommandsTest, UndoAndRedoCaptionsNameTheChangeAndKeepItsAmpersands) {
  EditorCommands state;
  EXPECT_EQ(Caption(EditorCommand::kUndo, state), "&Undo");
  state.can_undo = state.can_redo = true;
  state.undo_text = "Set 5003";
  state.redo_text = "Replace \"R&D\"";
  EXPECT_EQ(Caption(EditorCommand::kUndo, state), "&Undo Set 5003");
  EXPECT_EQ(PlainCaption(Caption(EditorCommand::kRedo, state)), "Redo Replace \"R&D\"");
  EXPECT_EQ(Mnemonic(Caption(EditorCommand::kRedo, state)), 'r');
  EXPECT_EQ(Caption(EditorCommand::kSave, state), "&Save");
}

}  // namespace
}  // namespace orva
