#include "window/qt/editor_window.h"

#include <QAbstractButton>
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
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSplitter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <tuple>
#include <utility>
#include <vector>

#include "resources/icon.h"
#include "window/qt/entry_table_model.h"

namespace orva {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

constexpr int kTextColumn = static_cast<int>(EditorColumn::kText);
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

// The editor of a row's text: Enter applies it unless the preview refuses
// it, Esc leaves the text as it was. Each keystroke asks for the preview.
class TextDelegate : public QStyledItemDelegate {
 public:
  using Preview = std::function<TextPreview(int row, const std::string& text)>;
  using Show = std::function<void(const TextPreview*)>;

  TextDelegate(Preview preview, Show show, QObject* parent)
      : QStyledItemDelegate(parent), preview_(std::move(preview)), show_(std::move(show)) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                        const QModelIndex& index) const override {
    auto* box = Named(new QLineEdit(parent), "textEditor", QStringLiteral("Text of the entry"));
    box->setAccessibleDescription(
        QStringLiteral("Enter applies the text, Esc leaves it as it was. Tabs and line breaks "
                       "show as ␉, ␊ and ␍."));
    const int row = index.row();
    connect(box, &QLineEdit::textChanged, box, [this, box, row](const QString& text) {
      const TextPreview preview = preview_(row, text.toStdString());
      MarkRefused(box, !preview.can_apply);
      show_(&preview);
    });
    connect(box, &QObject::destroyed, this, [show = show_] { show(nullptr); });
    box->installEventFilter(const_cast<TextDelegate*>(this));
    return box;
  }

 protected:
  // Enter on a text that cannot be stored stays in the box, with the bell.
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* box = qobject_cast<QLineEdit*>(watched);
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
};

}  // namespace

EditorWindow::EditorWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("EditorWindow"));
  setWindowIcon(icon::WindowIcon());
  setAttribute(Qt::WA_DeleteOnClose, false);
  CreateActions();
  CreateMenus();
  CreateControls();
  ConnectControls();
  ShowTitle(logic_.Title());
  ShowCommands(logic_.Commands());
  resize(960, 600);
}

EditorWindow::~EditorWindow() = default;

// The commands, each with its shortcut; those that act on the table's rows
// (F2, Insert, Delete) only while the table has the focus, so that the
// filter box keeps its own keys.
void EditorWindow::CreateActions() {
  auto action = [this](const char* name, const QString& caption, auto slot,
                       const QKeySequence& shortcut = {}) {
    auto* made = new QAction(caption, this);
    made->setObjectName(QString::fromLatin1(name));
    made->setShortcut(shortcut);
    connect(made, &QAction::triggered, this, slot);
    addAction(made);
    return made;
  };
  need_database_ = new QActionGroup(this);
  need_database_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  need_comparison_ = new QActionGroup(this);
  need_comparison_->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);

  action(
      "openAction", tr("&Open…"), [this] { logic_.Open(); }, QKeySequence::Open);
  need_database_->addAction(action(
      "reloadAction", tr("&Read Again"), [this] { logic_.Reload(); }, Qt::Key_F5));
  save_ = action(
      "saveAction", tr("&Save"), [this] { (void)logic_.Save(); }, QKeySequence::Save);
  need_database_->addAction(action(
      "saveAsAction", tr("Save &As…"), [this] { (void)logic_.SaveAs(); },
      QKeySequence(tr("Ctrl+Shift+S"))));
  need_database_->addAction(
      action("exportAction", tr("&Export Texts…"), [this] { logic_.Export(); }));
  need_database_->addAction(
      action("importAction", tr("&Import Translations…"), [this] { logic_.Import(); }));
  action(
      "closeAction", tr("&Close"), [this] { close(); }, QKeySequence(tr("Ctrl+W")));

  undo_ = action(
      "undoAction", tr("&Undo"), [this] { (void)logic_.Undo(); }, QKeySequence::Undo);
  redo_ = action("redoAction", tr("&Redo"), [this] { (void)logic_.Redo(); });
  redo_->setShortcuts({QKeySequence(tr("Ctrl+Y")), QKeySequence(tr("Ctrl+Shift+Z"))});
  edit_text_ = action(
      "editTextAction", tr("&Edit Text"), [this] { EditSelectedText(); }, Qt::Key_F2);
  need_database_->addAction(action(
      "addMissionAction", tr("&Add Mission…"), [this] { AddMission(); }, Qt::Key_Insert));
  remove_ = action(
      "removeAction", tr("Re&move Entry"), [this] { RemoveSelected(); }, Qt::Key_Delete);
  action(
      "filterAction", tr("&Filter"),
      [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
      },
      QKeySequence::Find);
  need_database_->addAction(action(
      "replaceAction", tr("Find and &Replace…"), [this] { FindAndReplace(); },
      QKeySequence(tr("Ctrl+H"))));

  need_database_->addAction(
      action("compareAction", tr("&Compare With…"), [this] { logic_.Compare(); }));
  changed_only_ = action("changedOnlyAction", tr("Changed &Only"),
                         [this](bool checked) { logic_.SetChangedOnly(checked); });
  changed_only_->setCheckable(true);
  need_comparison_->addAction(changed_only_);
  need_comparison_->addAction(
      action("makePatchAction", tr("&Make Patch…"), [this] { logic_.MakePatch(); }));
  need_comparison_->addAction(
      action("endComparisonAction", tr("&End Comparison"), [this] { logic_.EndComparison(); }));
  need_database_->addAction(
      action("applyPatchAction", tr("&Apply Patch…"), [this] { logic_.ApplyPatch(); }));
  action("screenshotFolderAction", tr("Screenshots &Folder…"),
         [this] { logic_.ChooseScreenshotFolder(); });
}

