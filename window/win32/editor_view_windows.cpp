#include "window/win32/editor_view_windows.h"

// clang-format off: after windows.h, which editor_view_windows.h includes first.
#include <commctrl.h>
#include <shobjidl.h>
#include <wrl/client.h>
// clang-format on

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "storage/path_text.h"
#include "storage/utf16.h"
#include "window/win32/control_text_windows.h"
#include "window/win32/editor_dialogs_windows.h"

namespace orva::win32 {
namespace {

using Microsoft::WRL::ComPtr;

// The program's icon, as orva.rc names it.
// A task dialog's own buttons are numbered from here, the question's first.
constexpr int kFirstAnswer = 1000;

// Sizes in pixels at 96 dots per inch, scaled to the monitor's.
constexpr int kMargin = 7;
constexpr int kGap = 5;
constexpr int kPaneWidth = 230;
constexpr int kStartWidth = 980;
constexpr int kStartHeight = 620;
constexpr int kLeastWidth = 560;
constexpr int kLeastHeight = 360;
constexpr int kLeastTextColumn = 200;
constexpr int kApplyWidth = 75;
constexpr std::size_t kMostFindingLines = 4;  // below "Findings:"; the rest cut

struct ColumnShape {
  EditorColumn column;
  int width;  // 0: the rest of the table's width
  int format;
};
constexpr std::array kColumns{
    ColumnShape{EditorColumn::kSlot, 52, LVCFMT_LEFT},
    ColumnShape{EditorColumn::kId, 60, LVCFMT_RIGHT},
    ColumnShape{EditorColumn::kKind, 124, LVCFMT_LEFT},
    ColumnShape{EditorColumn::kImage, 96, LVCFMT_LEFT},
    ColumnShape{EditorColumn::kBytes, 56, LVCFMT_RIGHT},
    ColumnShape{EditorColumn::kProblems, 110, LVCFMT_LEFT},
    ColumnShape{EditorColumn::kReference, 220, LVCFMT_LEFT},
    ColumnShape{EditorColumn::kText, 0, LVCFMT_LEFT},
};
static_assert(kColumns.size() == kEditorColumnCount);

// "O" as 'O', "F5" as VK_F5, "Ins", "Del" and "Esc"; 0 for a key it does not know.
WORD VirtualKey(std::string_view key) {
  if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') return static_cast<WORD>(key[0]);
  if (key == "Ins") return VK_INSERT;
  if (key == "Del") return VK_DELETE;
  if (key == "Esc") return VK_ESCAPE;
  if (key.size() >= 2 && key[0] == 'F') {
    const int n = std::atoi(std::string(key.substr(1)).c_str());
    if (n >= 1 && n <= 12) return static_cast<WORD>(VK_F1 + n - 1);
  }
  return 0;
}

// "*.po *.csv" as the file dialog takes patterns, "*.po;*.csv"; "*" is every file.
std::wstring DialogPatterns(std::string_view patterns) {
  std::wstring out;
  std::size_t at = 0;
  while (at < patterns.size()) {
    const std::size_t end = std::min(patterns.find(' ', at), patterns.size());
    std::string pattern(patterns.substr(at, end - at));
    if (pattern == "*") pattern = "*.*";
    if (!pattern.empty()) out += (out.empty() ? L"" : L";") + Wide(pattern);
    at = end + 1;
  }
  return out;
}

// The extension a saved file is given when its name has none: the first
// pattern's ("def" of "*.def"), or none for every file.
std::wstring DefaultExtension(const std::vector<FileRequest::Filter>& filters) {
  if (filters.empty()) return {};
  const std::string_view patterns = filters.front().patterns;
  const std::string_view first = patterns.substr(0, patterns.find(' '));
  if (first.size() < 3 || first.substr(0, 2) != "*." || first.find('*', 1) != first.npos) return {};
  return Wide(first.substr(2));
}

}  // namespace

EditorWindow::EditorWindow() : logic_(*this) {}

EditorWindow::~EditorWindow() {
  on_closed_ = nullptr;
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
  if (shot_bitmap_ != nullptr) DeleteObject(shot_bitmap_);
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
}

bool EditorWindow::Create(int show_command) {
  window_ = CreateTopWindow(kEditorWindowClass, &HandledBy<EditorWindow>,
                            Wide(editor_words::kProgram), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                            reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), this);
  if (window_ == nullptr) return false;
  dpi_ = GetDpiForWindow(window_);
  CreateMenuBar();
  CreateAccelerators();
  CreateControls();
  SetFonts();
  SetIcons();
  CreateColumns();
  // As large as it was meant, on a monitor that has the room.
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& room = monitor.rcWork;
  // At most nine tenths of the work area, so that a small screen at a high
  // dpi still shows what lies around it.
  SetWindowPos(window_, nullptr, 0, 0,
               std::min<int>(Scale(kStartWidth), (room.right - room.left) * 9 / 10),
               std::min<int>(Scale(kStartHeight), (room.bottom - room.top) * 9 / 10),
               SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  Layout();
  ShowTitle(logic_.Title());
  ShowCommands(logic_.Commands());
  ShowStatus("No database is open: File ▸ Open (Ctrl+O) opens one.");
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  SetFocus(table_);
  return true;
}

void EditorWindow::OpenPath(const std::string& utf8_path) {
  (void)logic_.OpenPath(utf8_path);
  SetFocus(table_);
}

bool EditorWindow::OpenReferencePath(const std::string& utf8_path) {
  return logic_.OpenReferencePath(utf8_path);
}

void EditorWindow::Activate() {
  if (window_ == nullptr) return;
  if (IsIconic(window_)) ShowWindow(window_, SW_RESTORE);
  SetForegroundWindow(window_);
}

int EditorWindow::Scale(int pixels_at_96) const {
  return MulDiv(pixels_at_96, static_cast<int>(dpi_), USER_DEFAULT_SCREEN_DPI);
}

void EditorWindow::CreateMenuBar() {
  const EditorMenuBar menus = CreateEditorMenuBar();
  menu_ = menus.bar;
  edit_menu_ = menus.edit;
  SetMenu(window_, menu_);
}

// Every shortcut of the table.
void EditorWindow::CreateAccelerators() {
  std::vector<ACCEL> keys;
  for (const CommandInfo& info : EditorCommandTable()) {
    for (const Shortcut& shortcut : info.shortcuts) {
      const WORD key = VirtualKey(shortcut.key);
      if (key == 0) continue;
      const BYTE flags = static_cast<BYTE>(FVIRTKEY | (shortcut.ctrl ? FCONTROL : 0) |
                                           (shortcut.shift ? FSHIFT : 0));
      keys.push_back(ACCEL{flags, key, static_cast<WORD>(MenuId(info.id))});
    }
  }
  accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

// In the order screen readers and Tab meet them: a label just before the
// box it names (the table's is seen by screen readers alone), the caption
// of the screenshot before the picture.
void EditorWindow::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto make = [&](DWORD extended, const wchar_t* window_class, const wchar_t* text,
                        DWORD style, int id) {
    return CreateWindowExW(extended, window_class, text, WS_CHILD | style, 0, 0, 0, 0, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  filter_label_ = make(0, WC_STATICW, Wide(editor_words::kFilterLabel).c_str(),
                       WS_VISIBLE | SS_LEFT, kEditorFilterLabelId);
  filter_ = make(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                 WS_VISIBLE | WS_TABSTOP | WS_GROUP | ES_AUTOHSCROLL, kEditorFilterId);
  SendMessageW(filter_, EM_SETCUEBANNER, FALSE,
               reinterpret_cast<LPARAM>(Wide(editor_words::kFilterHint).c_str()));
  make(0, WC_STATICW, L"Entries", SS_LEFT, kEditorTableLabelId);
  table_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                WS_VISIBLE | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
                kEditorTableId);
  ListView_SetExtendedListViewStyle(table_,
                                    LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  details_heading_ = make(0, WC_STATICW, Wide(editor_words::kDetailsLabel).c_str(),
                          WS_VISIBLE | SS_LEFT | SS_ENDELLIPSIS, kEditorDetailsHeadingId);
  // A rich edit box, which marks the words the spell checker does not know.
  details_ = make(WS_EX_CLIENTEDGE, SpellingBoxClass(), L"",
                  WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                  kEditorDetailsId);
  details_spelling_.Attach(details_, [this] { DetailsTyped(); });
  details_summary_ =
      make(0, WC_STATICW, L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kEditorDetailsSummaryId);
  // The reference above the text, only while one is open; the findings below.
  reference_heading_ =
      make(0, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kEditorReferenceHeadingId);
  reference_ = make(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                    WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY,
                    kEditorReferenceId);
  findings_ = make(0, WC_STATICW, L"", SS_LEFT | SS_NOPREFIX, kEditorFindingsId);
  details_apply_ =
      make(0, WC_BUTTONW, Wide(editor_words::kApply).c_str(),
           WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kEditorDetailsApplyId);
  shot_caption_ =
      make(0, WC_STATICW, L"", WS_VISIBLE | SS_LEFT | SS_NOPREFIX, kEditorShotCaptionId);
  shot_ = make(0, WC_STATICW, L"", WS_VISIBLE | SS_BITMAP, kEditorShotId);
  status_ = make(0, STATUSCLASSNAMEW, L"", WS_VISIBLE | SBARS_SIZEGRIP, kEditorStatusId);
}

void EditorWindow::CreateColumns() {
  for (std::size_t i = 0; i < kColumns.size(); ++i) {
    const std::wstring title = Wide(ColumnTitle(kColumns[i].column));
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
    column.fmt = kColumns[i].format;
    column.cx = Scale(kColumns[i].width == 0 ? kLeastTextColumn : kColumns[i].width);
    column.pszText = const_cast<wchar_t*>(title.c_str());
    column.iSubItem = static_cast<int>(i);
    ListView_InsertColumn(table_, static_cast<int>(i), &column);
  }
}

// The system's message font at this monitor's dots per inch, in every control.
void EditorWindow::SetFonts() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi_);
  const HFONT old = font_;
  font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  for (HWND control :
       {filter_label_, filter_, table_, details_heading_, details_, details_summary_,
        details_apply_, reference_heading_, reference_, findings_, shot_caption_, status_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  }
  if (old != nullptr) DeleteObject(old);
}

void EditorWindow::SetIcons() { icons_.Set(window_, dpi_); }

// The filter box across the top, the table below it, the screenshot's pane
// on the right and the status bar at the bottom; the Text column takes what
// the others leave of the table's width.
void EditorWindow::Layout() {
  if (status_ == nullptr) return;
  RECT client{};
  GetClientRect(window_, &client);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT bar{};
  GetWindowRect(status_, &bar);
  const int status_height = bar.bottom - bar.top;

  const HDC dc = GetDC(window_);
  const HGDIOBJ old_font = SelectObject(dc, font_);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SIZE label{};
  const std::wstring label_text = L"Filter:";
  GetTextExtentPoint32W(dc, label_text.c_str(), static_cast<int>(label_text.size()), &label);
  SIZE review{};
  GetTextExtentPoint32W(dc, review_text_.c_str(), static_cast<int>(review_text_.size()), &review);
  SelectObject(dc, old_font);
  ReleaseDC(window_, dc);
  // The status bar's parts: what was done, then the checks and the progress.
  const int review_width = review_text_.empty() ? 0 : review.cx + Scale(24);
  const std::array<int, 2> parts{std::max(0, static_cast<int>(client.right) - review_width), -1};
  SendMessageW(status_, SB_SETPARTS, parts.size(), reinterpret_cast<LPARAM>(parts.data()));

  const int margin = Scale(kMargin);
  const int gap = Scale(kGap);
  const int line = metrics.tmHeight;
  const int box = line + Scale(8);
  // The screenshot's pane only while there is a picture to show.
  const bool pane_shown = !shot_path_.empty();
  const int pane = pane_shown ? Scale(kPaneWidth) : 0;
  const int right = pane_shown ? std::max<int>(client.right - margin - pane - gap, margin)
                               : client.right - margin;
  const int label_width = label.cx + Scale(2);
  MoveWindow(filter_label_, margin, margin + (box - line) / 2, label_width, line, TRUE);
  const int filter_left = margin + label_width + gap;
  MoveWindow(filter_, filter_left, margin, std::max(right - filter_left, 0), box, TRUE);
  const int top = margin + box + gap;
  const int bottom = client.bottom - status_height - margin;
  // Below the table, the details pane: its heading; the reference's heading
  // and text in three lines, while one is open; the text in four lines or
  // more; its bytes and Apply; the findings, a line each.
  const int button_height = box;
  const int button_width = Scale(kApplyWidth);
  const int text_height = std::max(4 * line + Scale(8), (bottom - top) / 4);
  const int reference_lines = ReferenceLines();
  const int reference_height =
      reference_lines == 0 ? 0 : line + gap + reference_lines * line + Scale(8) + gap;
  const int findings_height = FindingsLines() * line;
  const int details_height = line + gap + reference_height + text_height + gap + button_height +
                             (findings_height > 0 ? gap + findings_height : 0);
  const int table_bottom = std::max(bottom - details_height - gap, top);
  const int width = std::max(right - margin, 0);
  MoveWindow(table_, margin, top, width, table_bottom - top, TRUE);
  int y = table_bottom + gap;
  MoveWindow(details_heading_, margin, y, width, line, TRUE);
  y += line + gap;
  ShowWindow(reference_heading_, reference_lines > 0 ? SW_SHOWNA : SW_HIDE);
  ShowWindow(reference_, reference_lines > 0 ? SW_SHOWNA : SW_HIDE);
  if (reference_lines > 0) {
    MoveWindow(reference_heading_, margin, y, width, line, TRUE);
    y += line + gap;
    MoveWindow(reference_, margin, y, width, reference_lines * line + Scale(8), TRUE);
    y += reference_lines * line + Scale(8) + gap;
  }
  MoveWindow(details_, margin, y, width, text_height, TRUE);
  y += text_height + gap;
  MoveWindow(details_summary_, margin, y + (button_height - line) / 2,
             std::max(width - button_width - gap, 0), line, TRUE);
  MoveWindow(details_apply_, margin + width - button_width, y, button_width, button_height, TRUE);
  y += button_height + gap;
  ShowWindow(findings_, findings_height > 0 ? SW_SHOWNA : SW_HIDE);
  MoveWindow(findings_, margin, y, width, findings_height, TRUE);
  const int pane_left = right + gap;
  const int caption_height = 3 * line;
  ShowWindow(shot_caption_, pane_shown ? SW_SHOWNA : SW_HIDE);
  MoveWindow(shot_caption_, pane_left, top, pane, caption_height, TRUE);
  shot_area_ = {pane_left, top + caption_height + gap, pane_left + pane,
                top + caption_height + gap + pane * 3 / 4};

  RECT table{};
  GetClientRect(table_, &table);
  int others = 0;
  for (std::size_t i = 0; i + 1 < kColumns.size(); ++i) {
    others += ListView_GetColumnWidth(table_, static_cast<int>(i));
  }
  ListView_SetColumnWidth(
      table_, static_cast<int>(kColumns.size() - 1),
      std::max(static_cast<int>(table.right) - others, Scale(kLeastTextColumn)));
  ShowPicture();
}

bool EditorWindow::PreTranslate(MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
    return false;
  }
  bool box_key = false;
  // Enter in the details pane applies its text; a line break is typed as ␊.
  if (message.message == WM_KEYDOWN && message.hwnd == details_ && message.wParam == VK_RETURN) {
    ApplyDetails();
    return true;
  }
  if (message.message == WM_KEYDOWN && message.hwnd == filter_) {
    // Down leaves the filter for the rows it kept; Insert and Delete are the box's own.
    if (message.wParam == VK_DOWN) {
      SetFocus(table_);
      return true;
    }
    box_key = (message.wParam == VK_DELETE || message.wParam == VK_INSERT) &&
              GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_SHIFT) >= 0;
  }
  if (!box_key && TranslateAcceleratorW(window_, accelerators_, &message)) return true;
  return IsDialogMessageW(window_, &message) != FALSE;
}

