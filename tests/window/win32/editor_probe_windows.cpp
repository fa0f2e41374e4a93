// orva-editor-probe.exe: looks at orva.exe's editor window from outside, as
// a user or a screen reader would, and works its dialogs through window
// messages; one command a run, its findings on standard output as UTF-8
// lines.
//   title | status | columns | rows        what the window shows; rows is
//                                         "COUNT SELECTED", -1 for no selection
//   row N|selected                        the row's cells, tab-separated
//   selected                              every row selected, "N N ...", or "none"
//   focus                                 filter, table, or the focused control's
//                                         id in a dialog: "dialog 300"
//   names                                 the filter box, the table and the picture,
//                                         each with the name a screen reader finds
//   details                               the details pane: its heading, the
//                                         reference's heading and text (when shown),
//                                         the text, its summary, the findings
//   underlined [dialog]                   the runs of the details pane's text, or
//                                         the dialog's text box's, drawn as
//                                         misspelt, "FROM-TO" each, or "none"
//   contextmenu details|dialog N          a right click on that box's character N
//                                         (its WM_CONTEXTMENU there), posted
//   picture                               the screenshot pane's caption, and
//                                         "shown WxH" or "none"
//   height filter | width N               the filter box's height, column N's
//                                         width, in pixels; "dpi D" first
//   dialog [MS]                           the dialog up: "[title] " and the texts
//                                         of its statics and buttons, " | " between
//   item ID | settext ID TEXT             a control of the dialog up
//   press CAPTION                         presses the dialog's button of that caption
//   choose PATH                           types PATH into the file dialog up, and OK
//   message [MS]                          a message box's "[title] text"; presses OK
//   close                                 closes the window, as its close box does
// Exit status 2 on a usage error or no window, 3 when no dialog came.
// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>
#include <richedit.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/utf16.h"
#include "tests/window/win32/probe_windows.h"
#include "window/win32/editor_dialogs_windows.h"
#include "window/win32/editor_view_windows.h"

