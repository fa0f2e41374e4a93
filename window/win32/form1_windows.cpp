#include "window/win32/form1_windows.h"

// clang-format off: after windows.h, which form1_windows.h includes first.
#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
// clang-format on

#include <algorithm>
#include <array>
#include <cwchar>
#include <string_view>
#include <utility>

#include "storage/utf16.h"
#include "window/win32/control_text_windows.h"

namespace orva::win32 {
namespace {

using layout::Control;
using layout::Kind;

COLORREF ToColorRef(const layout::Rgb& rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

// A control's place in pixels relative to its container, the container's
// own place added: each level rounded on its own, as nested widgets are.
RECT PixelRect(const Control& control, UINT dpi) {
  const layout::Rect own = layout::ToPixels(control.twips, static_cast<int>(dpi));
  RECT rect{own.left, own.top, own.left + own.width, own.top + own.height};
  if (const Control* parent = layout::FindControl(control.parent)) {
    const RECT outer = PixelRect(*parent, dpi);
    OffsetRect(&rect, outer.left, outer.top);
  }
  return rect;
}

bool InHelpPanel(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = layout::FindControl(c->parent)) {
    if (c->name == layout::kHelpPanelName) return true;
  }
  return false;
}

// The path box takes no focus and is never edited, yet keeps its blue:
// Windows greys the text of a disabled edit box whatever its colour, so it
// is a static, which shortens a long path in its middle by itself.
bool IsPathDisplay(const Control& control) {
  return control.kind == Kind::kTextBox && control.read_only && !control.enabled;
}

// The window class and styles of one control.
struct Shape {
  const wchar_t* window_class;
  DWORD style;
  DWORD extended_style;
};

Shape ShapeOf(const Control& control) {
  DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
  if (control.visible && !InHelpPanel(control)) style |= WS_VISIBLE;
  // Each its own group: the arrow keys do not wander between controls.
  if (control.focus == layout::Focus::kTab) style |= WS_TABSTOP | WS_GROUP;
  if (!control.enabled && !IsPathDisplay(control)) style |= WS_DISABLED;
  const DWORD edge = control.border ? WS_EX_CLIENTEDGE : 0;
  switch (control.kind) {
    case Kind::kFrame:
      return {WC_STATICW, style | (control.border ? SS_ETCHEDFRAME : SS_LEFT), 0};
    case Kind::kListBox:
      return {WC_LISTBOXW, style | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS | WS_VSCROLL,
              edge};
    case Kind::kTextBox:
      if (IsPathDisplay(control)) {
        return {WC_STATICW, style | SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS | SS_NOPREFIX, 0};
      }
      return {WC_EDITW,
              style | ES_AUTOHSCROLL | (control.read_only ? ES_READONLY : 0) |
                  (control.centred ? ES_CENTER : ES_LEFT),
              edge};
    case Kind::kPushButton:
      // Drawn here: a themed button ignores the face colour it is given.
      return {WC_BUTTONW, style | BS_PUSHBUTTON | BS_OWNERDRAW, 0};
    case Kind::kLabel:
      return {WC_STATICW, style | SS_LEFT | SS_NOPREFIX, 0};
    case Kind::kImage:
      return {WC_STATICW, style | SS_ICON | SS_REALSIZECONTROL, 0};
    case Kind::kBar:
      return {WC_STATICW, style | SS_LEFT, 0};
  }
  return {WC_STATICW, style, 0};
}

// Edit boxes and the list have no caption: a hidden label just before one
// gives screen readers its name, as Windows takes a control's name from the
// static that precedes it. A box with a visible label has that instead.
bool NeedsHiddenLabel(const Control& control) {
  if (control.accessible_name.empty() || IsPathDisplay(control)) return false;
  if (control.kind != Kind::kListBox && control.kind != Kind::kTextBox) return false;
  return std::ranges::none_of(layout::Controls(),
                              [&](const Control& c) { return c.label_for == control.name; });
}

}  // namespace

Form1Window::Form1Window() : logic_(*this, database_) {}

Form1Window::~Form1Window() {
  if (window_ != nullptr) DestroyWindow(window_);
  for (const auto& [colour, brush] : brushes_) DeleteObject(brush);
  for (HFONT font : {small_font_, large_font_}) {
    if (font != nullptr) DeleteObject(font);
  }
  if (panel_icon_ != nullptr) DestroyIcon(panel_icon_);
  if (accelerators_ != nullptr) DestroyAcceleratorTable(accelerators_);
}

bool Form1Window::Create(int show_command) {
  // A fixed size: no maximize button and no sizing border.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  window_ = CreateTopWindow(kWindowClass, &HandledBy<Form1Window>, Wide(layout::NameAndVersion()),
                            kStyle, nullptr, this);
  if (window_ == nullptr) return false;
  dpi_ = GetDpiForWindow(window_);
  CreateMenuBar();
  CreateControls();
  SetFonts();
  SetIcons();
  PlaceControls();
  SizeWindow(nullptr);
  DragAcceptFiles(window_, TRUE);
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
  SetFocus(Hwnd(layout::FocusOrder().front()));
  return true;
}