LRESULT EditorWindow::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (lparam == 0) {
        OnCommand(LOWORD(wparam));  // a menu item, an accelerator or the dialog manager
      } else if (reinterpret_cast<HWND>(lparam) == filter_ && HIWORD(wparam) == EN_CHANGE) {
        logic_.SetFilter(Utf8FromUtf16(TextOf(filter_)));
      } else if (reinterpret_cast<HWND>(lparam) == details_ && HIWORD(wparam) == EN_CHANGE) {
        DetailsTyped();
      } else if (reinterpret_cast<HWND>(lparam) == details_ && HIWORD(wparam) == EN_KILLFOCUS) {
        ApplyDetails();
      } else if (reinterpret_cast<HWND>(lparam) == details_apply_ && HIWORD(wparam) == BN_CLICKED) {
        ApplyDetails();
      }
      return 0;
    case WM_TIMER:
      // Not under a modal dialog, which the logic waits on.
      if (wparam == kReviewTimer && IsWindowEnabled(window_) != FALSE && !logic_.ContinueReview()) {
        KillTimer(window_, kReviewTimer);
        review_timer_on_ = false;
      }
      return 0;
    case kApplyDetailsMessage:
      if (pending_details_) {
        const auto [slot, text] = *std::exchange(pending_details_, std::nullopt);
        const std::optional<std::size_t> row = logic_.RowOfSlot(slot);
        if (row && logic_.PreviewText(*row, text).can_apply) (void)logic_.SetText(*row, text);
      }
      return 0;
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lparam));
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) == table_) {
        OnContextMenu(lparam);
        return 0;
      }
      break;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      auto& limits = *reinterpret_cast<MINMAXINFO*>(lparam);
      limits.ptMinTrackSize = {Scale(kLeastWidth), Scale(kLeastHeight)};
      return 0;
    }
    // The focus comes back to the control that had it when the window was
    // left, for a dialog or another window.
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        if (const HWND focus = GetFocus(); focus != nullptr && IsChild(window_, focus)) {
          focus_on_return_ = focus;
        }
      } else {
        SetFocus(focus_on_return_ != nullptr ? focus_on_return_ : table_);
      }
      return 0;
    case WM_DPICHANGED: {
      const UINT old = dpi_;
      dpi_ = HIWORD(wparam);
      SetFonts();
      SetIcons();
      for (std::size_t i = 0; i + 1 < kColumns.size(); ++i) {
        const int width = ListView_GetColumnWidth(table_, static_cast<int>(i));
        ListView_SetColumnWidth(table_, static_cast<int>(i),
                                MulDiv(width, static_cast<int>(dpi_), static_cast<int>(old)));
      }
      const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested.left, suggested.top,
                   suggested.right - suggested.left, suggested.bottom - suggested.top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout();
      return 0;
    }
    case WM_CLOSE:
      if (logic_.CanClose()) DestroyWindow(window_);
      return 0;
    case WM_QUERYENDSESSION:
      return logic_.CanClose() ? TRUE : FALSE;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

