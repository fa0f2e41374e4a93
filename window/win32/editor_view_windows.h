// The editor window drawn with Windows' own controls: every entry of a
// database in comctl32's list view, virtual (it asks EditorLogic for the
// rows it draws, so a million entries cost what a screenful does), a filter
// box above it, a details pane below it with the selected entry's whole
// text, the selected mission's screenshot beside it when there is one and a
// status bar below; a menu bar and an accelerator table built from the
// editor's command table (editor_commands.h); the file
// dialogs of the shell, task dialogs for questions, message boxes, and the
// editor's own dialogs (editor_dialogs_windows.h). Sizes follow the dots per
// inch of the monitor the window is on. What the window does is
// EditorLogic's: this class only creates the controls, passes their events
// on and does what the logic asks.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "window/editor_logic.h"
#include "window/win32/editor_menus_windows.h"
#include "window/win32/spelling_box_windows.h"
#include "window/win32/top_window_windows.h"

namespace orva::win32 {

// The window class and the controls' ids, which the tests look for.
inline constexpr wchar_t kEditorWindowClass[] = L"OrvaEditor";
inline constexpr int kEditorFilterLabelId = 201;
inline constexpr int kEditorFilterId = 202;
inline constexpr int kEditorTableLabelId = 203;  // seen by screen readers alone
inline constexpr int kEditorTableId = 204;
inline constexpr int kEditorShotCaptionId = 205;
inline constexpr int kEditorShotId = 206;
inline constexpr int kEditorStatusId = 207;
inline constexpr int kEditorDetailsHeadingId = 208;  // "Details: 5001 · mission · slot 2"
inline constexpr int kEditorDetailsId = 209;         // the selected entry's whole text
inline constexpr int kEditorDetailsSummaryId = 210;  // its bytes
inline constexpr int kEditorDetailsApplyId = 211;
inline constexpr int kEditorReferenceHeadingId = 212;  // "Reference (textdb_00.def)"
inline constexpr int kEditorReferenceId = 213;         // the reference's text, read only
inline constexpr int kEditorFindingsId = 214;          // what the checks find in the text

class EditorWindow final : public EditorView {
 public:
  EditorWindow();
  ~EditorWindow() override;
  EditorWindow(const EditorWindow&) = delete;
  EditorWindow& operator=(const EditorWindow&) = delete;

  // Creates and shows the window, empty; false when Windows refuses.
  bool Create(int show_command);
  // Opens a database; one with unsaved changes asks first.
  void OpenPath(const std::string& utf8_path);
  // Opens a database as the reference; false, having said why, when it
  // cannot be read.
  bool OpenReferencePath(const std::string& utf8_path);
  // Brings the window to the front.
  void Activate();
  bool IsOpen() const { return window_ != nullptr; }
  bool modified() const { return logic_.modified(); }
  std::string DatabasePath() const { return logic_.DatabasePath(); }

  // The window's keys, before the message is dispatched: true when taken.
  // A message for another window is left alone.
  bool PreTranslate(MSG& message);

  // Told when a database was written and when the window is gone.
  void SetOnSaved(std::function<void(const std::string& path)> on_saved) {
    on_saved_ = std::move(on_saved);
  }
  void SetOnClosed(std::function<void()> on_closed) { on_closed_ = std::move(on_closed); }

  // EditorView
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
  void ShowSummary(const std::string& summary, const std::vector<std::string>& findings);
  // The reference's and the findings' lines the pane takes at this width.
  int ReferenceLines() const;
  int FindingsLines() const;
  void ShowCommands(const EditorCommands& commands) override;
  void ShowScreenshot(const std::string& path, const std::string& caption) override;
  void ShowDetails(const EntryDetails& details) override;
  void DatabaseSaved(const std::string& path) override;

 private:
  // Posted to itself to apply the details pane's text once the event that
  // asked for it is done.
  static constexpr UINT kApplyDetailsMessage = WM_APP + 1;
  // The review's pass: a slice at each tick while it runs.
  static constexpr UINT_PTR kReviewTimer = 1;

  template <class Window>
  friend LRESULT CALLBACK HandledBy(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);

  void CreateMenuBar();
  void CreateAccelerators();
  void CreateControls();
  void CreateColumns();
  void SetFonts();
  void SetIcons();
  void Layout();
  int Scale(int pixels_at_96) const;

  void OnCommand(int id);
  LRESULT OnNotify(const NMHDR& header);
  void OnContextMenu(LPARAM where);
  bool Enabled(EditorCommand command) const;
  void EditSelected();
  void AddMission();
  void FindAndReplace();
  void OfferSpelling();
  void TableSelectionChanged();
  void DrawMatches(NMLVCUSTOMDRAW& draw, const EditorRow& row);
  void DetailsTyped();
  void ApplyDetails();
  const EditorRow& RowAt(std::size_t row);
  void ShowPicture();
  HWND Owner() const;

  EditorLogic logic_;
  // The details pane's box, of the entry the pane shows.
  SpellingBox details_spelling_{logic_, [this] { return DetailsRow(); }};
  std::function<void(const std::string&)> on_saved_;
  std::function<void()> on_closed_;

  HWND window_ = nullptr;
  HMENU menu_ = nullptr;
  HMENU edit_menu_ = nullptr;
  HACCEL accelerators_ = nullptr;
  UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
  HFONT font_ = nullptr;
  WindowIcons icons_;
  HWND filter_label_ = nullptr;
  HWND filter_ = nullptr;
  HWND table_ = nullptr;
  HWND shot_caption_ = nullptr;
  HWND shot_ = nullptr;
  HWND status_ = nullptr;
  std::wstring review_text_;  // the status bar's second part
  HWND details_heading_ = nullptr;
  HWND details_ = nullptr;
  HWND details_summary_ = nullptr;
  HWND details_apply_ = nullptr;
  HWND reference_heading_ = nullptr;
  HWND reference_ = nullptr;
  HWND findings_ = nullptr;
  std::size_t findings_count_ = 0;
  // The details pane's entry and its text as given, and a text to apply.
  // The slot of the entry the details pane shows (0: none, or a removed
  // entry's), and its row now: the rows may move under it as the review's
  // pass adds those a filter keeps.
  std::size_t details_slot_ = 0;
  std::optional<std::size_t> DetailsRow() const {
    return details_slot_ == 0 ? std::nullopt : logic_.RowOfSlot(details_slot_);
  }
  std::wstring details_text_;
  bool showing_details_ = false;
  bool reference_shown_ = true;  // the Reference column has its width
  bool review_timer_on_ = false;
  bool spelling_shown_ = false;  // the details pane is marked with a spell checker
  std::optional<std::pair<std::size_t, std::string>> pending_details_;
  HWND focus_on_return_ = nullptr;

  // The row last drawn, which the list view asks for once a column.
  std::optional<std::pair<std::size_t, EditorRow>> cached_row_;
  std::wstring cell_;  // what the list view was given to draw
  // Set while the view changes the table's selection itself, which is then
  // not passed back to the logic.
  bool selecting_ = false;
  // The screenshot the logic last gave, and the pane's place for it.
  std::string shot_path_;
  std::wstring shot_caption_text_;
  RECT shot_area_{};
  HBITMAP shot_bitmap_ = nullptr;
};

}  // namespace orva::win32