namespace {

using orva::Utf16FromUtf8;
using orva::Utf8FromUtf16;
// The lookups both probes make (probe_windows.h).
using namespace orva::probe;
namespace ids = orva::win32;

[[noreturn]] void Stop(std::string_view why, int status) {
  Print(why);
  std::exit(status);
}

HWND EditorWindow() {
  for (int tries = 0; tries < 300; ++tries) {
    const HWND found = FindWindowW(ids::kEditorWindowClass, nullptr);
    if (found != nullptr && IsWindowVisible(found)) return found;
    Sleep(100);
  }
  Stop("no editor window", 2);
}

// Memory in orva.exe for the list view to write what it is asked into: a
// pointer in a message to another process means an address in that one.
class RemoteBuffer {
 public:
  RemoteBuffer(HWND window, std::size_t size) : size_(size) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, id);
    if (process_ != nullptr) {
      address_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    if (address_ == nullptr) Stop("no memory in orva.exe", 2);
  }
  ~RemoteBuffer() {
    VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    CloseHandle(process_);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;

  char* at(std::size_t offset) const { return static_cast<char*>(address_) + offset; }
  void Write(std::size_t offset, const void* data, std::size_t size) const {
    WriteProcessMemory(process_, at(offset), data, size, nullptr);
  }
  void Read(std::size_t offset, void* data, std::size_t size) const {
    ReadProcessMemory(process_, at(offset), data, size, nullptr);
  }
  std::wstring ReadText(std::size_t offset) const {
    std::wstring text((size_ - offset) / sizeof(wchar_t), L'\0');
    ReadProcessMemory(process_, at(offset), text.data(), text.size() * sizeof(wchar_t), nullptr);
    text.resize(text.find(L'\0') == std::wstring::npos ? text.size() : text.find(L'\0'));
    return text;
  }

 private:
  std::size_t size_;
  HANDLE process_ = nullptr;
  void* address_ = nullptr;
};

constexpr std::size_t kTextAt = 512;  // after the structure, in a remote buffer
constexpr std::size_t kBufferSize = kTextAt + 65536;

std::string Cell(HWND table, int row, int column) {
  const RemoteBuffer remote(table, kBufferSize);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<wchar_t*>(remote.at(kTextAt));
  item.cchTextMax = static_cast<int>((kBufferSize - kTextAt) / sizeof(wchar_t));
  remote.Write(0, &item, sizeof item);
  SendMessageW(table, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(remote.at(0)));
  return Utf8FromUtf16(remote.ReadText(kTextAt));
}

int ColumnCount(HWND table) {
  const HWND header = reinterpret_cast<HWND>(SendMessageW(table, LVM_GETHEADER, 0, 0));
  return static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
}

std::string ColumnTitle(HWND table, int column) {
  const RemoteBuffer remote(table, kBufferSize);
  LVCOLUMNW shape{};
  shape.mask = LVCF_TEXT;
  shape.pszText = reinterpret_cast<wchar_t*>(remote.at(kTextAt));
  shape.cchTextMax = 256;
  remote.Write(0, &shape, sizeof shape);
  SendMessageW(table, LVM_GETCOLUMNW, static_cast<WPARAM>(column),
               reinterpret_cast<LPARAM>(remote.at(0)));
  return Utf8FromUtf16(remote.ReadText(kTextAt));
}

HWND DialogOrStop(HWND window, int ms) {
  const HWND dialog = WaitForDialog(window, ms);
  if (dialog == nullptr) Stop("none", 3);
  return dialog;
}

// Every visible control of a dialog, in Windows' order of them, the task
// dialog's panes included.
std::vector<HWND> Controls(HWND dialog) {
  std::vector<HWND> found;
  EnumChildWindows(
      dialog,
      [](HWND hwnd, LPARAM param) -> BOOL {
        if (IsWindowVisible(hwnd)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

std::string WithoutMnemonic(std::wstring text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == L'&' && i + 1 < text.size()) ++i;
    out += text[i];
  }
  return Utf8FromUtf16(out);
}

// What a screen reader calls a box, a list or a picture, which have no
// caption of their own: the static just before it in Windows' order of the
// controls (the one above it).
std::string AccessibleName(HWND control) {
  const HWND label = GetWindow(control, GW_HWNDPREV);
  if (label == nullptr || ClassOf(label) != "Static") return "(none)";
  return WithoutMnemonic(TextOf(label));
}

UINT DpiOf(HWND window) {
  UINT dpi = 0;
  UINT unused = 0;
  GetDpiForMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), MDT_EFFECTIVE_DPI, &dpi,
                   &unused);
  return dpi;
}

// The runs of a rich edit box's text drawn as misspelt, "FROM-TO" each
// (UTF-16 units), or "none"; the selection is put back as it was.
std::string Underlined(HWND box) {
  const int length = static_cast<int>(TextOf(box).size());
  const RemoteBuffer remote(box, 1024);
  constexpr std::size_t kFormatAt = 64;
  const auto select = [&](CHARRANGE range) {
    remote.Write(0, &range, sizeof range);
    SendMessageW(box, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(remote.at(0)));
  };
  SendMessageW(box, EM_EXGETSEL, 0, reinterpret_cast<LPARAM>(remote.at(0)));
  CHARRANGE was{};
  remote.Read(0, &was, sizeof was);
  std::string runs;
  int from = -1;
  for (int i = 0; i <= length; ++i) {
    bool underlined = false;
    if (i < length) {
      select({i, i + 1});
      CHARFORMAT2W look{};
      look.cbSize = sizeof look;
      remote.Write(kFormatAt, &look, sizeof look);
      SendMessageW(box, EM_GETCHARFORMAT, SCF_SELECTION,
                   reinterpret_cast<LPARAM>(remote.at(kFormatAt)));
      remote.Read(kFormatAt, &look, sizeof look);
      underlined =
          (look.dwEffects & CFE_UNDERLINE) != 0 && look.bUnderlineType != CFU_UNDERLINENONE;
    }
    if (underlined && from < 0) from = i;
    if (!underlined && from >= 0) {
      runs += (runs.empty() ? "" : " ") + std::to_string(from) + "-" + std::to_string(i);
      from = -1;
    }
  }
  select(was);
  return runs.empty() ? "none" : runs;
}

int Wait(const std::vector<std::string>& args, std::size_t at, int otherwise) {
  return args.size() > at ? std::atoi(args[at].c_str()) : otherwise;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Sizes as they are, not scaled for a program that knows no DPI.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  (void)_setmode(_fileno(stdout), _O_BINARY);  // lines end in LF alone, as the tests read them
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(Utf8FromUtf16(argv[i]));
  if (args.empty()) return 2;
  const std::string& command = args[0];
  const HWND window = EditorWindow();
  const HWND table = GetDlgItem(window, ids::kEditorTableId);

  if (command == "title") {
    Print(Utf8FromUtf16(TextOf(window)));
  } else if (command == "status") {
    Print(Utf8FromUtf16(TextOf(GetDlgItem(window, ids::kEditorStatusId))));
  } else if (command == "columns") {
    std::string line;
    for (int i = 0; i < ColumnCount(table); ++i)
      line += (i > 0 ? "\t" : "") + ColumnTitle(table, i);
    Print(line);
  } else if (command == "rows") {
    const auto count = SendMessageW(table, LVM_GETITEMCOUNT, 0, 0);
    const auto selected =
        SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    Print(std::to_string(count) + " " + std::to_string(selected));
  } else if (command == "selected") {
    std::string line;
    for (auto row = SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
         row >= 0;
         row = SendMessageW(table, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))
      line += (line.empty() ? "" : " ") + std::to_string(row);
    Print(line.empty() ? "none" : line);
  } else if (command == "row" && args.size() == 2) {
    const int row = args[1] == "selected"
                        ? static_cast<int>(SendMessageW(table, LVM_GETNEXTITEM,
                                                        static_cast<WPARAM>(-1), LVNI_SELECTED))
                        : std::atoi(args[1].c_str());
    if (row < 0) Stop("no row", 3);
    std::string line;
    for (int i = 0; i < ColumnCount(table); ++i) line += (i > 0 ? "\t" : "") + Cell(table, row, i);
    Print(line);
  } else if (command == "focus") {
    const HWND focus = Focused(window);
    const int id = GetDlgCtrlID(focus);
    if (GetParent(focus) != window) {
      Print("dialog " + std::to_string(id));
    } else {
      Print(id == ids::kEditorFilterId  ? "filter"
            : id == ids::kEditorTableId ? "table"
                                        : "other " + std::to_string(id));
    }
  } else if (command == "names") {
    for (const auto& [name, id] :
         {std::pair{"filter", ids::kEditorFilterId}, std::pair{"table", ids::kEditorTableId},
          std::pair{"picture", ids::kEditorShotId}}) {
      Print(std::string(name) + " " + AccessibleName(GetDlgItem(window, id)));
    }
  } else if (command == "details") {
    const auto shown = [&](int id) {
      const HWND control = GetDlgItem(window, id);
      return IsWindowVisible(control) != FALSE ? Utf8FromUtf16(TextOf(control))
                                               : std::string("(hidden)");
    };
    for (const int id :
         {ids::kEditorDetailsHeadingId, ids::kEditorReferenceHeadingId, ids::kEditorReferenceId,
          ids::kEditorDetailsId, ids::kEditorDetailsSummaryId, ids::kEditorFindingsId}) {
      Print(shown(id));
    }
  } else if (command == "underlined" && args.size() <= 2) {
    const HWND box = args.size() == 2 && args[1] == "dialog"
                         ? GetDlgItem(DialogOrStop(window, 10000), ids::kDialogTextId)
                         : GetDlgItem(window, ids::kEditorDetailsId);
    Print(Underlined(box));
    if (args.size() == 2) return 0;
  } else if (command == "contextmenu" && args.size() == 3) {
    const HWND box = args[1] == "dialog"
                         ? GetDlgItem(DialogOrStop(window, 10000), ids::kDialogTextId)
                         : GetDlgItem(window, ids::kEditorDetailsId);
    // The character's top left corner, a few pixels in.
    const RemoteBuffer remote(box, 64);
    SendMessageW(box, EM_POSFROMCHAR, reinterpret_cast<WPARAM>(remote.at(0)),
                 std::atoi(args[2].c_str()));
    POINTL place{};
    remote.Read(0, &place, sizeof place);
    POINT at{place.x + 2, place.y + 4};
    ClientToScreen(box, &at);
    PostMessageW(box, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(box), MAKELPARAM(at.x, at.y));
    if (args[1] == "dialog") return 0;
  } else if (command == "picture") {
    const HWND picture = GetDlgItem(window, ids::kEditorShotId);
    RECT rect{};
    GetClientRect(picture, &rect);
    const bool shown =
        IsWindowVisible(picture) && SendMessageW(picture, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
    Print(Utf8FromUtf16(TextOf(GetDlgItem(window, ids::kEditorShotCaptionId))));
    Print(shown ? "shown " + std::to_string(rect.right) + "x" + std::to_string(rect.bottom)
                : "none");
  } else if (command == "height" && args.size() == 2 && args[1] == "filter") {
    RECT rect{};
    GetWindowRect(GetDlgItem(window, ids::kEditorFilterId), &rect);
    Print("dpi " + std::to_string(DpiOf(window)));
    Print(std::to_string(rect.bottom - rect.top));
  } else if (command == "width" && args.size() == 2) {
    Print("dpi " + std::to_string(DpiOf(window)));
    Print(std::to_string(SendMessageW(table, LVM_GETCOLUMNWIDTH, std::atoi(args[1].c_str()), 0)));
  } else if (command == "dialog") {
    const HWND dialog = DialogOrStop(window, Wait(args, 1, 10000));
    std::string line = "[" + Utf8FromUtf16(TextOf(dialog)) + "]";
    bool first = true;
    for (const HWND control : Controls(dialog)) {
      const std::string kind = ClassOf(control);
      if (kind != "Static" && kind != "Button") continue;
      const std::string text = WithoutMnemonic(TextOf(control));
      if (text.empty()) continue;
      line += (first ? " " : " | ") + text;
      first = false;
    }
    Print(line);
    return 0;
  } else if (command == "item" && args.size() == 2) {
    const HWND dialog = DialogOrStop(window, 10000);
    Print(Utf8FromUtf16(TextOf(GetDlgItem(dialog, std::atoi(args[1].c_str())))));
    return 0;
  } else if (command == "settext" && args.size() == 3) {
    const HWND dialog = DialogOrStop(window, 10000);
    const std::wstring text = Utf16FromUtf8(args[2]);
    SendMessageW(GetDlgItem(dialog, std::atoi(args[1].c_str())), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(text.c_str()));
  } else if (command == "press" && args.size() == 2) {
    const HWND dialog = DialogOrStop(window, 10000);
    HWND button = nullptr;
    for (const HWND control : Controls(dialog)) {
      if (ClassOf(control) == "Button" && WithoutMnemonic(TextOf(control)) == args[1]) {
        button = control;
      }
    }
    if (button == nullptr) Stop("no button " + args[1], 3);
    PostMessageW(button, BM_CLICK, 0, 0);
  } else if (command == "choose" && args.size() == 2) {
    // The file dialog's name box is its one edit box, there or in a combo box.
    const HWND dialog = DialogOrStop(window, 10000);
    HWND name = nullptr;
    for (const HWND control : Controls(dialog)) {
      if (name == nullptr && ClassOf(control) == "Edit") name = control;
    }
    if (name == nullptr) Stop("no file name box", 3);
    const std::wstring path = Utf16FromUtf8(args[1]);
    SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    for (int waited = 0; IsWindow(dialog) && waited < 5000; waited += 50) Sleep(50);
  } else if (command == "message") {
    const HWND box = DialogOrStop(window, Wait(args, 1, 10000));
    Print("[" + Utf8FromUtf16(TextOf(box)) + "] " +
          Utf8FromUtf16(TextOf(GetDlgItem(box, kMessageTextId))));
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (int waited = 0; IsWindow(box) && waited < 5000; waited += 50) Sleep(50);
  } else if (command == "close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else {
    Stop("unknown command", 2);
  }
  Settle(window);
  return 0;
}