bool EditorWindow::Enabled(EditorCommand command) const {
  return IsEnabled(command, logic_.Commands());
}

void EditorWindow::OnCommand(int id) {
  if (const std::optional<EditorCommand> command = CommandOfMenuId(id)) {
    // An accelerator of a command that cannot be done now does nothing.
    if (!Enabled(*command)) return;
    switch (*command) {
      case EditorCommand::kClose:
        SendMessageW(window_, WM_CLOSE, 0, 0);
        break;
      case EditorCommand::kEditText:
        EditSelected();
        break;
      case EditorCommand::kAddMission:
        AddMission();
        break;
      case EditorCommand::kFilter:
        SetFocus(filter_);
        SendMessageW(filter_, EM_SETSEL, 0, -1);
        break;
      case EditorCommand::kReplace:
        FindAndReplace();
        break;
      case EditorCommand::kSpellingSuggestions:
        OfferSpelling();
        break;
      default:
        logic_.Run(*command);
        break;
    }
    return;
  }
  switch (id) {
    case IDOK:  // Enter: from the filter to its rows; on a row, edit its text
      if (GetFocus() == filter_) {
        SetFocus(table_);
      } else if (GetFocus() == table_) {
        EditSelected();
      } else if (GetFocus() == details_) {
        ApplyDetails();
      }
      break;
    case IDCANCEL:  // Esc in the filter empties it; in the details pane takes its text back
      if (GetFocus() == filter_) SetWindowTextW(filter_, L"");
      if (GetFocus() == details_) SetWindowTextW(details_, details_text_.c_str());
      break;
    default:
      break;
  }
}

