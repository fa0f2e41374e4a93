// The Windows editor's menu bar read back through the menu calls a screen
// reader makes: it shows the command table's menus (the lines the Qt
// editor's test compares its own menus with), item for item, and every
// command item answers to its command.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "storage/utf16.h"
#include "window/win32/editor_menus_windows.h"

namespace orva::win32 {
namespace {

void ReadLines(HMENU menu, const std::string& path, std::vector<std::string>& lines,
               std::vector<int>& ids) {
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    MENUITEMINFOW item{};
    item.cbSize = sizeof(MENUITEMINFOW);
    item.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
    item.dwTypeData = text;
    item.cch = 255;
    ASSERT_TRUE(GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item));
    if ((item.fType & MFT_SEPARATOR) != 0) {
      lines.push_back(path + "---");
      continue;
    }
    const std::string caption = Utf8FromUtf16(text);
    lines.push_back(path + caption);
    if (item.hSubMenu != nullptr) {
      ReadLines(item.hSubMenu, path + caption + " > ", lines, ids);
    } else {
      ids.push_back(static_cast<int>(item.wID));
    }
  }
}

TEST(EditorMenusTest, TheMenuBarIsTheCommandTables) {
  const EditorMenuBar menus = CreateEditorMenuBar();
  std::vector<std::string> lines;
  std::vector<int> ids;
  ReadLines(menus.bar, "", lines, ids);
  EXPECT_EQ(lines, EditorMenuLines());

  std::vector<int> table_ids;
  const auto collect = [&](const auto& self, const std::vector<MenuItem>& items) -> void {
    for (const MenuItem& item : items) {
      if (item.kind == MenuItem::Kind::kCommand) table_ids.push_back(MenuId(item.command));
      if (item.kind == MenuItem::Kind::kSubmenu) self(self, item.items);
    }
  };
  for (const MenuModel& model : EditorMenus()) collect(collect, model.items);
  EXPECT_EQ(ids, table_ids);
  for (const int id : ids) EXPECT_TRUE(CommandOfMenuId(id).has_value()) << id;

  // The context menu is the Edit menu itself.
  ASSERT_NE(menus.edit, nullptr);
  std::vector<std::string> edit_lines;
  std::vector<int> edit_ids;
  ReadLines(menus.edit, "&Edit > ", edit_lines, edit_ids);
  EXPECT_NE(edit_lines.size(), 0U);
  for (const std::string& line : edit_lines) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
  DestroyMenu(menus.bar);
}

}  // namespace
}  // namespace orva::win32
