#include "window/qt/editor_window.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QSyntaxHighlighter>
#include <QTableView>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "resources/icon.h"
#include "window/qt/entry_table_model.h"

namespace orva {
namespace {

QString Text(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

constexpr int kTextColumn = static_cast<int>(EditorColumn::kText);

// "fileMenu" for "&File", "backupsMenu" for "&Backups".
QString MenuName(const std::string& caption) {
  QString name = Text(PlainCaption(caption));
  if (!name.isEmpty()) name[0] = name[0].toLower();
  return name + QStringLiteral("Menu");
}
// The room Qt's styles leave on either side of a cell's text.
constexpr int kTextMargin = 3;
// How wide the screenshot may be drawn: the game's are 320 pixels or less.
constexpr int kScreenshotWidth = 320;

// Names a control for scripts and tests, and for screen readers.
template <typename Widget>
Widget* Named(Widget* widget, const char* name, const QString& accessible) {
  widget->setObjectName(QString::fromLatin1(name));
  widget->setAccessibleName(accessible);
  return widget;
}

// A box's red frame while what it holds cannot be applied.
void MarkRefused(QLineEdit* box, bool refused) {
  box->setProperty("refused", refused);
  box->setStyleSheet(refused ? QStringLiteral("QLineEdit { border: 2px solid #c62828; }")
                             : QString());
}

// A misspelt word's look: the red wavy line of spelling.
QTextCharFormat MisspeltFormat() {
  QTextCharFormat format;
  format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
  format.setUnderlineColor(QColor(0xd3, 0x2f, 0x2f));
  return format;
}

// The misspelt words of a box's text underlined, as the logic finds them.
// A QLineEdit draws formats only as an input method gives them: the
// attributes of an event without text, each from the cursor.
void UnderlineMisspelt(QLineEdit* box, const std::vector<MisspeltSpan>& spans) {
  QList<QInputMethodEvent::Attribute> attributes;
  const QTextCharFormat format = MisspeltFormat();
  for (const MisspeltSpan& span : spans) {
    attributes << QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat,
                                               static_cast<int>(span.from) - box->cursorPosition(),
                                               static_cast<int>(span.to - span.from), format);
  }
  QInputMethodEvent event(QString(), attributes);
  QCoreApplication::sendEvent(box, &event);
}

// The details pane's misspelt words, block by block (the text is one line
// unless a line break was pasted).
class SpellingHighlighter : public QSyntaxHighlighter {
 public:
  using Spans = std::function<std::vector<MisspeltSpan>(const std::string& text)>;
  SpellingHighlighter(QTextDocument* document, Spans spans)
      : QSyntaxHighlighter(document), spans_(std::move(spans)) {}

 protected:
  void highlightBlock(const QString& text) override {
    const QTextCharFormat format = MisspeltFormat();
    for (const MisspeltSpan& span : spans_(text.toStdString())) {
      setFormat(static_cast<int>(span.from), static_cast<int>(span.to - span.from), format);
    }
  }

 private:
  Spans spans_;
};

// The editor of a row's text: Enter applies it unless the preview refuses
// it, Esc leaves the text as it was. Each keystroke asks for the preview
// and the misspelt words; a right click offers the spelling's choices.
class TextDelegate : public QStyledItemDelegate {
 public:
  using Preview = std::function<TextPreview(int row, const std::string& text)>;
  using Show = std::function<void(const TextPreview*)>;
  using Spell = std::function<std::vector<MisspeltSpan>(int row, const std::string& text)>;
  using Offer = std::function<void(QLineEdit* box, QPoint at)>;

  TextDelegate(Preview preview, Show show, Spell spell, Offer offer, QObject* parent)
      : QStyledItemDelegate(parent),
        preview_(std::move(preview)),
        show_(std::move(show)),
        spell_(std::move(spell)),
        offer_(std::move(offer)) {}

  // The box's underlines again, after what spelling accepts changed.
  void Respell(QLineEdit* box, int row) const {
    UnderlineMisspelt(box, spell_(row, box->text().toStdString()));
  }

