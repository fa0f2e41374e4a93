#include "window/form1.h"

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <QUrl>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

#include "database/file_system.h"
#include "database/format.h"
#include "resources/icon.h"
#include "window/focus_ring.h"
#include "window/help_panel.h"
#include "window/list_accessibility.h"
#include "window/look.h"
#include "window/twips.h"

namespace orva {
namespace {

const QString kOpenDialogTitle = QStringLiteral("Открыть textdb_XX.def файл");
const QString kDatabaseFilter = QStringLiteral("*.def");

// The client area below the menu bar, 5160 x 4320 twips.
constexpr int kClientWidthTwips = 5160;
constexpr int kClientHeightTwips = 4320;

// QLineEdit keeps 2 px beside its text on either side and 1 for the cursor.
constexpr int kLineEditTextMargins = 5;

// Fusion highlights a menu bar item only while its menu is open. Worked from
// the keyboard (Alt, then the arrow keys) the bar has the focus, and its
// selected item is drawn as if open, so the user sees where they are.
class MenuBarStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuBarItem && item != nullptr && (item->state & State_Selected) &&
        widget != nullptr && widget->hasFocus()) {
      QStyleOptionMenuItem open = *item;
      open.state |= State_Sunken;
      QProxyStyle::drawControl(element, &open, painter, widget);
      return;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
  }
};

QLineEdit* MakeTextBox(QWidget* parent, const char* name, const QRect& geometry, const QColor& text,
                       const QColor& background) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setGeometry(geometry);
  box->setFont(look::SansSerifBold(look::kSmallFontCentipoints));
  look::SetColour(box, QPalette::Text, text);
  look::SetColour(box, QPalette::Base, background);
  return box;
}

// A borderless, read-only box showing a detail of the selected mission.
QLineEdit* MakeDisplayBox(QWidget* parent, const char* name, const QRect& geometry) {
  QLineEdit* box = MakeTextBox(parent, name, geometry, look::kMaroon, look::kFace);
  box->setFrame(false);
  box->setReadOnly(true);
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry,
                  const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  label->setFont(look::SansSerifBold(look::kSmallFontCentipoints));
  return label;
}

// Makes `caption` the label of `box`, so that screen readers read it as the
// box's name, and puts its text on the box's baseline. Both share one font,
// so the caption starts its line where the box does: a borderless QLineEdit
// centres its line, putting an odd spare pixel above it.
void LinkCaption(QLabel* caption, QLineEdit* box) {
  caption->setBuddy(box);
  const int line_top = box->y() + (box->height() - caption->fontMetrics().height() + 1) / 2;
  caption->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  caption->setContentsMargins(0, line_top - caption->y(), 0, 0);
}

// The one database file a drag carries: a single local *.def file, offered
// for copying. Answering a copy, never a move, keeps a file manager from
// taking the drop for a move and removing the file.
std::optional<QString> DraggedDatabase(const QDropEvent& event) {
  const QList<QUrl> urls = event.mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  if (!(event.possibleActions() & Qt::CopyAction)) return std::nullopt;
  const QString path = urls.front().toLocalFile();
  if (!QDir::match(kDatabaseFilter, QFileInfo(path).fileName())) return std::nullopt;
  return path;
}

// A printable character typed without Ctrl or Alt.
bool IsTyping(const QKeyEvent& key) {
  return !key.text().isEmpty() && key.text().front().isPrint() &&
         !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

// The library's reasons are clauses ("the entry count is negative"); the
// boxes show them as sentences.
QString AsSentence(const std::string& reason) {
  QString sentence = QString::fromStdString(reason);
  if (sentence.isEmpty()) return sentence;
  sentence[0] = sentence[0].toUpper();
  if (!sentence.endsWith('.')) sentence += '.';
  return sentence;
}

// The path as the library takes it: from UTF-8, never through the ANSI code
// page that QFile::encodeName uses on Windows.
std::filesystem::path ToFileSystemPath(const QString& path) {
  return PathFromUtf8(path.toStdString());
}

}  // namespace

