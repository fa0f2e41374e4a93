// What the editor window does, whichever toolkit draws it: every entry of a
// database in one table, edited in memory through an EditSession (texts set,
// missions added, entries removed, texts replaced, translations imported,
// patches applied, each change undone and redone) and saved with one rewrite.
//
// The table is the database's entry table, row for row, or the rows a filter
// keeps. A database of 64 MiB has about a million entries, so no row is kept
// as text: a view asks for the rows it draws (RowCount, Row) and is told when
// they change (ShowRows, ShowRowsChanged). Texts and paths are UTF-8 both
// ways; a view converts at its edge. Plain C++: no toolkit.
//
// In a row's text every control character is drawn as its symbol (a tab as
// ␉, a line feed as ␊, a carriage return as ␍) and the byte 0x98, which has
// no character in Windows-1251, as �. None of these symbols can be stored,
// so an edited text gives back exactly the bytes it showed, and typing a
// symbol gives its byte.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "database/format.h"
#include "spelling/spell_checker.h"
#include "storage/backup.h"
#include "storage/file_system.h"
#include "storage/status.h"
#include "window/editor_commands.h"
#include "window/editor_display.h"
#include "window/editor_review.h"
#include "window/form1_logic.h"

namespace orva {

struct SessionEdit;

// Rows first ... last, both included: a part of a selection of rows.
struct RowSpan {
  std::size_t first = 0;
  std::size_t last = 0;
};

// A file dialog: an existing file to read, a file to write (the dialog asks
// before replacing one), or a folder.
struct FileRequest {
  enum class Kind { kOpen, kSave, kFolder };
  struct Filter {
    std::string description;  // "PO files"
    std::string patterns;     // "*.po", or several: "*.po *.csv"
  };
  Kind kind = Kind::kOpen;
  std::string title;
  std::vector<Filter> filters;  // the first is the default; none for a folder
  std::string start_path;       // the file or folder the dialog starts with; empty for its default
};

// A modal question with its own buttons, such as Save/Discard/Cancel.
struct Question {
  std::string title{editor_words::kProgram};  // the box's; short, not cut off
  MessageIcon icon = MessageIcon::kExclamation;
  std::string text;
  std::string details;               // plain words below the text, may be empty
  std::vector<std::string> buttons;  // captions, left to right
  int default_button = 0;            // what Enter presses
  int cancel_button = 0;             // what Esc and closing the box press
};

// A report to read: an import's or a patch's counts and problems, what a
// comparison finds besides the entries. `choices` are the captions of the
// buttons that go on ("Apply"), left to right, Cancel after them; none for a
// report that only informs (one OK button).
struct Report {
  std::string title;
  std::string summary;             // one line of counts
  std::vector<std::string> lines;  // each problem or entry, with file and line where it has one
  std::vector<std::string> choices;
};

// What a text typed for a row or for a new mission would be. A view shows
// the summary and, apart and marked, the problem; where it has one line for
// both, Line().
struct TextPreview {
  std::size_t bytes = 0;      // as it would be stored, without its NUL
  std::size_t old_bytes = 0;  // the row's text now; 0 for a new mission
  std::string summary;        // "23 bytes (was 20)", or "12 of 45 characters, 12 bytes"
  std::string problem;        // why it cannot be stored; empty when it can, or is not typed yet
  bool can_apply = false;
  // What the checks find in the text as typed (FindingLine), errors and
  // warnings alike; applying it is still allowed.
  std::vector<std::string> findings;

