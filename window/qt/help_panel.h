// Frame1, the help panel: it lies inside the main window over its whole client
// area and shows the program's name and version, its icon, the credits, the
// web address and three coloured bars above an OK button; OK and Esc ask the
// window to hide it. Screen readers meet it as a dialog, and while it is up
// the controls it covers are hidden, out of their reach as out of sight.
#pragma once

#include <QFrame>
#include <QList>
#include <QPointer>

namespace orva {

class HelpPanel : public QFrame {
  Q_OBJECT

 public:
  // Builds the panel inside `client`, the window's client area, hidden.
  explicit HelpPanel(QWidget* client);

 signals:
  // OK was pressed, or Esc: the user is done with the panel.
  void CloseAsked();

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void Cover();
  void Uncover();

  QWidget* ok_ = nullptr;
  QList<QPointer<QWidget>> covered_;
  // The window's control that had the focus last, given it back when the
  // panel goes.
  QPointer<QWidget> last_focus_;
};

}  // namespace orva
