// Scenarios of the help panel inside the main window: what it shows, where,
// and that showing and hiding it changes nothing else, keyboard included.
#include "window/help_panel.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <memory>
#include <optional>

#include "resources/icon_art.h"
#include "tests/support/database_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/window/accessibility.h"
#include "tests/window/placement.h"
#include "window/dialogs.h"
#include "window/form1.h"
#include "window/twips.h"

namespace orva {
namespace {

const QColor kFace{224, 224, 224};
const QColor kPanelText{0, 0, 192};

// Answers the Open dialog from a queue (an empty path, or none left, is
// Cancel) and counts the message boxes, of which the panel must cause none.
class ScriptedDialogs : public Dialogs {
 public:
  std::optional<QString> ChooseExistingFile(QWidget*, const OpenFileRequest&) override {
    panel_shown_during_dialog = panel_ != nullptr && panel_->isVisible();
    const QString answer = answers.isEmpty() ? QString() : answers.takeFirst();
    if (answer.isEmpty()) return std::nullopt;
    return answer;
  }
  void ShowMessage(QWidget*, MessageIcon, const QString&, const QString&) override { ++messages; }
  void Watch(QWidget* panel) { panel_ = panel; }

  QStringList answers;
  int messages = 0;
  bool panel_shown_during_dialog = false;

 private:
  QWidget* panel_ = nullptr;
};

class HelpPanelTest : public QObject {
  Q_OBJECT

 private:
  // Verbs.
  void Trigger(const char* action) { form_->findChild<QAction*>(action)->trigger(); }
  void ShowHelp() { Trigger("ooo"); }
  void ClickOk() { QTest::mouseClick(Widget<QPushButton>("Command2"), Qt::LeftButton); }
  void OpenDatabase(const QString& path) {
    dialogs_->answers.push_back(path);
    Trigger("tb");
  }
  void CancelOpen() { OpenDatabase(QString()); }
  QString WriteDatabase() {
    const std::filesystem::path path = *dir_ / "textdb_07.def";
    testing::WriteFileBytes(
        path,
        testing::DatabaseBuilder().Entry(5001, "Первый").Entry(5002, "Second").Marker().Build());
    return QString::fromStdString(path.string());
  }

  // What the window shows.
  template <typename W>
  W* Widget(const char* name) {
    W* widget = form_->findChild<W*>(name);
    if (widget == nullptr) qFatal("no widget named %s", name);
    return widget;
  }
  QWidget* Panel() { return Widget<QWidget>("Frame1"); }
  bool PanelShown() { return Panel()->isVisible(); }
  bool OnPanel(const QWidget* widget) { return widget != nullptr && Panel()->isAncestorOf(widget); }
  // The panel's content as drawn, in Frame5's pixels.
  QImage DrawnFrame5() { return Widget<QWidget>("Frame5")->grab().toImage(); }
  QColor DrawnAt(const QImage& image, const QRect& twips_rect, QPoint offset = {}) {
    const QRect r =
        TwipsRect(twips_rect.x(), twips_rect.y(), twips_rect.width(), twips_rect.height());
    return image.pixelColor(r.topLeft() + offset);
  }

  std::unique_ptr<testing::TempDir> dir_;
  ScriptedDialogs* dialogs_ = nullptr;
  std::unique_ptr<Form1> form_;

 private slots:
  void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }
  void init() {
    dir_ = std::make_unique<testing::TempDir>();
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs_ = dialogs.get();
    form_ = std::make_unique<Form1>(std::move(dialogs));
    dialogs_->Watch(Panel());
    form_->show();
    QVERIFY(QTest::qWaitForWindowActive(form_.get()));
  }
  void cleanup() {
    form_.reset();
    dir_.reset();
  }

  // --- Showing and hiding ---

  void helpShowsThePanelOverTheWholeClientArea() {
    QVERIFY(!PanelShown());
    ShowHelp();
    QVERIFY(PanelShown());
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
    QVERIFY(PanelShown());
    ClickOk();
    QVERIFY(!PanelShown());
    ShowHelp();  // and it comes back
    QVERIFY(PanelShown());
  }

  void openWhileShownHidesItBeforeTheDialogEvenWhenCancelled() {
    ShowHelp();
    CancelOpen();
    QVERIFY(!dialogs_->panel_shown_during_dialog);
    QVERIFY(!PanelShown());
    QCOMPARE(dialogs_->messages, 0);
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
    QCOMPARE(dialogs_->messages, 0);
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
    QVERIFY(!PanelShown());
    QVERIFY(text1->hasFocus());

    ShowHelp();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!PanelShown());
  }

  void screenReadersMeetADialogAndNothingUnderIt() {
    OpenDatabase(WriteDatabase());  // a current mission, whose item could claim the focus
    ShowHelp();
    QAccessibleInterface* panel = QAccessible::queryAccessibleInterface(Panel());
    QCOMPARE(panel->role(), QAccessible::Dialog);
    const QStringList names = testing::NamesInSight(form_.get());
    QVERIFY2(!names.contains(QString()), qPrintable(names.join(", ")));
    // In sight: the menu bar's items and the panel's controls, nothing it covers.
    for (QAccessibleInterface* object : testing::AccessibleTree(form_.get())) {
      QAccessibleInterface* owner = object;
      while (owner->object() == nullptr) owner = owner->parent();  // a list's item
      auto* widget = qobject_cast<QWidget*>(owner->object());
      QWidget* client = form_->centralWidget();
      if (widget != client && client->isAncestorOf(widget) && widget != Panel() &&
          !OnPanel(widget)) {
        QVERIFY2(object->state().invisible, qPrintable(widget->objectName()));
      }
    }
    const QList<QAccessibleInterface*> focused = testing::FocusedObjects(form_.get());
    QCOMPARE(focused.size(), 1);
    QCOMPARE(focused[0]->object(), Widget<QObject>("Command2"));

    ClickOk();
    QVERIFY(!QAccessible::queryAccessibleInterface(Widget<QWidget>("List1"))->state().invisible);
  }