  // The text, with the filter's matches on a background of their own.
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const QVariantList runs = index.data(EntryTableModel::kMatchesRole).toList();
    if (runs.isEmpty()) {
      QStyledItemDelegate::paint(painter, option, index);
      return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QString text = item.text;
    item.text.clear();
    QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, item.widget);
    const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget)
                           .adjusted(kTextMargin, 0, -kTextMargin, 0);
    const QFontMetrics metrics(item.font);
    const QString shown = metrics.elidedText(text, Qt::ElideRight, area.width());
    painter->save();
    painter->setClipRect(area);
    const QColor match(kMatchLook.red, kMatchLook.green, kMatchLook.blue);
    for (const QVariant& run : runs) {
      const QPoint at = run.toPoint();
      if (at.x() >= shown.size()) break;
      const int left = metrics.horizontalAdvance(shown.left(at.x()));
      const int width = metrics.horizontalAdvance(shown.mid(at.x(), at.y()));
      painter->fillRect(QRect(area.left() + left, area.top() + 1, width, area.height() - 2), match);
    }
    // Dark on the matches' pale background, in a selected row as well.
    painter->setPen(item.palette.color(QPalette::Text));
    painter->setFont(item.font);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter, shown);
    painter->restore();
  }

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* box = Named(new QLineEdit(parent), "textEditor", QStringLiteral("Text of the entry"));
    box->setAccessibleDescription(
        QStringLiteral("Enter applies the text, Esc leaves it as it was. Tabs and line breaks "
                       "show as ␉, ␊ and ␍."));
    const int row = index.row();
    box->setProperty("row", row);
    connect(box, &QLineEdit::textChanged, box, [this, box, row](const QString& text) {
      const TextPreview preview = preview_(row, text.toStdString());
      MarkRefused(box, !preview.can_apply);
      show_(&preview);
      UnderlineMisspelt(box, spell_(row, text.toStdString()));
    });
    box->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(box, &QWidget::customContextMenuRequested, box,
            [this, box](const QPoint& at) { offer_(box, at); });
    connect(box, &QObject::destroyed, this, [show = show_] { show(nullptr); });
    box->installEventFilter(const_cast<TextDelegate*>(this));
    return box;
  }

 protected:
  // Enter on a text that cannot be stored stays in the box, with the bell.
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QLineEdit*>(watched);
    // A menu of the box's own (spelling's, the box's) leaves it open.
    if (box != nullptr && event->type() == QEvent::FocusOut &&
        QApplication::activePopupWidget() != nullptr) {
      return false;
    }
    if (box != nullptr && event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if ((key == Qt::Key_Return || key == Qt::Key_Enter) && box->property("refused").toBool()) {
        QApplication::beep();
        return true;
      }
    }
    return QStyledItemDelegate::eventFilter(watched, event);
  }

 private:
  Preview preview_;
  Show show_;
  Spell spell_;
  Offer offer_;
};

}  // namespace

EditorWindow::EditorWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("EditorWindow"));
  setWindowIcon(icon::WindowIcon());
  setAttribute(Qt::WA_DeleteOnClose, false);
  // The review's pass, a slice whenever the window is idle; not under a
  // modal dialog, which the logic waits on.
  review_timer_ = new QTimer(this);
  review_timer_->setInterval(0);
  connect(review_timer_, &QTimer::timeout, this, [this] {
    if (QApplication::activeModalWidget() == nullptr && !logic_.ContinueReview()) {
      review_timer_->stop();
    }
  });
  CreateActions();
  CreateMenus();
  CreateControls();
  ConnectControls();
  ShowTitle(logic_.Title());
  ShowCommands(logic_.Commands());
  resize(960, 600);
}

EditorWindow::~EditorWindow() {
  // The table goes first, while the window is whole: a text box open in it
  // (F2) tells the window, as it goes, that it closed.
  delete table_;
}

// The commands of the editor's table, each with its shortcuts; those that
// act on the table's rows (F2, Insert, Delete) only while the table has the
// focus, so that the filter box keeps its own keys.
void EditorWindow::CreateActions() {
  auto* backups = new QActionGroup(this);
  auto* review_filters = new QActionGroup(this);
  for (const CommandInfo& info : EditorCommandTable()) {
    auto* action = new QAction(Text(info.caption), this);
    action->setObjectName(Text(info.name) + QStringLiteral("Action"));
    QList<QKeySequence> keys;
    for (const Shortcut& shortcut : info.shortcuts) {
      keys << QKeySequence::fromString(Text(ShortcutText(shortcut)), QKeySequence::PortableText);
    }
    action->setShortcuts(keys);
    action->setCheckable(info.checkable);
    if (info.submenu == "&Backups") backups->addAction(action);
    if (info.id == EditorCommand::kAllRows || info.id == EditorCommand::kUntranslated ||
        info.id == EditorCommand::kOnlyHere || info.id == EditorCommand::kWithProblems ||
        info.id == EditorCommand::kOnlyInReference) {
      review_filters->addAction(action);
    }
    connect(action, &QAction::triggered, this, [this, command = info.id] { Run(command); });
    addAction(action);
    actions_[static_cast<std::size_t>(info.id)] = action;
  }
}

