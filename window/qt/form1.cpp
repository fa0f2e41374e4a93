#include "window/qt/form1.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileInfo>
#include <QHash>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>
#include <QUrl>
#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "resources/icon.h"
#include "window/form1_layout.h"
#include "window/qt/controls.h"
#include "window/qt/editor_window.h"
#include "window/qt/focus_ring.h"
#include "window/qt/help_panel.h"
#include "window/qt/list_accessibility.h"
#include "window/qt/look.h"

namespace orva {
namespace {

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

// The one database file a drag carries: a single local *.def file, offered
// for copying. Answering a copy, never a move, keeps a file manager from
// taking the drop for a move and removing the file.
std::optional<QString> DraggedDatabase(const QDropEvent& event) {
  const QList<QUrl> urls = event.mimeData()->urls();
  if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
  if (!(event.possibleActions() & Qt::CopyAction)) return std::nullopt;
  const QString path = urls.front().toLocalFile();
  if (!IsDatabaseFileName(QFileInfo(path).fileName().toStdString())) return std::nullopt;
  return path;
}

// A printable character typed without Ctrl or Alt.
bool IsTyping(const QKeyEvent& key) {
  return !key.text().isEmpty() && key.text().front().isPrint() &&
         !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace

Form1::Form1(std::unique_ptr<Dialogs> dialogs, std::unique_ptr<MissionDatabase> database,
             QWidget* parent)
    : QMainWindow(parent), dialogs_(std::move(dialogs)), database_(std::move(database)) {
  setObjectName(look::Text(layout::kWindowName));
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
  ConnectControls();
}

Form1::~Form1() = default;

// The menu bar's items and their submenus, as the layout lists them.
void Form1::CreateMenus() {
  QHash<QString, QMenu*> submenus;
  for (const layout::MenuItem& item : layout::Menu()) {
    const QString name = look::Text(item.name);
    const QString caption = look::Text(item.caption);
    const bool holds_items = std::ranges::any_of(
        layout::Menu(), [&](const layout::MenuItem& other) { return other.parent == item.name; });
    if (holds_items) {
      QMenu* menu = menuBar()->addMenu(caption);
      menu->setObjectName(name);
      menu->menuAction()->setObjectName(name);
      submenus.insert(name, menu);
      continue;
    }
    QAction* action = item.parent.empty()
                          ? menuBar()->addAction(caption)
                          : submenus.value(look::Text(item.parent))->addAction(caption);
    action->setObjectName(name);
    if (!item.shortcut.empty()) action->setShortcut(QKeySequence(look::Text(item.shortcut)));
    connect(action, &QAction::triggered, this,
            [this, command = item.command] { logic_.RunMenuCommand(command); });
  }

  // An item clicked stays the bar's active one while the pointer rests on
  // it, and screen readers would take it for a second focus.
  connect(menuBar(), &QMenuBar::triggered, menuBar(),
          [bar = menuBar()] { bar->setActiveAction(nullptr); });

  // On top of the application's own style, whichever it is.
  auto* style = new MenuBarStyle(QStyleFactory::create(QApplication::style()->name()));
  style->setParent(menuBar());
  menuBar()->setStyle(style);
}

// The client area holds the frames of the layout and, made last so that
// when shown it lies above everything else, the help panel.
void Form1::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName("client");
  client->setFixedSize(layout::TwipsToPixels(layout::kClientWidthTwips),
                       layout::TwipsToPixels(layout::kClientHeightTwips));
  look::FillWithFace(client);
  setCentralWidget(client);

  for (const layout::Control& row : layout::Controls()) {
    if (row.parent != layout::kWindowName) continue;
    if (row.name == layout::kHelpPanelName) {
      help_panel_ = new HelpPanel(client);
    } else {
      MakeContents(MakeControl(row, client), row.name);
    }
  }
  missions_ = client->findChild<QListWidget*>(QStringLiteral("List1"));
  new_text_ = client->findChild<QLineEdit*>(QStringLiteral("Text1"));
  insert_ = client->findChild<QPushButton*>(QStringLiteral("Command1"));
  path_ = client->findChild<QLineEdit*>(QStringLiteral("Text2"));
  image_name_ = client->findChild<QLineEdit*>(QStringLiteral("Text3"));
  id_ = client->findChild<QLineEdit*>(QStringLiteral("Text4"));

  // The window keeps the size of its layout; it cannot be resized.
  setFixedSize(client->width(), client->height() + menuBar()->sizeHint().height());
}

// The layout's order, starting on the list. The list and the borderless
// boxes show no focus of their own: a ring shows it for them.
void Form1::SetFocusOrder() {
  QWidget* previous = nullptr;
  for (std::string_view name : layout::FocusOrder()) {
    auto* control = centralWidget()->findChild<QWidget*>(look::Text(name));
    if (previous != nullptr) setTabOrder(previous, control);
    previous = control;
  }
  new FocusRing({missions_, image_name_, id_});
  centralWidget()->findChild<QWidget*>(look::Text(layout::FocusOrder().front()))->setFocus();
}

// Tab and Shift+Tab, from any control of the window or the help panel: the
// stop the logic names, among the controls shown and enabled.
bool Form1::focusNextPrevChild(bool next) {
  auto named = [this](std::string_view name) {
    return centralWidget()->findChild<QWidget*>(look::Text(name));
  };
  const QWidget* focus = focusWidget();
  const std::string from = focus != nullptr ? focus->objectName().toStdString() : std::string();
  const std::string_view to = logic_.NextFocusStop(from, next ? 1 : -1, [&](std::string_view name) {
    const QWidget* control = named(name);
    return control != nullptr && control->isVisible() && control->isEnabled();
  });
  if (to.empty()) return false;
  named(to)->setFocus(Qt::TabFocusReason);
  return true;
}

void Form1::ConnectControls() {
  connect(missions_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (!changing_list_) logic_.SelectionChanged(row);
  });
  connect(insert_, &QPushButton::clicked, this,
          [this] { logic_.Insert(new_text_->text().toStdString()); });
  connect(new_text_, &QLineEdit::returnPressed, insert_, &QPushButton::click);
  connect(help_panel_, &HelpPanel::CloseAsked, this, [this] { logic_.HideHelp(); });
  new_text_->installEventFilter(this);
  missions_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(missions_, &QListWidget::customContextMenuRequested, this, &Form1::ShowListMenu);
  missions_->installEventFilter(this);
}

void Form1::ShowListMenu(const QPoint& where) {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("listMenu"));
  QAction* edit = menu.addAction(tr("Edit all entries…"));
  edit->setObjectName(QStringLiteral("editAllEntries"));
  connect(edit, &QAction::triggered, this, &Form1::EditAllEntries);
  menu.exec(missions_->viewport()->mapToGlobal(where));
}

