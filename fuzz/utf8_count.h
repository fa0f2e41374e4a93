// Counting the characters of a UTF-8 string, independently of the code page
// converter whose output it checks.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace orva::fuzz {

// The number of characters in `s`, or nullopt when a lead byte is not
// followed by its continuation bytes. Only the framing is checked here.
inline std::optional<std::size_t> CountUtf8Characters(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); ++count) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = lead < 0x80         ? 1
                         : lead >> 5 == 0x6  ? 2
                         : lead >> 4 == 0xE  ? 3
                         : lead >> 3 == 0x1E ? 4
                                             : 0;
    if (length == 0 || s.size() - i < length) return std::nullopt;
    for (std::size_t j = 1; j < length; ++j) {
      if ((static_cast<unsigned char>(s[i + j]) & 0xC0) != 0x80) return std::nullopt;
    }
    i += length;
  }
  return count;
}

}  // namespace orva::fuzz
