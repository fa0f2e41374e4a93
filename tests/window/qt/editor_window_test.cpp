// The editor's Qt view, driven as a user would, and its way in from the main
// window: the mission list's menu.
#include "window/qt/editor_window.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include "tests/support/database_builder.h"
#include "tests/window/qt/accessibility.h"
#include "tests/window/qt/window_driver.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

std::vector<std::byte> Missions() {
  return DatabaseBuilder()
      .Entry(5001, "Обучение")
      .Entry(1200, "briefing")
      .Entry(5002, "Патруль")
      .Marker("Конец")
      .Build();
}

EditorWindow* OpenEditor() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* editor = qobject_cast<EditorWindow*>(window); editor && editor->isVisible()) {
      return editor;
    }
  }
  return nullptr;
}

class EditorWindowTest : public QObject, test_support::WindowDriver {
  Q_OBJECT

 private:
  QListWidget* List() { return Widget<QListWidget>("List1"); }
  QStringList Listed() {
    QStringList texts;
    for (int i = 0; i < List()->count(); ++i) texts << List()->item(i)->text();
    return texts;
  }
  // Opens the list's menu with `open` and picks "Edit all entries…" in it.
  void EditAllEntriesWith(const std::function<void()>& open) {
    bool shown = false;
    QTimer::singleShot(0, this, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      shown = true;
      auto* edit = menu->findChild<QAction*>("editAllEntries");
      QVERIFY(edit != nullptr);
      QCOMPARE(edit->text(), QString("Edit all entries…"));
      menu->setActiveAction(edit);
      QTest::keyClick(menu, Qt::Key_Return);
    });
    open();
    QVERIFY(shown);
  }

 private slots:
  void init() {
    Start();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() {
    if (EditorWindow* editor = OpenEditor()) editor->hide();
    Stop();
  }

  // Right click, Shift+F10 and the Menu key each open the list's menu, whose
  // one item shows the editor on the database the window shows; a save there
  // is read again by the list.
  void theListsMenuEditsTheDatabaseAndTheListFollowsItsSave() {
    const QString path = WriteDatabase("textdb_00.def", Missions());
    OpenDatabase(path);
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    List()->setFocus();
    EditAllEntriesWith([&] {
      QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 5), QPoint(10, 5));
      QApplication::sendEvent(List()->viewport(), &click);
    });
    EditorWindow* editor = OpenEditor();
    QVERIFY(editor != nullptr);
    QCOMPARE(editor->DatabasePath(), path);
    editor->hide();
    EditAllEntriesWith([&] { QTest::keyClick(List(), Qt::Key_F10, Qt::ShiftModifier); });
    QVERIFY(OpenEditor() == editor);
    editor->hide();
    EditAllEntriesWith([&] {
      QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(10, 5), QPoint(10, 5));
      QApplication::sendEvent(List()->viewport(), &key);
    });

    auto* table = editor->findChild<QTableView*>("entries");
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 4);
    QVERIFY(model->setData(model->index(2, 5), "Ночной патруль"));
    QTRY_COMPARE(model->data(model->index(2, 5)).toString(), QString("Ночной патруль"));
    QCOMPARE(editor->windowTitle(), QString("*textdb_00.def – ORVA Editor"));
    editor->findChild<QAction*>("saveAction")->trigger();
    QCOMPARE(editor->windowTitle(), QString("textdb_00.def – ORVA Editor"));
    QCOMPARE(Listed(), QStringList({"Обучение", "Ночной патруль"}));
  }

  // F2 opens the selected text; a character Windows-1251 cannot store is
  // named below and Enter leaves it in the box; Esc leaves the text as it was.
  void aTextThatCannotBeStoredIsNotApplied() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* table = editor.findChild<QTableView*>("entries");
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F2);
    auto* box = table->findChild<QLineEdit*>("textEditor");
    QVERIFY(box != nullptr);
    QCOMPARE(box->text(), QString("Обучение"));
    box->setText("日本");
    QVERIFY(editor.findChild<QLabel*>("preview")->text().contains("U+65E5"));
    QTest::keyClick(box, Qt::Key_Return);
    QVERIFY(box->isVisible());
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(table->findChild<QLineEdit*>("textEditor") == nullptr);
    QCOMPARE(table->model()->data(table->model()->index(0, 5)).toString(), QString("Обучение"));
    QCOMPARE(editor.windowTitle(), QString("textdb_00.def – ORVA Editor"));
  }

  // Screen readers find every control in sight named, and every command has
  // a name of its own for scripts.
  void everyControlIsNamed() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
    QVERIFY(!test_support::NamesInSight(&editor).contains(QString()));
    for (const char* name : {"filter", "entries", "screenshot", "status"}) {
      auto* control = editor.findChild<QWidget*>(name);
      QVERIFY2(control != nullptr && !control->accessibleName().isEmpty(), name);
    }
    for (QAction* action : editor.findChildren<QAction*>()) {
      if (!action->isSeparator() && !action->menu()) {
        QVERIFY2(!action->objectName().isEmpty(), qPrintable(action->text()));
      }
    }
  }
};

}  // namespace
}  // namespace orva

QTEST_MAIN(orva::EditorWindowTest)
#include "editor_window_test.moc"
