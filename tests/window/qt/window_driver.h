// The main window driven as a user drives it: the Open dialog is answered and
// the message boxes are recorded through a fake, the databases are real files
// made by the builder in a scratch folder.
#pragma once

#include <QAction>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/temp_dir.h"
#include "window/mission_database.h"
#include "window/qt/dialogs.h"
#include "window/qt/form1.h"

namespace orva::test_support {

// Writes `bytes` to the file `name` in `dir`; returns its path.
inline QString WriteDatabase(const TempDir& dir, const std::string& name,
                             std::span<const std::byte> bytes) {
  WriteFileBytes(dir / name, bytes);
  return QString::fromStdString((dir / name).string());
}

// Whether some pixel of `area` in `drawn` has exactly `colour`.
inline bool Shows(const QImage& drawn, const QRect& area, const QColor& colour) {
  const QRect inside = area.intersected(drawn.rect());
  for (int y = inside.top(); y <= inside.bottom(); ++y) {
    for (int x = inside.left(); x <= inside.right(); ++x) {
      if (drawn.pixelColor(x, y) == colour) return true;
    }
  }
  return false;
}

// "ORVA 1.0" for version 1.0.0: the name, and the version's major and minor part.
inline QString NameAndVersion() { return "ORVA " + QString(ORVA_VERSION).section('.', 0, 1); }

struct ShownMessage {
  MessageIcon icon;
  QString text;
  QString details;
  bool list_enabled;  // the state of List1 while the box was up
};

// Answers the Open dialog from a queue (an empty path, or none left, is
// Cancel) and records what it was asked and every message box.
class FakeDialogs : public Dialogs {
 public:
  std::optional<QString> ChooseExistingFile(QWidget* /*parent*/,
                                            const OpenFileRequest& request) override {
    requests.push_back(request);
    const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
    if (answer.isEmpty()) return std::nullopt;
    return answer;
  }
  void ShowMessage(QWidget* parent, MessageIcon icon, const QString& text,
                   const QString& details) override {
    messages.push_back({icon, text, details, parent->findChild<QWidget*>("List1")->isEnabled()});
  }

  QStringList answers;  // the next answers of the Open dialog
  std::vector<OpenFileRequest> requests;
  std::vector<ShownMessage> messages;
};

// The verbs of the window's test suites, which derive from it and call Start
// in init() and Stop in cleanup().
class WindowDriver {
 protected:
  void Start(std::unique_ptr<MissionDatabase> database = std::make_unique<FileMissionDatabase>()) {
    QApplication::setStyle(QStringLiteral("Fusion"));  // as the program draws the window
    dir_ = std::make_unique<TempDir>();
    auto dialogs = std::make_unique<FakeDialogs>();
    dialogs_ = dialogs.get();
    form_ = std::make_unique<Form1>(std::move(dialogs), std::move(database));
    form_->show();
  }
  void Stop() {
    form_.reset();
    dir_.reset();
  }

  QString WriteDatabase(const std::string& name, std::span<const std::byte> bytes) {
    return test_support::WriteDatabase(*dir_, name, bytes);
  }
  void Trigger(const char* action) { Widget<QAction>(action)->trigger(); }
  void OpenDatabase(const QString& path) {
    dialogs_->answers.push_back(path);
    Trigger("tb");
  }
  void ShowHelp() { Trigger("ooo"); }
  bool HelpShown() { return Widget("Frame1")->isVisible(); }

  // The window's object of that name; the test stops if there is none.
  template <typename W = QWidget>
  W* Widget(const char* name) {
    W* widget = form_->findChild<W*>(name);
    if (widget == nullptr) qFatal("no %s named %s", W::staticMetaObject.className(), name);
    return widget;
  }

  std::unique_ptr<TempDir> dir_;
  FakeDialogs* dialogs_ = nullptr;
  std::unique_ptr<Form1> form_;
};

}  // namespace orva::test_support
