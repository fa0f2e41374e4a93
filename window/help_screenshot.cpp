// Saves a picture of the window with its help panel shown, made without a
// display:
//   orva-help-screenshot OUTPUT.png
#include <QAction>
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "window/form1.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orva-help-screenshot OUTPUT.png\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));

  orva::Form1 form;
  form.show();
  auto* help = form.findChild<QAction*>(QStringLiteral("ooo"));
  if (help == nullptr) {
    std::fprintf(stderr, "orva-help-screenshot: the window has no Help... command\n");
    return 1;
  }
  help->trigger();

  const QString output = QString::fromLocal8Bit(argv[1]);
  if (!form.grab().save(output, "PNG")) {
    std::fprintf(stderr, "orva-help-screenshot: cannot write %s\n", qUtf8Printable(output));
    return 1;
  }
  return 0;
}