Form1::Form1(std::unique_ptr<Dialogs> dialogs, std::unique_ptr<MissionDatabase> database,
             QWidget* parent)
    : QMainWindow(parent), dialogs_(std::move(dialogs)), database_(std::move(database)) {
  setObjectName("Form1");
  setWindowTitle(look::NameAndVersion());
  setWindowIcon(icon::WindowIcon());
  // The window keeps one size: no maximize button that would do nothing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setAcceptDrops(true);
  // Before the list exists: Qt keeps the first accessibility interface made
  // for a control, and may make one as soon as the control is changed.
  UseListAccessibility();
  CreateMenus();
  CreateControls();
  SetFocusOrder();
  DescribeControls();
  ConnectControls();
}

Form1::~Form1() = default;

void Form1::CreateMenus() {
  QMenu* open_menu = menuBar()->addMenu(QStringLiteral("Open"));
  open_menu->setObjectName("opp");
  open_menu->menuAction()->setObjectName("opp");
  QAction* open_database = open_menu->addAction(QStringLiteral("textdb_XX.def"));
  open_database->setObjectName("tb");
  open_database->setShortcut(QKeySequence::Open);
  connect(open_database, &QAction::triggered, this, &Form1::Open);

  QAction* help = menuBar()->addAction(QStringLiteral("Help..."));
  help->setObjectName("ooo");
  connect(help, &QAction::triggered, this, &Form1::ShowHelp);

  // An item clicked stays the bar's active one while the pointer rests on
  // it, and screen readers would take it for a second focus.
  connect(menuBar(), &QMenuBar::triggered, menuBar(),
          [bar = menuBar()] { bar->setActiveAction(nullptr); });

  // On top of the application's own style, whichever it is.
  auto* style = new MenuBarStyle(QStyleFactory::create(QApplication::style()->name()));
  style->setParent(menuBar());
  menuBar()->setStyle(style);
}

void Form1::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  look::FillWithFace(client);
  setCentralWidget(client);

  CreateMissionFrame(client);
  CreateDetailsFrame(client);
  CreatePathFrame(client);
  // Created last so that, when shown, it lies above everything else.
  help_panel_ = CreateHelpPanel(client);

  // The window keeps the size of its layout; it cannot be resized.
  setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
}

// Frame3: the list, the box for a new text and the Insert button. It starts
// above the client area so its top edge is hidden under the menu bar.
void Form1::CreateMissionFrame(QWidget* client) {
  QFrame* frame = look::Frame(client, "Frame3", TwipsRect(0, -120, 5175, 3255));

  missions_ = new QListWidget(frame);
  missions_->setObjectName("List1");
  missions_->setGeometry(TwipsRect(120, 240, 4935, 2010));
  missions_->setFont(look::SansSerifBold(look::kSmallFontCentipoints));
  missions_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  look::SetColour(missions_, QPalette::Text, look::kNavy);

  new_text_ =
      MakeTextBox(frame, "Text1", TwipsRect(120, 2400, 4935, 315), look::kMaroon, look::kWhite);
  new_text_->setMaxLength(static_cast<int>(format::kMaxNewTextLength));

  insert_ = new QPushButton(QStringLiteral("Insert"), frame);
  insert_->setObjectName("Command1");
  insert_->setGeometry(TwipsRect(120, 2760, 4935, 375));
  insert_->setFont(look::SansSerifBold(look::kLargeFontCentipoints));
  look::SetColour(insert_, QPalette::Button, look::kButtonFace);
}

// Frame2: the selected mission's image name and id.
void Form1::CreateDetailsFrame(QWidget* client) {
  QFrame* frame = look::Frame(client, "Frame2", TwipsRect(0, 3120, 5175, 735));
  QLabel* image_caption =
      MakeLabel(frame, "Label3", TwipsRect(120, 165, 615, 255), QStringLiteral("Image:"));
  image_name_ = MakeDisplayBox(frame, "Text3", TwipsRect(720, 160, 1815, 285));
  QLabel* id_caption =
      MakeLabel(frame, "Label5", TwipsRect(120, 400, 615, 255), QStringLiteral("ID:"));
  id_ = MakeDisplayBox(frame, "Text4", TwipsRect(720, 400, 1935, 285));
  LinkCaption(image_caption, image_name_);
  LinkCaption(id_caption, id_);
}