void Form1Window::CreateMenuBar() {
  const HMENU bar = CreateMenu();
  std::map<std::string_view, HMENU> submenus;
  std::vector<ACCEL> keys;
  for (const layout::MenuItem& item : layout::Menu()) {
    const HMENU into = item.parent.empty() ? bar : submenus.at(item.parent);
    const bool opens_menu = std::ranges::any_of(
        layout::Menu(), [&](const layout::MenuItem& i) { return i.parent == item.name; });
    std::wstring caption = Wide(item.caption);
    if (!item.shortcut.empty()) caption += L"\t" + Wide(item.shortcut);
    if (opens_menu) {
      const HMENU submenu = CreatePopupMenu();
      submenus[item.name] = submenu;
      AppendMenuW(into, MF_POPUP, reinterpret_cast<UINT_PTR>(submenu), caption.c_str());
      continue;
    }
    const UINT command = kFirstMenuCommand + static_cast<UINT>(item.command);
    AppendMenuW(into, MF_STRING, command, caption.c_str());
    if (const char key = layout::ControlKeyOf(item.shortcut); key != 0) {
      keys.push_back({FVIRTKEY | FCONTROL, static_cast<WORD>(key), static_cast<WORD>(command)});
    }
  }
  SetMenu(window_, bar);
  if (!keys.empty())
    accelerators_ = CreateAcceleratorTableW(keys.data(), static_cast<int>(keys.size()));
}

