// Scenarios of the help panel inside the main window: what it shows, where,
// and that showing and hiding it changes nothing else, keyboard included.
#include "window/qt/help_panel.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <cstdlib>

#include "resources/icon_art.h"
#include "tests/support/database_builder.h"
#include "tests/window/qt/accessibility.h"
#include "tests/window/qt/window_driver.h"

namespace orva {
namespace {

using test_support::Shows;

class HelpPanelTest : public QObject, test_support::WindowDriver {
  Q_OBJECT

 private:
  void ClickOk() { QTest::mouseClick(Widget<QPushButton>("Command2"), Qt::LeftButton); }
  QString WriteDatabase() {
    return WindowDriver::WriteDatabase("textdb_07.def", test_support::DatabaseBuilder()
                                                            .Entry(5001, "Первый")
                                                            .Entry(5002, "Second")
                                                            .Marker()
                                                            .Build());
  }

  QWidget* Panel() { return Widget("Frame1"); }
  bool OnPanel(const QWidget* widget) { return widget != nullptr && Panel()->isAncestorOf(widget); }

 private slots:
  void init() {
    Start();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() { Stop(); }

  // --- Showing and hiding ---

  void helpShowsThePanelOverTheWholeClientArea() {
    QVERIFY(!HelpShown());
    ShowHelp();
    QVERIFY(HelpShown());
    // Wherever the user clicks in the client area, the panel takes the click.
    QWidget* client = form_->centralWidget();
    for (const char* hidden : {"List1", "Text1", "Command1", "Text3", "Text4", "Text2"}) {
      QWidget* widget = Widget<QWidget>(hidden);
      const QPoint centre = widget->mapTo(client, widget->rect().center());
      QWidget* hit = client->childAt(centre);
      QVERIFY2(hit == Panel() || OnPanel(hit), hidden);
    }
    for (const QPoint corner : {QPoint(0, 0), QPoint(client->width() - 1, client->height() - 1)}) {
      QWidget* hit = client->childAt(corner);
      QVERIFY(hit == Panel() || OnPanel(hit));
    }
  }

  void helpWhileShownKeepsItShownAndOkHidesIt() {
    ShowHelp();
    ShowHelp();
    QVERIFY(HelpShown());
    ClickOk();
    QVERIFY(!HelpShown());
    ShowHelp();  // and it comes back
    QVERIFY(HelpShown());
  }

  void theMenuBarStaysUsableWhileShown() {
    ShowHelp();
    QVERIFY(form_->menuBar()->isVisible());
    QVERIFY(form_->menuBar()->isEnabled());
    const QRect panel_in_window(Panel()->mapTo(form_.get(), QPoint(0, 0)), Panel()->size());
    QVERIFY(!panel_in_window.intersects(form_->menuBar()->geometry()));
    const QString path = WriteDatabase();
    OpenDatabase(path);
    QCOMPARE(Widget<QListWidget>("List1")->count(), 2);
  }

  void showingAndHidingChangesNothingElse() {
    const QString path = WriteDatabase();
    OpenDatabase(path);
    auto* list = Widget<QListWidget>("List1");
    auto* text1 = Widget<QLineEdit>("Text1");
    list->setCurrentRow(0);
    text1->setText(QStringLiteral("черновик"));

    ShowHelp();
    ClickOk();

    QCOMPARE(form_->DatabasePath(), path);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(Widget<QLineEdit>("Text4")->text(), QString("5001"));
    QCOMPARE(Widget<QLineEdit>("Text3")->text(), QString("shot001.bmp"));
    QCOMPARE(text1->text(), QString("черновик"));
    QVERIFY(list->isEnabled() && text1->isEnabled());
    QVERIFY(dialogs_->messages.empty());
  }

  // --- The keyboard while the panel is up ---

  void keysGoToThePanelNotToTheBoxesUnderIt() {
    auto* text1 = Widget<QLineEdit>("Text1");
    text1->setFocus();
    QTRY_VERIFY(text1->hasFocus());
    ShowHelp();
    QVERIFY(OnPanel(QApplication::focusWidget()));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("abc"));
    QVERIFY(text1->text().isEmpty());
  }

  void tabStaysOnThePanel() {
    ShowHelp();
    for (int i = 0; i < 6; ++i) {
      QTest::keyClick(QApplication::focusWidget(), i % 2 == 0 ? Qt::Key_Tab : Qt::Key_Backtab);
      QVERIFY2(OnPanel(QApplication::focusWidget()), qPrintable(QString("after key %1").arg(i)));
    }
  }

  void okByKeyboardHidesItAndGivesTheFocusBack() {
    auto* text1 = Widget<QLineEdit>("Text1");
    text1->setFocus();
    QTRY_VERIFY(text1->hasFocus());
    ShowHelp();
    QCOMPARE(QApplication::focusWidget(), Widget<QWidget>("Command2"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!HelpShown());
    QVERIFY(text1->hasFocus());

    ShowHelp();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!HelpShown());
  }