// Frame4: the current database path, shown but never edited or focused.
void Form1::CreatePathFrame(QWidget* client) {
  QFrame* frame = look::Frame(client, "Frame4", TwipsRect(0, 3840, 5175, 495));
  path_ = MakeTextBox(frame, "Text2", TwipsRect(120, 180, 4935, 255), look::kBlue, look::kFace);
  path_->setFrame(false);
  path_->setReadOnly(true);
  path_->setFocusPolicy(Qt::NoFocus);
  path_->setEnabled(false);
  // Disabled, yet the path stays readable in its own colour.
  look::SetColour(path_, QPalette::Text, look::kBlue, look::WhenDisabled::kSameColour);
  look::SetColour(path_, QPalette::Base, look::kFace, look::WhenDisabled::kSameColour);
}

// Frame1: the help panel, covering the whole client area, hidden at start.
QWidget* Form1::CreateHelpPanel(QWidget* client) { return new HelpPanel(client); }

// The list, the new text and Insert, then the detail boxes. The list and the
// borderless boxes show no focus of their own: a ring shows it for them.
void Form1::SetFocusOrder() {
  setTabOrder(missions_, new_text_);
  setTabOrder(new_text_, insert_);
  setTabOrder(insert_, image_name_);
  setTabOrder(image_name_, id_);
  new FocusRing({missions_, image_name_, id_});
  missions_->setFocus();
}

// What screen readers say of each control. The captions "Image:" and "ID:"
// are their boxes' labels as well; the path box describes itself with the
// whole path once there is one (ShowPath).
void Form1::DescribeControls() {
  missions_->setAccessibleName(QStringLiteral("Missions"));
  missions_->setAccessibleDescription(
      QStringLiteral("The missions of the open database. The selected mission's image name "
                     "and id are shown below the list."));
  new_text_->setAccessibleName(QStringLiteral("New mission text"));
  new_text_->setAccessibleDescription(
      QStringLiteral("At most %1 characters. Enter inserts the text as the next mission.")
          .arg(new_text_->maxLength()));
  insert_->setAccessibleDescription(
      QStringLiteral("Inserts the new text as the next mission of the open database."));
  image_name_->setAccessibleName(QStringLiteral("Image name"));
  image_name_->setAccessibleDescription(
      QStringLiteral("The screenshot image of the selected mission."));
  id_->setAccessibleName(QStringLiteral("Mission id"));
  id_->setAccessibleDescription(QStringLiteral("The id of the selected mission."));
  path_->setAccessibleName(QStringLiteral("Database path"));
}

void Form1::ConnectControls() {
  connect(missions_, &QListWidget::currentRowChanged, this, &Form1::ShowSelectedMission);
  connect(insert_, &QPushButton::clicked, this, &Form1::Insert);
  connect(new_text_, &QLineEdit::returnPressed, insert_, &QPushButton::click);
  new_text_->installEventFilter(this);
}

// Open ▸ textdb_XX.def. Every library call opens and closes its own file,
// even when it fails, so no database file is left open to close first.
void Form1::Open() {
  help_panel_->hide();
  const std::optional<QString> chosen = dialogs_->ChooseExistingFile(
      this, {.title = kOpenDialogTitle, .filter = kDatabaseFilter, .start_path = database_path_});
  if (!chosen) return;  // Cancel changes nothing else.
  OpenDatabase(*chosen);
}

void Form1::OpenFile(const QString& path) {
  help_panel_->hide();
  const QFileInfo file(path);
  if (!file.exists()) {
    Tell(MessageIcon::kExclamation, QStringLiteral("The file was not found."),
         QDir::toNativeSeparators(file.absoluteFilePath()));
    return;
  }
  OpenDatabase(file.absoluteFilePath());
}

// The chosen file becomes the current database and its missions are listed.
void Form1::OpenDatabase(const QString& path) {
  database_path_ = path;
  ShowPath();
  SetCommandsEnabled(true);
  Reload();
}

// Takes a drag that carries a database file; a drop opens it. Anything else
// is left to the control under the pointer.
bool Form1::TakeDatabaseDrop(QDropEvent* event) {
  const std::optional<QString> path = DraggedDatabase(*event);
  if (!path) return false;
  event->setDropAction(Qt::CopyAction);
  event->accept();
  if (event->type() == QEvent::Drop) OpenFile(*path);
  return true;
}