  std::string Line() const {
    if (problem.empty()) return summary;
    return summary.empty() ? problem : summary + " · " + problem;
  }
};

// The selected entry, whole, for the details pane below the table.
struct EntryDetails {
  std::optional<std::size_t> row;  // none: nothing is selected
  std::string heading;             // "5001 · mission · slot 2"
  std::string text;                // the whole text as EditableText gives it
  std::string summary;             // "22 bytes", and for a mission what the main window shows
  bool editable = false;           // not a removed entry
  // The reference's text, drawn as `text` is, where a reference is open and
  // has a partner for the entry; shown above the text.
  std::optional<std::string> reference;
  std::string reference_heading;  // "Reference (textdb_00.def)", or why there is none
  // What the checks find in the text as it stands; a pane that edits the
  // text shows PreviewText's findings instead, as the user types.
  std::vector<std::string> findings;
};

// A misspelt word of a text being typed: [from, to) in UTF-16 code units of
// the text as the view holds it (both toolkits count a text's characters
// so), and the word itself.
struct MisspeltSpan {
  std::size_t from = 0;
  std::size_t to = 0;
  std::string word;  // UTF-8
  friend bool operator==(const MisspeltSpan&, const MisspeltSpan&) = default;
};

// What the spelling menu offers for the misspelt word at a place of a text.
struct SpellingChoices {
  MisspeltSpan span;
  std::vector<std::string> suggestions;  // UTF-8, best first; may be none
};

struct ReplaceRequest {
  std::string find;
  std::string replacement;
  bool regex = false;
  bool match_case = false;
};

struct ReplacePreview {
  std::size_t occurrences = 0;  // in every text
  std::size_t texts = 0;        // that would change
  std::string summary;          // "12 occurrences in 5 texts"
  std::string problem;          // why it cannot be done, empty when it can
};

// What the logic asks of a view. Every call is made on the window's thread
// and returns once done; dialogs and boxes are modal.
class EditorView {
 public:
  virtual ~EditorView() = default;

  // A file dialog: the chosen path, or nothing on Cancel.
  virtual std::optional<std::string> ChooseFile(const FileRequest& request) = 0;
  // A modal box as Form1View's: the icon, `text`, `details` below it, OK.
  virtual void ShowMessage(MessageIcon icon, const std::string& text,
                           const std::string& details) = 0;
  // Asks and returns the index of the button pressed.
  virtual int Ask(const Question& question) = 0;
  // Shows a report: the index of the choice pressed, or nothing for Cancel
  // or OK.
  virtual std::optional<std::size_t> ShowReport(const Report& report) = 0;

  // The table: every row may differ, there are now `count` rows (RowCount),
  // none selected. A view asks for the rows it draws.
  virtual void ShowRows(std::size_t count) = 0;
  // Rows first ... last (inclusive) have new contents; the rows stay.
  virtual void ShowRowsChanged(std::size_t first, std::size_t last) = 0;
  // Selects the row and scrolls it into view. A view does not pass this
  // selection back as a SelectionChanged: the logic has already acted on it.
  virtual void SelectRow(std::size_t row) = 0;
  virtual void ShowTitle(const std::string& title) = 0;
  // The status line: "12 of 970001 entries", the last command's outcome.
  // While comparing, the removed entries shown are counted apart: "970001
  // entries and 3 removed".
  virtual void ShowStatus(const std::string& text) = 0;
  // The checks' summary and the progress, in a part of the status line of
  // its own: "2 errors, 5 warnings · missions 12 of 40 translated, others
  // 800 of 900"; empty without a database.
  virtual void ShowReviewSummary(const std::string& text) = 0;
  virtual void ShowCommands(const EditorCommands& commands) = 0;
  // The selected mission's screenshot: a path to an existing image, or empty
  // for none, with `caption` saying which file it is or why there is none.
  virtual void ShowScreenshot(const std::string& path, const std::string& caption) = 0;
  // The selected entry in the details pane; called whenever the selection
  // or its entry changes. The pane edits through PreviewText and SetText.
  virtual void ShowDetails(const EntryDetails& details) = 0;
  // The database at `path` was written: another window showing it may read it
  // again.
  virtual void DatabaseSaved(const std::string& path) = 0;
};

class EditorLogic {
 public:
  // Both outlive the logic. The view starts empty: no rows, no database.
  explicit EditorLogic(EditorView& view, FileSystem& fs = DefaultFileSystem());
  ~EditorLogic();
  EditorLogic(const EditorLogic&) = delete;
  EditorLogic& operator=(const EditorLogic&) = delete;

  // --- Files. Each that would leave unsaved changes behind asks first:
  // Save, Discard or Cancel. ---

