// UTF-8 and UTF-16 through Windows' own converters, with code page CP_UTF8:
// never the ANSI code page or a C locale.
#include <windows.h>

#include <climits>
#include <stdexcept>

#include "storage/utf16.h"

namespace orva {
namespace {

int Length(std::size_t size) {
  if (size > INT_MAX) throw std::length_error("a text too long to convert");
  return static_cast<int>(size);
}

}  // namespace

std::wstring Utf16FromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), Length(utf8.size()), wide.data(), size);
  return wide;
}

std::string Utf8FromUtf16(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), Length(utf16.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), Length(utf16.size()), utf8.data(), size, nullptr,
                      nullptr);
  return utf8;
}

}  // namespace orva