LRESULT EditorWindow::OnNotify(const NMHDR& header) {
  if (header.hwndFrom != table_) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& info = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      if ((info.item.mask & LVIF_TEXT) == 0) return 0;
      const auto row = static_cast<std::size_t>(info.item.iItem);
      const auto column = static_cast<std::size_t>(info.item.iSubItem);
      cell_.clear();
      if (info.item.iItem >= 0 && row < logic_.RowCount() && column < kColumns.size()) {
        cell_ = Wide(CellText(RowAt(row), kColumns[column].column));
      }
      info.item.pszText = cell_.data();
      return 0;
    }
    case LVN_ITEMCHANGED: {
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uChanged & LVIF_STATE) != 0 &&
          ((change.uOldState ^ change.uNewState) & (LVIS_SELECTED | LVIS_FOCUSED)) != 0) {
        // Shift+Down selects the row before it moves the focus there.
        TableSelectionChanged();
      }
      return 0;
    }
    case LVN_ODSTATECHANGED:  // a range of rows, as Shift with an arrow or a click selects them
      if (((reinterpret_cast<const NMLVODSTATECHANGE&>(header).uOldState ^
            reinterpret_cast<const NMLVODSTATECHANGE&>(header).uNewState) &
           LVIS_SELECTED) != 0) {
        TableSelectionChanged();
      }
      return 0;
    case LVN_ODFINDITEMW:
      return -1;
    case NM_DBLCLK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) EditSelected();
      return 0;
    case NM_CUSTOMDRAW: {
      auto& draw = const_cast<NMLVCUSTOMDRAW&>(reinterpret_cast<const NMLVCUSTOMDRAW&>(header));
      const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      switch (draw.nmcd.dwDrawStage) {
        case CDDS_PREPAINT:
          return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
          if (row >= logic_.RowCount()) return CDRF_DODEFAULT;
          const EditorRow& shown = RowAt(row);
          LRESULT result = shown.matches.empty() ? CDRF_DODEFAULT : CDRF_NOTIFYSUBITEMDRAW;
          if (shown.mark != RowMark::kNone) {
            const MarkLook look = LookOf(shown.mark);
            draw.clrTextBk = RGB(look.red, look.green, look.blue);
            result |= CDRF_NEWFONT;
          }
          return result;
        }
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
          if (draw.iSubItem != static_cast<int>(kColumns.size() - 1) || row >= logic_.RowCount() ||
              RowAt(row).matches.empty()) {
            return CDRF_DODEFAULT;
          }
          DrawMatches(draw, RowAt(row));
          return CDRF_SKIPDEFAULT;
        default:
          return CDRF_DODEFAULT;
      }
    }
    default:
      return 0;
  }
}

