// Form1, ORVA's only window, drawn by Qt: the mission list of the current
// database, the box for a new text with its Insert button, the selected
// mission's id and image name, the database path, and the menu with Open and
// Help... It creates its controls from the layout table, passes the user's
// events to Form1Logic, which decides what each does, and shows what the
// logic asks it to. A database file dropped on the window, or named on the
// command line, opens as if it had been chosen in Open.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "window/form1_logic.h"
#include "window/mission_database.h"
#include "window/qt/dialogs.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orva {

class EditorWindow;
class HelpPanel;

class Form1 : public QMainWindow, private Form1View {
  Q_OBJECT

 public:
  explicit Form1(
      std::unique_ptr<Dialogs> dialogs = std::make_unique<QtDialogs>(),
      std::unique_ptr<MissionDatabase> database = std::make_unique<FileMissionDatabase>(),
      QWidget* parent = nullptr);
  ~Form1() override;

  // The path last accepted in the Open dialog; empty until then.
  QString DatabasePath() const { return QString::fromStdString(logic_.DatabasePath()); }

  // Opens `path` as if it had been chosen in the Open dialog. The dialog
  // accepts only an existing file, so a missing one is refused with a
  // message and nothing changes.
  void OpenFile(const QString& path) { logic_.OpenPath(path.toStdString()); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  void CreateControls();
  void SetFocusOrder();
  void ConnectControls();
  bool TakeDatabaseDrop(QDropEvent* event);
  // The mission list's context menu (right click, Shift+F10, the Menu key)
  // at `where` in the list, and the editor it opens on the current database.
  void ShowListMenu(const QPoint& where);
  void EditAllEntries();

  // Form1View: what the logic asks of the window.
  std::optional<std::string> ChooseExistingFile(const OpenFileRequest& request) override;
  void ShowMessage(MessageIcon icon, const std::string& text, const std::string& details) override;
  void ShowPath(const std::string& path) override;
  void ShowMissions(const std::vector<std::string>& texts) override;
  void SelectMission(int row) override;
  void ShowDetails(const std::string& image_name, const std::string& id) override;
  void SetCommandsEnabled(bool enabled) override;
  void SetHelpShown(bool shown) override;

  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<MissionDatabase> database_;
  Form1Logic logic_{*this, *database_};
  // While the logic changes the list, its signals are not passed back.
  bool changing_list_ = false;

  // The controls, named for what they hold; the layout's names are their
  // objectName()s.
  QListWidget* missions_ = nullptr;  // List1
  QLineEdit* new_text_ = nullptr;    // Text1
  QPushButton* insert_ = nullptr;    // Command1
  QLineEdit* path_ = nullptr;        // Text2
  QLineEdit* image_name_ = nullptr;  // Text3
  QLineEdit* id_ = nullptr;          // Text4
  HelpPanel* help_panel_ = nullptr;  // Frame1
  // Made when first asked for; it reads nothing until then.
  std::unique_ptr<EditorWindow> editor_;
};

}  // namespace orva
