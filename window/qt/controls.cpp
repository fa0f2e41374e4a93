#include "window/qt/controls.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "resources/icon.h"
#include "window/qt/look.h"

namespace orva {
namespace {

using layout::Control;
using layout::Kind;

// A frame without a caption: an etched line around a face-coloured area, or
// no line at all.
QWidget* MakeFrame(const Control& row, QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameStyle(row.border ? QFrame::Box | QFrame::Sunken : QFrame::NoFrame);
  look::FillWithFace(frame);
  return frame;
}

QWidget* MakeList(const Control& row, QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  if (row.text_colour) look::SetColour(list, QPalette::Text, look::Colour(*row.text_colour));
  return list;
}

// A box disabled from the start, the path box, keeps its own colours so that
// its text stays readable. A centred box, a line of the help panel, has its
// text at the top, so where Text5 and Text6 overlap the lower box does not
// cut into the upper line's letters.
QWidget* MakeTextBox(const Control& row, QWidget* parent) {
  auto* box = new QLineEdit(look::Text(row.text), parent);
  const auto disabled =
      row.enabled ? look::WhenDisabled::kPlatformLook : look::WhenDisabled::kSameColour;
  if (row.text_colour)
    look::SetColour(box, QPalette::Text, look::Colour(*row.text_colour), disabled);
  if (row.background) look::SetColour(box, QPalette::Base, look::Colour(*row.background), disabled);
  box->setFrame(row.border);
  box->setReadOnly(row.read_only);
  if (row.centred) {
    box->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    box->setTextMargins(0, 0, 0, 0);
  }
  if (row.max_length > 0) box->setMaxLength(row.max_length);
  box->setCursorPosition(0);
  return box;
}

QWidget* MakeButton(const Control& row, QWidget* parent) {
  auto* button = new QPushButton(look::Text(row.text), parent);
  if (row.background) look::SetColour(button, QPalette::Button, look::Colour(*row.background));
  return button;
}

// The layout's only image is the program's icon.
QWidget* MakeImage(QWidget* parent) {
  auto* image = new QLabel(parent);
  image->setPixmap(icon::Pixmap());
  return image;
}

// A filled bar without a border. Without a colour of its own it takes the
// platform's window colour, the one text boxes are filled with (white by
// default).
QWidget* MakeBar(const Control& row, QWidget* parent) {
  auto* bar = new QFrame(parent);
  bar->setFrameStyle(QFrame::NoFrame);
  bar->setAutoFillBackground(true);
  if (row.background) {
    look::SetColour(bar, QPalette::Window, look::Colour(*row.background));
  } else {
    bar->setBackgroundRole(QPalette::Base);
  }
  return bar;
}

QWidget* MakeWidget(const Control& row, QWidget* parent) {
  switch (row.kind) {
    case Kind::kFrame:
      return MakeFrame(row, parent);
    case Kind::kListBox:
      return MakeList(row, parent);
    case Kind::kTextBox:
      return MakeTextBox(row, parent);
    case Kind::kPushButton:
      return MakeButton(row, parent);
    case Kind::kLabel:
      return new QLabel(look::Text(row.text), parent);
    case Kind::kImage:
      return MakeImage(parent);
    case Kind::kBar:
      break;
  }
  return MakeBar(row, parent);
}

Qt::FocusPolicy FocusPolicy(layout::Focus focus) {
  switch (focus) {
    case layout::Focus::kTab:
      return Qt::StrongFocus;
    case layout::Focus::kClick:
      return Qt::ClickFocus;
    case layout::Focus::kNone:
      break;
  }
  return Qt::NoFocus;
}

// Makes `caption` the label of `box`, so that screen readers read it as the
// box's name, and puts its text on the box's baseline. Both share one font,
// so the caption starts its line where the box does: a borderless QLineEdit
// centres its line, putting an odd spare pixel above it.
void LinkCaption(QLabel* caption, QWidget* box) {
  caption->setBuddy(box);
  const int line_top = box->y() + (box->height() - caption->fontMetrics().height() + 1) / 2;
  caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  caption->setContentsMargins(0, line_top - caption->y(), 0, 0);
}

}  // namespace

QWidget* MakeControl(const Control& row, QWidget* parent) {
  QWidget* control = MakeWidget(row, parent);
  control->setObjectName(look::Text(row.name));
  control->setGeometry(look::Pixels(row.twips));
  if (row.font) control->setFont(look::Font(*row.font));
  // Labels, images and bars take no focus whatever the table says; a list,
  // a box or a button takes it as the table says.
  if (row.kind == Kind::kListBox || row.kind == Kind::kTextBox || row.kind == Kind::kPushButton)
    control->setFocusPolicy(FocusPolicy(row.focus));
  control->setEnabled(row.enabled);
  if (!row.accessible_name.empty()) control->setAccessibleName(look::Text(row.accessible_name));
  if (!row.description.empty()) control->setAccessibleDescription(look::Text(row.description));
  if (!row.visible) control->hide();
  return control;
}

void MakeContents(QWidget* container, std::string_view name) {
  for (const Control& row : layout::Controls()) {
    if (row.parent != name) continue;
    MakeContents(MakeControl(row, container), row.name);
  }
  for (const Control& row : layout::Controls()) {
    if (row.parent != name || row.label_for.empty()) continue;
    LinkCaption(container->findChild<QLabel*>(look::Text(row.name)),
                container->findChild<QWidget*>(look::Text(row.label_for)));
  }
}

}  // namespace orva