// The Text cell of a row the filter keeps, its matches on a background of
// their own; the rest as the list view draws a cell, selected or not.
void EditorWindow::DrawMatches(NMLVCUSTOMDRAW& draw, const EditorRow& row) {
  const HDC dc = draw.nmcd.hdc;
  RECT cell{};
  ListView_GetSubItemRect(table_, static_cast<int>(draw.nmcd.dwItemSpec), draw.iSubItem, LVIR_LABEL,
                          &cell);
  const bool selected =
      ListView_GetItemState(table_, static_cast<int>(draw.nmcd.dwItemSpec), LVIS_SELECTED) != 0;
  const bool focused = GetFocus() == table_;
  COLORREF back =
      selected ? GetSysColor(focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : GetSysColor(COLOR_WINDOW);
  if (!selected && row.mark != RowMark::kNone) {
    const MarkLook look = LookOf(row.mark);
    back = RGB(look.red, look.green, look.blue);
  }
  const COLORREF fore =
      selected && focused ? GetSysColor(COLOR_HIGHLIGHTTEXT) : GetSysColor(COLOR_WINDOWTEXT);
  const HBRUSH brush = CreateSolidBrush(back);
  FillRect(dc, &cell, brush);
  DeleteObject(brush);
  const std::wstring text = Wide(row.text);
  const int left = cell.left + Scale(6);
  const auto advance = [&](std::size_t count) {
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(std::min(count, text.size())), &size);
    return static_cast<int>(size.cx);
  };
  const MarkLook match = kMatchLook;
  const HBRUSH match_brush = CreateSolidBrush(RGB(match.red, match.green, match.blue));
  for (const TextRun& run : row.matches) {
    RECT at{left + advance(run.first), cell.top + 1, left + advance(run.first + run.length),
            cell.bottom - 1};
    at.right = std::min(at.right, cell.right);
    if (at.left < at.right) FillRect(dc, &at, match_brush);
  }
  DeleteObject(match_brush);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, row.matches.empty() ? fore : GetSysColor(COLOR_WINDOWTEXT));
  RECT area{left, cell.top, cell.right - Scale(2), cell.bottom};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

