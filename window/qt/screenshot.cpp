// Saves pictures of the window, made without a display:
//   orva-screenshot DATABASE WINDOW.png HELP.png [EDITOR.png [REFERENCE.png]]
// opens DATABASE as if chosen in the Open dialog, selects a mission in the
// middle of the list and grabs the window, menu bar included, into WINDOW.png;
// then shows the help panel (Help...) and grabs the window again into HELP.png.
// Given EDITOR.png, it opens a copy of DATABASE in the editor too, from a
// folder of its own ("ORVA sample" in the temporary folder) beside a
// screenshot it draws for one mission, selects the mission with the longest
// text, which has no screenshot, so that its text is read whole in the
// table and the details pane, and grabs the editor window into it.
// Given REFERENCE.png, it makes the English version of the sample beside
// it and grabs the editor with that reference open, the mission too long
// for the game's window selected, into it.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QListWidget>
#include <QPainter>
#include <QPixmap>
#include <QTableView>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "window/qt/dialogs.h"
#include "window/qt/editor_window.h"
#include "window/qt/form1.h"

// screenshot_reference.cpp, where Qt's keywords are not defined.
bool MakeEnglishReference(const std::string& database, const std::string& reference);

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

// A picture of the kind the game keeps for a mission: a bridge at dawn.
QImage MissionPicture() {
  QImage picture(320, 200, QImage::Format_RGB32);
  QPainter painter(&picture);
  QLinearGradient sky(0, 0, 0, 130);
  sky.setColorAt(0, QColor(0x3b, 0x4f, 0x7a));
  sky.setColorAt(1, QColor(0xf2, 0xb0, 0x6a));
  painter.fillRect(0, 0, 320, 130, sky);
  painter.fillRect(0, 130, 320, 70, QColor(0x2c, 0x4a, 0x5a));
  painter.fillRect(0, 112, 320, 8, QColor(0x30, 0x26, 0x22));
  for (int x = 20; x < 320; x += 60) painter.fillRect(x, 120, 8, 30, QColor(0x30, 0x26, 0x22));
  return picture;
}

bool SaveEditor(const char* database, const char* file) {
  QDir folder(QDir::temp().filePath(QStringLiteral("ORVA sample")));
  if (!folder.mkpath(QStringLiteral("."))) return false;
  const QString copy = folder.filePath(QStringLiteral("textdb_00.def"));
  QFile::remove(copy);
  const bool ready = QFile::copy(QString::fromLocal8Bit(database), copy) &&
                     MissionPicture().save(folder.filePath(QStringLiteral("shot007.bmp")), "BMP");
  bool saved = false;
  if (ready) {
    orva::EditorWindow editor;
    editor.resize(1000, 640);
    editor.show();
    if (editor.OpenFile(copy)) {
      while (editor.Reviewing()) QApplication::processEvents();
      auto* table = editor.findChild<QTableView*>(QStringLiteral("entries"));
      table->setCurrentIndex(table->model()->index(6, 0));
      saved = Save(editor, file);
    }
  }
  folder.removeRecursively();
  return saved;
}

bool SaveEditorWithReference(const char* database, const char* file) {
  QDir folder(QDir::temp().filePath(QStringLiteral("ORVA sample reference")));
  if (!folder.mkpath(QStringLiteral("."))) return false;
  const QString copy = folder.filePath(QStringLiteral("textdb_00.def"));
  const QString english = folder.filePath(QStringLiteral("textdb_01.def"));
  QFile::remove(copy);
  bool saved = false;
  if (QFile::copy(QString::fromLocal8Bit(database), copy) &&
      MakeEnglishReference(copy.toStdString(), english.toStdString())) {
    orva::EditorWindow editor;
    editor.resize(1180, 660);
    editor.show();
    if (editor.OpenReference(english) && editor.OpenFile(copy)) {
      while (editor.Reviewing()) QApplication::processEvents();
      auto* table = editor.findChild<QTableView*>(QStringLiteral("entries"));
      table->setCurrentIndex(table->model()->index(6, 0));
      QApplication::processEvents();  // the status bar laid out for its new texts
      saved = Save(editor, file);
    }
  }
  folder.removeRecursively();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr,
                 "usage: orva-screenshot DATABASE WINDOW.png HELP.png [EDITOR.png "
                 "[REFERENCE.png]]\n");
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
  if (!Save(form, argv[3])) return 1;
  if (argc == 4) return 0;

  if (!SaveEditor(argv[1], argv[4])) return 1;
  if (argc == 5) return 0;
  return SaveEditorWithReference(argv[1], argv[5]) ? 0 : 1;
}
