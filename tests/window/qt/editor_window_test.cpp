// The editor's Qt view, driven as a user would, and its way in from the main
// window: the mission list's menu.
#include "window/qt/editor_window.h"

#include <QAbstractItemModel>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QContextMenuEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTest>
#include <QTextCursor>
#include <QTimer>

#include "tests/support/database_builder.h"
#include "tests/window/qt/accessibility.h"
#include "tests/window/qt/window_driver.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;

constexpr int kText = static_cast<int>(EditorColumn::kText);

std::vector<std::byte> Missions() {
  return DatabaseBuilder()
      .Entry(5001, "Обучение")
      .Entry(1200, "briefing")
      .Entry(5002, "Патруль")
      .Marker("Конец")
      .Build();
}

// The menu bar as lines, "&File > &Open…\tCtrl+O", "---" for a separator:
// from the command table, and from the window (the probe of orva.exe reads
// its menus the same way).
void MenuLines(const QMenu& menu, const QString& path, QStringList& out) {
  for (QAction* action : menu.actions()) {
    if (action->isSeparator()) {
      out << path + "---";
      continue;
    }
    const QString shortcut = action->shortcut().toString(QKeySequence::PortableText);
    out << path + action->text() + (shortcut.isEmpty() ? QString() : "\t" + shortcut);
    if (action->menu() != nullptr) MenuLines(*action->menu(), path + action->text() + " > ", out);
  }
}

// How many pixels of the widget, drawn now, are the red of a misspelt
// word's underline.
int RedPixels(QWidget* widget) {
  const QImage image = widget->grab().toImage();
  int red = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      // Reddish: a thin wave is drawn pale where it is smoothed.
      if (c.red() > 150 && c.red() - c.green() > 50 && c.red() - c.blue() > 50) ++red;
    }
  }
  return red;
}

