// ORVA's icon as the program uses it: the window icon and the picture on the
// help panel, both from resources/orva.png built into the program.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace orva::icon {

// Where resources/orva.png lives inside the program.
inline constexpr const char* kResourcePath = ":/orva/orva.png";

// The 32 x 32 picture. Needs a QGuiApplication.
QPixmap Pixmap();

// The window icon: the 32 px picture and sharp 64 and 128 px copies of it.
QIcon WindowIcon();

}  // namespace orva::icon