  void screenReadersMeetADialogAndNothingUnderIt() {
    OpenDatabase(WriteDatabase());  // a current mission, whose item could claim the focus
    ShowHelp();
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(Panel());
    QCOMPARE(panel->role(), QAccessible::Dialog);
    const QStringList names = test_support::NamesInSight(form_.get());
    QVERIFY2(!names.contains(QString()), qPrintable(names.join(", ")));
    // In sight: the menu bar's items and the panel's controls, nothing it covers.
    for (QAccessibleInterface* object : test_support::AccessibleTree(form_.get())) {
      QAccessibleInterface* owner = object;
      while (owner->object() == nullptr) owner = owner->parent();  // a list's item
      auto* widget = qobject_cast<QWidget*>(owner->object());
      QWidget* client = form_->centralWidget();
      if (widget != client && client->isAncestorOf(widget) && widget != Panel() &&
          !OnPanel(widget)) {
        QVERIFY2(object->state().invisible, qPrintable(widget->objectName()));
      }
    }
    const QList<QAccessibleInterface*> focused = test_support::FocusedObjects(form_.get());
    QCOMPARE(focused.size(), 1);
    QCOMPARE(focused[0]->object(), Widget<QObject>("Command2"));

    ClickOk();
    QVERIFY(!QAccessible::queryAccessibleInterface(Widget<QWidget>("List1"))->state().invisible);
  }

  // --- The look ---

  // As drawn: the three lines in their colour, each whole and centred in a
  // box without a border, on the panel's face; the icon, its transparent
  // corners showing the face; OK on its own face; the bars one block of
  // white, blue and red stripes.
  void thePanelIsDrawnInItsLook() {
    ShowHelp();
    Widget("Command2")->clearFocus();  // the focus would tint OK's face
    const QImage drawn = Widget("Frame5")->grab().toImage();
    const QColor face(224, 224, 224);
    for (const char* name : {"Text7", "Text5", "Text6"}) {
      auto* line = Widget<QLineEdit>(name);
      const QRect box = line->geometry();
      QCOMPARE(drawn.pixelColor(box.topLeft()), face);
      QRect ink;
      for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
          if (drawn.pixelColor(x, y) != face) ink |= QRect(x, y, 1, 1);
        }
      }
      QVERIFY2(Shows(drawn, ink, QColor(0, 0, 192)), name);
      // Centred to within a few pixels: the box keeps room for a cursor on
      // one side, and the first and last glyphs' side bearings differ from
      // font to font. A left- or right-aligned line is tens of pixels off.
      const int left_room = ink.left() - box.left();
      const int right_room = box.right() - ink.right();
      QVERIFY2(std::min(left_room, right_room) > 3 && std::abs(left_room - right_room) <= 4,
               qPrintable(QStringLiteral("%1: %2 pixels free on the left, %3 on the right")
                              .arg(QLatin1String(name))
                              .arg(left_room)
                              .arg(right_room)));
      const QString text = line->text();
      QTest::keyClicks(line, "x");  // read-only
      QCOMPARE(line->text(), text);
    }
    QCOMPARE(Widget<QLineEdit>("Text7")->text(), test_support::NameAndVersion());
    static const QRegularExpression kCredits(
        QStringLiteral("^ORVA[^,]*, [a-z0-9.-]+@example\\.org, 2006$"));
    QVERIFY(kCredits.match(Widget<QLineEdit>("Text5")->text()).hasMatch());
    static const QRegularExpression kWeb(
        QStringLiteral("^https?://([a-z0-9-]+\\.)*example\\.org(/\\S*)?$"));
    QVERIFY(kWeb.match(Widget<QLineEdit>("Text6")->text()).hasMatch());

    const QPoint image = Widget("Image1")->pos();
    QCOMPARE(drawn.pixelColor(image), face);  // a transparent corner
    QCOMPARE(drawn.pixelColor(image + QPoint(16, 12)), icon::kStrongFill);
    QCOMPARE(drawn.pixelColor(image + QPoint(16, 5)), icon::kPaleFill);

    auto* ok = Widget<QPushButton>("Command2");
    QCOMPARE(ok->text(), QString("OK"));
    QVERIFY(Shows(drawn, ok->geometry(), QColor(235, 235, 235)));

    const QPoint bars = Widget("Shape1")->pos();  // 24 px high together
    for (int x : {0, 24, 48}) {
      for (int y = 0; y < 24; ++y) {
        const QColor stripe = y < 8    ? QColor(Qt::white)
                              : y < 16 ? QColor(0, 0, 255)
                                       : QColor(255, 0, 0);
        QCOMPARE(drawn.pixelColor(bars + QPoint(x, y)), stripe);
      }
    }
  }
};

}  // namespace
}  // namespace orva

QTEST_MAIN(orva::HelpPanelTest)
#include "help_panel_test.moc"
