#include <windows.h>

#include <string>

#include "spelling/internal/dictionary_path.h"
#include "spelling/spell_checker.h"
#include "storage/quote.h"

namespace orva {
namespace {

// The wide name in the ANSI code page, or nothing where a character of it
// has no place there.
bool ToAnsi(const std::wstring& wide, std::string& out) {
  if (wide.empty()) return true;
  BOOL lost = FALSE;
  const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(),
                                       static_cast<int>(wide.size()), nullptr, 0, nullptr, &lost);
  if (size <= 0 || lost) return false;
  out.assign(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.c_str(), static_cast<int>(wide.size()),
                      out.data(), size, nullptr, &lost);
  return !lost;
}

}  // namespace

std::filesystem::path DefaultDictionaryFolder() {
  std::wstring name(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
    if (length == 0) return "dictionaries";
    if (length < name.size()) {
      name.resize(length);
      break;
    }
    name.resize(name.size() * 2);
  }
  return std::filesystem::path(name).parent_path() / "dictionaries";
}

Result<std::string> DictionaryPath(const std::filesystem::path& path) {
  std::string ansi;
  if (ToAnsi(path.wstring(), ansi)) return ansi;
  std::wstring short_name(MAX_PATH, L'\0');
  const DWORD length =
      GetShortPathNameW(path.c_str(), short_name.data(), static_cast<DWORD>(short_name.size()));
  if (length > 0 && length < short_name.size()) {
    short_name.resize(length);
    if (ToAnsi(short_name, ansi)) return ansi;
  }
  return Status::Unsupported("the dictionary " + QuotePath(path) +
                             " is in a folder whose name this system's code page cannot spell; "
                             "move ORVA to a folder with another name");
}

}  // namespace orva