  // --- Layout and look ---

  void controlsSitWhereTheLayoutPutsThem_data() {
    testing::AddPlacementColumns();
    const auto row = testing::AddPlacementRow;
    row("Frame1", "client", 0, 0, 5175, 4335);
    row("Frame5", "Frame1", 120, 60, 4935, 4095);
    row("Text7", "Frame5", 920, 1080, 3015, 225);
    row("Image1", "Frame5", 2160, 1320, 480, 480);
    row("Text5", "Frame5", 240, 1920, 4215, 300);
    row("Text6", "Frame5", 360, 2160, 4095, 300);
    row("Command2", "Frame5", 1800, 2520, 1215, 255);
    row("Shape1", "Frame5", 2040, 2880, 735, 135);
    row("Shape2", "Frame5", 2040, 3000, 735, 135);
    row("Shape3", "Frame5", 2040, 3120, 735, 135);
  }
  void controlsSitWhereTheLayoutPutsThem() {
    QFETCH(QString, parent);
    QFETCH(QRect, twips);
    testing::ComparePlacement(Widget<QWidget>(QTest::currentDataTag()), parent, twips);
  }

  void textBoxesShareOneLook_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("Text7") << QString("ORVA 1.0");
    QTest::newRow("Text5") << HelpPanel::kCredits;
    QTest::newRow("Text6") << HelpPanel::kWebAddress;
  }
  void textBoxesShareOneLook() {
    QFETCH(QString, text);
    auto* box = Widget<QLineEdit>(QTest::currentDataTag());
    QCOMPARE(box->text(), text);
    QVERIFY(box->isReadOnly());
    QVERIFY(!box->hasFrame());
    QVERIFY(box->alignment() & Qt::AlignHCenter);
    QVERIFY(box->font().bold());
    QCOMPARE(box->font().pixelSize(), 13);  // 9.75 pt
    QCOMPARE(box->palette().color(QPalette::Active, QPalette::Text), kPanelText);
    QCOMPARE(box->palette().color(QPalette::Active, QPalette::Base), kFace);
    // The whole line is readable, not cut off at the box's edges.
    QVERIFY2(box->fontMetrics().horizontalAdvance(text) <= box->width(), qPrintable(text));
  }

  void creditsNameTheProjectAContactAndTheYear() {
    static const QRegularExpression kCredits(
        QStringLiteral("^ORVA[^,]*, [a-z0-9.-]+@example\\.org, 2006$"));
    QVERIFY2(kCredits.match(HelpPanel::kCredits).hasMatch(), qPrintable(HelpPanel::kCredits));
    static const QRegularExpression kWeb(
        QStringLiteral("^https?://([a-z0-9-]+\\.)*example\\.org(/\\S*)?$"));
    QVERIFY2(kWeb.match(HelpPanel::kWebAddress).hasMatch(), qPrintable(HelpPanel::kWebAddress));
  }

  void okIsLabelledOnItsOwnFace() {
    auto* ok = Widget<QPushButton>("Command2");
    QCOMPARE(ok->text(), QString("OK"));
    QCOMPARE(ok->palette().color(QPalette::Active, QPalette::Button), QColor(235, 235, 235));
  }

  void theImageIsTheProgramsIcon() {
    const QPixmap shown = Widget<QLabel>("Image1")->pixmap();
    QCOMPARE(shown.size(), QSize(32, 32));
    QCOMPARE(shown.toImage().convertToFormat(QImage::Format_ARGB32),
             icon::DrawIcon().convertToFormat(QImage::Format_ARGB32));
    QCOMPARE(form_->windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32),
             icon::DrawIcon().convertToFormat(QImage::Format_ARGB32));
  }

  // Drawn, the icon's transparent border shows the panel's face, and the
  // three overlapping bars make one block of white, blue and red stripes.
  void drawnPanelShowsTheIconAndTheStripes() {
    ShowHelp();
    const QImage drawn = DrawnFrame5();
    const QRect image1(2160, 1320, 480, 480);
    QCOMPARE(DrawnAt(drawn, image1), kFace);  // transparent corner
    QCOMPARE(DrawnAt(drawn, image1, QPoint(16, 12)), icon::kStrongFill);
    QCOMPARE(DrawnAt(drawn, image1, QPoint(16, 5)), icon::kPaleFill);

    const QColor window = Widget<QWidget>("Shape1")->palette().color(QPalette::Base);
    const QRect bar(2040, 2880, 735, 360);  // the block of three, 24 px high
    for (int x : {0, 24, 48}) {
      for (int y = 0; y < 8; ++y) QCOMPARE(DrawnAt(drawn, bar, QPoint(x, y)), window);
      for (int y = 8; y < 16; ++y) QCOMPARE(DrawnAt(drawn, bar, QPoint(x, y)), QColor(0, 0, 255));
      for (int y = 16; y < 24; ++y) QCOMPARE(DrawnAt(drawn, bar, QPoint(x, y)), QColor(255, 0, 0));
    }
    QCOMPARE(window, QColor(255, 255, 255));  // the platform's window colour, white by default
  }
};

}  // namespace
}  // namespace orva

QTEST_MAIN(orva::HelpPanelTest)
#include "help_panel_test.moc"