// The Edit menu, at the pointer or, from the keyboard, at the selected row.
void EditorWindow::OnContextMenu(LPARAM where) {
  POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  if (at.x == -1 && at.y == -1) {  // from the keyboard
    RECT row{LVIR_BOUNDS, 0, 0, 0};
    const int selected = ListView_GetNextItem(table_, -1, LVNI_SELECTED);
    if (selected < 0 || !ListView_GetItemRect(table_, selected, &row, LVIR_BOUNDS)) {
      GetClientRect(table_, &row);
      row.bottom = row.top;
    }
    at = {row.left + Scale(kMargin), row.bottom};
    ClientToScreen(table_, &at);
  }
  const int command =
      TrackPopupMenu(edit_menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  if (command != 0) OnCommand(command);
}

// F2, Enter and a double click alike: nothing on a row that cannot be edited.
void EditorWindow::EditSelected() {
  const std::optional<std::size_t> selected = logic_.SelectedRow();
  if (!selected || !Enabled(EditorCommand::kEditText)) return;
  const std::size_t row = *selected;
  SpellingBox spelling(logic_, [row] { return std::optional<std::size_t>(row); });
  const TextDialog dialog{
      .title = logic_.EditTitle(row),
      .label = std::string(editor_words::kTextLabel),
      .text = logic_.EditableText(row),
      .preview = [&](const std::string& text) { return logic_.PreviewText(row, text); },
      .apply = [&](const std::string& text) { return logic_.SetText(row, text); },
      .spelling = &spelling,
  };
  (void)RunTextDialog(window_, dialog);
  SetFocus(table_);
}

void EditorWindow::AddMission() {
  SpellingBox spelling(logic_, [] { return std::optional<std::size_t>(); });
  const TextDialog dialog{
      .title = std::string(editor_words::kAddMissionTitle),
      .label = std::string(editor_words::kAddMissionLabel),
      .text = {},
      .preview = [&](const std::string& text) { return logic_.PreviewMission(text); },
      .apply = [&](const std::string& text) { return logic_.AddMission(text); },
      .spelling = &spelling,
  };
  (void)RunTextDialog(window_, dialog);
  SetFocus(table_);
}

void EditorWindow::FindAndReplace() {
  const ReplaceDialog dialog{
      .start = {},
      .preview = [&](const ReplaceRequest& request) { return logic_.PreviewReplace(request); },
      .replace_all = [&](const ReplaceRequest& request) { return logic_.ReplaceAll(request); },
  };
  RunReplaceDialog(window_, dialog);
}

// Edit ▸ Spelling ▸ Suggestions (F7) in the details pane: its spelling menu
// for the word at the caret.
void EditorWindow::OfferSpelling() {
  if (GetFocus() != details_) {
    ShowStatus("Spelling suggestions are for the text of the details pane");
    return;
  }
  if (!details_spelling_.OfferAtCaret()) {
    ShowStatus(std::string(logic_.NoSpellingChoices()));
  }
}

// The current row is the focused one where it is selected, else the first
// selected; the rows selected go to the logic as runs.
void EditorWindow::TableSelectionChanged() {
  if (selecting_) return;
  std::vector<RowSpan> spans;
  for (int row = ListView_GetNextItem(table_, -1, LVNI_SELECTED); row >= 0;
       row = ListView_GetNextItem(table_, row, LVNI_SELECTED)) {
    const auto at = static_cast<std::size_t>(row);
    if (!spans.empty() && spans.back().last + 1 == at) {
      spans.back().last = at;
    } else {
      spans.push_back({at, at});
    }
  }
  const int focused = ListView_GetNextItem(table_, -1, LVNI_FOCUSED | LVNI_SELECTED);
  std::optional<std::size_t> current;
  if (focused >= 0) {
    current = static_cast<std::size_t>(focused);
  } else if (!spans.empty()) {
    current = spans.front().first;
  }
  if (current != logic_.SelectedRow()) logic_.SelectionChanged(current);
  logic_.SelectedRowsChanged(spans);
}

const EditorRow& EditorWindow::RowAt(std::size_t row) {
  if (!cached_row_ || cached_row_->first != row) cached_row_.emplace(row, logic_.Row(row));
  return cached_row_->second;
}

// The picture as large as the pane takes it, its proportions kept. The
// caption just above it names it for screen readers.
void EditorWindow::ShowPicture() {
  std::wstring caption = shot_caption_text_;
  HBITMAP picture = nullptr;
  SIZE size{0, 0};
  if (!shot_path_.empty()) {
    picture = static_cast<HBITMAP>(LoadImageW(nullptr, Wide(shot_path_).c_str(), IMAGE_BITMAP, 0, 0,
                                              LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    BITMAP shape{};
    if (picture != nullptr && GetObjectW(picture, sizeof shape, &shape) != 0 && shape.bmWidth > 0 &&
        shape.bmHeight != 0) {
      const int width = shot_area_.right - shot_area_.left;
      const int height = shot_area_.bottom - shot_area_.top;
      const int picture_height = std::abs(shape.bmHeight);
      const double scale = std::min(static_cast<double>(width) / shape.bmWidth,
                                    static_cast<double>(height) / picture_height);
      size = {std::max(1, static_cast<int>(shape.bmWidth * scale)),
              std::max(1, static_cast<int>(picture_height * scale))};
      picture = static_cast<HBITMAP>(CopyImage(picture, IMAGE_BITMAP, size.cx, size.cy,
                                               LR_COPYDELETEORG | LR_CREATEDIBSECTION));
    }
    if (picture == nullptr) {
      caption += L"\nWindows cannot read this file as a picture.";
      size = {0, 0};
    }
  }
  SetWindowTextW(shot_caption_, caption.c_str());
  const auto old = reinterpret_cast<HBITMAP>(
      SendMessageW(shot_, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture)));
  if (old != nullptr && old != shot_bitmap_) DeleteObject(old);
  if (shot_bitmap_ != nullptr) DeleteObject(shot_bitmap_);
  shot_bitmap_ = picture;
  const int left = shot_area_.left + (shot_area_.right - shot_area_.left - size.cx) / 2;
  MoveWindow(shot_, left, shot_area_.top, size.cx, size.cy, TRUE);
  ShowWindow(shot_, picture != nullptr ? SW_SHOWNA : SW_HIDE);
}

// A box or dialog of the editor's goes over the editor's own dialog that is
// up, if one is.
HWND EditorWindow::Owner() const {
  const HWND active = GetActiveWindow();
  if (active != nullptr && active != window_ && GetAncestor(active, GA_ROOTOWNER) == window_) {
    return active;
  }
  return window_;
}

// --- What the logic asks ---

std::optional<std::string> EditorWindow::ChooseFile(const FileRequest& request) {
  ComPtr<IFileDialog> dialog;
  const CLSID& kind =
      request.kind == FileRequest::Kind::kSave ? CLSID_FileSaveDialog : CLSID_FileOpenDialog;
  if (FAILED(CoCreateInstance(kind, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog)))) {
    ShowMessage(MessageIcon::kExclamation, "The file dialog could not be shown.",
                "Windows did not make it; nothing was done.");
    return std::nullopt;
  }
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR | FOS_PATHMUSTEXIST;
  switch (request.kind) {
    case FileRequest::Kind::kOpen:
      options |= FOS_FILEMUSTEXIST;
      break;
    case FileRequest::Kind::kSave:
      options |= FOS_OVERWRITEPROMPT;
      break;
    case FileRequest::Kind::kFolder:
      options |= FOS_PICKFOLDERS;
      break;
  }
  dialog->SetOptions(options);
  dialog->SetTitle(Wide(request.title).c_str());

  std::vector<std::wstring> names;
  std::vector<std::wstring> patterns;
  for (const FileRequest::Filter& filter : request.filters) {
    names.push_back(Wide(filter.description));
    patterns.push_back(DialogPatterns(filter.patterns));
  }
  std::vector<COMDLG_FILTERSPEC> file_types;
  for (std::size_t i = 0; i < names.size(); ++i) {
    file_types.push_back({names[i].c_str(), patterns[i].c_str()});
  }
  if (!file_types.empty() && request.kind != FileRequest::Kind::kFolder) {
    dialog->SetFileTypes(static_cast<UINT>(file_types.size()), file_types.data());
    dialog->SetFileTypeIndex(1);
    if (const std::wstring extension = DefaultExtension(request.filters); !extension.empty()) {
      dialog->SetDefaultExtension(extension.c_str());
    }
  }

  if (!request.start_path.empty()) {
    const std::filesystem::path start = PathFromUtf8(request.start_path);
    std::error_code error;
    const bool folder =
        request.kind == FileRequest::Kind::kFolder || std::filesystem::is_directory(start, error);
    const std::filesystem::path where = folder ? start : start.parent_path();
    ComPtr<IShellItem> item;
    if (SUCCEEDED(SHCreateItemFromParsingName(where.c_str(), nullptr, IID_PPV_ARGS(&item)))) {
      dialog->SetFolder(item.Get());
    }
    if (!folder) dialog->SetFileName(start.filename().c_str());
  }

  const HRESULT shown = dialog->Show(Owner());
  if (shown == HRESULT_FROM_WIN32(ERROR_CANCELLED)) return std::nullopt;
  ComPtr<IShellItem> result;
  PWSTR path = nullptr;
  if (FAILED(shown) || FAILED(dialog->GetResult(&result)) ||
      FAILED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    ShowMessage(MessageIcon::kExclamation, "No file was chosen.",
                "The file dialog did not give a file or folder on this computer; nothing was "
                "done.");
    return std::nullopt;
  }
  std::string chosen = Utf8FromUtf16(path);
  CoTaskMemFree(path);
  return chosen;
}

void EditorWindow::ShowMessage(MessageIcon icon, const std::string& text,
                               const std::string& details) {
  std::wstring body = Wide(text);
  if (!details.empty()) body += L"\n\n" + Wide(details);
  const UINT kind = icon == MessageIcon::kInformation ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
  MessageBoxW(Owner(), body.c_str(), Wide(editor_words::kProgram).c_str(), MB_OK | kind);
}

// A task dialog with the question's own buttons; Esc and its close box give
// the cancel button, and so does a task dialog that cannot be shown, which
// changes nothing. The cancel button has IDCANCEL for its id, which Esc
// presses whether or not the dialog takes TDF_ALLOW_DIALOG_CANCELLATION
// (wine's task dialog, for one, does not).
int EditorWindow::Ask(const Question& question) {
  const auto id_of = [&](std::size_t i) {
    return static_cast<int>(i) == question.cancel_button ? IDCANCEL
                                                         : kFirstAnswer + static_cast<int>(i);
  };
  std::vector<std::wstring> captions;
  for (const std::string& button : question.buttons) captions.push_back(Wide(button));
  std::vector<TASKDIALOG_BUTTON> buttons;
  for (std::size_t i = 0; i < captions.size(); ++i)
    buttons.push_back({id_of(i), captions[i].c_str()});
  const std::wstring title = Wide(question.title);
  const std::wstring text = Wide(question.text);
  const std::wstring details = Wide(question.details);
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = Owner();
  config.hInstance = GetModuleHandleW(nullptr);
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  config.pszWindowTitle = title.c_str();
  config.pszMainIcon =
      question.icon == MessageIcon::kInformation ? TD_INFORMATION_ICON : TD_WARNING_ICON;
  config.pszMainInstruction = text.c_str();
  config.pszContent = details.empty() ? nullptr : details.c_str();
  config.cButtons = static_cast<UINT>(buttons.size());
  config.pButtons = buttons.data();
  config.nDefaultButton = id_of(static_cast<std::size_t>(question.default_button));
  int pressed = 0;
  if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) {
    return question.cancel_button;
  }
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    if (buttons[i].nButtonID == pressed) return static_cast<int>(i);
  }
  return question.cancel_button;
}

