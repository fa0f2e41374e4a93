// What orva.exe's two windows share as top-level windows: a class of their
// own, registered once however often the window is made again, and the
// program's icon at the monitor's dots per inch.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <string>

namespace orva::win32 {

// The program's icon resource (resources/orva.ico).
inline constexpr int kIconResource = 1;

// Registers `class_name` for `procedure` (a class made before is taken as
// it is) and makes a top-level window of it, `self` its creation parameter;
// null when Windows refuses.
HWND CreateTopWindow(const wchar_t* class_name, WNDPROC procedure, const std::wstring& title,
                     DWORD style, HBRUSH background, void* self);

// The procedure of a top-level window made for a `Window` (the creation
// parameter): the object learns its window (`window_`) at WM_NCCREATE and
// handles its messages (`Handle`) until WM_DESTROY, where it lets the window
// go and hears that it closed (`on_closed_`); Windows' default handling has
// the rest. A window class befriends it to keep those private.
template <class Window>
LRESULT CALLBACK HandledBy(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_ = hwnd;
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
  if (self == nullptr || self->window_ == nullptr) {
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  if (message == WM_DESTROY) {
    self->window_ = nullptr;
    if (self->on_closed_) self->on_closed_();
    return 0;
  }
  return self->Handle(message, wparam, lparam);
}

// The program's icon, `size` pixels square; the caller destroys it.
HICON LoadProgramIcon(int size);

// The window's big and small icons, at its monitor's dots per inch.
class WindowIcons {
 public:
  WindowIcons() = default;
  ~WindowIcons() { Destroy(); }
  WindowIcons(const WindowIcons&) = delete;
  WindowIcons& operator=(const WindowIcons&) = delete;

  // Gives `window` the icons for `dpi`; the old ones go once replaced.
  void Set(HWND window, UINT dpi);

 private:
  void Destroy();

  HICON big_ = nullptr;
  HICON small_ = nullptr;
};

}  // namespace orva::win32
