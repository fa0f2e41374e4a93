#include "window/editor_commands.h"

#include <stdexcept>

namespace orva {
namespace {

using C = EditorCommand;
using E = EnabledWhen;
using M = EditorMenu;

constexpr Shortcut Ctrl(std::string_view key) { return {.ctrl = true, .shift = false, .key = key}; }
constexpr Shortcut CtrlShift(std::string_view key) {
  return {.ctrl = true, .shift = true, .key = key};
}
constexpr Shortcut Key(std::string_view key) { return {.ctrl = false, .shift = false, .key = key}; }

// One line a command, in menu order: id, name, caption, shortcuts, menu,
// submenu, group, enabled when, then checkable, table keys, view does, and
// what Help ▸ Keys says of it (the caption when empty).
const std::vector<CommandInfo>& Table() {
  // clang-format off
  static const std::vector<CommandInfo> table{
      {C::kOpen, "open", "&Open…", {Ctrl("O")}, M::kFile, {}, 0, E::kAlways, false, false, false,
       "Open a text database"},
      {C::kReload, "reload", "&Read Again", {Key("F5")}, M::kFile, {}, 0, E::kDatabase, false, false, false,
       "Read the file again, dropping the changes"},
      {C::kSave, "save", "&Save", {Ctrl("S")}, M::kFile, {}, 0, E::kModified, false, false, false,
       "Save every change"},
      {C::kSaveAs, "saveAs", "Save &As…", {CtrlShift("S")}, M::kFile, {}, 0, E::kDatabase, false, false, false,
       "Save to another file"},
      {C::kBackupNone, "noBackup", "&No Backup", {}, M::kFile, "&Backups", 1, E::kAlways, true,  false, false,
       {}},
      {C::kBackupSimple, "simpleBackup", "&Simple (FILE~)", {}, M::kFile, "&Backups", 1, E::kAlways, true,  false, false,
       {}},
      {C::kBackupNumbered, "numberedBackup", "N&umbered (FILE.~N~)", {}, M::kFile, "&Backups", 1, E::kAlways, true,  false, false,
       {}},
      {C::kExport, "export", "&Export Texts…", {}, M::kFile, {}, 2, E::kDatabase, false, false, false,
       {}},
      {C::kImport, "import", "&Import Translations…", {}, M::kFile, {}, 2, E::kDatabase, false, false, false,
       {}},
      {C::kOpenReference, "openReference", "Open Re&ference…", {}, M::kFile, {}, 2, E::kDatabase, false, false, false,
       "Open the database a translation is made from, read only, beside this one"},
      {C::kCloseReference, "closeReference", "Close Refere&nce", {}, M::kFile, {}, 2, E::kReference, false, false, false,
       {}},
      {C::kClose, "close", "&Close", {Ctrl("W")}, M::kFile, {}, 3, E::kAlways, false, false, true ,
       "Close the editor"},
      {C::kUndo, "undo", "&Undo", {Ctrl("Z")}, M::kEdit, {}, 0, E::kUndo, false, false, false,
       "Undo the last change"},
      {C::kRedo, "redo", "&Redo", {Ctrl("Y"), CtrlShift("Z")}, M::kEdit, {}, 0, E::kRedo, false, false, false,
       "Redo the change undone"},
      {C::kEditText, "editText", "&Edit Text…", {Key("F2")}, M::kEdit, {}, 1, E::kEditable, false, true,  true ,
       "Edit the selected text (Enter or a double click too)"},
      {C::kAddMission, "addMission", "&Add Mission…", {Key("Ins")}, M::kEdit, {}, 1, E::kDatabase, false, true,  true ,
       "Add a mission before the end marker"},
      {C::kRemove, "remove", "Re&move Entry", {Key("Del")}, M::kEdit, {}, 1, E::kRemovable, false, true,  false,
       "Remove the selected entry"},
      {C::kCopyReference, "copyReference", "&Copy Reference to Text", {Ctrl("B")}, M::kEdit, {}, 1, E::kCopyable, false, false, false,
       "Copy the reference's text to every selected entry's"},
      {C::kFilter, "filter", "&Filter", {Ctrl("F")}, M::kEdit, {}, 2, E::kAlways, false, false, true ,
       "Go to the filter (Down or Enter goes back to the rows)"},
      {C::kReplace, "replace", "Find and Re&place…", {Ctrl("H")}, M::kEdit, {}, 2, E::kDatabase, false, false, true ,
       "Find and replace in every text"},
      {C::kSpellingSuggestions, "spellingSuggestions", "&Suggestions…", {Key("F7")}, M::kEdit, "Spe&lling", 3, E::kSpelling, false, false, true ,
       "Suggestions for the misspelt word at the cursor of a text being edited"},
      {C::kAcceptYeForYo, "acceptYeForYo", "A&ccept е for ё", {}, M::kEdit, "Spe&lling", 3, E::kSpelling, true,  false, false,
       {}},
      {C::kCompare, "compare", "&Compare With…", {}, M::kCompare, {}, 0, E::kDatabase, false, false, false,
       {}},
      {C::kChangedOnly, "changedOnly", "Changed &Only", {}, M::kCompare, {}, 0, E::kComparing, true,  false, false,
       {}},
      {C::kEndComparison, "endComparison", "&End Comparison", {}, M::kCompare, {}, 0, E::kComparing, false, false, false,
       {}},
      {C::kMakePatch, "makePatch", "&Make Patch…", {}, M::kCompare, {}, 1, E::kComparing, false, false, false,
       {}},
      {C::kApplyPatch, "applyPatch", "&Apply Patch…", {}, M::kCompare, {}, 1, E::kDatabase, false, false, false,
       {}},
      {C::kAllRows, "allRows", "&All Rows", {}, M::kView, {}, 0, E::kDatabase, true,  false, false,
       {}},
      {C::kUntranslated, "untranslated", "&Untranslated", {}, M::kView, {}, 0, E::kDatabase, true,  false, false,
       {}},
      {C::kOnlyHere, "onlyHere", "Only in &This File", {}, M::kView, {}, 0, E::kReference, true,  false, false,
       {}},
      {C::kWithProblems, "withProblems", "With &Problems", {}, M::kView, {}, 0, E::kDatabase, true,  false, false,
       {}},
      {C::kOnlyInReference, "onlyInReference", "Only in the &Reference", {}, M::kView, {}, 0, E::kReference, true,  false, false,
       {}},
      {C::kStopChecking, "stopChecking", "Stop &Checking", {Key("Esc")}, M::kView, {}, 1, E::kChecking, false, false, false,
       "Stop checking the entries; those not checked yet show so"},
      {C::kContinueChecking, "continueChecking", "Co&ntinue Checking", {}, M::kView, {}, 1, E::kStopped, false, false, false,
       {}},
      {C::kScreenshotFolder, "screenshotFolder", "Screenshots &Folder…", {}, M::kView, {}, 2, E::kAlways, false, false, false,
       {}},
      {C::kKeys, "keys", "&Keys", {Key("F1")}, M::kHelp, {}, 0, E::kAlways, false, false, false,
       "List these keys"},
      {C::kAbout, "about", "&About ORVA Editor", {}, M::kHelp, {}, 0, E::kAlways, false, false, false,
       {}},
  };
  // clang-format on
  return table;
}

std::string_view MenuCaption(EditorMenu menu) {
  switch (menu) {
    case M::kFile:
      return "&File";
    case M::kEdit:
      return "&Edit";
    case M::kCompare:
      return "&Compare";
    case M::kView:
      return "&View";
    case M::kHelp:
      break;
  }
  return "&Help";
}

std::string MenuShortcut(const CommandInfo& info) {
  return info.shortcuts.empty() ? std::string() : ShortcutText(info.shortcuts.front());
}

}  // namespace

std::string ShortcutText(const Shortcut& shortcut) {
  return std::string(shortcut.ctrl ? "Ctrl+" : "") + (shortcut.shift ? "Shift+" : "") +
         std::string(shortcut.key);
}

std::span<const CommandInfo> EditorCommandTable() { return Table(); }

const CommandInfo& Info(EditorCommand command) {
  for (const CommandInfo& info : Table()) {
    if (info.id == command) return info;
  }
  throw std::logic_error("a command missing from the editor's table");
}

bool IsEnabled(EditorCommand command, const EditorCommands& state) {
  switch (Info(command).enabled) {
    case E::kAlways:
      return true;
    case E::kDatabase:
      return state.has_database;
    case E::kModified:
      return state.can_save;
    case E::kEditable:
      return state.can_edit;
    case E::kRemovable:
      return state.can_remove;
    case E::kUndo:
      return state.can_undo;
    case E::kRedo:
      return state.can_redo;
    case E::kComparing:
      return state.comparing;
    case E::kReference:
      return state.has_reference;
    case E::kCopyable:
      return state.can_copy_reference;
    case E::kChecking:
      return state.checking;
    case E::kStopped:
      return state.stopped;
    case E::kSpelling:
      return state.spelling;
  }
  return false;
}

bool IsChecked(EditorCommand command, const EditorCommands& state) {
  switch (command) {
    case C::kBackupNone:
      return state.backup == BackupKind::kNone;
    case C::kBackupSimple:
      return state.backup == BackupKind::kSimple;
    case C::kBackupNumbered:
      return state.backup == BackupKind::kNumbered;
    case C::kChangedOnly:
      return state.changed_only;
    case C::kAllRows:
      return state.review_filter == ReviewFilter::kAll;
    case C::kUntranslated:
      return state.review_filter == ReviewFilter::kUntranslated;
    case C::kOnlyHere:
      return state.review_filter == ReviewFilter::kOnlyHere;
    case C::kWithProblems:
      return state.review_filter == ReviewFilter::kProblems;
    case C::kOnlyInReference:
      return state.review_filter == ReviewFilter::kOnlyInReference;
    case C::kAcceptYeForYo:
      return state.accept_ye_for_yo;
    default:
      return false;
  }
}

std::string Caption(EditorCommand command, const EditorCommands& state) {
  std::string caption(Info(command).caption);
  if (command == C::kCopyReference && state.copy_reference_rows > 1) {
    return "&Copy Reference to " + std::to_string(state.copy_reference_rows) + " Texts";
  }
  const std::string* what = command == C::kUndo   ? &state.undo_text
                            : command == C::kRedo ? &state.redo_text
                                                  : nullptr;
  if (what == nullptr || what->empty()) return caption;
  caption += ' ';
  for (char c : *what) {
    if (c == '&') caption += '&';
    caption += c;
  }
  return caption;
}

std::vector<MenuModel> EditorMenus() {
  std::vector<MenuModel> menus;
  const CommandInfo* last = nullptr;
  for (const CommandInfo& info : Table()) {
    if (last == nullptr || last->menu != info.menu) {
      menus.push_back({std::string(MenuCaption(info.menu)), {}});
      last = nullptr;
    }
    std::vector<MenuItem>& items = menus.back().items;
    if (last != nullptr && last->group != info.group) {
      items.push_back({.kind = MenuItem::Kind::kSeparator,
                       .command = info.id,
                       .caption = {},
                       .shortcut = {},
                       .items = {}});
    }
    MenuItem item{.kind = MenuItem::Kind::kCommand,
                  .command = info.id,
                  .caption = std::string(info.caption),
                  .shortcut = MenuShortcut(info),
                  .items = {}};
    if (info.submenu.empty()) {
      items.push_back(std::move(item));
    } else {
      if (last == nullptr || last->submenu != info.submenu) {
        items.push_back({.kind = MenuItem::Kind::kSubmenu,
                         .command = info.id,
                         .caption = std::string(info.submenu),
                         .shortcut = {},
                         .items = {}});
      }
      items.back().items.push_back(std::move(item));
    }
    last = &info;
  }
  return menus;
}

std::string PlainCaption(std::string_view caption) {
  std::string plain;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    plain += caption[i];
  }
  return plain;
}