// The menu bar as the table lays it out (EditorMenus), item for item.
void EditorWindow::CreateMenus() {
  const std::function<void(QMenu*, const std::vector<MenuItem>&)> fill =
      [&](QMenu* menu, const std::vector<MenuItem>& items) {
        for (const MenuItem& item : items) {
          switch (item.kind) {
            case MenuItem::Kind::kCommand:
              menu->addAction(Action(item.command));
              break;
            case MenuItem::Kind::kSeparator:
              menu->addSeparator();
              break;
            case MenuItem::Kind::kSubmenu: {
              QMenu* submenu = menu->addMenu(Text(item.caption));
              submenu->setObjectName(MenuName(item.caption));
              fill(submenu, item.items);
              break;
            }
          }
        }
      };
  for (const MenuModel& model : EditorMenus()) {
    QMenu* menu = menuBar()->addMenu(Text(model.caption));
    menu->setObjectName(MenuName(model.caption));
    fill(menu, model.items);
  }
}

// A command of the table: the view's own, or the logic's.
void EditorWindow::Run(EditorCommand command) {
  if (!IsEnabled(command, logic_.Commands())) return;
  switch (command) {
    case EditorCommand::kClose:
      close();
      break;
    case EditorCommand::kEditText:
      EditSelectedText();
      break;
    case EditorCommand::kAddMission:
      AddMission();
      break;
    case EditorCommand::kFilter:
      filter_->setFocus(Qt::ShortcutFocusReason);
      filter_->selectAll();
      break;
    case EditorCommand::kReplace:
      FindAndReplace();
      break;
    case EditorCommand::kSpellingSuggestions:
      OfferSpellingAtCursor();
      break;
    default:
      logic_.Run(command);
      break;
  }
}