std::optional<std::size_t> EditorWindow::ShowReport(const Report& report) {
  return RunReportDialog(Owner(), report);
}

void EditorWindow::ShowRows(std::size_t count) {
  cached_row_.reset();
  selecting_ = true;
  ListView_SetItemState(table_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetItemCountEx(table_, static_cast<int>(std::min<std::size_t>(count, INT_MAX)), 0);
  selecting_ = false;
}

void EditorWindow::ShowRowsChanged(std::size_t first, std::size_t last) {
  cached_row_.reset();
  ListView_RedrawItems(table_, static_cast<int>(first), static_cast<int>(last));
}

// The logic's selection, not passed back to it.
void EditorWindow::SelectRow(std::size_t row) {
  const int wanted = static_cast<int>(row);
  selecting_ = true;
  ListView_SetItemState(table_, -1, 0, LVIS_SELECTED);
  ListView_SetItemState(table_, wanted, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ListView_SetSelectionMark(table_, wanted);
  ListView_EnsureVisible(table_, wanted, FALSE);
  selecting_ = false;
}

void EditorWindow::ShowTitle(const std::string& title) {
  SetWindowTextW(window_, Wide(title).c_str());
}

// A status bar control, whose text screen readers read; they are told it
// changed.
void EditorWindow::ShowStatus(const std::string& text) {
  SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, status_, OBJID_CLIENT, CHILDID_SELF);
}

// The checks and the progress in the status bar's second part.
void EditorWindow::ShowReviewSummary(const std::string& text) {
  review_text_ = Wide(text);
  Layout();
  SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(review_text_.c_str()));
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, status_, OBJID_CLIENT, CHILDID_SELF);
}

