#include "window/qt/focus_ring.h"

#include <QEvent>
#include <QPalette>

namespace orva {

FocusRing::FocusRing(const QList<QWidget*>& controls) : QObject(controls.front()->window()) {
  frame_ = new QFocusFrame(controls.front()->window());
  frame_->hide();
  // The frame fills its ring with the text colour; the highlight colour
  // reads as a focus cue rather than a border.
  QPalette palette = frame_->palette();
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Active, QPalette::Highlight));
  frame_->setPalette(palette);
  for (QWidget* control : controls) control->installEventFilter(this);
}

bool FocusRing::eventFilter(QObject* watched, QEvent* event) {
  auto* control = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::KeyPress:
      // Qt counts only Tab and shortcuts as moving the focus by keyboard;
      // keys pressed in the list (it has the focus at start) count too.
      control->window()->setAttribute(Qt::WA_KeyboardFocusChange);
      Follow(control);
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      Follow(control);
      break;
    default:
      break;
  }
  return false;
}

// Qt's styles draw the focus of buttons only once the keyboard has moved it
// (the window's WA_KeyboardFocusChange); the ring follows the same rule, so
// a window worked with the mouse looks as it always did.
void FocusRing::Follow(QWidget* control) {
  if (frame_ == nullptr) return;
  if (control->hasFocus() && control->window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
    frame_->setWidget(control);
  } else if (frame_->widget() == control) {
    frame_->setWidget(nullptr);
  }
}

}  // namespace orva
