// Scenarios of the main window, driven as a user would (window_driver.h).
#include "window/qt/form1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QFocusFrame>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

#include "database/format.h"
#include "database/little_endian.h"
#include "resources/icon_art.h"
#include "tests/support/database_builder.h"
#include "tests/window/qt/accessibility.h"
#include "tests/window/qt/window_driver.h"

namespace orva {
namespace {

using test_support::DatabaseBuilder;
using test_support::Shows;

std::vector<std::byte> ThreeMissions() {
  return DatabaseBuilder()
      .Entry(5001, "Обучение")
      .Entry(1200, "briefing, not listed")
      .Entry(5002, "Патруль")
      .Entry(5003, "Convoy")
      .Marker("Конец")
      .Entry(7001, "credits")
      .Build();
}

class Form1Test : public QObject, test_support::WindowDriver {
  Q_OBJECT

 private:
  // Verbs.
  // One key event per character: the text arrives as typed, Cyrillic included.
  void Type(const QString& text) {
    for (QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(Text(1), &press);
      QApplication::sendEvent(Text(1), &release);
    }
  }
  void PressInsert() { QTest::mouseClick(Widget<QPushButton>("Command1"), Qt::LeftButton); }

  // What the window shows.
  QLineEdit* Text(int n) { return Widget<QLineEdit>(qPrintable(QString("Text%1").arg(n))); }
  QListWidget* List() { return Widget<QListWidget>("List1"); }
  QStringList ListedTexts() {
    QStringList texts;
    for (int i = 0; i < List()->count(); ++i) texts << List()->item(i)->text();
    return texts;
  }
  bool CommandsEnabled() {
    return List()->isEnabled() && Text(1)->isEnabled() && Widget("Command1")->isEnabled();
  }
  bool CommandsDisabled() {
    return !List()->isEnabled() && !Text(1)->isEnabled() && !Widget("Command1")->isEnabled();
  }
  void Activate() {
    form_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  // Drags `path` onto `target` and drops it there, as a file manager offers
  // a file: its URL and its name as text, to copy or to move. True when the
  // window took the drop, as a copy.
  bool DropFile(QWidget* target, const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    data.setText(path);
    const QPoint at = target->rect().center();
    const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted() && drop.dropAction() == Qt::CopyAction;
  }
  // Whether a focus ring surrounds `widget`.
  bool Ringed(const QWidget* widget) {
    for (const QFocusFrame* ring : form_->findChildren<QFocusFrame*>()) {
      if (ring->isVisible() && ring->widget() == widget) return true;
    }
    return false;
  }
  // The lowest row of ink under the first letter of `widget`'s text, in
  // the coordinates of `drawn`, a picture of its parent: the letter's
  // baseline, when it has no descender.
  static int FirstLetterBaseline(const QImage& drawn, const QWidget* widget, int text_left) {
    int baseline = -1;
    const QRect area = widget->geometry();
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left() + text_left; x < area.left() + text_left + 5; ++x) {
        if (qGray(drawn.pixel(x, y)) < 128) baseline = y;
      }
    }
    return baseline;
  }

