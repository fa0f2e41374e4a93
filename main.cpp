// ORVA: creates and shows the main window; closing it ends the program.
#include <QApplication>
#include <cstdio>

#include "window/form1.h"

namespace {

// Without a display (and no platform chosen by hand) Qt would abort; say so
// plainly instead.
bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
         !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
  if (!HasDisplay()) {
    std::fprintf(stderr,
                 "orva: no display to show the window on; run it under a virtual one: "
                 "xvfb-run -a %s\n",
                 argv[0]);
    return 1;
  }
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));  // draws the window's own colours
  orva::Form1 form;
  form.show();
  return QApplication::exec();
}
