#include "window/help_panel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>

#include "resources/icon.h"
#include "window/look.h"
#include "window/twips.h"

namespace orva {
namespace {

// The author, a contact and the year; the web address.
const QString kCredits = QStringLiteral("ORVA, orva@example.org, 2006");
const QString kWebAddress = QStringLiteral("https://orva.example.org/");

// Screen readers take the panel for a dialog: Qt's accessibility gives a
// frame inside a window no role of its own.
QAccessibleInterface* PanelAsDialog(const QString& class_name, QObject* object) {
  if (class_name != QLatin1String(HelpPanel::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Dialog);
}

// One of the panel's three lines of text: centred, borderless, read-only.
// The text sits at the top of its box, so where Text5 and Text6 overlap the
// lower box does not cut into the upper line's letters.
QLineEdit* MakeLine(QWidget* parent, const char* name, const QRect& geometry, const QString& text,
                    const QString& accessible_name) {
  auto* line = new QLineEdit(text, parent);
  line->setObjectName(name);
  line->setAccessibleName(accessible_name);
  line->setGeometry(geometry);
  line->setFrame(false);
  line->setReadOnly(true);
  line->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  line->setTextMargins(0, 0, 0, 0);
  line->setCursorPosition(0);
  // Clicking selects text to copy; Tab passes it by, so it stays on OK.
  line->setFocusPolicy(Qt::ClickFocus);
  line->setFont(look::SansSerifBold(look::kLargeFontCentipoints));
  look::SetColour(line, QPalette::Text, look::kPanelBlue);
  look::SetColour(line, QPalette::Base, look::kFace);
  return line;
}

// A filled bar without a border. An invalid colour leaves the platform's
// window colour, the one text boxes are filled with (white by default).
QFrame* MakeBar(QWidget* parent, const char* name, const QRect& geometry, const QColor& colour) {
  auto* bar = new QFrame(parent);
  bar->setObjectName(name);
  bar->setGeometry(geometry);
  bar->setFrameStyle(QFrame::NoFrame);
  bar->setAutoFillBackground(true);
  if (colour.isValid()) {
    look::SetColour(bar, QPalette::Window, colour);
  } else {
    bar->setBackgroundRole(QPalette::Base);
  }
  return bar;
}

}  // namespace

HelpPanel::HelpPanel(QWidget* client) : QFrame(client) {
  [[maybe_unused]] static const bool kDialogRole =
      (QAccessible::installFactory(PanelAsDialog), true);
  setObjectName("Frame1");
  setAccessibleName(QStringLiteral("About ORVA"));
  setAccessibleDescription(
      QStringLiteral("The program's name and version, its credits and web address. OK or Esc "
                     "closes it."));
  setGeometry(TwipsRect(0, 0, 5175, 4335));
  setFrameStyle(QFrame::NoFrame);
  look::FillWithFace(this);
  CreateContent(look::Frame(this, "Frame5", TwipsRect(120, 60, 4935, 4095)));
  // The control to give the focus back to. Not simply the focus when the
  // panel comes up: chosen from the keyboard, Help... has it in the menu bar.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
    if (now != nullptr && parentWidget()->isAncestorOf(now) && !isAncestorOf(now))
      last_focus_ = now;
  });
  new QShortcut(QKeySequence::Cancel, this, this, &QWidget::hide, Qt::WidgetWithChildrenShortcut);
  hide();
}

// Positions in twips relative to Frame5. Later controls lie above earlier
// ones where they overlap: Text6 over Text5's lower edge, each bar over the
// previous one's last line, so the bars form one block of three stripes.
void HelpPanel::CreateContent(QWidget* frame5) {
  MakeLine(frame5, "Text7", TwipsRect(920, 1080, 3015, 225), look::NameAndVersion(),
           QStringLiteral("Name and version"));

  auto* image = new QLabel(frame5);
  image->setObjectName("Image1");
  image->setGeometry(TwipsRect(2160, 1320, 480, 480));
  image->setPixmap(icon::Pixmap());
  image->setAccessibleName(QStringLiteral("ORVA's icon"));

  MakeLine(frame5, "Text5", TwipsRect(240, 1920, 4215, 300), kCredits, QStringLiteral("Credits"));
  MakeLine(frame5, "Text6", TwipsRect(360, 2160, 4095, 300), kWebAddress,
           QStringLiteral("Web address"));

  auto* ok = new QPushButton(QStringLiteral("OK"), frame5);
  ok->setObjectName("Command2");
  ok->setGeometry(TwipsRect(1800, 2520, 1215, 255));
  ok->setFont(look::SansSerifBold(look::kSmallFontCentipoints));
  look::SetColour(ok, QPalette::Button, look::kOkFace);
  // Enter presses OK as well as Space does: the panel reads like a message box.
  ok->setAutoDefault(true);
  ok->setAccessibleDescription(QStringLiteral("Closes the panel."));
  connect(ok, &QPushButton::clicked, this, &QWidget::hide);
  ok_ = ok;

  MakeBar(frame5, "Shape1", TwipsRect(2040, 2880, 735, 135), QColor());
  MakeBar(frame5, "Shape2", TwipsRect(2040, 3000, 735, 135), look::kBlue);
  MakeBar(frame5, "Shape3", TwipsRect(2040, 3120, 735, 135), look::kRed);
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

// Tab and Shift+Tab stay on the panel: OK is its only stop.
bool HelpPanel::focusNextPrevChild(bool /*next*/) {
  ok_->setFocus(Qt::TabFocusReason);
  return true;
}

}  // namespace orva