void EditorWindow::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  auto* column = new QVBoxLayout(client);

  auto* filter_row = new QHBoxLayout;
  auto* filter_label = new QLabel(Text(editor_words::kFilterLabel), client);
  filter_label->setObjectName(QStringLiteral("filterLabel"));
  filter_ = Named(new QLineEdit(client), "filter", tr("Filter"));
  filter_->setPlaceholderText(Text(editor_words::kFilterHint));
  filter_->setAccessibleDescription(
      tr("Shows only the entries whose id, image name or text holds what is typed, in any case"));
  filter_->setClearButtonEnabled(true);
  filter_label->setBuddy(filter_);
  filter_row->addWidget(filter_label);
  filter_row->addWidget(filter_);
  column->addLayout(filter_row);

  auto* splitter = new QSplitter(client);
  splitter->setObjectName(QStringLiteral("splitter"));
  model_ = new EntryTableModel(logic_, this);
  table_ = Named(new QTableView(splitter), "entries", tr("Entries"));
  table_->setAccessibleDescription(
      tr("Every entry of the database: F2 edits the text, Insert adds a mission, Delete removes "
         "the entry"));
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Several rows for Copy Reference to Text; the rest acts on the current row.
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setItemDelegateForColumn(
      kTextColumn, new TextDelegate(
                       [this](int row, const std::string& text) {
                         return logic_.PreviewText(static_cast<std::size_t>(row), text);
                       },
                       [this](const TextPreview* preview) {
                         if (preview == nullptr) {
                           preview_->clear();
                           return;
                         }
                         preview_->setText(Text(preview->Line()));
                         ShowFindings(preview->findings);
                       },
                       [this](int row, const std::string& text) {
                         return logic_.MisspeltSpans(text, static_cast<std::size_t>(row));
                       },
                       [this](QLineEdit* box, const QPoint& at) {
                         OfferSpelling(box, box->cursorPositionAt(at), box->mapToGlobal(at));
                       },
                       table_));
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideRight);
  table_->verticalHeader()->hide();
  // Fixed heights and widths: nothing measures a million rows.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setStretchLastSection(true);
  const int digit = table_->fontMetrics().horizontalAdvance(QLatin1Char('0'));
  for (const auto& [section, digits] :
       {std::pair(EditorColumn::kSlot, 8), std::pair(EditorColumn::kId, 8),
        std::pair(EditorColumn::kKind, 15), std::pair(EditorColumn::kImage, 12),
        std::pair(EditorColumn::kBytes, 6), std::pair(EditorColumn::kProblems, 16),
        std::pair(EditorColumn::kReference, 40)}) {
    table_->setColumnWidth(static_cast<int>(section), digit * digits);
  }
  for (const CommandInfo& info : EditorCommandTable()) {
    if (!info.table_keys) continue;
    Action(info.id)->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(Action(info.id));
  }

  // Beside the table, the selected mission's screenshot, shown only when
  // there is one; the Text column takes the width it leaves.
  side_ = new QWidget(splitter);
  side_->setObjectName(QStringLiteral("screenshotPanel"));
  auto* side_column = new QVBoxLayout(side_);
  screenshot_ = Named(new QLabel(side_), "screenshot", tr("Screenshot"));
  screenshot_->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  screenshot_caption_ = Named(new QLabel(side_), "screenshotCaption", tr("Screenshot file"));
  screenshot_caption_->setWordWrap(true);
  screenshot_caption_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  side_column->addWidget(screenshot_);
  side_column->addWidget(screenshot_caption_);
  side_column->addStretch();
  side_->hide();
  splitter->addWidget(table_);
  splitter->addWidget(side_);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);

  // Below the table, the selected entry whole: its text wrapped, to read
  // and to edit in place (Enter or leaving the box applies it, Esc takes
  // it back), with its byte count.
  auto* rows = new QSplitter(Qt::Vertical, client);
  rows->setObjectName(QStringLiteral("rowsAndDetails"));
  rows->addWidget(splitter);
  auto* pane = new QWidget(rows);
  pane->setObjectName(QStringLiteral("detailsPane"));
  auto* pane_column = new QVBoxLayout(pane);
  pane_column->setContentsMargins(0, 0, 0, 0);
  auto* pane_top = new QHBoxLayout;
  auto* details_label = new QLabel(Text(editor_words::kDetailsLabel), pane);
  details_label->setObjectName(QStringLiteral("detailsLabel"));
  details_heading_ = Named(new QLabel(pane), "detailsHeading", tr("Selected entry"));
  pane_top->addWidget(details_label);
  pane_top->addWidget(details_heading_, 1);
  // The reference's text above the entry's, read only, where one is open.
  reference_heading_ =
      Named(new QLabel(pane), "referenceHeading", Text(editor_words::kReferenceLabel));
  reference_ = Named(new QPlainTextEdit(pane), "reference", tr("Text of the reference"));
  reference_->setReadOnly(true);
  reference_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  reference_->setTabChangesFocus(true);
  reference_->setMaximumHeight(reference_->fontMetrics().lineSpacing() * 3 + 12);
  reference_heading_->hide();
  reference_->hide();
  details_ = Named(new QPlainTextEdit(pane), "details", tr("Text of the selected entry"));
  details_->setAccessibleDescription(
      tr("The whole text, wrapped; tabs and line breaks show as ␉, ␊ and ␍. Enter applies it, Esc "
         "takes it back"));
  details_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  details_->setTabChangesFocus(true);
  details_->installEventFilter(this);
  details_->setContextMenuPolicy(Qt::CustomContextMenu);
  spelling_ = new SpellingHighlighter(details_->document(), [this](const std::string& text) {
    return logic_.MisspeltSpans(text, DetailsRow());
  });
  details_label->setBuddy(details_);
  findings_ = Named(new QLabel(pane), "findings", tr("Findings"));
  findings_->setWordWrap(true);
  findings_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // Every finding in sight: the text above gives way first.
  findings_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
  auto* pane_bottom = new QHBoxLayout;
  details_summary_ = Named(new QLabel(pane), "detailsSummary", tr("Bytes of the text"));
  details_summary_->setWordWrap(true);
  details_apply_ = Named(new QPushButton(Text(editor_words::kApply), pane), "detailsApply",
                         tr("Apply the text"));
  pane_bottom->addWidget(details_summary_, 1);
  pane_bottom->addWidget(details_apply_);
  pane_column->addLayout(pane_top);
  pane_column->addWidget(reference_heading_);
  pane_column->addWidget(reference_);
  pane_column->addWidget(details_, 1);
  pane_column->addWidget(findings_);
  pane_column->addLayout(pane_bottom);
  rows->addWidget(pane);
  rows->setStretchFactor(0, 3);
  rows->setStretchFactor(1, 1);
  column->addWidget(rows, 1);
  setCentralWidget(client);

  status_ = Named(new QLabel(this), "status", tr("Status"));
  status_->setAccessibleDescription(tr("Status line: what the last command did"));
  preview_ = Named(new QLabel(this), "preview", tr("Preview of the text being edited"));
  review_ = Named(new QLabel(this), "review", tr("Checks and progress"));
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(preview_);
  statusBar()->addPermanentWidget(review_);
  table_->setFocus();
}

void EditorWindow::ConnectControls() {
  connect(filter_, &QLineEdit::textChanged, this,
          [this](const QString& text) { logic_.SetFilter(text.toStdString()); });
  connect(filter_, &QLineEdit::returnPressed, table_, [this] { table_->setFocus(); });
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            if (selecting_) return;
            logic_.SelectionChanged(current.isValid() ? std::optional<std::size_t>(current.row())
                                                      : std::nullopt);
          });
  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (selecting_) return;
    std::vector<RowSpan> spans;
    for (const QItemSelectionRange& range : table_->selectionModel()->selection()) {
      spans.push_back(
          {static_cast<std::size_t>(range.top()), static_cast<std::size_t>(range.bottom())});
    }
    logic_.SelectedRowsChanged(spans);
  });
  connect(table_, &QTableView::doubleClicked, this, [this] { EditSelectedText(); });
  connect(details_, &QPlainTextEdit::textChanged, this, [this] { PreviewDetails(); });
  connect(details_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    OfferSpelling(details_, details_->cursorForPosition(at).position(),
                  details_->viewport()->mapToGlobal(at));
  });
  connect(details_apply_, &QPushButton::clicked, this, [this] { ApplyDetails(); });
}

