// The window's look in Qt's terms, shared by the main window and the help
// panel: the layout's twips as pixels, its colours, fonts and frames.
#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <QRect>
#include <QString>
#include <QWidget>
#include <string_view>

#include "window/form1_layout.h"

namespace orva::look {

// Qt lays the window out in pixels at 96 dots per inch (it scales them
// itself on a screen with more): 15 twips to a pixel.
inline QRect Pixels(const layout::Rect& twips) {
  const layout::Rect pixels = layout::ToPixels(twips);
  return {pixels.left, pixels.top, pixels.width, pixels.height};
}

inline QColor Colour(const layout::Rgb& rgb) { return {rgb.red, rgb.green, rgb.blue}; }

inline QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// "ORVA 1.0": the program's name and the major and minor part of its version.
inline QString NameAndVersion() { return Text(layout::NameAndVersion()); }

// The layout's font ("MS Sans Serif" bold), falling back to sans-serif
// families of about its width where it is missing (Arial's metrics before the
// wider DejaVu Sans, so that "Image:" still fits its 41-pixel label). The size
// is set in pixels so the text fits the pixel layout whatever the screen's
// dots per inch.
inline QFont Font(const layout::Font& font) {
  QFont qt_font;
  qt_font.setFamilies({Text(font.name), "Microsoft Sans Serif", "Tahoma", "Arial",
                       "Liberation Sans", "Nimbus Sans", "DejaVu Sans Condensed", "DejaVu Sans"});
  qt_font.setStyleHint(QFont::SansSerif);
  qt_font.setBold(font.bold);
  qt_font.setPixelSize(layout::CentipointsToPixels(font.centipoints));
  return qt_font;
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
  SetColour(widget, QPalette::Window, Colour(layout::kFace));
}

}  // namespace orva::look