  // Open (Ctrl+O): asks for a database in a file dialog, then as OpenPath.
  void Open();
  // Opens the database at `path`: a refused one is told and leaves the
  // database open before as it was.
  bool OpenPath(const std::string& path);
  // Reads the database's file again, dropping the changes and their undo.
  void Reload();
  // Save (Ctrl+S): every change in one rewrite, with the backup chosen. A
  // file that another program changed since it was read is not written; the
  // user is told and offered to read it again.
  bool Save();
  // Save As: to another file, which the editor then edits.
  bool SaveAs();
  bool SaveAsPath(const std::string& path);
  // Whether the window may close now: asks about unsaved changes first.
  bool CanClose();

  void SetBackup(BackupKind kind);
  BackupKind backup() const { return backup_.kind; }

  // --- The table ---

  std::size_t RowCount() const;
  // The row at `row` (below RowCount), made when asked.
  EditorRow Row(std::size_t row) const;
  // The selection moved to `row`, or to none: the current row, which the
  // details pane, F2, Remove and the rest act on. It is then the only row
  // selected until the view tells SelectedRowsChanged.
  void SelectionChanged(std::optional<std::size_t> row);
  std::optional<std::size_t> SelectedRow() const;
  // The rows selected now, in any order, the current row usually among
  // them: Copy Reference to Text acts on them all. Rows past the table are
  // left out. A view tells each change the user makes; when the logic shows
  // the rows anew (ShowRows) none stays selected, and its SelectRow leaves
  // that row alone selected.
  void SelectedRowsChanged(std::span<const RowSpan> rows);
  // The rows selected, in order: those told, or the current row where none
  // was.
  std::vector<std::size_t> SelectedRows() const;
  // The row that shows the entry in table slot `slot`, if one does: a view
  // that acts later on a row it was given finds it again by its slot.
  std::optional<std::size_t> RowOfSlot(std::size_t slot) const;

  // The filter (Ctrl+F): the rows whose id, image name or text holds `text`,
  // ignoring case as `orva-cli entries --match` does; empty shows every row.
  // After each change the filter chooses again, the rows just changed or
  // added staying in sight.
  void SetFilter(std::string_view text);
  const std::string& filter() const { return filter_; }

  // --- Changes, each one undo step; a refusal is told and changes nothing ---

  // The row's text as the user types it, before it is applied (F2).
  TextPreview PreviewText(std::size_t row, std::string_view text) const;
  // The text the editor box starts with: the row's text as shown.
  std::string EditableText(std::size_t row) const;
  // The row's entry for the details pane.
  EntryDetails Details(std::optional<std::size_t> row) const;
  // The title of the dialog that edits the row's text.
  std::string EditTitle(std::size_t row) const;
  bool SetText(std::size_t row, std::string_view text);
  // A new mission before the end marker, as the main window's Insert makes it.
  TextPreview PreviewMission(std::string_view text) const;
  bool AddMission(std::string_view text);
  // Removes the row's entry (never the end marker). A removed entry's row,
  // which a comparison shows, can be neither edited nor removed, nor can
  // the row of an entry that only the reference has.
  bool Remove(std::size_t row);
  bool Undo();
  bool Redo();
  // Find and replace (Ctrl+H) in every text.
  ReplacePreview PreviewReplace(const ReplaceRequest& request) const;
  // Asks with the count of occurrences first, then replaces them all.
  bool ReplaceAll(const ReplaceRequest& request);

  // --- Translation files, through the same code as orva-cli ---

  // Asks for a PO or CSV file and writes every entry to it, as it stands.
  void Export();
  bool ExportTo(const std::string& path);
  // Asks for a PO or CSV file, shows what importing it would do, and on
  // Apply puts every translation in as one step. Translations of texts that
  // have changed since the file was made are skipped or applied as well, as
  // the user chooses (orva-cli import --source-changed).
  void Import();
  bool ImportFrom(const std::string& path);

  // --- The reference and the checks ---

