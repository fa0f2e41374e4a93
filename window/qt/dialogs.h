// The window's modal conversations with the user: the file-open dialog and the
// message boxes. The window is given them through this interface so that tests
// can answer the dialog and record the boxes.
#pragma once

#include <QString>
#include <optional>

#include "window/form1_logic.h"

class QWidget;

namespace orva {

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Lets the user choose an existing file. Returns its full path, or nothing
  // when the dialog was cancelled.
  virtual std::optional<QString> ChooseExistingFile(QWidget* parent,
                                                    const OpenFileRequest& request) = 0;

  // A modal box with the icon, a blank title, one OK button and `text`;
  // `details`, when not empty, explains it below in plain words.
  virtual void ShowMessage(QWidget* parent, MessageIcon icon, const QString& text,
                           const QString& details) = 0;
};

// The real dialogs: the platform's file dialog (or Qt's own where the platform
// has none) and QMessageBox.
class QtDialogs : public Dialogs {
 public:
  std::optional<QString> ChooseExistingFile(QWidget* parent,
                                            const OpenFileRequest& request) override;
  void ShowMessage(QWidget* parent, MessageIcon icon, const QString& text,
                   const QString& details) override;
};

}  // namespace orva