void EditorWindow::CreateMenus() {
  auto find = [this](const char* name) { return findChild<QAction*>(QString::fromLatin1(name)); };
  auto menu = [this](const char* name, const QString& caption) {
    QMenu* made = menuBar()->addMenu(caption);
    made->setObjectName(QString::fromLatin1(name));
    return made;
  };
  QMenu* file = menu("fileMenu", tr("&File"));
  file->addActions({find("openAction"), find("reloadAction"), save_, find("saveAsAction")});
  QMenu* backups = file->addMenu(tr("&Backups"));
  backups->setObjectName(QStringLiteral("backupMenu"));
  auto* kinds = new QActionGroup(this);
  for (const auto& [name, caption, kind] :
       {std::tuple("noBackupAction", tr("&No Backup"), BackupKind::kNone),
        std::tuple("simpleBackupAction", tr("&Simple (FILE~)"), BackupKind::kSimple),
        std::tuple("numberedBackupAction", tr("N&umbered (FILE.~N~)"), BackupKind::kNumbered)}) {
    QAction* choice = backups->addAction(caption);
    choice->setObjectName(QString::fromLatin1(name));
    choice->setCheckable(true);
    choice->setChecked(kind == logic_.backup());
    kinds->addAction(choice);
    connect(choice, &QAction::triggered, this, [this, kind = kind] { logic_.SetBackup(kind); });
  }
  file->addSeparator();
  file->addActions({find("exportAction"), find("importAction")});
  file->addSeparator();
  file->addAction(find("closeAction"));

  QMenu* edit = menu("editMenu", tr("&Edit"));
  edit->addActions({undo_, redo_});
  edit->addSeparator();
  edit->addActions({edit_text_, find("addMissionAction"), remove_});
  edit->addSeparator();
  edit->addActions({find("filterAction"), find("replaceAction")});

  QMenu* compare = menu("compareMenu", tr("&Compare"));
  compare->addActions(
      {find("compareAction"), changed_only_, find("makePatchAction"), find("endComparisonAction")});
  compare->addSeparator();
  compare->addAction(find("applyPatchAction"));

  QMenu* view = menu("viewMenu", tr("&View"));
  view->addAction(find("screenshotFolderAction"));
}