void EditorWindow::PreviewDetails() {
  if (!DetailsRow()) return;
  const QString text = details_->toPlainText();
  const TextPreview preview = logic_.PreviewText(*DetailsRow(), text.toStdString());
  details_summary_->setText(Text(preview.Line()));
  ShowFindings(preview.findings);
  details_apply_->setEnabled(preview.can_apply && text != details_text_);
}

// The spelling menu for the word at `position` of a box being edited (the
// details pane or the table's editor): the suggestions, the first active so
// that Enter takes it, then Add to Dictionary and Ignore, above the box's
// own menu when asked by a right click. The menu pops up and goes on its
// own; what is chosen acts on the box if it is still there.
void EditorWindow::OfferSpelling(QWidget* box, int position, const QPoint& at, bool with_box_menu) {
  auto* line = qobject_cast<QLineEdit*>(box);
  const QString text = line != nullptr ? line->text() : details_->toPlainText();
  std::optional<SpellingChoices> choices =
      logic_.SpellingAt(text.toStdString(), static_cast<std::size_t>(std::max(position, 0)));
  if (!choices && !with_box_menu) {
    ShowStatus(std::string(logic_.NoSpellingChoices()));
    return;
  }
  QMenu* menu = !with_box_menu ? new QMenu(this)
                : line != nullptr
                    ? line->createStandardContextMenu()
                    : details_->createStandardContextMenu(details_->viewport()->mapFromGlobal(at));
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->setObjectName(QStringLiteral("spellingMenu"));
  QAction* before = menu->actions().isEmpty() ? nullptr : menu->actions().front();
  auto add = [&](const QString& caption, const char* name) {
    auto* action = new QAction(caption, menu);
    action->setObjectName(QString::fromLatin1(name));
    menu->insertAction(before, action);
    return action;
  };
  QAction* first = nullptr;
  if (choices) {
    const QPointer<QWidget> target(box);
    const MisspeltSpan span = choices->span;
    for (const std::string& suggestion : choices->suggestions) {
      QAction* action = add(Text(suggestion), "suggestion");
      if (first == nullptr) first = action;
      connect(action, &QAction::triggered, this, [this, target, span, suggestion] {
        if (target) ReplaceMisspelt(target, span, Text(suggestion));
      });
    }
    if (first == nullptr) add(tr("(no suggestions)"), "noSuggestions")->setEnabled(false);
    menu->insertSeparator(before);
    connect(add(tr("&Add to Dictionary"), "addToDictionary"), &QAction::triggered, this,
            [this, word = span.word] {
              if (logic_.AddToDictionary(word)) Respell();
            });
    connect(add(tr("&Ignore"), "ignoreWord"), &QAction::triggered, this, [this, word = span.word] {
      logic_.IgnoreWord(word);
      Respell();
    });
    if (before != nullptr) menu->insertSeparator(before);
  }
  menu->popup(at);
  if (first != nullptr) menu->setActiveAction(first);
}

// The misspelt word replaced by the suggestion chosen, as one step of the
// box's own undo; applied as any typing is.
void EditorWindow::ReplaceMisspelt(QWidget* box, const MisspeltSpan& span,
                                   const QString& suggestion) {
  if (auto* line = qobject_cast<QLineEdit*>(box)) {
    if (line->text().size() < static_cast<qsizetype>(span.to)) return;
    line->setSelection(static_cast<int>(span.from), static_cast<int>(span.to - span.from));
    line->insert(suggestion);
    return;
  }
  if (box != details_ || details_->document()->characterCount() <= static_cast<int>(span.to)) {
    return;
  }
  QTextCursor cursor(details_->document());
  cursor.setPosition(static_cast<int>(span.from));
  cursor.setPosition(static_cast<int>(span.to), QTextCursor::KeepAnchor);
  cursor.insertText(suggestion);
  details_->setTextCursor(cursor);
}

