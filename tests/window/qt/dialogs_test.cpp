// The real dialogs, Qt's own widgets, driven the way a user answers them: a
// timer finds the modal dialog that is up and answers it, so the program's
// code runs its ordinary modal loop.
#include "window/qt/dialogs.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/window/qt/window_driver.h"
#include "window/qt/form1.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

// Answers the modal dialogs as they come up, one handler each, in order. A
// dialog still up a while after its answer is closed and reported, so a test
// whose answer did not take fails instead of waiting forever.
class ModalAnswers : public QObject {
 public:
  ModalAnswers() {
    connect(&poll_, &QTimer::timeout, this, &ModalAnswers::AnswerTheOneUp);
    poll_.start(kPollMilliseconds);
  }
  void Then(std::function<void(QWidget*)> answer) { answers_.push_back(std::move(answer)); }
  bool AllAnswered() const { return answers_.empty(); }
  // What stayed up after its answer, or empty.
  const QString& Stuck() const { return stuck_; }

 private:
  static constexpr int kPollMilliseconds = 10;
  static constexpr int kPollsBeforeStuck = 500;  // 5 s

  void AnswerTheOneUp() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal == answered_) {
      if (++polls_since_answer_ >= kPollsBeforeStuck) CloseStuck(modal);
      return;
    }
    if (modal == nullptr || answers_.empty()) return;
    answered_ = modal;
    polls_since_answer_ = 0;
    std::function<void(QWidget*)> answer = std::move(answers_.front());
    answers_.pop_front();
    answer(modal);
  }

  void CloseStuck(QWidget* modal) {
    stuck_ =
        QString("a %1 was still up after it was answered").arg(modal->metaObject()->className());
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
  }

  QTimer poll_;
  std::deque<std::function<void(QWidget*)>> answers_;
  QPointer<QWidget> answered_;
  int polls_since_answer_ = 0;
  QString stuck_;
};

struct SeenBox {
  QString title;
  QString text;
  QString details;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Notes what the box shows, then presses its OK button.
std::function<void(QWidget*)> NoteAndPressOk(SeenBox& seen) {
  return [&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr)
      qFatal("a message box was expected, not a %s", modal->metaObject()->className());
    seen = {box->windowTitle(), box->text(), box->informativeText(), box->icon(),
            box->standardButtons()};
    box->button(QMessageBox::Ok)->click();
  };
}

QFileDialog* AsFileDialog(QWidget* modal) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  if (dialog == nullptr)
    qFatal("a file dialog was expected, not a %s", modal->metaObject()->className());
  return dialog;
}

class DialogsTest : public QObject {
  Q_OBJECT

 private:
  QString MakeDatabase(const std::string& name, const std::vector<std::byte>& bytes) {
    return test_support::WriteDatabase(*dir_, name, bytes);
  }

  std::unique_ptr<test_support::TempDir> dir_;
  std::unique_ptr<ModalAnswers> answers_;

 private slots:
  void init() {
    dir_ = std::make_unique<test_support::TempDir>();
    answers_ = std::make_unique<ModalAnswers>();
  }
  void cleanup() {
    QVERIFY2(answers_->Stuck().isEmpty(), qPrintable(answers_->Stuck()));
    QVERIFY2(answers_->AllAnswered(), "a dialog that was expected never came up");
    answers_.reset();
    dir_.reset();
  }

  void aMessageBoxShowsItsIconAndTextUnderABlankTitle_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<int>("box_icon");
    QTest::addColumn<QString>("details");
    QTest::newRow("information") << int(MessageIcon::kInformation) << int(QMessageBox::Information)
                                 << QString();
    QTest::newRow("exclamation") << int(MessageIcon::kExclamation) << int(QMessageBox::Warning)
                                 << QString("The entry count is negative.");
  }
  void aMessageBoxShowsItsIconAndTextUnderABlankTitle() {
    QFETCH(int, icon);
    QFETCH(int, box_icon);
    QFETCH(QString, details);
    SeenBox seen;
    answers_->Then(NoteAndPressOk(seen));

    QWidget parent;
    parent.setWindowTitle("ORVA 1.0");
    QtDialogs().ShowMessage(&parent, static_cast<MessageIcon>(icon), "All Right!", details);

    // Blank, not empty: in an empty title Qt would put the program's name.
    QVERIFY(seen.title.trimmed().isEmpty());
    QCOMPARE(seen.text, QString("All Right!"));
    QCOMPARE(seen.details, details);
    QCOMPARE(int(seen.icon), box_icon);
    QCOMPARE(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  }

  void theFileDialogAsksForAnExistingDefFileFromTheLastPath() {
    const QString last = MakeDatabase("textdb_03.def", DatabaseBuilder().Marker().Build());
    QString title;
    QStringList filters;
    QFileDialog::FileMode mode = QFileDialog::AnyFile;
    QStringList selected;
    answers_->Then([&](QWidget* modal) {
      QFileDialog* dialog = AsFileDialog(modal);
      title = dialog->windowTitle();
      filters = dialog->nameFilters();
      mode = dialog->fileMode();
      selected = dialog->selectedFiles();
      dialog->reject();
    });

    const std::optional<QString> chosen =
        QtDialogs().ChooseExistingFile(nullptr, {.title = "Открыть textdb_XX.def файл",
                                                 .filter_description = "*.def",
                                                 .filter_pattern = "*.def",
                                                 .start_path = last.toStdString()});

    QVERIFY(!chosen.has_value());  // Cancel is its own outcome
    QCOMPARE(title, QString("Открыть textdb_XX.def файл"));
    QCOMPARE(filters, QStringList("*.def"));
    QCOMPARE(mode, QFileDialog::ExistingFile);
    QCOMPARE(selected, QStringList(last));
  }

  // The whole road with the real dialogs: Open, Insert, "All Right!".
  void theWindowOpensAndInsertsThroughTheRealDialogs() {
    const QString path =
        MakeDatabase("textdb_07.def",
                     DatabaseBuilder().Entry(5122, "Мост").Entry(5123, "Брод").Marker().Build());
    Form1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    answers_->Then([&](QWidget* modal) {
      QFileDialog* dialog = AsFileDialog(modal);
      // selectFile leaves the file name field alone while it has the focus,
      // which it may or may not have yet; take the focus away first.
      if (QWidget* focused = dialog->focusWidget()) focused->clearFocus();
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();  // OK, as QFileDialog checks it
    });
    form.findChild<QAction*>("tb")->trigger();
    QCOMPARE(form.DatabasePath(), path);
    auto* list = form.findChild<QListWidget*>("List1");
    QCOMPARE(list->count(), 2);

    SeenBox seen;
    answers_->Then(NoteAndPressOk(seen));
    form.findChild<QLineEdit*>("Text1")->setText("Щит");
    QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);

    QCOMPARE(seen.text, QString("All Right!"));
    QCOMPARE(seen.icon, QMessageBox::Information);
    QVERIFY(seen.title.trimmed().isEmpty());
    QCOMPARE(list->count(), 3);
    QCOMPARE(form.findChild<QLineEdit*>("Text4")->text(), QString("5124"));
  }
};

}  // namespace
}  // namespace orva

QTEST_MAIN(orva::DialogsTest)
#include "dialogs_test.moc"
