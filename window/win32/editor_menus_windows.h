// The editor's menu bar, made from the command table (editor_commands.h):
// one menu item a command, numbered from kEditorFirstMenuId in the table's
// order, each with its first shortcut after a tab.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <optional>

#include "window/editor_commands.h"

namespace orva::win32 {

inline constexpr int kEditorFirstMenuId = 41001;
constexpr int MenuId(EditorCommand command) {
  return kEditorFirstMenuId + static_cast<int>(command);
}
constexpr std::optional<EditorCommand> CommandOfMenuId(int id) {
  if (id < kEditorFirstMenuId || id >= kEditorFirstMenuId + static_cast<int>(kEditorCommandCount)) {
    return std::nullopt;
  }
  return static_cast<EditorCommand>(id - kEditorFirstMenuId);
}

struct EditorMenuBar {
  HMENU bar = nullptr;
  HMENU edit = nullptr;  // also the table's context menu
};
// A new menu bar; SetMenu gives it to a window, which destroys it with itself.
EditorMenuBar CreateEditorMenuBar();

}  // namespace orva::win32