// Spelling ▸ Suggestions (F7): the menu for the word at the cursor of the
// box that has the focus, shown below the cursor.
void EditorWindow::OfferSpellingAtCursor() {
  QWidget* focus = QApplication::focusWidget();
  if (focus == details_) {
    OfferSpelling(details_, details_->textCursor().position(),
                  details_->viewport()->mapToGlobal(details_->cursorRect().bottomLeft()), false);
  } else if (auto* line = qobject_cast<QLineEdit*>(focus);
             line != nullptr && line->objectName() == QLatin1String("textEditor")) {
    OfferSpelling(
        line, line->cursorPosition(),
        line->mapToGlobal(line->inputMethodQuery(Qt::ImCursorRectangle).toRect().bottomLeft()),
        false);
  } else {
    ShowStatus("Spelling suggestions are for a text being edited: F2, or the details pane");
  }
}

// The underlines and findings again, after what spelling accepts changed.
void EditorWindow::Respell() {
  spelling_->rehighlight();
  PreviewDetails();
  if (auto* line = table_->findChild<QLineEdit*>(QStringLiteral("textEditor"))) {
    static_cast<TextDelegate*>(table_->itemDelegateForColumn(kTextColumn))
        ->Respell(line, line->property("row").toInt());
  }
}

// The text of the details pane to the entry it shows, once changed; after
// the event that asked for it, as the table's editor does.
void EditorWindow::ApplyDetails() {
  if (!DetailsRow() || details_->isReadOnly() || details_->toPlainText() == details_text_) return;
  const std::size_t slot = details_slot_;
  QMetaObject::invokeMethod(
      this,
      [this, slot, text = details_->toPlainText().toStdString()] {
        const std::optional<std::size_t> row = logic_.RowOfSlot(slot);
        if (row && logic_.PreviewText(*row, text).can_apply) (void)logic_.SetText(*row, text);
      },
      Qt::QueuedConnection);
}

// The details pane's keys: Enter applies (a line break is typed as ␊), Esc
// takes the text back; leaving the pane applies what can be applied.
bool EditorWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == details_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
      ApplyDetails();
      return true;
    }
    if (key->key() == Qt::Key_Escape && details_->toPlainText() != details_text_) {
      details_->setPlainText(details_text_);
      return true;
    }
  }
  // Esc takes an edited text back before it stops the checking.
  if (watched == details_ && event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      details_->toPlainText() != details_text_) {
    event->accept();
    return true;
  }
  // A menu of the pane's own (spelling's, the box's) keeps the text typed.
  if (watched == details_ && event->type() == QEvent::FocusOut &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
      QApplication::activePopupWidget() == nullptr) {
    ApplyDetails();
  }
  return QMainWindow::eventFilter(watched, event);
}

