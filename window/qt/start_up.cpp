// The window program's start: the command line, the display, Qt's messages
// while it starts, and errors that escape an event handler.
#include "window/qt/start_up.h"

#include <QApplication>
#include <QByteArray>
#include <QFile>
#include <QStringList>
#include <QWindow>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/qt/editor_window.h"
#include "window/qt/form1.h"
#include "window/window_arguments.h"

namespace orva {
namespace {

void SayThereIsNoDisplay(const char* program) {
  std::fprintf(stderr,
               "%s: no display to show the window on; run it on a virtual one with: "
               "xvfb-run -a %s\n",
               program, program);
}

// On X11 and Wayland the display is named in the environment: without it (and
// no platform chosen by hand) Qt cannot start, so say so before it tries.
// Windows and macOS always have theirs.
bool HasDisplay() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN) && !defined(Q_OS_ANDROID)
  return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
         !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
  return true;
#endif
}

// Qt's messages while the application starts, held from construction until
// Release, when they go out as usual. When Qt gives up, it says so in a
// fatal message and aborts: if it could not reach the display, that becomes
// the plain line above; any other reason (a missing platform plugin, say) is
// shown as Qt words it, after what it said before. Either way the program
// ends with an ordinary failure status.
class StartUpMessages {
 public:
  explicit StartUpMessages(const char* program) : program_(program) {
    holder_ = this;
    usual_ = qInstallMessageHandler(&StartUpMessages::Take);
  }
  ~StartUpMessages() { Release(); }
  StartUpMessages(const StartUpMessages&) = delete;
  StartUpMessages& operator=(const StartUpMessages&) = delete;

  // Gives Qt's messages back to their usual handler and prints those held.
  void Release() {
    if (holder_ != this) return;
    qInstallMessageHandler(usual_);
    holder_ = nullptr;
    PrintHeld();
  }

 private:
  // Qt's handler is a plain function; it finds the one holder through here.
  static inline StartUpMessages* holder_ = nullptr;

  static void Take(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    holder_->Hold(type, context, message);
  }

  void Hold(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg) {
      held_ << qFormatLogMessage(type, context, message);
      // "could not connect to display :1" (X11), "Failed to create wl_display" (Wayland)
      if (message.contains(QLatin1String("display"), Qt::CaseInsensitive)) {
        display_unreachable_ = true;
      }
      return;
    }
    if (display_unreachable_) {
      SayThereIsNoDisplay(program_);
    } else {
      PrintHeld();
      std::fprintf(stderr, "%s: %s\n", program_, qUtf8Printable(message));
    }
    std::_Exit(EXIT_FAILURE);
  }

  void PrintHeld() const {
    for (const QString& line : held_) std::fprintf(stderr, "%s\n", qUtf8Printable(line));
  }

  const char* program_;
  QtMessageHandler usual_ = nullptr;
  QStringList held_;
  bool display_unreachable_ = false;
};

void SayWhatStopped(const char* program, const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: stopped by an unexpected error: %s\n", program, e.what());
  } catch (...) {
    std::fprintf(stderr, "%s: stopped by an unexpected error\n", program);
  }
}

// An exception out of an event handler must not unwind through Qt's event
// loop: it ends the program, with its reason, as one thrown before the loop.
// Every database change is all or nothing, so none is left half done.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv, const char* program)
      : QApplication(argc, argv), program_(program) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      SayWhatStopped(program_, std::current_exception());
      exit(EXIT_FAILURE);
      return false;
    }
  }

 private:
  const char* program_;
};

// Opens FILE once the window is first on the screen. By then the window
// manager has placed it, so a message about the file stands over the window
// rather than where the window was before it was placed.
class OpenOnceShown : public QObject {
 public:
  OpenOnceShown(QWidget& window, std::function<void()> open)
      : QObject(&window), open_(std::move(open)) {
    QWindow* handle = window.windowHandle();
    if (handle->isExposed()) {
      OpenSoon();
    } else {
      handle->installEventFilter(this);
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
          open_();
          deleteLater();
        },
        Qt::QueuedConnection);
  }

  std::function<void()> open_;
};

// The command line, parsed as orva.exe parses its own; --help, --version and
// a wrong line print and end the program, the last after saying what is wrong.
WindowCommandLine ParseCommandLine(int argc, char** argv, const char* program) {
  const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
  WindowCommandLine line = ParseWindowCommandLine(program, arguments);
  switch (line.action) {
    case WindowCommandLine::Action::kHelp:
    case WindowCommandLine::Action::kVersion:
      std::printf("%s\n", line.message.c_str());
      std::exit(EXIT_SUCCESS);
    case WindowCommandLine::Action::kRefused:
      std::fprintf(stderr, "%s\n", line.message.c_str());
      std::exit(EXIT_FAILURE);
    case WindowCommandLine::Action::kMainWindow:
    case WindowCommandLine::Action::kEditor:
      break;
  }
  return line;
}

int Run(int argc, char** argv, const char* program) {
  QCoreApplication::setApplicationName(QStringLiteral("orva"));
  QCoreApplication::setApplicationVersion(QStringLiteral(ORVA_VERSION));
  if (!HasDisplay()) {
    // --help, --version and a wrong command line need no display.
    ParseCommandLine(argc, argv, program);
    SayThereIsNoDisplay(program);
    return EXIT_FAILURE;
  }
  StartUpMessages start_up(program);
  Application app(argc, argv, program);
  start_up.Release();

  // Qt has taken its own options (-platform, -style, ...) out of argv.
  const WindowCommandLine line = ParseCommandLine(argc, argv, program);
  const std::optional<QString> file =
      line.file.empty() ? std::nullopt
                        : std::optional(QFile::decodeName(QByteArray::fromStdString(line.file)));
  QApplication::setStyle(QStringLiteral("Fusion"));  // draws the window's own colours
  if (line.action == WindowCommandLine::Action::kEditor) {
    EditorWindow editor;
    editor.show();
    // The reference first, so that the file opens beside it.
    const QString reference = QFile::decodeName(QByteArray::fromStdString(line.reference));
    if (file || !reference.isEmpty()) {
      new OpenOnceShown(editor, [&editor, file, reference] {
        if (!reference.isEmpty() && !editor.OpenReference(reference)) return;
        if (file) editor.OpenFile(*file);
      });
    }
    return QApplication::exec();
  }
  Form1 form;
  form.show();
  if (file) new OpenOnceShown(form, [&form, path = *file] { form.OpenFile(path); });
  return QApplication::exec();
}

}  // namespace

int RunWindowProgram(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "orva";
  try {
    return Run(argc, argv, program);
  } catch (...) {
    SayWhatStopped(program, std::current_exception());
    return EXIT_FAILURE;
  }
}

}  // namespace orva