// Types `text` into the widget key by key, whatever its letters (QTest's
// keyClicks takes Latin-1 alone).
void TypeText(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

// The spelling menu popped up, with the keyboard's choice (the active
// action) on `first` where that is given; null when it is not there or not
// so.
QMenu* SpellingMenu(const QString& first = {}) {
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  if (menu == nullptr || menu->objectName() != QLatin1String("spellingMenu")) return nullptr;
  if (!first.isEmpty() &&
      (menu->activeAction() == nullptr || menu->activeAction()->text() != first)) {
    return nullptr;
  }
  return menu;
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
    QVERIFY(model->setData(model->index(2, kText), "Ночной патруль"));
    QTRY_COMPARE(model->data(model->index(2, kText)).toString(), QString("Ночной патруль"));
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
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
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
    QCOMPARE(table->model()->data(table->model()->index(0, kText)).toString(), QString("Обучение"));
    QCOMPARE(editor.windowTitle(), QString("textdb_00.def – ORVA Editor"));
  }

  // The menu bar is the command table's, item for item, with its shortcuts;
  // Undo names the change it takes back; Save is greyed once saved.
  void theMenusAreTheCommandTables() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    QStringList shown, table;
    for (QAction* menu : editor.menuBar()->actions()) {
      shown << menu->text();
      MenuLines(*menu->menu(), menu->text() + " > ", shown);
    }
    for (const std::string& line : EditorMenuLines()) table << QString::fromStdString(line);
    QCOMPARE(shown, table);
    QVERIFY(shown.contains("&Help > &Keys\tF1"));

    auto* save = editor.findChild<QAction*>("saveAction");
    auto* undo = editor.findChild<QAction*>("undoAction");
    QVERIFY(!save->isEnabled());
    QAbstractItemModel* model = editor.findChild<QTableView*>("entries")->model();
    QVERIFY(model->setData(model->index(0, kText), "Учёба"));
    QTRY_VERIFY(save->isEnabled());
    QCOMPARE(undo->text(), QString("&Undo Set 5001"));
    save->trigger();
    QVERIFY(!save->isEnabled());
    QVERIFY(undo->isEnabled());
  }

  // The details pane shows the selected entry's whole text and edits it in
  // place; the status line, read aloud, says what was done; the screenshot
  // panel is folded away without a picture; Esc closes Help ▸ Keys.
  void theDetailsPaneReadsAndEditsTheWholeText() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* details = editor.findChild<QPlainTextEdit*>("details");
    auto* table = editor.findChild<QTableView*>("entries");
    QCOMPARE(details->toPlainText(), QString("Обучение"));
    QVERIFY(!editor.findChild<QWidget*>("screenshotPanel")->isVisible());
    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(details->toPlainText(), QString("briefing"));
    QCOMPARE(editor.findChild<QLabel*>("detailsHeading")->text(), QString("1200 · other · slot 2"));

    details->setFocus();
    details->selectAll();
    QTest::keyClicks(details, "briefing, long enough to be read in the pane alone");
    QVERIFY(editor.findChild<QLabel*>("detailsSummary")->text().startsWith("50 bytes (was 8)"));
    QTest::keyClick(details, Qt::Key_Return);
    QTRY_COMPARE(table->model()->data(table->model()->index(1, kText)).toString(),
                 QString("briefing, long enough to be read in the pane alone"));
    auto* status = editor.findChild<QLabel*>("status");
    QAccessibleInterface* reading = QAccessible::queryAccessibleInterface(status);
    QVERIFY(reading != nullptr);
    QVERIFY2(reading->text(QAccessible::Name).startsWith("1200: text changed, 8 → 50 bytes"),
             qPrintable(reading->text(QAccessible::Name)));
    // Esc takes back what was typed and not applied.
    QTest::keyClicks(details, " and more");
    QTest::keyClick(details, Qt::Key_Escape);
    QCOMPARE(details->toPlainText(), QString("briefing, long enough to be read in the pane alone"));

    bool closed = false;
    QTimer::singleShot(0, this, [&] {
      QWidget* keys = QApplication::activeModalWidget();
      QVERIFY(keys != nullptr);
      QCOMPARE(keys->windowTitle(), QString("Keys"));
      QTest::keyClick(keys, Qt::Key_Escape);
      closed = true;
    });
    editor.findChild<QAction*>("keysAction")->trigger();
    QVERIFY(closed);
  }

  // A translator's way: the reference beside the file (its column shown
  // only then), Ctrl+B copies its text, a mission typed too long in the
  // details pane shows its finding before it is applied, and With Problems
  // then shows that row; the status line counts the checks and the progress.
  void translatesBesideAReference() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    auto* table = editor.findChild<QTableView*>("entries");
    const int reference_column = static_cast<int>(EditorColumn::kReference);
    QVERIFY(table->isColumnHidden(reference_column));
    QVERIFY(editor.OpenReference(WriteDatabase("textdb_01.def", DatabaseBuilder()
                                                                    .Entry(5001, "Training")
                                                                    .Entry(1200, "briefing")
                                                                    .Entry(5002, "Patrol")
                                                                    .Marker("End")
                                                                    .Build())));
    QVERIFY(!table->isColumnHidden(reference_column));
    QAbstractItemModel* model = table->model();
    QCOMPARE(model->data(model->index(2, reference_column)).toString(), QString("Patrol"));
    // Checked in the background, Stop Checking there only meanwhile.
    auto* review = editor.findChild<QLabel*>("review");
    auto* stop = editor.findChild<QAction*>("stopCheckingAction");
    QVERIFY(stop != nullptr);
    QVERIFY(stop->isEnabled() == editor.Reviewing());
    QTRY_VERIFY2(review->text().contains("missions 2 of 2 translated, others 0 of 1"),
                 qPrintable(review->text()));
    QVERIFY(!editor.Reviewing());
    QVERIFY(!stop->isEnabled());

    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(editor.findChild<QPlainTextEdit*>("reference")->toPlainText(), QString("Patrol"));
    QVERIFY(editor.findChild<QPlainTextEdit*>("reference")->isVisible());
    QTest::keyClick(table, Qt::Key_B, Qt::ControlModifier);
    QTRY_COMPARE(model->data(model->index(2, kText)).toString(), QString("Patrol"));
    QVERIFY2(model->data(model->index(2, static_cast<int>(EditorColumn::kProblems)))
                 .toString()
                 .contains("untranslated"),
             qPrintable(model->data(model->index(2, 0)).toString()));

    auto* details = editor.findChild<QPlainTextEdit*>("details");
    auto* findings = editor.findChild<QLabel*>("findings");
    details->setFocus();
    details->selectAll();
    const QString long_text("Escort the supply column over the mountain pass");  // 47
    QTest::keyClicks(details, long_text);
    QVERIFY2(findings->text().contains("error · too-long"), qPrintable(findings->text()));
    QCOMPARE(model->data(model->index(2, kText)).toString(), QString("Patrol"));  // not yet
    QTest::keyClick(details, Qt::Key_Return);
    QTRY_COMPARE(model->data(model->index(2, kText)).toString(), long_text);
    editor.findChild<QAction*>("withProblemsAction")->trigger();
    QVERIFY(editor.findChild<QAction*>("withProblemsAction")->isChecked());
    // 1200 is still the reference's text; 5002 is too long.
    QCOMPARE(model->rowCount(), 2);
    const int id = static_cast<int>(EditorColumn::kId);
    QCOMPARE(model->data(model->index(0, id)).toString(), QString("1200"));
    QCOMPARE(model->data(model->index(1, id)).toString(), QString("5002"));
    QVERIFY2(review->text().startsWith("1 error"), qPrintable(review->text()));
  }

  // Shift+Down selects several rows and Ctrl+B copies the reference to
  // each of them that has a partner, as one step, its caption counting them;
  // the details pane keeps to the current row.
  void copiesTheReferenceToTheRowsSelected() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    QVERIFY(editor.OpenReference(WriteDatabase(
        "textdb_01.def",
        DatabaseBuilder().Entry(5001, "Training").Entry(5002, "Patrol").Marker("End").Build())));
    QTRY_VERIFY(!editor.Reviewing());
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* table = editor.findChild<QTableView*>("entries");
    auto* copy = editor.findChild<QAction*>("copyReferenceAction");
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(table, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(table->selectionModel()->selectedRows().size(), 3);
    QCOMPARE(copy->text(), QString("&Copy Reference to 2 Texts"));  // 1200 has no partner
    QCOMPARE(editor.findChild<QLabel*>("detailsHeading")->text(),
             QString("5002 · mission · slot 3"));
    QTest::keyClick(table, Qt::Key_B, Qt::ControlModifier);
    QAbstractItemModel* model = table->model();
    QTRY_COMPARE(model->data(model->index(0, kText)).toString(), QString("Training"));
    QCOMPARE(model->data(model->index(1, kText)).toString(), QString("briefing"));
    QCOMPARE(model->data(model->index(2, kText)).toString(), QString("Patrol"));
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QTest::keyClick(table, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(model->data(model->index(0, kText)).toString(), QString("Обучение"));
    QCOMPARE(model->data(model->index(2, kText)).toString(), QString("Патруль"));
  }

  // View ▸ Only in the Reference, chosen by its keys, shows as rows the
  // reference's entries that none here pairs with, read only: F2 opens no
  // editor, and the details pane shows the reference's text.
  void showsTheEntriesOnlyInTheReferenceFromTheViewMenu() {
    EditorWindow editor;
    editor.show();
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", Missions())));
    QVERIFY(editor.OpenReference(WriteDatabase("textdb_01.def", DatabaseBuilder()
                                                                    .Entry(5001, "Training")
                                                                    .Entry(5003, "Night raid")
                                                                    .Marker("End")
                                                                    .Build())));
    QTRY_VERIFY(!editor.Reviewing());
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* table = editor.findChild<QTableView*>("entries");
    table->setFocus();
    QTest::keyClick(&editor, Qt::Key_V, Qt::AltModifier);
    QTRY_VERIFY(qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr);
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_R);
    QTRY_VERIFY(editor.findChild<QAction*>("onlyInReferenceAction")->isChecked());

    QAbstractItemModel* model = table->model();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->data(model->index(0, static_cast<int>(EditorColumn::kId))).toString(),
             QString("5003"));
    const MarkLook look = LookOf(RowMark::kOnlyInReference);
    QCOMPARE(model->data(model->index(0, 0), Qt::BackgroundRole).value<QBrush>().color(),
             QColor(look.red, look.green, look.blue));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F2);
    QVERIFY(table->findChild<QLineEdit*>("textEditor") == nullptr);
    QCOMPARE(editor.findChild<QPlainTextEdit*>("reference")->toPlainText(), QString("Night raid"));
    QVERIFY(editor.findChild<QPlainTextEdit*>("details")->isReadOnly());
  }

  // A text typed in the details pane goes to the entry it shows, even when
  // the review's pass has meanwhile put rows above that entry's under a
  // filter by findings: the pane keeps the entry, not its row.
  void theDetailsPaneAppliesToItsEntryWhenRowsComeAboveIt() {
    EditorWindow editor;
    editor.show();
    DatabaseBuilder database;
    DatabaseBuilder reference;
    constexpr int kEntries = 6;
    for (int i = 0; i < kEntries; ++i) {
      const std::string text = "Text " + std::to_string(i);
      database.Entry(2000 + i, i + 1 < kEntries ? text : std::string("Перевод"));
      reference.Entry(2000 + i, text);
    }
    QVERIFY(editor.OpenFile(WriteDatabase("textdb_00.def", database.Marker("End").Build())));
    // The pass stopped before it checked anything.
    QVERIFY(editor.OpenReference(WriteDatabase("textdb_01.def", reference.Marker("End").Build())));
    editor.findChild<QAction*>("stopCheckingAction")->trigger();
    // The dictionaries join meanwhile, the pass staying stopped.
    QTRY_VERIFY_WITH_TIMEOUT(!editor.Reviewing(), 20000);
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* table = editor.findChild<QTableView*>("entries");
    QAbstractItemModel* model = table->model();
    const int last = kEntries - 1;
    // The last entry, untranslated by Ctrl+B and so checked, is the one row
    // Untranslated shows.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(table, Qt::Key_Up);  // past the end marker
    QTest::keyClick(table, Qt::Key_B, Qt::ControlModifier);
    QTRY_COMPARE(model->data(model->index(last, kText)).toString(), QString("Text 5"));
    editor.findChild<QAction*>("untranslatedAction")->trigger();
    QCOMPARE(model->rowCount(), 1);
    auto* details = editor.findChild<QPlainTextEdit*>("details");
    QCOMPARE(editor.findChild<QLabel*>("detailsHeading")->text().left(4), QString("2005"));
    details->setFocus();
    details->selectAll();
    QTest::keyClicks(details, "Translated at last");
    // The pass goes on and puts the other entries above it.
    editor.findChild<QAction*>("continueCheckingAction")->trigger();
    QTRY_VERIFY(!editor.Reviewing());
    QVERIFY(model->rowCount() >= kEntries);
    QVERIFY(details->hasFocus());
    QTest::keyClick(details, Qt::Key_Return);
    const int id = static_cast<int>(EditorColumn::kId);
    QTRY_COMPARE(model->data(model->index(last, kText)).toString(), QString("Translated at last"));
    QCOMPARE(model->data(model->index(last, id)).toString(), QString("2005"));
    for (int row = 0; row < last; ++row) {
      QCOMPARE(model->data(model->index(row, kText)).toString(), QString("Text %1").arg(row));
    }
  }

  // Spelling as it is typed: a misspelt word is underlined in red in the
  // details pane and in F2's box, and nowhere once mended; F7 offers the
  // suggestions for the word at the cursor, Enter taking the first, as one
  // step of the box's undo; Add to Dictionary from the right-click menu
  // writes the team's list beside the database and takes the underline away.
  void spellingUnderlinesAndSuggestsAsTyped() {
    EditorWindow editor;
    editor.show();
    const QString path = WriteDatabase("textdb_00.def", Missions());
    QVERIFY(editor.OpenFile(path));
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    auto* table = editor.findChild<QTableView*>("entries");
    auto* details = editor.findChild<QPlainTextEdit*>("details");
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(details->toPlainText(), QString("Патруль"));
    QCOMPARE(RedPixels(details->viewport()), 0);

    details->setFocus();
    details->selectAll();
    TypeText(details, QString("Ночной Патрулль"));
    // Underlined once the dictionaries are read, which may be after the
    // typing: the window idle meanwhile.
    QTRY_VERIFY_WITH_TIMEOUT(RedPixels(details->viewport()) > 0, 20000);
    QVERIFY2(editor.findChild<QLabel*>("findings")->text().contains("Патрулль"),
             qPrintable(editor.findChild<QLabel*>("findings")->text()));
    QTest::keyClick(details, Qt::Key_F7);
    QMenu* menu = SpellingMenu("Патруль");
    QVERIFY(menu != nullptr);
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(details->toPlainText(), QString("Ночной Патруль"));
    QCOMPARE(RedPixels(details->viewport()), 0);
    details->undo();
    QCOMPARE(details->toPlainText(), QString("Ночной Патрулль"));
    details->redo();
    QTest::keyClick(details, Qt::Key_Return);
    QAbstractItemModel* model = table->model();
    QTRY_COMPARE(model->data(model->index(2, kText)).toString(), QString("Ночной Патруль"));

    // The right-click menu adds a word to the team's list.
    details->setFocus();
    details->moveCursor(QTextCursor::End);
    TypeText(details, QString(" Шмыглика"));
    QCOMPARE(details->toPlainText(), QString("Ночной Патруль Шмыглика"));
    QVERIFY(RedPixels(details->viewport()) > 0);
    const QPoint on_word = details->cursorRect().center();
    QContextMenuEvent right_click(QContextMenuEvent::Mouse, on_word,
                                  details->viewport()->mapToGlobal(on_word));
    QApplication::sendEvent(details->viewport(), &right_click);
    menu = SpellingMenu();
    QVERIFY(menu != nullptr);
    QVERIFY(menu->findChild<QAction*>("ignoreWord") != nullptr);
    menu->setActiveAction(menu->findChild<QAction*>("addToDictionary"));
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(details->toPlainText(), QString("Ночной Патруль Шмыглика"));
    QCOMPARE(RedPixels(details->viewport()), 0);
    QFile list(QFileInfo(path).dir().filePath("orva-words.txt"));
    QVERIFY(list.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(list.readAll()), QString("Шмыглика\n"));
    QTest::keyClick(details, Qt::Key_Escape);

    // F2's box underlines as it is typed too, and F7 mends the word in it
    // without closing it.
    editor.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&editor));
    table->setFocus();
    QTest::keyClick(table, Qt::Key_F2);
    auto* box = table->findChild<QLineEdit*>("textEditor");
    QVERIFY(box != nullptr);
    box->selectAll();
    TypeText(box, QString("Патрулль летит"));
    QVERIFY(RedPixels(box) > 0);
    box->setCursorPosition(3);
    QTest::keyClick(box, Qt::Key_F7);
    menu = SpellingMenu("Патруль");
    QVERIFY(menu != nullptr);
    QTest::keyClick(menu, Qt::Key_Return);
    QCOMPARE(table->findChild<QLineEdit*>("textEditor"), box);
    QCOMPARE(box->text(), QString("Патруль летит"));
    QCOMPARE(RedPixels(box), 0);
    QTest::keyClick(box, Qt::Key_Escape);
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
