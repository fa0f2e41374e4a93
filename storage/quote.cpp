#include "storage/quote.h"

#include "storage/path_text.h"

namespace orva {

std::string QuotePath(const std::filesystem::path& path) { return "'" + PathToUtf8(path) + "'"; }

std::string DescribePath(const std::filesystem::path& path) {
  return "the file " + QuotePath(path);
}

std::string QuoteText(std::string_view utf8) { return "\"" + std::string(utf8) + "\""; }

std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Plural(std::size_t n, std::string_view one, std::string_view many) {
  return Grouped(n) + " " + std::string(n == 1 ? one : many);
}

}  // namespace orva
