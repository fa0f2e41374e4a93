// The editor's commands, once for every view: each command's id, its
// caption with its mnemonic (the letter after "&"), its shortcuts, the menu
// and place it has, and the rule that enables it. A view builds its menu
// bar, its shortcuts and its enabled states from this table alone, so that
// the Qt window and orva.exe show the same menus in the same order. Plain
// C++: no toolkit.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "storage/backup.h"

namespace orva {
// Which rows the review lets the table show, besides the filter's text
// (editor_review.h).
enum class ReviewFilter {
  kAll,
  kUntranslated,  // empty, or still the reference's text (IsTranslated)
  kOnlyHere,      // no partner in the reference
  kProblems,      // a check finds something
  // No entry of the database: the rows are the reference's entries that
  // nothing here pairs with.
  kOnlyInReference,
};
}  // namespace orva

namespace orva {

enum class EditorCommand {
  kOpen,
  kReload,
  kSave,
  kSaveAs,
  kBackupNone,
  kBackupSimple,
  kBackupNumbered,
  kExport,
  kImport,
  kOpenReference,
  kCloseReference,
  kClose,
  kUndo,
  kRedo,
  kEditText,
  kAddMission,
  kRemove,
  kCopyReference,
  kFilter,
  kReplace,
  kSpellingSuggestions,
  kAcceptYeForYo,
  kCompare,
  kChangedOnly,
  kEndComparison,
  kMakePatch,
  kApplyPatch,
  kAllRows,
  kUntranslated,
  kOnlyHere,
  kWithProblems,
  kOnlyInReference,
  kStopChecking,
  kContinueChecking,
  kScreenshotFolder,
  kKeys,
  kAbout,
};
inline constexpr std::size_t kEditorCommandCount =
    static_cast<std::size_t>(EditorCommand::kAbout) + 1;

// When a command can be done.
enum class EnabledWhen {
  kAlways,
  kDatabase,   // a database is open
  kModified,   // it has unsaved changes
  kEditable,   // a row of its own is selected (not a removed entry nor one only the reference has)
  kRemovable,  // and it is not the end marker
  kUndo,       // there is a change to undo
  kRedo,       // or to redo
  kComparing,  // a comparison is shown
  kReference,  // a reference is open
  kCopyable,   // a row of its own is selected and the reference has its partner
  kChecking,   // the review's pass over every entry runs
  kStopped,    // it was stopped with entries not checked
  kSpelling,   // a spell checker is open
};

// What the commands can do now, as EditorLogic::Commands finds it.
struct EditorCommands {
  bool has_database = false;
  bool can_edit = false;    // a row of this database's is selected, not a removed entry
                            // nor one only the reference has
  bool can_remove = false;  // and it is not the end marker
  bool can_undo = false;
  bool can_redo = false;
  std::string undo_text;  // "Set 5003": what Undo takes back, empty when nothing
  std::string redo_text;
  bool can_save = false;  // modified
  bool comparing = false;
  bool changed_only = false;
  BackupKind backup = BackupKind::kNone;
  bool has_reference = false;
  bool can_copy_reference = false;
  std::size_t copy_reference_rows = 0;  // the rows selected that have a partner in the reference
  ReviewFilter review_filter = ReviewFilter::kAll;
  bool checking = false;  // the review's pass runs (EditorLogic::reviewing)
  bool stopped = false;   // it was stopped, some entries not checked
  bool spelling = false;  // a spell checker is open
  bool accept_ye_for_yo = false;
};

// A shortcut: "Ctrl+Shift+S", "F2", "Ins". `key` is a letter A-Z, F1-F12,
// "Ins", "Del" or "Esc", as both Qt (QKeySequence::PortableText) and the menus of
// Windows write it.
struct Shortcut {
  bool ctrl = false;
  bool shift = false;
  std::string_view key;
};
std::string ShortcutText(const Shortcut& shortcut);

enum class EditorMenu { kFile, kEdit, kCompare, kView, kHelp };

struct CommandInfo {
  EditorCommand id;
  std::string_view name;            // for scripts and tests: "save" (Qt's "saveAction")
  std::string_view caption;         // "&Save", "Save &As…"
  std::vector<Shortcut> shortcuts;  // the first is the one the menu shows
  EditorMenu menu;
  std::string_view submenu;  // "&Backups", or empty
  int group = 0;             // a separator goes between two groups of a menu
  EnabledWhen enabled = EnabledWhen::kAlways;
  bool checkable = false;
  // Its keys act only while the table has the focus, so that the filter
  // box keeps Insert, Delete and F2 for itself.
  bool table_keys = false;
  // Done by the view itself (a dialog of its own, a focus moved, the window
  // closed); EditorLogic::Run does every other.
  bool view_does = false;
  std::string_view help;  // what it does, for Help ▸ Keys
};

// Every command, in menu order.
std::span<const CommandInfo> EditorCommandTable();
const CommandInfo& Info(EditorCommand command);

bool IsEnabled(EditorCommand command, const EditorCommands& state);
bool IsChecked(EditorCommand command, const EditorCommands& state);
// The caption now: Undo and Redo name what they take back ("&Undo Set
// 5003"), an "&" of that name doubled so that it shows as itself.
std::string Caption(EditorCommand command, const EditorCommands& state);

// The menu bar as every view draws it: menus, each a list of items.
struct MenuItem {
  enum class Kind { kCommand, kSeparator, kSubmenu };
  Kind kind = Kind::kCommand;
  EditorCommand command = EditorCommand::kOpen;  // for kCommand
  std::string caption;                           // a command's or a submenu's
  std::string shortcut;                          // "Ctrl+S", or empty
  std::vector<MenuItem> items;                   // a submenu's
};
struct MenuModel {
  std::string caption;  // "&File"
  std::vector<MenuItem> items;
};
std::vector<MenuModel> EditorMenus();

// The menu bar as lines, the way both views' tests read their menus back:
// "&Edit > &Undo\tCtrl+Z", a submenu's items under its caption's path, a
// separator as "&Edit > ---".
std::vector<std::string> EditorMenuLines();

// A caption as it reads without its mnemonic: "Save As…" for "Save &As…",
// "&" for "&&".
std::string PlainCaption(std::string_view caption);

// Every key of the editor and what it does, for Help ▸ Keys: "Ctrl+S\tSave".
std::vector<std::string> EditorKeys();

}  // namespace orva
