// What orva-probe.exe and orva-editor-probe.exe share: looking at another
// process's windows through window messages, and printing what they find.
#pragma once

// clang-format off: windows.h comes first, the other Windows headers need what it declares.
#include <windows.h>
// clang-format on

#include <string>
#include <string_view>

namespace orva::probe {

inline constexpr int kMessageTextId = 0xFFFF;  // the text of a message box

// One line of findings on standard output, flushed at once.
void Print(std::string_view line);

// A window's text (WM_GETTEXT) and its class name.
std::wstring TextOf(HWND hwnd);
std::string ClassOf(HWND hwnd);

// The control with the keyboard focus in the thread of `window`.
HWND Focused(HWND window);

// A dialog box (#32770) of the process of `window`, shown; null after `ms`.
HWND WaitForDialog(HWND window, int ms);

// Returns once the process of `window` has taken what was posted to it and
// waits for more (or shows a modal box), so the next look sees what it did.
void Settle(HWND window);

}  // namespace orva::probe