// A later control of the table lies above an earlier one where they
// overlap, as the table says. Windows puts the first made on top, so each is
// raised in turn; Tab follows the table's focus order (PreTranslate), not
// this stacking. A label lies just above the box it names, which is where
// screen readers look for a box's name.
void Form1Window::CreateControls() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  const auto controls = layout::Controls();
  std::vector<std::pair<HWND, HWND>> labels;  // label, box
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Control& control = controls[i];
    const Shape shape = ShapeOf(control);
    const std::wstring text = Wide(control.text);
    const auto id = static_cast<INT_PTR>(kFirstControlId + static_cast<int>(i));
    const HWND hwnd =
        CreateWindowExW(shape.extended_style, shape.window_class, text.c_str(), shape.style, 0, 0,
                        0, 0, window_, reinterpret_cast<HMENU>(id), instance, nullptr);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    if (control.max_length > 0) {
      SendMessageW(hwnd, EM_SETLIMITTEXT, static_cast<WPARAM>(control.max_length), 0);
    }
    if (NeedsHiddenLabel(control)) {
      const std::wstring name = Wide(control.accessible_name);
      labels.emplace_back(CreateWindowExW(0, WC_STATICW, name.c_str(), WS_CHILD | SS_LEFT, 0, 0, 0,
                                          0, window_, nullptr, instance, nullptr),
                          hwnd);
    }
    made_.push_back({&control, hwnd, InHelpPanel(control)});
  }
  for (const Made& made : made_) {
    if (!made.control->label_for.empty())
      labels.emplace_back(made.hwnd, Hwnd(made.control->label_for));
  }
  for (const auto& [label, box] : labels) {
    const HWND above = GetWindow(box, GW_HWNDPREV);
    SetWindowPos(label, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void Form1Window::PlaceControls() {
  for (const Made& made : made_) {
    const RECT rect = PixelRect(*made.control, dpi_);
    SetWindowPos(made.hwnd, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

HFONT Form1Window::FontFor(const Control& control) const {
  if (!control.font) return nullptr;
  return control.font->centipoints == layout::kLargeFontCentipoints ? large_font_ : small_font_;
}

// "MS Sans Serif" is a bitmap font of a few fixed sizes; Microsoft Sans
// Serif is its outline version, which scales with the screen and holds the
// Cyrillic letters. Where it is missing (wine), a sans-serif face of about
// its width, before the wider ones that Windows would fall back on.
std::wstring Form1Window::FontFace() const {
  const HDC dc = GetDC(window_);
  std::wstring chosen = L"Microsoft Sans Serif";
  for (const wchar_t* face : {L"Microsoft Sans Serif", L"Tahoma", L"Arial", L"Liberation Sans"}) {
    LOGFONTW wanted{};
    wanted.lfCharSet = RUSSIAN_CHARSET;
    wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
    const auto found = [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM) { return 0; };
    if (EnumFontFamiliesExW(dc, &wanted, found, 0, 0) == 0) {
      chosen = face;
      break;
    }
  }
  ReleaseDC(window_, dc);
  return chosen;
}

void Form1Window::SetFonts() {
  const std::wstring face = FontFace();
  const auto make = [&](int centipoints) {
    const int pixels = layout::CentipointsToPixels(centipoints, static_cast<int>(dpi_));
    return CreateFontW(-pixels, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, RUSSIAN_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face.c_str());
  };
  // The old fonts go once no control uses them any more.
  const std::array old{small_font_, large_font_};
  small_font_ = make(layout::kSmallFontCentipoints);
  large_font_ = make(layout::kLargeFontCentipoints);
  for (const Made& made : made_) {
    if (HFONT font = FontFor(*made.control)) {
      SendMessageW(made.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
  }
  for (HFONT font : old) {
    if (font != nullptr) DeleteObject(font);
  }
}

// The window's icons at the sizes this monitor wants, and the help panel's
// picture at its 480 twips.
void Form1Window::SetIcons() {
  icons_.Set(window_, dpi_);
  if (const Control* image = layout::FindControl("Image1")) {
    // The old icon goes once the panel shows the new one.
    const HICON old = std::exchange(panel_icon_, LoadProgramIcon(layout::TwipsToPixels(
                                                     image->twips.width, static_cast<int>(dpi_))));
    SendMessageW(Hwnd(image->name), STM_SETICON, reinterpret_cast<WPARAM>(panel_icon_), 0);
    if (old != nullptr) DestroyIcon(old);
  }
}

// The client area is the layout's, at this monitor's dots per inch. Moved to
// another monitor, the window takes the place Windows suggests.
void Form1Window::SizeWindow(const RECT* suggested) {
  const int client_width = layout::TwipsToPixels(layout::kClientWidthTwips, static_cast<int>(dpi_));
  const int client_height =
      layout::TwipsToPixels(layout::kClientHeightTwips, static_cast<int>(dpi_));
  RECT rect{0, 0, client_width, client_height};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE));
  const auto extended = static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE));
  AdjustWindowRectExForDpi(&rect, style, TRUE, extended, dpi_);
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (suggested != nullptr) {
    SetWindowPos(window_, nullptr, suggested->left, suggested->top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  } else {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  // A menu bar that wrapped onto a second line takes client height: give it back.
  RECT client{};
  GetClientRect(window_, &client);
  if (client.bottom < client_height) {
    SetWindowPos(window_, nullptr, 0, 0, width, height + client_height - client.bottom,
                 SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  }
}

void Form1Window::OpenPath(const std::wstring& path) { logic_.OpenPath(Utf8FromUtf16(path)); }

// Keys the window takes before the dialog manager: Enter in the new text
// inserts it, Ctrl+O opens.
bool Form1Window::PreTranslate(MSG& message) {
  if (window_ == nullptr || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
    return false;
  }
  if (accelerators_ != nullptr && TranslateAcceleratorW(window_, accelerators_, &message)) {
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 &&
      GetKeyState(VK_MENU) >= 0) {
    MoveFocus(GetKeyState(VK_SHIFT) < 0 ? -1 : 1);
    return true;
  }
  if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
      message.hwnd == Hwnd("Text1")) {
    logic_.Insert(Utf8FromUtf16(TextOf(message.hwnd)));
    return true;
  }
  return IsDialogMessageW(window_, &message) != FALSE;
}

// Tab and Shift+Tab: the stop the logic names, among the controls shown and
// enabled.
void Form1Window::MoveFocus(int step) {
  const HWND focus = GetFocus();
  std::string_view from;
  for (const std::string_view name : layout::FocusOrder()) {
    if (Hwnd(name) == focus) from = name;
  }
  if (Hwnd(layout::kHelpOkName) == focus) from = layout::kHelpOkName;
  const std::string_view to = logic_.NextFocusStop(from, step, [this](std::string_view name) {
    const HWND hwnd = Hwnd(name);
    return IsWindowVisible(hwnd) != FALSE && IsWindowEnabled(hwnd) != FALSE;
  });
  if (to.empty()) return;
  const HWND next = Hwnd(to);
  SetFocus(next);
  // As the dialog manager does: an edit box reached by Tab has its text selected.
  if ((SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
    SendMessageW(next, EM_SETSEL, 0, -1);
  }
}

LRESULT Form1Window::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return ColourFor(reinterpret_cast<HWND>(lparam), reinterpret_cast<HDC>(wparam));
    case WM_DRAWITEM:
      DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_ERASEBKGND: {
      RECT client{};
      GetClientRect(window_, &client);
      FillRect(reinterpret_cast<HDC>(wparam), &client, Brush(ToColorRef(layout::kFace)));
      return 1;
    }
    // The focus comes back to the control that had it when the window was
    // left, for a message box or another program.
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        if (const HWND focus = GetFocus(); focus != nullptr && Find(focus) != nullptr) {
          focus_on_return_ = focus;
        }
      } else if (focus_on_return_ != nullptr && IsWindowVisible(focus_on_return_) &&
                 IsWindowEnabled(focus_on_return_)) {
        SetFocus(focus_on_return_);
      } else {
        MoveFocus(1);
      }
      return 0;
    case WM_DROPFILES:
      OnDrop(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_DPICHANGED:
      dpi_ = HIWORD(wparam);
      SetFonts();
      SetIcons();
      PlaceControls();
      SizeWindow(reinterpret_cast<const RECT*>(lparam));
      InvalidateRect(window_, nullptr, TRUE);
      return 0;
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) != Hwnd("List1")) break;
      ShowListMenu(lparam);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

// The mission list's own menu: at the pointer, or from the keyboard (Shift+F10,
// the menu key) below the selected mission.
void Form1Window::ShowListMenu(LPARAM where) {
  const HWND list = Hwnd("List1");
  POINT at{static_cast<short>(LOWORD(where)), static_cast<short>(HIWORD(where))};
  if (at.x == -1 && at.y == -1) {  // from the keyboard
    RECT item{};
    const auto selected = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (selected < 0 || SendMessageW(list, LB_GETITEMRECT, static_cast<WPARAM>(selected),
                                     reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
      GetClientRect(list, &item);
      item.bottom = item.top;
    }
    at = {item.left, item.bottom};
    ClientToScreen(list, &at);
  }
  const HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, kEditAllCommand, L"&Edit all entries…");
  const int command =
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  DestroyMenu(menu);
  if (command == kEditAllCommand && on_edit_all_) on_edit_all_(logic_.DatabasePath());
}

void Form1Window::ReadAgain() {
  if (window_ != nullptr && !logic_.DatabasePath().empty()) logic_.OpenPath(logic_.DatabasePath());
}

void Form1Window::OnCommand(int id, int code, HWND from) {
  if (from == nullptr) {  // a menu item, an accelerator or the dialog manager
    switch (id) {
      case kOpenCommand:
      case kHelpCommand:
        logic_.RunMenuCommand(static_cast<layout::MenuCommand>(id - kFirstMenuCommand));
        return;
      case IDCANCEL:  // Esc
        logic_.Escape();
        return;
      case IDOK: {  // Enter presses the focused button, as in a dialog box
        const Made* focused = Find(GetFocus());
        if (focused != nullptr && focused->control->kind == Kind::kPushButton) {
          SendMessageW(focused->hwnd, BM_CLICK, 0, 0);
        }
        return;
      }
      default:
        return;
    }
  }
  const Made* made = Find(from);
  if (made == nullptr) return;
  const std::string_view name = made->control->name;
  if (name == "List1" && code == LBN_SELCHANGE) {
    logic_.SelectionChanged(static_cast<int>(SendMessageW(from, LB_GETCURSEL, 0, 0)));
  } else if (name == "Text1" && code == EN_MAXTEXT) {
    MessageBeep(MB_OK);  // a character typed into a full box is not taken: say so
  } else if (name == "Command1" && code == BN_CLICKED) {
    logic_.Insert(Utf8FromUtf16(TextOf(Hwnd("Text1"))));
  } else if (name == layout::kHelpOkName && code == BN_CLICKED) {
    logic_.HideHelp();
  }
}

// One database file dropped from Explorer opens; anything else is left alone.
void Form1Window::OnDrop(HDROP drop) {
  std::wstring path;
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) == 1) {
    path.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
    path.resize(DragQueryFileW(drop, 0, path.data(), static_cast<UINT>(path.size())));
  }
  DragFinish(drop);
  const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
  if (!path.empty() && IsDatabaseFileName(Utf8FromUtf16(name)))
    logic_.OpenPath(Utf8FromUtf16(path));
}

LRESULT Form1Window::ColourFor(HWND control, HDC dc) {
  const Made* made = Find(control);
  if (made == nullptr) {  // a hidden label
    SetBkColor(dc, ToColorRef(layout::kFace));
    return reinterpret_cast<LRESULT>(Brush(ToColorRef(layout::kFace)));
  }
  const Control& c = *made->control;
  std::optional<layout::Rgb> background = c.background;
  if (!background && c.kind == Kind::kLabel) {
    if (const Control* parent = layout::FindControl(c.parent)) background = parent->background;
  }
  const COLORREF back = background ? ToColorRef(*background) : GetSysColor(COLOR_WINDOW);
  if (c.text_colour) SetTextColor(dc, ToColorRef(*c.text_colour));
  SetBkColor(dc, back);
  return reinterpret_cast<LRESULT>(Brush(back));
}

// A push button in its face colour: raised, sunken while pressed, with a
// dotted line around its caption while it has the focus.
void Form1Window::DrawButton(const DRAWITEMSTRUCT& item) {
  const Made* made = Find(item.hwndItem);
  if (made == nullptr) return;
  const Control& c = *made->control;
  RECT rect = item.rcItem;
  const bool pressed = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &rect,
           Brush(c.background ? ToColorRef(*c.background) : GetSysColor(COLOR_BTNFACE)));
  DrawEdge(item.hDC, &rect, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  if (pressed) OffsetRect(&rect, 1, 1);
  const HGDIOBJ old_font = SelectObject(item.hDC, FontFor(c));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC,
               GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  const std::wstring caption = TextOf(item.hwndItem);
  DrawTextW(item.hDC, caption.c_str(), static_cast<int>(caption.size()), &rect,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(item.hDC, old_font);
  if ((item.itemState & ODS_FOCUS) != 0) {
    InflateRect(&rect, -3, -3);
    DrawFocusRect(item.hDC, &rect);
  }
}

HWND Form1Window::Hwnd(std::string_view name) const {
  const auto found = std::ranges::find(made_, name, [](const Made& m) { return m.control->name; });
  return found == made_.end() ? nullptr : found->hwnd;
}

const Form1Window::Made* Form1Window::Find(HWND hwnd) const {
  const auto found = std::ranges::find(made_, hwnd, &Made::hwnd);
  return found == made_.end() ? nullptr : &*found;
}

HBRUSH Form1Window::Brush(COLORREF colour) {
  auto [at, added] = brushes_.try_emplace(colour, nullptr);
  if (added) at->second = CreateSolidBrush(colour);
  return at->second;
}

// --- What the logic asks ---

std::optional<std::string> Form1Window::ChooseExistingFile(const OpenFileRequest& request) {
  const std::wstring title = Wide(request.title);
  std::wstring filter = Wide(request.filter_description);
  filter.push_back(L'\0');
  filter += Wide(request.filter_pattern);
  filter.push_back(L'\0');
  // Long enough for any path Windows takes.
  std::wstring file = Wide(request.start_path);
  file.resize(std::max<std::size_t>(file.size() + 1, 32768), L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = window_;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrTitle = title.c_str();
  dialog.Flags =
      OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
  if (!GetOpenFileNameW(&dialog)) {
    // A start path the dialog cannot take (its folder is gone): start afresh.
    if (CommDlgExtendedError() != FNERR_INVALIDFILENAME || file[0] == L'\0') return std::nullopt;
    std::fill(file.begin(), file.end(), L'\0');
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
  }
  return Utf8FromUtf16(file.c_str());
}

// The reasons below the message, as the Qt window shows them.
void Form1Window::ShowMessage(MessageIcon icon, const std::string& text,
                              const std::string& details) {
  std::wstring body = Wide(text);
  if (!details.empty()) body += L"\n\n" + Wide(details);
  const UINT kind = icon == MessageIcon::kInformation ? MB_ICONINFORMATION : MB_ICONEXCLAMATION;
  MessageBoxW(window_, body.c_str(), L"", MB_OK | kind);
}

void Form1Window::ShowPath(const std::string& path) {
  SetWindowTextW(Hwnd("Text2"), Wide(path).c_str());
}

void Form1Window::ShowMissions(const std::vector<std::string>& texts) {
  const HWND list = Hwnd("List1");
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& text : texts) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void Form1Window::SelectMission(int row) {
  SendMessageW(Hwnd("List1"), LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

void Form1Window::ShowDetails(const std::string& image_name, const std::string& id) {
  SetWindowTextW(Hwnd("Text3"), Wide(image_name).c_str());
  SetWindowTextW(Hwnd("Text4"), Wide(id).c_str());
}

void Form1Window::SetCommandsEnabled(bool enabled) {
  for (const std::string_view name : layout::CommandControls()) {
    EnableWindow(Hwnd(name), enabled ? TRUE : FALSE);
  }
}

// The panel covers the window: what lies under it is hidden while it is up,
// so that neither Tab nor a screen reader finds it, and the focus is on OK.
void Form1Window::SetHelpShown(bool shown) {
  if (shown) {
    const HWND focus = GetFocus();
    if (focus != nullptr && Find(focus) != nullptr && !Find(focus)->in_help_panel) {
      focus_before_help_ = focus;
    }
  }
  for (const Made& made : made_) {
    const bool visible = made.in_help_panel ? shown : (!shown && made.control->visible);
    ShowWindow(made.hwnd, visible ? SW_SHOWNA : SW_HIDE);
  }
  if (shown) {
    SetFocus(Hwnd(layout::kHelpOkName));
    return;
  }
  HWND back = focus_before_help_;
  if (back == nullptr || !IsWindowEnabled(back)) back = Hwnd(layout::FocusOrder().front());
  if (IsWindowEnabled(back)) SetFocus(back);
}

}  // namespace orva::win32
