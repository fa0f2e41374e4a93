#include "storage/quote.h"

#include "storage/path_text.h"

namespace orva {

std::string QuotePath(const std::filesystem::path& path) { return "'" + PathToUtf8(path) + "'"; }

std::string DescribePath(const std::filesystem::path& path) {
  return "the file " + QuotePath(path);
}

std::string QuoteText(std::string_view utf8) { return "\"" + std::string(utf8) + "\""; }

}  // namespace orva
