#include "window/win32/editor_menus_windows.h"

#include <string>
#include <vector>

#include "window/win32/control_text_windows.h"

namespace orva::win32 {
namespace {

HMENU CreateItems(const std::vector<MenuItem>& items) {
  const HMENU menu = CreatePopupMenu();
  for (const MenuItem& item : items) {
    switch (item.kind) {
      case MenuItem::Kind::kCommand: {
        std::wstring caption = Wide(item.caption);
        if (!item.shortcut.empty()) caption += L"\t" + Wide(item.shortcut);
        AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(MenuId(item.command)), caption.c_str());
        break;
      }
      case MenuItem::Kind::kSeparator:
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        break;
      case MenuItem::Kind::kSubmenu:
        AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(CreateItems(item.items)),
                    Wide(item.caption).c_str());
        break;
    }
  }
  return menu;
}

}  // namespace

EditorMenuBar CreateEditorMenuBar() {
  EditorMenuBar menus{.bar = CreateMenu()};
  for (const MenuModel& model : EditorMenus()) {
    const HMENU menu = CreateItems(model.items);
    if (model.caption == "&Edit") menus.edit = menu;
    AppendMenuW(menus.bar, MF_POPUP, reinterpret_cast<UINT_PTR>(menu), Wide(model.caption).c_str());
  }
  return menus;
}

}  // namespace orva::win32
