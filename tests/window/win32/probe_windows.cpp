#include "tests/window/win32/probe_windows.h"

#include <cstdio>

#include "storage/utf16.h"

namespace orva::probe {

void Print(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

std::wstring TextOf(HWND hwnd) {
  std::wstring text(32768, L'\0');
  const LRESULT got =
      SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

std::string ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return Utf8FromUtf16(name);
}

HWND Focused(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

HWND WaitForDialog(HWND window, int ms) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  struct Search {
    DWORD process;
    HWND found;
  } search{process, nullptr};
  for (int waited = 0; waited <= ms; waited += 100) {
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
          auto* s = reinterpret_cast<Search*>(param);
          DWORD owner = 0;
          GetWindowThreadProcessId(hwnd, &owner);
          if (owner != s->process || ClassOf(hwnd) != "#32770" || !IsWindowVisible(hwnd)) {
            return TRUE;
          }
          s->found = hwnd;
          return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(100);
  }
  return nullptr;
}

void Settle(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  const HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) return;
  Sleep(100);
  WaitForInputIdle(process, 5000);
  CloseHandle(process);
}

}  // namespace orva::probe