// The editor shows the database this window shows; once it saves that file,
// the list is read again.
void Form1::EditAllEntries() {
  if (!editor_) {
    editor_ = std::make_unique<EditorWindow>();
    connect(editor_.get(), &EditorWindow::DatabaseWritten, this, [this](const QString& path) {
      if (!DatabasePath().isEmpty() &&
          QFileInfo(path).canonicalFilePath() == QFileInfo(DatabasePath()).canonicalFilePath()) {
        OpenFile(DatabasePath());
      }
    });
  }
  editor_->show();
  editor_->raise();
  editor_->activateWindow();
  if (!DatabasePath().isEmpty() && QFileInfo(editor_->DatabasePath()).canonicalFilePath() !=
                                       QFileInfo(DatabasePath()).canonicalFilePath()) {
    editor_->OpenFile(DatabasePath());
  }
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
  if (watched == missions_) {
    // Shift+F10 opens the list's menu as the Menu key does, at the current item.
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
      QListWidgetItem* current = missions_->currentItem();
      ShowListMenu(current != nullptr ? missions_->visualItemRect(current).center() : QPoint());
      return true;
    }
    return false;
  }
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

std::optional<std::string> Form1::ChooseExistingFile(const OpenFileRequest& request) {
  const std::optional<QString> chosen = dialogs_->ChooseExistingFile(this, request);
  if (!chosen) return std::nullopt;
  return chosen->toStdString();
}

void Form1::ShowMessage(MessageIcon icon, const std::string& text, const std::string& details) {
  dialogs_->ShowMessage(this, icon, QString::fromStdString(text), QString::fromStdString(details));
}

// The path in Text2. One too long for the box loses its middle, keeping its
// start and the file name; the whole path is the tooltip and, for screen
// readers, the description.
void Form1::ShowPath(const std::string& path) {
  const QString whole = QString::fromStdString(path);
  path_->setText(path_->fontMetrics().elidedText(whole, Qt::ElideMiddle,
                                                 path_->width() - kLineEditTextMargins));
  path_->setCursorPosition(0);
  path_->setToolTip(whole);
  path_->setAccessibleDescription(whole);
}

void Form1::ShowMissions(const std::vector<std::string>& texts) {
  const QScopedValueRollback<bool> quiet(changing_list_, true);
  missions_->clear();
  for (const std::string& text : texts) {
    const QString shown = QString::fromStdString(text);
    auto* item = new QListWidgetItem(shown, missions_);
    item->setToolTip(shown);
  }
}

void Form1::SelectMission(int row) {
  const QScopedValueRollback<bool> quiet(changing_list_, true);
  missions_->setCurrentRow(row);
}

void Form1::ShowDetails(const std::string& image_name, const std::string& id) {
  image_name_->setText(QString::fromStdString(image_name));
  id_->setText(QString::fromStdString(id));
}

void Form1::SetCommandsEnabled(bool enabled) {
  for (const std::string_view name : layout::CommandControls()) {
    findChild<QWidget*>(look::Text(name))->setEnabled(enabled);
  }
}

void Form1::SetHelpShown(bool shown) {
  if (!shown) {
    help_panel_->hide();
    return;
  }
  help_panel_->show();
  help_panel_->raise();
}

}  // namespace orva
