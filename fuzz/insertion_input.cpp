#include <algorithm>
#include <cassert>

#include "fuzz/properties.h"

namespace orva::fuzz {

InsertionInput SplitInsertionInput(std::span<const std::byte> input) {
  if (input.empty()) return {};
  const auto rest = input.subspan(1);
  const std::size_t length = std::min(std::to_integer<std::size_t>(input[0]), rest.size());
  return {std::string_view(reinterpret_cast<const char*>(rest.data()), length),
          rest.subspan(length)};
}

std::vector<std::byte> JoinInsertionInput(std::span<const std::byte> database,
                                          std::string_view utf8_text) {
  assert(utf8_text.size() <= 255 && "the length byte holds at most 255");
  std::vector<std::byte> out;
  out.reserve(1 + utf8_text.size() + database.size());
  out.push_back(static_cast<std::byte>(utf8_text.size()));
  for (char c : utf8_text) out.push_back(static_cast<std::byte>(c));
  out.insert(out.end(), database.begin(), database.end());
  return out;
}

}  // namespace orva::fuzz
