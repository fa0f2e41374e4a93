#include "window/form1.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <filesystem>
#include <string>
#include <utility>

#include "database/format.h"
#include "resources/icon.h"
#include "window/help_panel.h"
#include "window/look.h"
#include "window/twips.h"

namespace orva {
namespace {

const QString kTitle = QStringLiteral("ORVA 1.0");
const QString kOpenDialogTitle = QStringLiteral("Открыть textdb_XX.def файл");
const QString kDatabaseFilter = QStringLiteral("*.def");

// The client area below the menu bar, 5160 x 4320 twips.
constexpr int kClientWidthTwips = 5160;
constexpr int kClientHeightTwips = 4320;

// A frame without a caption: an etched line around a face-coloured area.
QFrame* MakeFrame(QWidget* parent, const char* name, const QRect& geometry) {
  auto* frame = new QFrame(parent);
  frame->setObjectName(name);
  frame->setGeometry(geometry);
  frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
  frame->setAutoFillBackground(true);
  look::SetColour(frame, QPalette::Window, look::kFace);
  return frame;
}

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

// The library's reasons are clauses ("the entry count is negative"); the
// boxes show them as sentences.
QString AsSentence(const std::string& reason) {
  QString sentence = QString::fromStdString(reason);
  if (sentence.isEmpty()) return sentence;
  sentence[0] = sentence[0].toUpper();
  if (!sentence.endsWith('.')) sentence += '.';
  return sentence;
}

// The path as the library takes it: the file system's own bytes for the name.
std::filesystem::path ToFileSystemPath(const QString& path) {
  return std::filesystem::path(QFile::encodeName(path).toStdString());
}

}  // namespace

Form1::Form1(std::unique_ptr<Dialogs> dialogs, std::unique_ptr<MissionDatabase> database,
             QWidget* parent)
    : QMainWindow(parent), dialogs_(std::move(dialogs)), database_(std::move(database)) {
  setObjectName("Form1");
  setWindowTitle(kTitle);
  setWindowIcon(icon::WindowIcon());
  CreateMenus();
  CreateControls();
  SetFocusOrder();
  ConnectControls();
}

Form1::~Form1() = default;

void Form1::CreateMenus() {
  QMenu* open_menu = menuBar()->addMenu(QStringLiteral("Open"));
  open_menu->setObjectName("opp");
  open_menu->menuAction()->setObjectName("opp");
  QAction* open_database = open_menu->addAction(QStringLiteral("textdb_XX.def"));
  open_database->setObjectName("tb");
  connect(open_database, &QAction::triggered, this, &Form1::Open);

  QAction* help = menuBar()->addAction(QStringLiteral("Help..."));
  help->setObjectName("ooo");
  connect(help, &QAction::triggered, this, &Form1::ShowHelp);
}

void Form1::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setFixedSize(TwipsToPixels(kClientWidthTwips), TwipsToPixels(kClientHeightTwips));
  client->setAutoFillBackground(true);
  look::SetColour(client, QPalette::Window, look::kFace);
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
  QFrame* frame = MakeFrame(client, "Frame3", TwipsRect(0, -120, 5175, 3255));

  list1_ = new QListWidget(frame);
  list1_->setObjectName("List1");
  list1_->setGeometry(TwipsRect(120, 240, 4935, 2010));
  list1_->setFont(look::SansSerifBold(look::kSmallFontCentipoints));
  list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  look::SetColour(list1_, QPalette::Text, look::kNavy);

  text1_ =
      MakeTextBox(frame, "Text1", TwipsRect(120, 2400, 4935, 315), look::kMaroon, look::kWhite);
  text1_->setMaxLength(static_cast<int>(format::kMaxNewTextLength));

  command1_ = new QPushButton(QStringLiteral("Insert"), frame);
  command1_->setObjectName("Command1");
  command1_->setGeometry(TwipsRect(120, 2760, 4935, 375));
  command1_->setFont(look::SansSerifBold(look::kLargeFontCentipoints));
  look::SetColour(command1_, QPalette::Button, look::kButtonFace);
}

