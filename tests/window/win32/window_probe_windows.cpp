// orva-probe.exe: looks at orva.exe's window from outside, as a user or a
// screen reader would, and works it through window messages; one command a
// run, its findings on standard output as UTF-8 lines. Controls are named as
// in the layout table.
//   layout              every control in its place at the monitor's dots per
//                       inch, with its caption and name, shown as at start
//   focus | list | text NAME | state NAME      what the window shows
//   settext NAME TEXT | key NAME return|escape|tab | click NAME |
//   menu open|help | close                     what a user does
//   message [MS]        the next message box's "[title] text"; presses OK
//   choose PATH | cancel    the Open dialog's title; chooses PATH or cancels
//   version EXE         the product version in EXE's version resource
// Exit status 1 when the layout is wrong, 2 on a usage error or no window,
// 3 when no box or dialog came.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#include <shellscalingapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/utf16.h"
#include "tests/window/win32/probe_windows.h"
#include "window/form1_layout.h"
#include "window/win32/form1_windows.h"

namespace {

// The lookups both probes make (probe_windows.h).
using namespace orva::probe;
using orva::win32::kFirstControlId;
using orva::win32::kWindowClass;

HWND MainWindow() {
  for (int tries = 0; tries < 300; ++tries) {
    if (const HWND found = FindWindowW(kWindowClass, nullptr); found && IsWindowVisible(found)) {
      return found;
    }
    Sleep(100);
  }
  Print("no ORVA window");
  std::exit(2);
}

// The control named so in the layout table, found by its id.
HWND Named(HWND window, std::string_view name) {
  const auto controls = orva::layout::Controls();
  for (std::size_t i = 0; i < controls.size(); ++i) {
    if (controls[i].name == name) return GetDlgItem(window, kFirstControlId + static_cast<int>(i));
  }
  Print("no control named " + std::string(name));
  std::exit(2);
}

std::string NameOf(HWND window, HWND control) {
  const int id = GetDlgCtrlID(control) - kFirstControlId;
  const auto controls = orva::layout::Controls();
  if (GetParent(control) != window || id < 0 || static_cast<std::size_t>(id) >= controls.size()) {
    return "(none)";
  }
  return std::string(controls[static_cast<std::size_t>(id)].name);
}

// The control's place relative to the client area, as the layout gives it:
// its own twips and those of every container around it, added.
orva::layout::Rect TwipsInClient(const orva::layout::Control& control) {
  orva::layout::Rect rect = control.twips;
  for (const auto* c = orva::layout::FindControl(control.parent); c != nullptr;
       c = orva::layout::FindControl(c->parent)) {
    rect.left += c->twips.left;
    rect.top += c->twips.top;
  }
  return rect;
}

// Twips as pixels at `dpi`, worked out here on its own; containers are
// rounded each on its own, so a position may be one pixel off the sum.
double Pixels(int twips, UINT dpi) { return twips * static_cast<double>(dpi) / 1440.0; }
bool Near(long actual, int twips, UINT dpi) { return std::abs(actual - Pixels(twips, dpi)) <= 1.0; }

// What a screen reader calls a control. A button or a static is named by its
// own text; an edit box or a list, whose text is its content, by the static
// just before it in Windows' order of the controls (the one above it).
std::string AccessibleName(HWND window, HWND control) {
  wchar_t kind[32] = {};
  GetClassNameW(control, kind, 32);
  const std::wstring_view type(kind);
  if (type != L"Edit" && type != L"ListBox") return orva::Utf8FromUtf16(TextOf(control));
  const HWND label = GetWindow(control, GW_HWNDPREV);
  GetClassNameW(label, kind, 32);
  if (label == nullptr || GetParent(label) != window || std::wstring_view(kind) != L"Static") {
    return "(none)";
  }
  return orva::Utf8FromUtf16(TextOf(label));
}

// The name the layout gives: a label's caption for the box it names, else
// the control's own name for screen readers, else its caption.
std::string ExpectedName(const orva::layout::Control& control) {
  for (const auto& other : orva::layout::Controls()) {
    if (other.label_for == control.name) return std::string(other.text);
  }
  if (control.kind == orva::layout::Kind::kListBox ||
      control.kind == orva::layout::Kind::kTextBox) {
    return std::string(control.accessible_name);
  }
  return std::string(control.text);
}

int CheckLayout(HWND window) {
  // The dots per inch of the monitor the window is on.
  UINT dpi = 0;
  UINT unused = 0;
  if (FAILED(GetDpiForMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST),
                              MDT_EFFECTIVE_DPI, &dpi, &unused))) {
    Print("no dpi for the window's monitor");
    return 1;
  }
  Print("dpi " + std::to_string(dpi));
  int wrong = 0;
  RECT client{};
  GetClientRect(window, &client);
  if (!Near(client.right, orva::layout::kClientWidthTwips, dpi) ||
      !Near(client.bottom, orva::layout::kClientHeightTwips, dpi)) {
    Print("client area " + std::to_string(client.right) + "x" + std::to_string(client.bottom));
    ++wrong;
  }
  const std::wstring title = TextOf(window);
  if (orva::Utf8FromUtf16(title) != orva::layout::NameAndVersion()) {
    Print("title " + orva::Utf8FromUtf16(title));
    ++wrong;
  }
  for (const auto& control : orva::layout::Controls()) {
    const HWND hwnd = Named(window, control.name);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    const orva::layout::Rect twips = TwipsInClient(control);
    const bool placed = Near(rect.left, twips.left, dpi) && Near(rect.top, twips.top, dpi) &&
                        Near(rect.right - rect.left, twips.width, dpi) &&
                        Near(rect.bottom - rect.top, twips.height, dpi);
    // Under the help panel everything is shown at start, the panel hidden.
    bool in_panel = false;
    for (const auto* c = &control; c != nullptr; c = orva::layout::FindControl(c->parent)) {
      in_panel = in_panel || c->name == orva::layout::kHelpPanelName;
    }
    const bool shown_right = (IsWindowVisible(hwnd) != FALSE) == !in_panel;
    const bool kept_text =
        control.text.empty() || orva::Utf8FromUtf16(TextOf(hwnd)) == control.text;
    const std::string name = AccessibleName(window, hwnd);
    // The path box, which takes no focus, is read out as the path it shows.
    const bool shows_path = control.kind == orva::layout::Kind::kTextBox && !control.enabled;
    const bool named = shows_path || name == ExpectedName(control);
    const std::string line = std::string(control.name) + " " + std::to_string(rect.left) + " " +
                             std::to_string(rect.top) + " " +
                             std::to_string(rect.right - rect.left) + " " +
                             std::to_string(rect.bottom - rect.top);
    if (placed && shown_right && kept_text && named) {
      Print(line + " ok");
    } else {
      Print(line + (placed ? "" : " MISPLACED") + (shown_right ? "" : " WRONGLY-SHOWN") +
            (kept_text ? "" : " CAPTION:" + orva::Utf8FromUtf16(TextOf(hwnd))) +
            (named ? "" : " NAMED:" + name));
      ++wrong;
    }
  }
  return wrong == 0 ? 0 : 1;
}