 private slots:
  void init() {
    Start();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  void cleanup() { Stop(); }

  // --- The window at start and its layout ---

  void startsWithNoDatabaseAndTheHelpPanelHidden() {
    QCOMPARE(form_->windowTitle(), test_support::NameAndVersion());
    QCOMPARE(form_->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
             icon::DrawIcon().convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(List()->count(), 0);
    for (int n = 1; n <= 4; ++n) QVERIFY(Text(n)->text().isEmpty());
    QCOMPARE(Widget<QPushButton>("Command1")->text(), QString("Insert"));
    QCOMPARE(Widget<QLabel>("Label3")->text(), QString("Image:"));
    QCOMPARE(Widget<QLabel>("Label5")->text(), QString("ID:"));
    QVERIFY(!HelpShown());
    QVERIFY(CommandsEnabled());
    QVERIFY(form_->DatabasePath().isEmpty());
  }

  void menuHoldsOpenWithOneItemAndHelp() {
    auto* opp = Widget<QMenu>("opp");
    QCOMPARE(opp->title(), QString("Open"));
    QCOMPARE(opp->actions().size(), 1);
    QCOMPARE(opp->actions().front()->objectName(), QString("tb"));
    QCOMPARE(opp->actions().front()->text(), QString("textdb_XX.def"));
    const QList<QAction*> bar = form_->menuBar()->actions();
    QCOMPARE(bar.size(), 2);
    QCOMPARE(bar[0], opp->menuAction());
    QCOMPARE(bar[1]->objectName(), QString("ooo"));
    QCOMPARE(bar[1]->text(), QString("Help..."));
  }

  // Each control's parent, place and font size in pixels, worked out by hand
  // from the twips of the layout (in the comments): 15 twips to a pixel,
  // rounded to the nearest; 8.25 pt is 11 px, 9.75 pt 13 px. The help
  // panel's controls are in its inner frame, Frame5.
  void controlsSitWhereTheLayoutPutsThem_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("pixels");
    QTest::addColumn<int>("font_pixels");  // 0 for a control without text
    const auto row = [](const char* name, const char* parent, QRect pixels, int font = 0) {
      QTest::newRow(name) << QString(parent) << pixels << font;
    };
    row("client", "Form1", {0, 0, 344, 288});           // 5160 x 4320, below the menu bar
    row("Frame3", "client", {0, -8, 345, 217});         // 0, -120, 5175, 3255
    row("List1", "Frame3", {8, 16, 329, 134}, 11);      // 120, 240, 4935, 2010
    row("Text1", "Frame3", {8, 160, 329, 21}, 11);      // 120, 2400, 4935, 315
    row("Command1", "Frame3", {8, 184, 329, 25}, 13);   // 120, 2760, 4935, 375
    row("Frame2", "client", {0, 208, 345, 49});         // 0, 3120, 5175, 735
    row("Label3", "Frame2", {8, 11, 41, 17}, 11);       // 120, 165, 615, 255
    row("Text3", "Frame2", {48, 11, 121, 19}, 11);      // 720, 160, 1815, 285
    row("Label5", "Frame2", {8, 27, 41, 17}, 11);       // 120, 400, 615, 255
    row("Text4", "Frame2", {48, 27, 129, 19}, 11);      // 720, 400, 1935, 285
    row("Frame4", "client", {0, 256, 345, 33});         // 0, 3840, 5175, 495
    row("Text2", "Frame4", {8, 12, 329, 17}, 11);       // 120, 180, 4935, 255
    row("Frame1", "client", {0, 0, 345, 289});          // 0, 0, 5175, 4335
    row("Frame5", "Frame1", {8, 4, 329, 273});          // 120, 60, 4935, 4095
    row("Text7", "Frame5", {61, 72, 201, 15}, 13);      // 920, 1080, 3015, 225
    row("Image1", "Frame5", {144, 88, 32, 32});         // 2160, 1320, 480, 480
    row("Text5", "Frame5", {16, 128, 281, 20}, 13);     // 240, 1920, 4215, 300
    row("Text6", "Frame5", {24, 144, 273, 20}, 13);     // 360, 2160, 4095, 300
    row("Command2", "Frame5", {120, 168, 81, 17}, 11);  // 1800, 2520, 1215, 255
    row("Shape1", "Frame5", {136, 192, 49, 9});         // 2040, 2880, 735, 135
    row("Shape2", "Frame5", {136, 200, 49, 9});         // 2040, 3000, 735, 135
    row("Shape3", "Frame5", {136, 208, 49, 9});         // 2040, 3120, 735, 135
  }
  void controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, parent);
    QFETCH(QRect, pixels);
    QFETCH(int, font_pixels);
    QWidget* control = Widget(QTest::currentDataTag());
    QCOMPARE(control->parentWidget()->objectName(), parent);
    if (control == form_->centralWidget()) pixels.translate(0, form_->menuBar()->height());
    QCOMPARE(control->geometry(), pixels);
    if (font_pixels == 0) return;
    QCOMPARE(control->font().pixelSize(), font_pixels);
    QVERIFY(control->font().bold());
  }