// Frame2: the selected mission's image name and id.
void Form1::CreateDetailsFrame(QWidget* client) {
  QFrame* frame = MakeFrame(client, "Frame2", TwipsRect(0, 3120, 5175, 735));
  MakeLabel(frame, "Label3", TwipsRect(120, 165, 615, 255), QStringLiteral("Image:"));
  text3_ = MakeDisplayBox(frame, "Text3", TwipsRect(720, 160, 1815, 285));
  MakeLabel(frame, "Label5", TwipsRect(120, 400, 615, 255), QStringLiteral("ID:"));
  text4_ = MakeDisplayBox(frame, "Text4", TwipsRect(720, 400, 1935, 285));
}

// Frame4: the current database path, shown but never edited or focused.
void Form1::CreatePathFrame(QWidget* client) {
  QFrame* frame = MakeFrame(client, "Frame4", TwipsRect(0, 3840, 5175, 495));
  text2_ = MakeTextBox(frame, "Text2", TwipsRect(120, 180, 4935, 255), look::kBlue, look::kFace);
  text2_->setFrame(false);
  text2_->setReadOnly(true);
  text2_->setFocusPolicy(Qt::NoFocus);
  text2_->setEnabled(false);
  // Disabled, yet the path stays readable in its own colour.
  look::SetColour(text2_, QPalette::Text, look::kBlue, look::WhenDisabled::kSameColour);
  look::SetColour(text2_, QPalette::Base, look::kFace, look::WhenDisabled::kSameColour);
}

// Frame1: the help panel, covering the whole client area, hidden at start.
QWidget* Form1::CreateHelpPanel(QWidget* client) { return new HelpPanel(client); }

void Form1::SetFocusOrder() {
  setTabOrder(list1_, text1_);
  setTabOrder(text1_, command1_);
  setTabOrder(command1_, text3_);
  setTabOrder(text3_, text4_);
  list1_->setFocus();
}

void Form1::ConnectControls() {
  connect(list1_, &QListWidget::currentRowChanged, this, &Form1::ShowSelectedMission);
  connect(command1_, &QPushButton::clicked, this, &Form1::Insert);
}

// Open ▸ textdb_XX.def. Every library call opens and closes its own file,
// even when it fails, so no database file is left open to close first.
void Form1::Open() {
  help_panel_->hide();
  const std::optional<QString> chosen = dialogs_->ChooseExistingFile(
      this, {.title = kOpenDialogTitle, .filter = kDatabaseFilter, .start_path = database_path_});
  if (!chosen) return;  // Cancel changes nothing else.

  database_path_ = *chosen;
  text2_->setText(QDir::toNativeSeparators(database_path_));
  SetCommandsEnabled(true);
  Reload();
}

// Lists the missions of the current database again and selects the last one.
// A failed read keeps the missions read before the failure, visible but
// disabled, until the next successful Open.
void Form1::Reload() {
  list1_->clear();  // no selection: the detail boxes are cleared
  MissionList read = database_->Read(ToFileSystemPath(database_path_));
  mission_ids_ = std::move(read.ids);
  for (const MissionEntry& mission : read.missions) {
    const QString text = QString::fromStdString(mission.text);
    auto* item = new QListWidgetItem(text, list1_);
    item->setToolTip(text);
  }
  if (!read.status.ok()) {
    Tell(MessageIcon::kExclamation, QStringLiteral("ERROR!"), AsSentence(read.status.message()));
    SetCommandsEnabled(false);
    return;
  }
  // An empty list leaves no selection and the detail boxes empty.
  if (list1_->count() > 0) list1_->setCurrentRow(list1_->count() - 1);
}

void Form1::ShowSelectedMission(int row) {
  // A row outside MissionIds (no selection, or a mission listed past what the
  // entry count allows before a failed read) has no id to show.
  if (row < 0 || static_cast<std::size_t>(row) >= mission_ids_.size()) {
    text3_->clear();
    text4_->clear();
    return;
  }
  const std::int32_t id = mission_ids_[static_cast<std::size_t>(row)];
  text4_->setText(QString::number(id));
  text3_->setText(QString::fromStdString(ImageName(id)));
}

// Insert: writes the typed text as the next mission, lists the missions again
// and confirms. A refused insertion leaves the file and the list as they were.
void Form1::Insert() {
  const QString text = text1_->text();
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
  list1_->setEnabled(enabled);
  text1_->setEnabled(enabled);
  command1_->setEnabled(enabled);
}

void Form1::Tell(MessageIcon icon, const QString& text, const QString& details) {
  dialogs_->ShowMessage(this, icon, text, details);
}

}  // namespace orva