void Form1::dragEnterEvent(QDragEnterEvent* event) { TakeDatabaseDrop(event); }
void Form1::dragMoveEvent(QDragMoveEvent* event) { TakeDatabaseDrop(event); }
void Form1::dropEvent(QDropEvent* event) { TakeDatabaseDrop(event); }

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched != new_text_) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    // A database dragged over the text box opens as anywhere else in the
    // window, rather than having its name typed into the box.
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return TakeDatabaseDrop(static_cast<QDropEvent*>(event));
    // A character typed into a full box is not taken: say so with the bell
    // rather than drop it without a sign.
    case QEvent::KeyPress:
      if (IsTyping(*static_cast<QKeyEvent*>(event)) && !new_text_->hasSelectedText() &&
          new_text_->text().size() >= new_text_->maxLength()) {
        QApplication::beep();
      }
      return false;
    default:
      return false;
  }
}

// The path in Text2. One too long for the box loses its middle, keeping its
// start and the file name; the whole path is the tooltip and, for screen
// readers, the description.
void Form1::ShowPath() {
  const QString path = QDir::toNativeSeparators(database_path_);
  path_->setText(path_->fontMetrics().elidedText(path, Qt::ElideMiddle,
                                                 path_->width() - kLineEditTextMargins));
  path_->setCursorPosition(0);
  path_->setToolTip(path);
  path_->setAccessibleDescription(path);
}

// Lists the missions of the current database again and selects the last one.
// A failed read keeps the missions read before the failure, visible but
// disabled, until the next successful Open.
void Form1::Reload() {
  missions_->clear();  // no selection: the detail boxes are cleared
  MissionList read = database_->Read(ToFileSystemPath(database_path_));
  mission_ids_ = std::move(read.ids);
  for (const MissionEntry& mission : read.missions) {
    const QString text = QString::fromStdString(mission.text);
    auto* item = new QListWidgetItem(text, missions_);
    item->setToolTip(text);
  }
  if (!read.status.ok()) {
    Tell(MessageIcon::kExclamation, QStringLiteral("ERROR!"), AsSentence(read.status.message()));
    SetCommandsEnabled(false);
    return;
  }
  // An empty list leaves no selection and the detail boxes empty.
  if (missions_->count() > 0) missions_->setCurrentRow(missions_->count() - 1);
}

void Form1::ShowSelectedMission(int row) {
  // A row outside MissionIds (no selection, or a mission listed past what the
  // entry count allows before a failed read) has no id to show.
  if (row < 0 || static_cast<std::size_t>(row) >= mission_ids_.size()) {
    image_name_->clear();
    id_->clear();
    return;
  }
  const std::int32_t id = mission_ids_[static_cast<std::size_t>(row)];
  id_->setText(QString::number(id));
  image_name_->setText(QString::fromStdString(ImageName(id)));
}

// Insert: writes the typed text as the next mission, lists the missions again
// and confirms. A refused insertion leaves the file and the list as they were.
void Form1::Insert() {
  const QString text = new_text_->text();
  if (text.isEmpty()) return;
  if (database_path_.isEmpty()) {
    Tell(MessageIcon::kExclamation, QStringLiteral("Open a database first."),
         QStringLiteral("Choose one with Open ▸ textdb_XX.def, then press Insert again."));
    return;
  }
  const Result<InsertedEntry> inserted =
      database_->Insert(ToFileSystemPath(database_path_), text.toStdString());
  if (!inserted.ok()) {
    Tell(MessageIcon::kExclamation, QStringLiteral("The text was not inserted."),
         AsSentence(inserted.status().message()));
    return;
  }
  Reload();
  // A warning comes with a text that is inserted all the same.
  const std::string& warning = inserted->warning;
  Tell(MessageIcon::kInformation, QStringLiteral("All Right!"),
       warning.empty() ? QString() : AsSentence("Inserted, but " + warning));
}

void Form1::ShowHelp() {
  help_panel_->show();
  help_panel_->raise();
}

void Form1::SetCommandsEnabled(bool enabled) {
  missions_->setEnabled(enabled);
  new_text_->setEnabled(enabled);
  insert_->setEnabled(enabled);
}

void Form1::Tell(MessageIcon icon, const QString& text, const QString& details) {
  dialogs_->ShowMessage(this, icon, text, details);
}

}  // namespace orva
