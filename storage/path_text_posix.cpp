#include "storage/path_text.h"

namespace orva {

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::string(utf8));
}

std::string PathToUtf8(const std::filesystem::path& path) { return path.native(); }

}  // namespace orva
