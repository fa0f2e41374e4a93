#include "window/qt/help_panel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

#include "window/form1_layout.h"
#include "window/qt/controls.h"
#include "window/qt/look.h"

namespace orva {
namespace {

// Screen readers take the panel for a dialog: Qt's accessibility gives a
// frame inside a window no role of its own.
QAccessibleInterface* PanelAsDialog(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(HelpPanel::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
}

}  // namespace

HelpPanel::HelpPanel(QWidget* client) : QFrame(client) {
  [[maybe_unused]] static const bool kDialogRole =
      (QAccessible::installFactory(PanelAsDialog), true);
  const layout::Control& frame1 = *layout::FindControl(layout::kHelpPanelName);
  setObjectName(look::Text(frame1.name));
  setAccessibleName(look::Text(frame1.accessible_name));
  setAccessibleDescription(look::Text(frame1.description));
  setGeometry(look::Pixels(frame1.twips));
  setFrameStyle(QFrame::NoFrame);
  look::FillWithFace(this);
  MakeContents(this, frame1.name);
  auto* ok = findChild<QPushButton*>(QStringLiteral("Command2"));
  // Enter presses OK as well as Space does: the panel reads like a message box.
  ok->setAutoDefault(true);
  connect(ok, &QPushButton::clicked, this, &HelpPanel::CloseAsked);
  ok_ = ok;
  // The control to give the focus back to. Not simply the focus when the
  // panel comes up: chosen from the keyboard, Help... has it in the menu bar.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now != nullptr && parentWidget()->isAncestorOf(now) && !isAncestorOf(now))
      last_focus_ = now;
  });
  new QShortcut(QKeySequence::Cancel, this, this, &HelpPanel::CloseAsked,
                Qt::WidgetWithChildrenShortcut);
  hide();
}

// While the panel covers the window, the keyboard works the panel: the
// controls underneath are out of sight, and a key meant for OK must not
// press Insert behind it. (Shown and hidden with the window itself, when it
// is minimized and restored, the panel changes nothing.)
void HelpPanel::showEvent(QShowEvent* event) {
  QFrame::showEvent(event);
  if (event->spontaneous()) return;
  ok_->setFocus(Qt::OtherFocusReason);
  Cover();
}

void HelpPanel::hideEvent(QHideEvent* event) {
  QFrame::hideEvent(event);
  if (event->spontaneous()) return;
  Uncover();
  if (last_focus_ != nullptr && last_focus_->isEnabled())
    last_focus_->setFocus(Qt::OtherFocusReason);
}

// The controls under the panel are hidden while it is up, so that screen
// readers, which would still find them showing, do not read them either.
void HelpPanel::Cover() {
  for (QWidget* sibling : parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (sibling == this || sibling->isHidden()) continue;
    sibling->hide();
    covered_.append(sibling);
  }
}

void HelpPanel::Uncover() {
  for (const QPointer<QWidget>& sibling : covered_) {
    if (sibling != nullptr) sibling->show();
  }
  covered_.clear();
}

}  // namespace orva
