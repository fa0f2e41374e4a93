// UTF-8 and Windows' wide strings (UTF-16) into each other, for the Windows
// side of the library and of orva-cli (utf16_windows.cpp). A byte or a unit
// that is not valid in one becomes U+FFFD in the other.
#pragma once

#include <string>
#include <string_view>

namespace orva {

std::wstring Utf16FromUtf8(std::string_view utf8);
std::string Utf8FromUtf16(std::wstring_view utf16);

}  // namespace orva
