// The editor window, drawn by Qt: every entry of a database in a table
// (EntryTableModel), a filter box above it, the selected mission's
// screenshot beside it, and menus for files, changes, translations and
// patches. It creates its controls, passes the user's events to EditorLogic,
// which decides what each does, and shows what the logic asks it to.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "window/editor_logic.h"

class QAction;
class QCloseEvent;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPoint;
class QPushButton;
class QSyntaxHighlighter;
class QTableView;
class QTimer;

namespace orva {

class EntryTableModel;

class EditorWindow : public QMainWindow, private EditorView {
  Q_OBJECT

 public:
  explicit EditorWindow(QWidget* parent = nullptr);
  ~EditorWindow() override;

  // Opens the database at `path`, asking first about unsaved changes.
  bool OpenFile(const QString& path) { return logic_.OpenPath(path.toStdString()); }
  // Opens the database at `path` as the reference, read only.
  bool OpenReference(const QString& path) { return logic_.OpenReferencePath(path.toStdString()); }
  QString DatabasePath() const { return QString::fromStdString(logic_.DatabasePath()); }
  // Whether the entries are still being checked, a slice whenever the
  // window is idle.
  bool Reviewing() const { return logic_.reviewing(); }

 signals:
  // The database at `path` was written.
  void DatabaseWritten(const QString& path);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateControls();
  void ConnectControls();
  void Run(EditorCommand command);
  void ApplyDetails();
  void EditSelectedText();
  void AddMission();
  void RemoveSelected();
  void FindAndReplace();
  void ShowFindings(const std::vector<std::string>& findings);
  void PreviewDetails();
  void OfferSpelling(QWidget* box, int position, const QPoint& at, bool with_box_menu = true);
  void OfferSpellingAtCursor();
  void ReplaceMisspelt(QWidget* box, const MisspeltSpan& span, const QString& suggestion);
  void Respell();

  // EditorView: what the logic asks of the window.
  std::optional<std::string> ChooseFile(const FileRequest& request) override;
  void ShowMessage(MessageIcon icon, const std::string& text, const std::string& details) override;
  int Ask(const Question& question) override;
  std::optional<std::size_t> ShowReport(const Report& report) override;
  void ShowRows(std::size_t count) override;
  void ShowRowsChanged(std::size_t first, std::size_t last) override;
  void SelectRow(std::size_t row) override;
  void ShowTitle(const std::string& title) override;
  void ShowStatus(const std::string& text) override;
  void ShowReviewSummary(const std::string& text) override;
  void ShowCommands(const EditorCommands& commands) override;
  void ShowScreenshot(const std::string& path, const std::string& caption) override;
  void ShowDetails(const EntryDetails& details) override;
  void DatabaseSaved(const std::string& path) override;

  EditorLogic logic_{*this};
  EntryTableModel* model_ = nullptr;
  // While the logic moves the selection, the view's signals are not passed back.
  bool selecting_ = false;

  QLineEdit* filter_ = nullptr;
  QTableView* table_ = nullptr;
  QWidget* side_ = nullptr;  // the screenshot's panel
  QLabel* screenshot_ = nullptr;
  QLabel* screenshot_caption_ = nullptr;
  QLabel* status_ = nullptr;
  QLabel* review_ = nullptr;        // the checks' summary and the progress
  QTimer* review_timer_ = nullptr;  // runs while the review's pass does
  bool spelling_shown_ = false;     // the underlines are drawn with a spell checker
  QLabel* preview_ = nullptr;       // what the text being edited would be
  // The details pane: the selected entry's row and text as given.
  QLabel* details_heading_ = nullptr;
  QLabel* reference_heading_ = nullptr;  // the reference's text above the entry's
  QPlainTextEdit* reference_ = nullptr;
  QLabel* findings_ = nullptr;  // what the checks find in the text as typed
  QPlainTextEdit* details_ = nullptr;
  QSyntaxHighlighter* spelling_ = nullptr;  // the misspelt words of details_
  QLabel* details_summary_ = nullptr;
  QPushButton* details_apply_ = nullptr;
  // The slot of the entry the details pane shows (0: none, or a removed
  // entry's), and its row now: the rows may move under it as the review's
  // pass adds those a filter keeps.
  std::size_t details_slot_ = 0;
  std::optional<std::size_t> DetailsRow() const {
    return details_slot_ == 0 ? std::nullopt : logic_.RowOfSlot(details_slot_);
  }
  QString details_text_;

  // The commands of the table, by id.
  QAction* Action(EditorCommand command) const {
    return actions_[static_cast<std::size_t>(command)];
  }
  std::array<QAction*, kEditorCommandCount> actions_{};
};

}  // namespace orva