  // As drawn: the frames in the face colour, the missions, the new text and
  // the details each in their own colour, the path too though its box is
  // disabled; the new text on white, the detail boxes without a border,
  // Insert on its own face.
  void theWindowIsDrawnInItsColours() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    Type("Щит");
    QWidget* client = form_->centralWidget();
    const QImage drawn = client->grab().toImage();
    const auto area = [client](const QWidget* control) {
      return QRect(control->mapTo(client, QPoint(0, 0)), control->size());
    };
    const QColor face(224, 224, 224);
    const QColor maroon(128, 0, 0);
    // Frame3 between the list and the new text, Frame2 beside the details,
    // Frame4 above the path.
    for (const QPoint inside : {QPoint(100, 146), QPoint(300, 230), QPoint(300, 262)}) {
      QCOMPARE(drawn.pixelColor(inside), face);
    }
    const QRect first_mission = List()->visualItemRect(List()->item(0));  // not selected
    QVERIFY(Shows(drawn, first_mission.translated(List()->viewport()->mapTo(client, QPoint(0, 0))),
                  QColor(0, 0, 128)));
    const QRect new_text = area(Text(1));
    QCOMPARE(drawn.pixelColor(new_text.right() - 4, new_text.center().y()), QColor(Qt::white));
    QVERIFY(Shows(drawn, new_text, maroon));
    QVERIFY(Shows(drawn, area(Widget("Command1")), QColor(192, 192, 192)));
    for (int n : {3, 4}) {
      QCOMPARE(drawn.pixelColor(area(Text(n)).topLeft()), face);
      QVERIFY(Shows(drawn, area(Text(n)), maroon));
    }
    QVERIFY(Shows(drawn, area(Text(2)), QColor(0, 0, 255)));
  }

  // List1, Text1, Insert, the detail boxes and round again; the path box
  // takes neither the focus nor typing.
  void tabGoesRoundTheControlsPastThePathBox() {
    Activate();
    const QList<QWidget*> order{List(), Text(1), Widget("Command1"), Text(3), Text(4)};
    for (qsizetype i = 0; i <= order.size(); ++i) {
      QCOMPARE(QApplication::focusWidget(), order[i % order.size()]);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(!Text(2)->isEnabled());
    QTest::keyClicks(Text(2), "x");
    QVERIFY(Text(2)->text().isEmpty());
  }

  void newTextStopsAt45Characters() {
    Type(QString(20, QChar(0x0416)) + QString(30, 'a'));  // Ж x 20, a x 30
    QCOMPARE(Text(1)->text(), QString(20, QChar(0x0416)) + QString(25, 'a'));
  }

  // --- The logic's state in the controls (what it decides is tested
  // without a toolkit in form1_logic_test.cpp) ---

  void insertShowsTheNewMissionSelectedAndKeepsTheText() {
    OpenDatabase(WriteDatabase(
        "textdb_05.def",
        DatabaseBuilder().Entry(5122, "Мост").Entry(5123, "Переправа").Marker("end").Build()));
    Type("Щит и меч");
    PressInsert();

    QCOMPARE(dialogs_->messages.size(), size_t{1});
    QCOMPARE(dialogs_->messages[0].icon, MessageIcon::kInformation);
    QCOMPARE(dialogs_->messages[0].text, QString("All Right!"));
    QCOMPARE(ListedTexts(), QStringList({"Мост", "Переправа", "Щит и меч"}));
    QCOMPARE(List()->currentRow(), 2);
    QCOMPARE(Text(4)->text(), QString("5124"));
    QCOMPARE(Text(3)->text(), QString("shot124.bmp"));
    QCOMPARE(Text(1)->text(), QString("Щит и меч"));  // kept for another insertion
  }

  void selectingAMissionByKeyboardShowsItsIdAndImage() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    QTest::keyClick(List(), Qt::Key_Home);
    QCOMPARE(Text(4)->text(), QString("5001"));
    QCOMPARE(Text(3)->text(), QString("shot001.bmp"));
    QTest::keyClick(List(), Qt::Key_Down);
    QCOMPARE(Text(4)->text(), QString("5002"));
    QCOMPARE(Text(3)->text(), QString("shot002.bmp"));
  }

  void aFailedReadLeavesTheMissionsReadInDisabledControls() {
    std::vector<std::byte> bytes = ThreeMissions();
    EncodeInt32(bytes, static_cast<std::size_t>(format::TextOffsetField(4)), -1);  // 5003
    const QString path = WriteDatabase("textdb_01.def", bytes);
    OpenDatabase(path);

    QCOMPARE(dialogs_->messages.size(), size_t{1});
    QCOMPARE(dialogs_->messages[0].text, QString("ERROR!"));
    QVERIFY(dialogs_->messages[0].list_enabled);  // disabled once the box is dismissed
    QCOMPARE(ListedTexts(), QStringList({"Обучение", "Патруль"}));
    QVERIFY(CommandsDisabled());
    QCOMPARE(Text(2)->text(), path);

    OpenDatabase(WriteDatabase("textdb_02.def", ThreeMissions()));
    QVERIFY(CommandsEnabled());
  }

  // --- Opening by drop ---

  void aDatabaseDroppedAnywhereOnTheWindowOpens() {
    const QString first = WriteDatabase("textdb_01.def", ThreeMissions());
    QVERIFY(DropFile(List(), first));
    QCOMPARE(form_->DatabasePath(), first);
    QCOMPARE(List()->count(), 3);

    // On the text box it opens too, rather than typing its name there.
    const QString second =
        WriteDatabase("textdb_02.def", DatabaseBuilder().Entry(5001, "Один").Marker().Build());
    QVERIFY(DropFile(Text(1), second));
    QCOMPARE(form_->DatabasePath(), second);
    QVERIFY(Text(1)->text().isEmpty());

    // The window takes nothing but a database.
    QVERIFY(!DropFile(List(), WriteDatabase("notes.txt", ThreeMissions())));
    QCOMPARE(form_->DatabasePath(), second);
    QVERIFY(dialogs_->messages.empty());
  }

  // --- The keyboard ---

  void enterInsertsEscapeClosesHelpAndCtrlOOpens() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    Activate();
    Text(1)->setFocus();
    Type("Щит");
    QTest::keyClick(Text(1), Qt::Key_Return);
    QCOMPARE(dialogs_->messages.size(), size_t{1});
    QCOMPARE(dialogs_->messages[0].text, QString("All Right!"));
    QCOMPARE(ListedTexts().back(), QString("Щит"));

    Trigger("ooo");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!HelpShown());
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Text(1)));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(dialogs_->requests.size(), size_t{2});
  }

  void aRingShowsTheFocusOnlyWhereTheKeyboardMovedIt() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    Activate();
    QVERIFY(List()->hasFocus());
    QVERIFY(!Ringed(List()));  // as the window is drawn for its pictures
    QTest::keyClick(List(), Qt::Key_Up);
    QVERIFY(Ringed(List()));
    QTest::keyClick(List(), Qt::Key_Tab);
    QVERIFY(!Ringed(List()) && !Ringed(Text(1)));  // the text box shows its own focus
    QTest::keyClick(Text(1), Qt::Key_Tab);
    QTest::keyClick(Widget<QWidget>("Command1"), Qt::Key_Tab);
    QVERIFY(Ringed(Text(3)));
  }

  // --- What the window shows and says ---

  void screenReadersFindEveryControlNamedAndOneFocus() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    Activate();
    const QStringList names = test_support::NamesInSight(form_.get());
    QVERIFY2(!names.contains(QString()), qPrintable(names.join(", ")));
    QCOMPARE(QSet<QString>(names.begin(), names.end()).size(), names.size());
    const QString limit = QString::number(Text(1)->maxLength());
    QVERIFY(QAccessible::queryAccessibleInterface(Text(1))
                ->text(QAccessible::Description)
                .contains(limit));
    for (auto [box, caption] : {std::pair{3, "Label3"}, std::pair{4, "Label5"}}) {
      const auto labels =
          QAccessible::queryAccessibleInterface(Text(box))->relations(QAccessible::Label);
      QCOMPARE(labels.size(), 1);
      QCOMPARE(labels[0].first->object(), Widget<QObject>(caption));
    }

    // One focus at a time: the focused control, with the list its current
    // item; the item claims nothing while another control has the focus.
    for (QWidget* control : {static_cast<QWidget*>(List()), static_cast<QWidget*>(Text(1))}) {
      control->setFocus();
      const QList<QAccessibleInterface*> focused = test_support::FocusedObjects(form_.get());
      QCOMPARE(focused.size(), control == List() ? 2 : 1);
      QCOMPARE(focused[0]->object(), control);
      if (control == List()) QCOMPARE(focused[1]->text(QAccessible::Name), QString("Convoy"));
    }
  }

  void captionsSitOnTheirValuesBaseline() {
    OpenDatabase(WriteDatabase("textdb_01.def", ThreeMissions()));
    const QImage drawn = Widget<QWidget>("Frame2")->grab().toImage();
    constexpr int kBoxTextLeft = 2;  // a QLineEdit's margin before its text
    for (auto [caption, box] : {std::pair{"Label3", 3}, std::pair{"Label5", 4}}) {
      const int caption_line = FirstLetterBaseline(drawn, Widget<QWidget>(caption), 0);
      QVERIFY(caption_line > 0);
      QCOMPARE(caption_line, FirstLetterBaseline(drawn, Text(box), kBoxTextLeft));
    }
  }
};

}  // namespace
}  // namespace orva

QTEST_MAIN(orva::Form1Test)
#include "form1_test.moc"
