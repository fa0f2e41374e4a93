// The window's look, shared by the main window and the help panel: the name it
// shows, its colours, fonts and frames.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QWidget>

#include "window/twips.h"

namespace orva::look {

// "ORVA 1.0": the program's name and the major and minor part of its version,
// the window's title and the help panel's first line.
inline QString NameAndVersion() { return QStringLiteral("ORVA " ORVA_VERSION_MAJOR_MINOR); }

inline const QColor kFace{224, 224, 224};        // window, frames and most text boxes
inline const QColor kButtonFace{192, 192, 192};  // Insert
inline const QColor kOkFace{235, 235, 235};      // the help panel's OK
inline const QColor kWhite{255, 255, 255};       // the box for a new text
inline const QColor kMaroon{128, 0, 0};          // typed text and the selected mission's details
inline const QColor kNavy{0, 0, 128};            // mission texts in the list
inline const QColor kPanelBlue{0, 0, 192};       // the help panel's texts
inline const QColor kBlue{0, 0, 255};            // the database path; the help panel's middle bar
inline const QColor kRed{255, 0, 0};             // the help panel's lowest bar

inline constexpr int kSmallFontCentipoints = 825;  // 8.25 pt
inline constexpr int kLargeFontCentipoints = 975;  // 9.75 pt

// "MS Sans Serif" bold, falling back to sans-serif families of about its width
// where it is missing (Arial's metrics before the wider DejaVu Sans, so that
// "Image:" still fits its 41-pixel label). The size is set in pixels so the
// text fits the pixel layout whatever the screen's dots per inch.
inline QFont SansSerifBold(int centipoints) {
  QFont font;
  font.setFamilies({"MS Sans Serif", "Microsoft Sans Serif", "Tahoma", "Arial", "Liberation Sans",
                    "Nimbus Sans", "DejaVu Sans Condensed", "DejaVu Sans"});
  font.setStyleHint(QFont::SansSerif);
  font.setBold(true);
  font.setPixelSize(CentipointsToPixels(centipoints));
  return font;
}

enum class WhenDisabled { kPlatformLook, kSameColour };

// Sets one palette colour of an enabled widget; a disabled one keeps the
// platform's disabled look unless asked otherwise.
inline void SetColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour,
                      WhenDisabled disabled = WhenDisabled::kPlatformLook) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Active, role, colour);
  palette.setColor(QPalette::Inactive, role, colour);
  if (disabled == WhenDisabled::kSameColour) palette.setColor(QPalette::Disabled, role, colour);
  widget->setPalette(palette);
}

// Fills the background of `widget` with the face colour.
inline void FillWithFace(QWidget* widget) {
  widget->setAutoFillBackground(true);
  SetColour(widget, QPalette::Window, kFace);
}

// A frame without a caption: an etched line around a face-coloured area.
inline QFrame* Frame(QWidget* parent, const char* name, const QRect& geometry) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setGeometry(geometry);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  FillWithFace(frame);
  return frame;
}

}  // namespace orva::look
