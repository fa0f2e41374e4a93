#include "storage/path_text.h"
#include "storage/utf16.h"

namespace orva {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(Utf16FromUtf8(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) { return Utf8FromUtf16(path.native()); }

}  // namespace orva