  // File ▸ Open Reference: asks for a database, then as OpenReferencePath.
  void OpenReference();
  // Opens the database at `path` read only beside this one: a Reference
  // column joined by id, the checks against its texts, the progress. A
  // refused one is told and leaves the reference before as it was.
  bool OpenReferencePath(const std::string& path);
  void CloseReference();
  // Copies the reference's text to each of these rows' texts that has a
  // partner, as one undo step: "Copy reference to 3 texts".
  bool CopyReference(std::span<const std::size_t> rows);
  // Shows only the rows the review keeps (editor_review.h), besides the
  // filter's text. Only in the Reference shows instead the reference's
  // entries that nothing here pairs with, in the reference's order: rows
  // that are read only, with nothing in the Text column and the entry's
  // text in the Reference column. Both need a reference.
  void SetReviewFilter(ReviewFilter filter);
  ReviewFilter review_filter() const { return review_filter_; }
  const EditorReview& review() const { return review_; }

  // Checks every entry again, from the first: after the rules, the
  // reference or the words the checks know changed. The checks are made a
  // slice at a time by ContinueReview; until then the rows not checked say
  // so and the filters by findings leave them out.
  void ReviewAgain();
  // Checks the next entries for about `budget` (always a few), and shows
  // what they found: a view calls it while idle, as long as it returns
  // true (more remains).
  bool ContinueReview(std::chrono::milliseconds budget = kReviewSlice);
  // Stop Checking (Esc): the pass ends where it is; the status line says
  // how many entries were checked and how many were not.
  void StopReview();
  // Continue Checking: a pass stopped goes on where it was, the entries
  // checked meanwhile skipped.
  void ContinueStoppedReview();
  // Whether a pass runs, or the dictionaries are still being read: a view
  // keeps calling ContinueReview while it does.
  bool reviewing() const { return reviewing_ || joining_.has_value(); }
  static constexpr std::chrono::milliseconds kReviewSlice{20};
  // --- Spelling ---
  //
  // The spell checker opens with the database, with the rules beside it
  // (orva-rules.json, or the defaults) and the team's word list there
  // (orva-words.txt); its findings are among the review's. Without the
  // dictionaries the editor goes on without spelling and says why in the
  // status line.

  // Where the dictionaries are looked for at the next open: the program's
  // own folder (DefaultDictionaryFolder) unless another is given.
  void SetDictionaryFolder(const std::string& folder);
  // Whether a spell checker is open.
  bool spelling() const;
  // Whether the dictionaries of the file opened are still being read: the
  // table is there meanwhile, and spelling joins the checks once they are
  // (the pass waits for them, and ContinueReview waits up to its budget).
  bool reading_dictionaries() const { return joining_.has_value(); }
  // The misspelt words of `text` (as typed, with the symbols of
  // EditableText), left to right; none for a row whose id the rules leave
  // out of the spelling check. Verdicts are cached, so a keystroke costs
  // about one dictionary look-up for the word being typed.
  std::vector<MisspeltSpan> MisspeltSpans(std::string_view text,
                                          std::optional<std::size_t> row = std::nullopt) const;
  // The misspelt word that `position` (UTF-16 code units) is in or just
  // after, with the dictionary's suggestions; none when no misspelt word is
  // there.
  std::optional<SpellingChoices> SpellingAt(std::string_view text, std::size_t position) const;
  // Why SpellingAt found nothing to offer, for the status line.
  std::string_view NoSpellingChoices() const;
  // Adds the word to the team's word list beside the rules, crash-safely,
  // and checks everything again; a refusal is told and changes nothing.
  bool AddToDictionary(std::string_view word);
  // Accepts the word until the editor closes, and checks everything again.
  void IgnoreWord(std::string_view word);
  // Accepts е where the dictionary writes ё (the command "Accept е for ё");
  // it starts as the rules' "accept-ye-for-yo" says.
  void SetAcceptYeForYo(bool accept);

  // --- Comparison and patches ---

