#include "window/sentences.h"

namespace orva {

std::string Grouped(std::size_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, 1, ',');
  return digits;
}

std::string Plural(std::size_t n, std::string_view one, std::string_view many) {
  return Grouped(n) + " " + std::string(n == 1 ? one : many);
}

std::string AsSentence(std::string reason) {
  if (reason.empty()) return reason;
  if (reason[0] >= 'a' && reason[0] <= 'z') reason[0] = static_cast<char>(reason[0] - 'a' + 'A');
  if (reason.back() != '.') reason += '.';
  return reason;
}

}  // namespace orva
