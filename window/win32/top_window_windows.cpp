#include "window/win32/top_window_windows.h"

#include <array>

namespace orva::win32 {

HWND CreateTopWindow(const wchar_t* class_name, WNDPROC procedure, const std::wstring& title,
                     DWORD style, HBRUSH background, void* self) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = background;
  window_class.lpszClassName = class_name;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
  // A window opened again, the editor from the main window, finds its class made.
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  return CreateWindowExW(0, class_name, title.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, self);
}

HICON LoadProgramIcon(int size) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                       IMAGE_ICON, size, size, 0));
}

void WindowIcons::Set(HWND window, UINT dpi) {
  const std::array old{big_, small_};
  big_ = LoadProgramIcon(GetSystemMetricsForDpi(SM_CXICON, dpi));
  small_ = LoadProgramIcon(GetSystemMetricsForDpi(SM_CXSMICON, dpi));
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_));
  for (HICON icon : old) {
    if (icon != nullptr) DestroyIcon(icon);
  }
}

void WindowIcons::Destroy() {
  for (HICON icon : {big_, small_}) {
    if (icon != nullptr) DestroyIcon(icon);
  }
  big_ = small_ = nullptr;
}

}  // namespace orva::win32
