// ORVA: creates and shows the main window; closing it ends the program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "window/form1.h"

namespace {

const char* g_program = "orva";
QtMessageHandler g_usual_messages = nullptr;

void SayThereIsNoDisplay() {
  std::fprintf(stderr,
               "%s: no display to show the window on; run it on a virtual one with: "
               "xvfb-run -a %s\n",
               g_program, g_program);
}

// Without a display variable (and no platform chosen by hand) Qt cannot
// start; say so before it tries.
bool HasDisplay() {
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
         !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// A display that is named but cannot be reached makes Qt give up while the
// application starts, with a fatal message and an abort. During start-up only,
// that abort becomes the same plain line and an ordinary failure exit.
void StartUpMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (g_usual_messages != nullptr) g_usual_messages(type, context, message);
    return;
  }
  SayThereIsNoDisplay();
  std::_Exit(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 0) g_program = argv[0];
  if (!HasDisplay()) {
    SayThereIsNoDisplay();
    return EXIT_FAILURE;
  }
  g_usual_messages = qInstallMessageHandler(StartUpMessages);
  QApplication app(argc, argv);
  qInstallMessageHandler(g_usual_messages);

  QApplication::setStyle(QStringLiteral("Fusion"));  // draws the window's own colours
  orva::Form1 form;
  form.show();
  return QApplication::exec();
}