  // Asks for another database and marks the rows added or changed since it;
  // the entries it has and this one has not are rows too, marked removed,
  // each where it was: after the entry that came before it there, as
  // `orva-cli diff` pairs the entries. What else differs is reported.
  void Compare();
  bool CompareWith(const std::string& path);
  void EndComparison();
  // Shows only the rows the comparison marks, the removed ones among them.
  void SetChangedOnly(bool changed_only);
  // Writes the patch that makes this database from the one compared with.
  void MakePatch();
  bool MakePatchTo(const std::string& path);
  // Asks for a patch file and applies it as one step.
  void ApplyPatch();
  bool ApplyPatchFrom(const std::string& path);

  // --- The screenshot ---

  // Where shotNNN.bmp files are looked for: the database's folder unless a
  // folder was chosen.
  void ChooseScreenshotFolder();
  void SetScreenshotFolder(const std::string& folder);

  // --- Commands ---

  // Does a command of the table (editor_commands.h) that is not the view's
  // own, when it is enabled now: a menu item, a shortcut.
  void Run(EditorCommand command);
  // Help ▸ About: the program's name and version.
  void ShowAbout();
  // Help ▸ Keys: every key and what it does.
  void ShowKeys();

  // --- The state, for views and tests ---

  bool has_database() const;
  bool modified() const;
  // The database's path; empty without one.
  std::string DatabasePath() const;
  std::string Title() const;
  EditorCommands Commands() const;

 private:
  struct State;

  bool OpenFile(const std::filesystem::path& file);
  std::filesystem::path SessionPath() const;
  void Saved(const std::string& warning);
  bool Changed(const Result<SessionEdit>& edit, std::string_view refused, const std::string& note);
  void ShowChosenRows();
  // The view's table shows its rows anew, none selected; or the one row
  // selected, alone; either way the rows selected are that row or none.
  void MarkOnly(std::optional<std::size_t> row);
  void ShowRowsAnew();
  void SelectInView(std::size_t row);
  // Whether Copy Reference to Text changes the row: one of this database's
  // with a partner in the reference.
  bool Copyable(std::size_t row) const;
  std::filesystem::path ScreenshotFolder() const;
  void ShowScreenshot();
  void ShowScreenshotOf(std::int32_t id);
  void ShowSelected();
  std::string RowsText() const;
  void ShowStatusLine(const std::string& note);
  void StartReview();
  void ShowRowsKept();
  struct RulesBeside;
  RulesBeside ReadRules(const std::filesystem::path& database) const;
  void UseRules(RulesBeside read);
  void StartSpelling(const std::filesystem::path& rules_folder);
  std::string ReviewText() const;
  void Refresh(const std::string& note);
  SpellChecker* Speller() const;
  // The spell checker of the file opened last, once its dictionaries are
  // read (at once with `wait`): spelling joins the checks, and the entries
  // checked meanwhile are checked again.
  void JoinSpelling(bool wait);
  // Checks every entry again, after what the spell checker accepts changed.
  void ReviewWordsAgain();

  EditorView& view_;
  FileSystem& fs_;
  BackupPolicy backup_;
  std::string filter_;
  std::vector<std::byte> filter_folded_;     // its stored bytes, case folded; none when it has none
  std::filesystem::path screenshot_folder_;  // empty: the database's folder
  std::filesystem::path dictionary_folder_;  // empty: DefaultDictionaryFolder()
  std::string spelling_note_;                // why spelling is off, told once an open
  EditorReview review_;
  ReviewFilter review_filter_ = ReviewFilter::kAll;
  bool reviewing_ = false;  // a pass checks the entries a slice at a time
  // The spell checker of the file before, from new rules until the new
  // dictionaries are read: hunspell makes and drops its dictionaries one at
  // a time. Declared before `joining_`, so that it goes after the reading.
  std::shared_ptr<SpellChecker> spelling_before_;
  // The dictionaries of the file opened last while they are read (the table
  // is shown meanwhile, and the pass waits for them); destroyed, it waits
  // for its thread.
  std::optional<SpellCheckerOpening> joining_;
  std::string note_;  // the status line's note, kept while the pass counts
  std::unique_ptr<State> state_;
};

}  // namespace orva