void EditorWindow::closeEvent(QCloseEvent* event) {
  if (logic_.CanClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void EditorWindow::EditSelectedText() {
  const std::optional<std::size_t> row = logic_.SelectedRow();
  if (!row) return;
  const QModelIndex index = model_->index(static_cast<int>(*row), kTextColumn);
  table_->setFocus();
  table_->edit(index);
}

void EditorWindow::AddMission() {
  if (!logic_.has_database()) return;
  QDialog dialog(this);
  dialog.setObjectName(QStringLiteral("addMissionDialog"));
  dialog.setWindowTitle(Text(editor_words::kAddMissionTitle));
  auto* form = new QFormLayout(&dialog);
  auto* box = Named(new QLineEdit(&dialog), "missionText", tr("Mission text"));
  box->setMaxLength(static_cast<int>(format::kMaxNewTextLength));
  auto* label = new QLabel(Text(editor_words::kAddMissionLabel), &dialog);
  label->setBuddy(box);
  auto* preview = Named(new QLabel(&dialog), "missionPreview", tr("Preview"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(Text(editor_words::kAdd));
  form->addRow(label, box);
  form->addRow(preview);
  form->addRow(buttons);
  auto update = [&] {
    const TextPreview shown = logic_.PreviewMission(box->text().toStdString());
    preview->setText(Text(shown.Line()));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(shown.can_apply);
    MarkRefused(box, !shown.problem.empty());
  };
  connect(box, &QLineEdit::textChanged, &dialog, update);
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  update();
  if (dialog.exec() == QDialog::Accepted) (void)logic_.AddMission(box->text().toStdString());
}

void EditorWindow::RemoveSelected() {
  if (const std::optional<std::size_t> row = logic_.SelectedRow()) (void)logic_.Remove(*row);
}

void EditorWindow::FindAndReplace() {
  QDialog dialog(this);
  dialog.setObjectName(QStringLiteral("replaceDialog"));
  dialog.setWindowTitle(Text(editor_words::kReplaceTitle));
  auto* form = new QFormLayout(&dialog);
  auto* find = Named(new QLineEdit(&dialog), "findText", tr("Find"));
  auto* by = Named(new QLineEdit(&dialog), "replacementText", tr("Replace with"));
  auto* regex =
      Named(new QCheckBox(Text(editor_words::kRegex), &dialog), "regex", tr("Regular expression"));
  auto* match_case =
      Named(new QCheckBox(Text(editor_words::kMatchCase), &dialog), "matchCase", tr("Match case"));
  auto* count = Named(new QLabel(&dialog), "occurrences", tr("Occurrences"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* replace =
      buttons->addButton(Text(editor_words::kReplaceAll), QDialogButtonBox::ActionRole);
  replace->setObjectName(QStringLiteral("replaceAll"));
  auto* find_label = new QLabel(Text(editor_words::kFindLabel), &dialog);
  find_label->setBuddy(find);
  auto* by_label = new QLabel(Text(editor_words::kReplacementLabel), &dialog);
  by_label->setBuddy(by);
  form->addRow(find_label, find);
  form->addRow(by_label, by);
  form->addRow(regex);
  form->addRow(match_case);
  form->addRow(count);
  form->addRow(buttons);
  auto request = [&] {
    return ReplaceRequest{.find = find->text().toStdString(),
                          .replacement = by->text().toStdString(),
                          .regex = regex->isChecked(),
                          .match_case = match_case->isChecked()};
  };
  auto update = [&] {
    if (find->text().isEmpty()) {
      count->clear();
      replace->setEnabled(false);
      return;
    }
    const ReplacePreview preview = logic_.PreviewReplace(request());
    count->setText(Text(preview.problem.empty() ? preview.summary : preview.problem));
    replace->setEnabled(preview.problem.empty() && preview.texts > 0);
  };
  for (QLineEdit* box : {find, by}) connect(box, &QLineEdit::textChanged, &dialog, update);
  for (QCheckBox* box : {regex, match_case}) connect(box, &QCheckBox::toggled, &dialog, update);
  connect(replace, &QPushButton::clicked, &dialog, [&] {
    if (logic_.ReplaceAll(request())) dialog.accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  update();
  dialog.exec();
}

// --- EditorView ---

std::optional<std::string> EditorWindow::ChooseFile(const FileRequest& request) {
  QFileDialog dialog(this, Text(request.title), Text(request.start_path));
  QStringList filters;
  for (const FileRequest::Filter& filter : request.filters) {
    filters << Text(filter.description) + QStringLiteral(" (") + Text(filter.patterns) +
                   QStringLiteral(")");
  }
  switch (request.kind) {
    case FileRequest::Kind::kOpen:
      dialog.setAcceptMode(QFileDialog::AcceptOpen);
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileRequest::Kind::kSave:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      break;
    case FileRequest::Kind::kFolder:
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly);
      break;
  }
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

void EditorWindow::ShowMessage(MessageIcon icon, const std::string& text,
                               const std::string& details) {
  QMessageBox box(
      icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::Warning,
      Text(editor_words::kProgram), Text(text), QMessageBox::Ok, this);
  if (!details.empty()) box.setInformativeText(Text(details));
  box.exec();
}

int EditorWindow::Ask(const Question& question) {
  QMessageBox box(
      question.icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::Warning,
      Text(question.title), Text(question.text), QMessageBox::NoButton, this);
  if (!question.details.empty()) box.setInformativeText(Text(question.details));
  std::vector<QAbstractButton*> buttons;
  for (std::size_t i = 0; i < question.buttons.size(); ++i) {
    const bool cancel = static_cast<int>(i) == question.cancel_button;
    QPushButton* button = box.addButton(Text(question.buttons[i]),
                                        cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
    if (static_cast<int>(i) == question.default_button) box.setDefaultButton(button);
    if (cancel) box.setEscapeButton(button);
    buttons.push_back(button);
  }
  box.exec();
  const auto pressed = std::find(buttons.begin(), buttons.end(), box.clickedButton());
  return pressed == buttons.end() ? question.cancel_button
                                  : static_cast<int>(pressed - buttons.begin());
}

std::optional<std::size_t> EditorWindow::ShowReport(const Report& report) {
  QDialog dialog(this);
  dialog.setObjectName(QStringLiteral("reportDialog"));
  dialog.setWindowTitle(Text(report.title));
  auto* column = new QVBoxLayout(&dialog);
  auto* summary = Named(new QLabel(Text(report.summary), &dialog), "reportSummary", tr("Summary"));
  summary->setWordWrap(true);
  column->addWidget(summary);
  if (!report.lines.empty()) {
    auto* lines = Named(new QPlainTextEdit(&dialog), "reportLines", tr("Details"));
    lines->setReadOnly(true);
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    QStringList all;
    for (const std::string& line : report.lines) all << Text(line);
    lines->setPlainText(all.join(QLatin1Char('\n')));
    column->addWidget(lines);
  }
  auto* buttons = new QDialogButtonBox(&dialog);
  std::optional<std::size_t> chosen;
  if (report.choices.empty()) {
    buttons->addButton(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::reject);
  } else {
    for (std::size_t i = 0; i < report.choices.size(); ++i) {
      QPushButton* button =
          buttons->addButton(Text(report.choices[i]), QDialogButtonBox::AcceptRole);
      button->setDefault(i == 0);
      connect(button, &QPushButton::clicked, &dialog, [&chosen, &dialog, i] {
        chosen = i;
        dialog.accept();
      });
    }
    buttons->addButton(QDialogButtonBox::Cancel);
  }
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  column->addWidget(buttons);
  dialog.resize(640, report.lines.empty() ? 120 : 360);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return chosen;
}

void EditorWindow::ShowRows(std::size_t) {
  const QScopedValueRollback<bool> quiet(selecting_, true);
  model_->Reset();
}

void EditorWindow::ShowRowsChanged(std::size_t first, std::size_t last) {
  model_->RowsChanged(first, last);
}

void EditorWindow::SelectRow(std::size_t row) {
  const QScopedValueRollback<bool> quiet(selecting_, true);
  const QModelIndex index = model_->index(static_cast<int>(row), kTextColumn);
  table_->selectionModel()->setCurrentIndex(
      index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(index);
}

void EditorWindow::ShowTitle(const std::string& title) { setWindowTitle(Text(title)); }

// The status line's accessible name is its text, so that a screen reader
// reads what happened; it is told of each change.
void EditorWindow::ShowStatus(const std::string& text) {
  status_->setText(Text(text));
  status_->setAccessibleName(text.empty() ? tr("Status") : Text(text));
  QAccessibleEvent changed(status_, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

// What the checks find in the text as it is typed.
void EditorWindow::ShowFindings(const std::vector<std::string>& findings) {
  findings_->setText(Text(FindingsText(findings)));
  findings_->setAccessibleName(findings_->text());
}

void EditorWindow::ShowReviewSummary(const std::string& text) {
  review_->setText(Text(text));
  review_->setAccessibleName(text.empty() ? tr("Checks and progress") : Text(text));
  QAccessibleEvent changed(review_, QAccessible::NameChanged);
  QAccessible::updateAccessibility(&changed);
}

void EditorWindow::ShowCommands(const EditorCommands& commands) {
  if (commands.checking && !review_timer_->isActive()) review_timer_->start();
  // The dictionaries join after the file opens: what is being typed gets
  // its underlines then.
  if (commands.spelling != std::exchange(spelling_shown_, commands.spelling)) Respell();
  table_->setColumnHidden(static_cast<int>(EditorColumn::kReference), !commands.has_reference);
  for (const CommandInfo& info : EditorCommandTable()) {
    QAction* action = Action(info.id);
    action->setEnabled(IsEnabled(info.id, commands));
    action->setChecked(IsChecked(info.id, commands));
    action->setText(Text(Caption(info.id, commands)));
  }
}

// The panel shows only a picture found, and folds away otherwise; what
// the logic says of a missing one stays its tooltip.
void EditorWindow::ShowScreenshot(const std::string& path, const std::string& caption) {
  screenshot_caption_->setText(Text(caption));
  QPixmap picture;
  if (path.empty() || !picture.load(Text(path))) {
    screenshot_->clear();
    side_->hide();
    side_->setToolTip(Text(caption));
    return;
  }
  side_->show();
  if (picture.width() > kScreenshotWidth) {
    picture = picture.scaledToWidth(kScreenshotWidth, Qt::SmoothTransformation);
  }
  screenshot_->setPixmap(picture);
  screenshot_->setAccessibleDescription(Text(caption));
}

void EditorWindow::ShowDetails(const EntryDetails& details) {
  // The entry as it now stands: a text typed in the pane was applied when
  // the pane was left.
  details_slot_ = details.row ? logic_.Row(*details.row).slot : 0;
  details_text_ = Text(details.text);
  details_heading_->setText(Text(details.heading));
  {
    const QSignalBlocker quiet(details_);
    details_->setPlainText(details_text_);
  }
  details_->setReadOnly(!details.editable);
  details_->setEnabled(details.row.has_value());
  details_summary_->setText(Text(details.summary));
  ShowFindings(details.findings);
  findings_->setVisible(details.row.has_value());
  reference_heading_->setVisible(!details.reference_heading.empty());
  reference_heading_->setText(Text(details.reference_heading));
  reference_->setVisible(details.reference.has_value());
  reference_->setPlainText(Text(details.reference.value_or(std::string())));
  details_apply_->setEnabled(false);
}

void EditorWindow::DatabaseSaved(const std::string& path) { emit DatabaseWritten(Text(path)); }

}  // namespace orva