void EditorWindow::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  auto* column = new QVBoxLayout(client);

  auto* filter_row = new QHBoxLayout;
  auto* filter_label = new QLabel(tr("&Filter:"), client);
  filter_label->setObjectName(QStringLiteral("filterLabel"));
  filter_ = Named(new QLineEdit(client), "filter", tr("Filter"));
  filter_->setPlaceholderText(tr("id, image name or text (Ctrl+F)"));
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
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setItemDelegateForColumn(
      kTextColumn,
      new TextDelegate(
          [this](int row, const std::string& text) {
            return logic_.PreviewText(static_cast<std::size_t>(row), text);
          },
          [this](const TextPreview* preview) {
            if (preview == nullptr) {
              preview_->clear();
              return;
            }
            preview_->setText(Text(preview->problem.empty() ? preview->summary : preview->problem));
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
        std::pair(EditorColumn::kBytes, 6)}) {
    table_->setColumnWidth(static_cast<int>(section), digit * digits);
  }
  for (QAction* row_action :
       {edit_text_, findChild<QAction*>(QStringLiteral("addMissionAction")), remove_}) {
    row_action->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(row_action);
  }

  auto* side = new QWidget(splitter);
  side->setObjectName(QStringLiteral("screenshotPanel"));
  auto* side_column = new QVBoxLayout(side);
  screenshot_ = Named(new QLabel(side), "screenshot", tr("Screenshot"));
  screenshot_->setAlignment(Qt::AlignHCenter | Qt::AlignBottom);
  screenshot_->setMinimumSize(kScreenshotWidth / 2, kScreenshotWidth * 3 / 8);
  screenshot_caption_ = Named(new QLabel(side), "screenshotCaption", tr("Screenshot file"));
  screenshot_caption_->setWordWrap(true);
  screenshot_caption_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  side_column->addWidget(screenshot_);
  side_column->addWidget(screenshot_caption_);
  side_column->addStretch();
  splitter->addWidget(table_);
  splitter->addWidget(side);
  splitter->setStretchFactor(0, 1);
  splitter->setSizes({700, kScreenshotWidth});
  column->addWidget(splitter, 1);
  setCentralWidget(client);

  status_ = Named(new QLabel(this), "status", tr("Status"));
  preview_ = Named(new QLabel(this), "preview", tr("Preview of the text being edited"));
  statusBar()->addWidget(status_, 1);
  statusBar()->addPermanentWidget(preview_);
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
  connect(table_, &QTableView::doubleClicked, this, [this] { EditSelectedText(); });
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
  dialog.setWindowTitle(tr("Add Mission"));
  auto* form = new QFormLayout(&dialog);
  auto* box = Named(new QLineEdit(&dialog), "missionText", tr("Mission text"));
  box->setMaxLength(static_cast<int>(format::kMaxNewTextLength));
  auto* label = new QLabel(tr("&Text:"), &dialog);
  label->setBuddy(box);
  auto* preview = Named(new QLabel(&dialog), "missionPreview", tr("Preview"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(tr("&Add"));
  form->addRow(label, box);
  form->addRow(preview);
  form->addRow(buttons);
  auto update = [&] {
    const TextPreview shown = logic_.PreviewMission(box->text().toStdString());
    preview->setText(
        Text(shown.problem.empty() || box->text().isEmpty() ? shown.summary : shown.problem));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(shown.can_apply);
    MarkRefused(box, !shown.can_apply && !box->text().isEmpty());
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
  dialog.setWindowTitle(tr("Find and Replace"));
  auto* form = new QFormLayout(&dialog);
  auto* find = Named(new QLineEdit(&dialog), "findText", tr("Find"));
  auto* by = Named(new QLineEdit(&dialog), "replacementText", tr("Replace with"));
  auto* regex =
      Named(new QCheckBox(tr("Regular e&xpression"), &dialog), "regex", tr("Regular expression"));
  auto* match_case =
      Named(new QCheckBox(tr("Match &case"), &dialog), "matchCase", tr("Match case"));
  auto* count = Named(new QLabel(&dialog), "occurrences", tr("Occurrences"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QPushButton* replace = buttons->addButton(tr("Replace &All"), QDialogButtonBox::ActionRole);
  replace->setObjectName(QStringLiteral("replaceAll"));
  auto* find_label = new QLabel(tr("&Find:"), &dialog);
  find_label->setBuddy(find);
  auto* by_label = new QLabel(tr("Replace &with:"), &dialog);
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
      windowTitle(), Text(text), QMessageBox::Ok, this);
  if (!details.empty()) box.setInformativeText(Text(details));
  box.exec();
}

int EditorWindow::Ask(const Question& question) {
  QMessageBox box(
      question.icon == MessageIcon::kInformation ? QMessageBox::Information : QMessageBox::Warning,
      windowTitle(), Text(question.text), QMessageBox::NoButton, this);
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

void EditorWindow::ShowStatus(const std::string& text) { status_->setText(Text(text)); }

void EditorWindow::ShowCommands(const EditorCommands& commands) {
  need_database_->setEnabled(commands.has_database);
  need_comparison_->setEnabled(commands.comparing);
  save_->setEnabled(commands.can_save);
  undo_->setEnabled(commands.can_undo);
  undo_->setText(Text(commands.undo_text));
  redo_->setEnabled(commands.can_redo);
  redo_->setText(Text(commands.redo_text));
  edit_text_->setEnabled(commands.can_edit);
  remove_->setEnabled(commands.can_remove);
  changed_only_->setChecked(commands.changed_only);
}

void EditorWindow::ShowScreenshot(const std::string& path, const std::string& caption) {
  screenshot_caption_->setText(Text(caption));
  QPixmap picture;
  if (path.empty() || !picture.load(Text(path))) {
    screenshot_->clear();
    if (!path.empty()) screenshot_caption_->setText(Text(caption) + tr(" cannot be read."));
    return;
  }
  if (picture.width() > kScreenshotWidth) {
    picture = picture.scaledToWidth(kScreenshotWidth, Qt::SmoothTransformation);
  }
  screenshot_->setPixmap(picture);
  screenshot_->setAccessibleDescription(Text(caption));
}

void EditorWindow::DatabaseSaved(const std::string& path) { emit DatabaseWritten(Text(path)); }

}  // namespace orva