std::vector<std::string> EditorKeys() {
  std::vector<std::string> keys;
  for (const CommandInfo& info : Table()) {
    if (info.shortcuts.empty()) continue;
    std::string line;
    for (const Shortcut& shortcut : info.shortcuts) {
      line.append(line.empty() ? "" : ", ").append(ShortcutText(shortcut));
    }
    std::string what = info.help.empty() ? PlainCaption(info.caption) : std::string(info.help);
    if (info.table_keys) what += ", in the table";
    keys.push_back(line.append("\t").append(what));
  }
  keys.push_back(
      "Enter\tApply the text edited in the details pane; go from the filter to its rows");
  keys.push_back("Esc\tEmpty the filter, leave a text unchanged, close a dialog");
  return keys;
}

namespace {

void AddMenuLines(const std::vector<MenuItem>& items, const std::string& path,
                  std::vector<std::string>& lines) {
  for (const MenuItem& item : items) {
    if (item.kind == MenuItem::Kind::kSeparator) {
      lines.push_back(path + "---");
      continue;
    }
    lines.push_back(path + item.caption + (item.shortcut.empty() ? "" : "\t" + item.shortcut));
    if (item.kind == MenuItem::Kind::kSubmenu) {
      AddMenuLines(item.items, path + item.caption + " > ", lines);
    }
  }
}

}  // namespace

std::vector<std::string> EditorMenuLines() {
  std::vector<std::string> lines;
  for (const MenuModel& menu : EditorMenus()) {
    lines.push_back(menu.caption);
    AddMenuLines(menu.items, menu.caption + " > ", lines);
  }
  return lines;
}

}  // namespace orva
