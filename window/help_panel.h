// Frame1, the help panel: it lies inside the main window over its whole client
// area and shows the program's name and version, its icon, the credits, the
// web address and three coloured bars above an OK button that hides it.
#pragma once

#include <QFrame>
#include <QPointer>

namespace orva {

class HelpPanel : public QFrame {
  Q_OBJECT

 public:
  // Builds the panel inside `client`, the window's client area, hidden.
  explicit HelpPanel(QWidget* client);

  // The credits line and the web address, as the panel shows them.
  static const QString kCredits;
  static const QString kWebAddress;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool focusNextPrevChild(bool next) override;

 private:
  void CreateContent(QWidget* frame5);

  QWidget* ok_ = nullptr;
  // The window's focus before the panel came up, given back when it goes.
  QPointer<QWidget> focus_before_;
};

}  // namespace orva