// The menu items' state, checks and captions, as the table has them now.
void EditorWindow::ShowCommands(const EditorCommands& commands) {
  if (commands.checking && window_ != nullptr && !review_timer_on_) {
    review_timer_on_ = SetTimer(window_, kReviewTimer, USER_TIMER_MINIMUM, nullptr) != 0;
  }
  // The dictionaries join after the file opens: what is being typed gets
  // its underlines then.
  if (commands.spelling != std::exchange(spelling_shown_, commands.spelling)) {
    details_spelling_.Mark();
  }
  // The Reference column only while a reference is open, as the Text column
  // takes the width it leaves.
  if (table_ != nullptr && commands.has_reference != reference_shown_) {
    reference_shown_ = commands.has_reference;
    constexpr auto kReference = static_cast<std::size_t>(EditorColumn::kReference);
    ListView_SetColumnWidth(table_, static_cast<int>(kReference),
                            reference_shown_ ? Scale(kColumns[kReference].width) : 0);
    Layout();
  }
  for (const CommandInfo& info : EditorCommandTable()) {
    const auto id = static_cast<UINT>(MenuId(info.id));
    EnableMenuItem(menu_, id,
                   MF_BYCOMMAND | (IsEnabled(info.id, commands) ? MF_ENABLED : MF_GRAYED));
    if (info.checkable) {
      CheckMenuItem(menu_, id,
                    MF_BYCOMMAND | (IsChecked(info.id, commands) ? MF_CHECKED : MF_UNCHECKED));
    }
    if (info.id != EditorCommand::kUndo && info.id != EditorCommand::kRedo) continue;
    std::wstring shown = Wide(Caption(info.id, commands));
    if (!info.shortcuts.empty()) shown += L"\t" + Wide(ShortcutText(info.shortcuts.front()));
    MENUITEMINFOW item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STRING;
    item.dwTypeData = shown.data();
    SetMenuItemInfoW(menu_, id, FALSE, &item);
  }
}

// The pane beside the table shows only a picture found; without one the
// table takes its width.
void EditorWindow::ShowScreenshot(const std::string& path, const std::string& caption) {
  shot_caption_text_ = Wide(caption);
  const bool was_shown = !shot_path_.empty();
  shot_path_ = path;
  if (was_shown != !path.empty()) {
    Layout();
  } else {
    ShowPicture();
  }
}

void EditorWindow::ShowDetails(const EntryDetails& details) {
  const std::pair<int, int> shape{ReferenceLines(), FindingsLines()};
  details_slot_ = details.row ? logic_.Row(*details.row).slot : 0;
  details_text_ = Wide(details.text);
  const std::wstring heading = Wide(std::string(editor_words::kDetailsLabel) +
                                    (details.heading.empty() ? "" : " ") + details.heading);
  SetWindowTextW(details_heading_, heading.c_str());
  SetWindowTextW(reference_heading_, Wide(details.reference_heading).c_str());
  SetWindowTextW(reference_, Wide(details.reference.value_or(std::string())).c_str());
  EnableWindow(reference_, details.reference.has_value() ? TRUE : FALSE);
  showing_details_ = true;
  SetWindowTextW(details_, details_text_.c_str());
  details_spelling_.Mark();
  showing_details_ = false;
  SendMessageW(details_, EM_SETREADONLY, details.editable ? FALSE : TRUE, 0);
  EnableWindow(details_, details.row.has_value() ? TRUE : FALSE);
  ShowSummary(details.summary, details.findings);
  EnableWindow(details_apply_, FALSE);
  if (shape != std::pair{ReferenceLines(), FindingsLines()}) Layout();
}

// The pane's line below the text, its bytes; under it what the checks find.
void EditorWindow::ShowSummary(const std::string& summary,
                               const std::vector<std::string>& findings) {
  SetWindowTextW(details_summary_, Wide(summary).c_str());
  SetWindowTextW(findings_, Wide(FindingsText(findings)).c_str());
  // The pane grows or shrinks with the findings, up to a few lines.
  const int lines = FindingsLines();
  findings_count_ = findings.size();
  if (lines != FindingsLines()) Layout();
}

int EditorWindow::ReferenceLines() const {
  return reference_ != nullptr && GetWindowTextLengthW(reference_heading_) > 0 ? 3 : 0;
}

int EditorWindow::FindingsLines() const {
  if (details_slot_ == 0) return 0;
  return 1 + static_cast<int>(std::min<std::size_t>(findings_count_, kMostFindingLines));
}

// What the text typed in the details pane would be, as it is typed.
void EditorWindow::DetailsTyped() {
  if (showing_details_ || details_spelling_.marking() || !DetailsRow()) return;
  details_spelling_.Mark();
  const std::wstring text = TextOf(details_);
  const TextPreview preview = logic_.PreviewText(*DetailsRow(), Utf8FromUtf16(text));
  ShowSummary(preview.Line(), preview.findings);
  EnableWindow(details_apply_, preview.can_apply && text != details_text_ ? TRUE : FALSE);
}

// The text of the details pane to the entry it shows, once changed; after
// the message that asked for it (leaving the box may be a click on another
// row), the entry found again by its slot.
void EditorWindow::ApplyDetails() {
  if (!DetailsRow() || pending_details_) return;
  const std::wstring text = TextOf(details_);
  if (text == details_text_ || (GetWindowLongW(details_, GWL_STYLE) & ES_READONLY) != 0) return;
  pending_details_.emplace(details_slot_, Utf8FromUtf16(text));
  PostMessageW(window_, kApplyDetailsMessage, 0, 0);
}

void EditorWindow::DatabaseSaved(const std::string& path) {
  if (on_saved_) on_saved_(path);
}

}  // namespace orva::win32
