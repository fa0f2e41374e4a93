// What Form1 does, whichever toolkit draws it: the window's state (the current
// database, its MissionIds, the enabled state of the list, the text box and
// Insert, whether the help panel is shown), what each command does and in what
// order, and which messages it shows. A view creates the controls, passes the
// user's events to Form1Logic and does what Form1View asks. Texts and paths
// are UTF-8 both ways; a view converts at its edge. Plain C++: no toolkit.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "database/mission_list.h"
#include "window/form1_layout.h"
#include "window/mission_database.h"
#include "window/sentences.h"

namespace orva {

enum class MessageIcon { kInformation, kExclamation };

// The Open dialog: only an existing file can be chosen.
struct OpenFileRequest {
  std::string title;               // "Открыть textdb_XX.def файл"
  std::string filter_description;  // "*.def"
  std::string filter_pattern;      // "*.def"
  std::string start_path;          // the file the dialog starts with; empty for its default
};

// What the logic asks of a view. Every call is made on the window's thread and
// returns once done; the dialog and the message boxes are modal.
class Form1View {
 public:
  virtual ~Form1View() = default;

  // The file-open dialog: the chosen file's full path, or nothing on Cancel.
  virtual std::optional<std::string> ChooseExistingFile(const OpenFileRequest& request) = 0;
  // A modal box with the icon, an empty title, one OK button and `text`;
  // `details`, when not empty, explains it below in plain words.
  virtual void ShowMessage(MessageIcon icon, const std::string& text,
                           const std::string& details) = 0;

  // Text2: the current database path, with the platform's separators.
  virtual void ShowPath(const std::string& path) = 0;
  // List1: replaces every item with `texts`, leaving no item selected.
  virtual void ShowMissions(const std::vector<std::string>& texts) = 0;
  // List1: selects the item at `row`. A view does not pass this selection
  // back as a SelectionChanged: the logic has already acted on it.
  virtual void SelectMission(int row) = 0;
  // Text3 and Text4: the selected mission's image name and id; both empty
  // when no mission is selected or the selected one has no id.
  virtual void ShowDetails(const std::string& image_name, const std::string& id) = 0;
  // List1, Text1 and Command1 together.
  virtual void SetCommandsEnabled(bool enabled) = 0;
  // Frame1, the help panel over the whole client area.
  virtual void SetHelpShown(bool shown) = 0;
};

class Form1Logic {
 public:
  // Both outlive the logic. The view starts as the logic does: no database,
  // an empty list and empty boxes, the commands enabled, the help hidden.
  Form1Logic(Form1View& view, MissionDatabase& database);

  // --- The user's commands, as the view passes them on ---

  // Open ▸ textdb_XX.def (menu item tb, Ctrl+O): hides the help panel, asks
  // for a database in the Open dialog starting at the current one, and on OK
  // opens it. Cancel changes nothing else.
  void Open();
  // Opens `path` as if it had been chosen in the dialog: a database named on
  // the command line or dropped on the window. A relative path is taken from
  // the working folder; a missing file is refused with a message and changes
  // nothing but hiding the help panel.
  void OpenPath(const std::string& path);
  // List1's selection moved to `row` (-1 for none), by click or by keyboard.
  void SelectionChanged(int row);
  // Insert (Command1, or Enter in Text1) with Text1's text: an empty text
  // does nothing; otherwise the text is inserted as the next mission, the
  // list read again, and the outcome told.
  void Insert(std::string_view text);
  // Help... (menu item ooo) and the panel's OK (Command2) or Esc.
  void ShowHelp();
  // What the menu item of that command does: Open or ShowHelp.
  void RunMenuCommand(layout::MenuCommand command);
  void HideHelp();
  // Esc: closes the help panel if it is shown (true); otherwise nothing.
  bool Escape();

  // Tab (`step` 1) or Shift+Tab (-1) from the control named `from`: the
  // next focus stop, round the order. While the help panel is shown its OK
  // is the only stop; otherwise the layout's focus order, less the controls
  // that `takes_focus` says are hidden or disabled. From a control that is
  // no stop, Tab goes to the first and Shift+Tab to the last. Empty when no
  // control can take the focus.
  std::string_view NextFocusStop(std::string_view from, int step,
                                 const std::function<bool(std::string_view)>& takes_focus) const;

  // --- The state, for the view and its tests ---

  // The path last accepted; empty until then.
  const std::string& DatabasePath() const { return database_path_; }
  bool CommandsEnabled() const { return commands_enabled_; }
  bool HelpShown() const { return help_shown_; }

 private:
  void OpenDatabase(const std::string& path);
  void Reload();
  void ShowSelected(int row);
  void SetCommandsEnabled(bool enabled);
  void SetHelpShown(bool shown);

  Form1View& view_;
  MissionDatabase& database_;
  std::string database_path_;
  MissionIds mission_ids_;
  bool commands_enabled_ = true;
  bool help_shown_ = false;
};

// The Open dialog's title and filter, and whether a file's name is a
// database's (*.def, in any case): what a drop onto the window may carry.
std::string_view OpenDialogTitle();
bool IsDatabaseFileName(std::string_view file_name);

}  // namespace orva