UINT Key(std::string_view name) {
  if (name == "return") return VK_RETURN;
  if (name == "escape") return VK_ESCAPE;
  if (name == "tab") return VK_TAB;
  Print("unknown key");
  std::exit(2);
}

void Press(HWND hwnd, UINT key) {
  PostMessageW(hwnd, WM_KEYDOWN, key, 1);
  PostMessageW(hwnd, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Positions as they are, not scaled for a program that knows no DPI.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  (void)_setmode(_fileno(stdout), _O_BINARY);  // lines end in LF alone, as the tests read them
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(orva::Utf8FromUtf16(argv[i]));
  if (args.empty()) return 2;
  const std::string& command = args[0];
  if (command == "version" && args.size() == 2) {
    const std::wstring path = orva::Utf16FromUtf8(args[1]);
    std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    wchar_t* version = nullptr;
    UINT length = 0;
    if (info.empty() ||
        !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()) ||
        !VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                        reinterpret_cast<void**>(&version), &length)) {
      Print("no version resource");
      return 1;
    }
    Print(orva::Utf8FromUtf16(std::wstring_view(version, length > 0 ? length - 1 : 0)));
    return 0;
  }
  const HWND window = MainWindow();
  if (command == "layout") return CheckLayout(window);
  if (command == "focus") {
    Print(NameOf(window, Focused(window)));
  } else if (command == "text" && args.size() == 2) {
    Print(orva::Utf8FromUtf16(TextOf(Named(window, args[1]))));
  } else if (command == "state" && args.size() == 2) {
    const HWND hwnd = Named(window, args[1]);
    Print(std::string(IsWindowEnabled(hwnd) ? "enabled" : "disabled") +
          (IsWindowVisible(hwnd) ? " shown" : " hidden"));
  } else if (command == "list") {
    const HWND list = Named(window, "List1");
    const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    const auto row = SendMessageW(list, LB_GETCURSEL, 0, 0);
    std::wstring text;
    if (row >= 0) {
      text.resize(
          static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0)) +
          1);
      text.resize(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row),
                                                        reinterpret_cast<LPARAM>(text.data()))));
    }
    Print(std::to_string(count) + " " + std::to_string(row) + " " + orva::Utf8FromUtf16(text));
  } else if (command == "settext" && args.size() == 3) {
    const std::wstring text = orva::Utf16FromUtf8(args[2]);
    SendMessageW(Named(window, args[1]), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
  } else if (command == "key" && args.size() == 3) {
    Press(Named(window, args[1]), Key(args[2]));
  } else if (command == "click" && args.size() == 2) {
    PostMessageW(Named(window, args[1]), BM_CLICK, 0, 0);
  } else if (command == "menu" && args.size() == 2) {
    PostMessageW(window, WM_COMMAND,
                 args[1] == "open" ? orva::win32::kOpenCommand : orva::win32::kHelpCommand, 0);
  } else if (command == "message") {
    const HWND box = WaitForDialog(window, args.size() > 1 ? std::atoi(args[1].c_str()) : 10000);
    if (box == nullptr) {
      Print("none");
      return 3;
    }
    Print("[" + orva::Utf8FromUtf16(TextOf(box)) + "] " +
          orva::Utf8FromUtf16(TextOf(GetDlgItem(box, kMessageTextId))));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int waited = 0; IsWindow(box) && waited < 5000; waited += 50) Sleep(50);
  } else if ((command == "choose" && args.size() == 2) || command == "cancel") {
    const HWND dialog = WaitForDialog(window, 10000);
    if (dialog == nullptr) {
      Print("none");
      return 3;
    }
    Print(orva::Utf8FromUtf16(TextOf(dialog)));
    if (command == "cancel") {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return 0;
    }
    // The file name box: the edit inside the name combo box (cmb13, a
    // ComboBoxEx around a combo box), or edt1 in older dialogs.
    HWND name = GetDlgItem(dialog, 0x47C);
    if (name != nullptr) {
      const HWND inner = FindWindowExW(name, nullptr, L"ComboBox", nullptr);
      name = FindWindowExW(inner != nullptr ? inner : name, nullptr, L"Edit", nullptr);
    } else {
      name = GetDlgItem(dialog, 0x480);
    }
    const std::wstring path = orva::Utf16FromUtf8(args[1]);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  } else if (command == "close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else {
    Print("unknown command");
    return 2;
  }
  Settle(window);
  return 0;
}
