// Saves pictures of the window, made without a display:
//   orva-screenshot DATABASE WINDOW.png HELP.png
// opens DATABASE as if chosen in the Open dialog, selects a mission in the
// middle of the list and grabs the window, menu bar included, into WINDOW.png;
// then shows the help panel (Help...) and grabs the window again into HELP.png.
#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QPixmap>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "window/dialogs.h"
#include "window/form1.h"

namespace {

// Answers the Open dialog with one path; any message box means the database
// could not be shown as it should.
class ScriptedDialogs : public orva::Dialogs {
 public:
  explicit ScriptedDialogs(QString path) : path_(std::move(path)) {}

  std::optional<QString> ChooseExistingFile(QWidget*, const orva::OpenFileRequest&) override {
    return path_;
  }
  void ShowMessage(QWidget*, orva::MessageIcon, const QString& text,
                   const QString& details) override {
    std::fprintf(stderr, "orva-screenshot: %s %s\n", qUtf8Printable(text), qUtf8Printable(details));
    failed_ = true;
  }
  bool failed() const { return failed_; }

 private:
  QString path_;
  bool failed_ = false;
};

bool Save(QWidget& form, const char* file) {
  const QString output = QString::fromLocal8Bit(file);
  if (form.grab().save(output, "PNG")) return true;
  std::fprintf(stderr, "orva-screenshot: cannot write %s\n", qUtf8Printable(output));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: orva-screenshot DATABASE WINDOW.png HELP.png\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setStyle(QStringLiteral("Fusion"));

  auto dialogs = std::make_unique<ScriptedDialogs>(QString::fromLocal8Bit(argv[1]));
  ScriptedDialogs* script = dialogs.get();
  orva::Form1 form(std::move(dialogs));
  form.show();
  form.findChild<QAction*>(QStringLiteral("tb"))->trigger();
  auto* list = form.findChild<QListWidget*>(QStringLiteral("List1"));
  if (script->failed() || list->count() == 0) return 1;
  list->setCurrentRow(list->count() / 2);
  if (!Save(form, argv[2])) return 1;

  form.findChild<QAction*>(QStringLiteral("ooo"))->trigger();
  return Save(form, argv[3]) ? 0 : 1;
}
