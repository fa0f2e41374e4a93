// Texts between the windows' UTF-8 logic and Windows' UTF-16 controls.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "storage/utf16.h"

namespace orva::win32 {

inline std::wstring Wide(std::string_view utf8) { return Utf16FromUtf8(utf8); }

// The text a control shows now.
inline std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace orva::win32
