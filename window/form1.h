// Form1, ORVA's only window: the mission list of the current database, the box
// for a new text with its Insert button, the selected mission's id and image
// name, the database path, and the menu with Open and Help... A database
// file dropped on the window, or named on the command line, opens as if it
// had been chosen in Open.
#pragma once

#include <QMainWindow>
#include <QString>
#include <memory>

#include "database/mission_list.h"
#include "window/dialogs.h"
#include "window/mission_database.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace orva {

class Form1 : public QMainWindow {
  Q_OBJECT

 public:
  explicit Form1(
      std::unique_ptr<Dialogs> dialogs = std::make_unique<QtDialogs>(),
      std::unique_ptr<MissionDatabase> database = std::make_unique<FileMissionDatabase>(),
      QWidget* parent = nullptr);
  ~Form1() override;

  // The path last accepted in the Open dialog; empty until then.
  const QString& DatabasePath() const { return database_path_; }

  // Opens `path` as if it had been chosen in the Open dialog. The dialog
  // accepts only an existing file, so a missing one is refused with a
  // message and nothing changes.
  void OpenFile(const QString& path);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void CreateMenus();
  void CreateControls();
  void CreateMissionFrame(QWidget* client);
  void CreateDetailsFrame(QWidget* client);
  void CreatePathFrame(QWidget* client);
  QWidget* CreateHelpPanel(QWidget* client);
  void SetFocusOrder();
  void DescribeControls();
  void ConnectControls();

  void Open();
  void OpenDatabase(const QString& path);
  bool TakeDatabaseDrop(QDropEvent* event);
  void ShowPath();
  void Reload();
  void ShowSelectedMission(int row);
  void Insert();
  void ShowHelp();

  void SetCommandsEnabled(bool enabled);
  void Tell(MessageIcon icon, const QString& text, const QString& details = {});

  std::unique_ptr<Dialogs> dialogs_;
  std::unique_ptr<MissionDatabase> database_;

  QString database_path_;
  MissionIds mission_ids_;

  // The controls, named for what they hold; the layout's names are their
  // objectName()s.
  QListWidget* missions_ = nullptr;  // List1
  QLineEdit* new_text_ = nullptr;    // Text1
  QPushButton* insert_ = nullptr;    // Command1
  QLineEdit* path_ = nullptr;        // Text2
  QLineEdit* image_name_ = nullptr;  // Text3
  QLineEdit* id_ = nullptr;          // Text4
  QWidget* help_panel_ = nullptr;    // Frame1
};

}  // namespace orva
