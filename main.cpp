// ORVA: creates and shows the main window, opening the database named on the
// command line if there is one; closing the window ends the program.
//   orva [FILE]    orva --help    orva --version
#include <QApplication>
#include <QCommandLineParser>
#include <QStringList>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <utility>

#include "window/form1.h"

namespace {

const char* g_program = "orva";

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

// Qt's messages while the application starts, held until it is clear what
// they mean. When Qt gives up, it says so in a fatal message and aborts: if
// it could not reach the display, that becomes the plain line above; any
// other reason (a missing platform plugin, say) is shown as Qt words it.
// Either way the program ends with an ordinary failure status.
struct StartUpMessages {
  QStringList held;
  bool display_unreachable = false;
};
StartUpMessages g_start_up;

void HoldStartUpMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    g_start_up.held << qFormatLogMessage(type, context, message);
    // "could not connect to display :1" (X11), "Failed to create wl_display" (Wayland)
    if (message.contains(QLatin1String("display"), Qt::CaseInsensitive)) {
      g_start_up.display_unreachable = true;
    }
    return;
  }
  if (g_start_up.display_unreachable) {
    SayThereIsNoDisplay();
  } else {
    for (const QString& line : g_start_up.held) std::fprintf(stderr, "%s\n", qUtf8Printable(line));
    std::fprintf(stderr, "%s: %s\n", g_program, qUtf8Printable(message));
  }
  std::_Exit(EXIT_FAILURE);
}

void SayWhatStopped(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: stopped by an unexpected error: %s\n", g_program, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: stopped by an unexpected error\n", g_program);
  }
}

// An exception out of an event handler must not unwind through Qt's event
// loop: it ends the program, with its reason, as one thrown before the loop.
// Every database change is all or nothing, so none is left half done.
class Application : public QApplication {
 public:
  using QApplication::QApplication;

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      SayWhatStopped(std::current_exception());
      exit(EXIT_FAILURE);
      return false;
    }
  }
};

// Opens FILE once the window is first on the screen. By then the window
// manager has placed it, so a message about the file stands over the window
// rather than where the window was before it was placed.
class OpenOnceShown : public QObject {
 public:
  OpenOnceShown(orva::Form1& form, QString file)
      : QObject(&form), form_(form), file_(std::move(file)) {
    QWindow* window = form.windowHandle();
    if (window->isExposed()) {
      OpenSoon();
    } else {
      window->installEventFilter(this);
    }
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Expose && static_cast<QWindow*>(watched)->isExposed()) {
      watched->removeEventFilter(this);
      OpenSoon();
    }
    return false;
  }

 private:
  // From the event loop, not from inside the event being handled.
  void OpenSoon() {
    QMetaObject::invokeMethod(
        this,
        [this] {
          form_.OpenFile(file_);
          deleteLater();
        },
        Qt::QueuedConnection);
  }

  orva::Form1& form_;
  QString file_;
};

// orva [FILE]. --help and --version print and end the program, as does a
// wrong command line, after saying what is wrong.
std::optional<QString> ParseCommandLine(const QCoreApplication& app) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Adds mission texts to textdb_XX.def text databases."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"),
                               QStringLiteral("The database to open, as if chosen in Open."),
                               QStringLiteral("[FILE]"));
  parser.process(app);
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    std::fprintf(stderr, "%s: one database at a time; %lld files were given\n", g_program,
                 static_cast<long long>(files.size()));
    std::exit(EXIT_FAILURE);
  }
  if (files.isEmpty()) return std::nullopt;
  return files.front();
}

int Run(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("orva"));
  QCoreApplication::setApplicationVersion(QStringLiteral(ORVA_VERSION));
  if (!HasDisplay()) {
    // --help, --version and a wrong command line need no display.
    const QCoreApplication app(argc, argv);
    ParseCommandLine(app);
    SayThereIsNoDisplay();
    return EXIT_FAILURE;
  }
  const QtMessageHandler usual_messages = qInstallMessageHandler(HoldStartUpMessage);
  Application app(argc, argv);
  qInstallMessageHandler(usual_messages);
  for (const QString& line : g_start_up.held) std::fprintf(stderr, "%s\n", qUtf8Printable(line));

  const std::optional<QString> file = ParseCommandLine(app);
  QApplication::setStyle(QStringLiteral("Fusion"));  // draws the window's own colours
  orva::Form1 form;
  form.show();
  if (file) new OpenOnceShown(form, *file);
  return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 0) g_program = argv[0];
  try {
    return Run(argc, argv);
  } catch (...) {
    SayWhatStopped(std::current_exception());
    return EXIT_FAILURE;
  }
}
