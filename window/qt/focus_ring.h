// A focus cue for the controls whose own look shows none: the mission list,
// where the selected mission looks the same with and without the focus, and
// the borderless detail boxes. While the window is worked from the keyboard,
// a ring in the highlight colour surrounds whichever of them has the focus.
#pragma once

#include <QFocusFrame>
#include <QList>
#include <QObject>
#include <QPointer>

namespace orva {

class FocusRing : public QObject {
  Q_OBJECT

 public:
  // One ring for `controls`, all in one window, which owns it.
  explicit FocusRing(const QList<QWidget*>& controls);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow(QWidget* control);

  // Qt's own focus frame: it sits around the control it is given, moves
  // with it and stays out of the accessibility tree.
  QPointer<QFocusFrame> frame_;
};

}  // namespace orva
