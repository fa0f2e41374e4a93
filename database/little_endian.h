// Signed 32-bit little-endian integers on byte spans: least-significant byte
// first. The only place that turns database bytes into numbers and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace orva {

// Decodes the 4 bytes at `at`; `at + 4` must lie within `bytes`.
inline std::int32_t DecodeInt32(std::span<const std::byte> bytes, std::size_t at) {
  const std::uint32_t u = std::to_integer<std::uint32_t>(bytes[at]) |
                          std::to_integer<std::uint32_t>(bytes[at + 1]) << 8 |
                          std::to_integer<std::uint32_t>(bytes[at + 2]) << 16 |
                          std::to_integer<std::uint32_t>(bytes[at + 3]) << 24;
  return static_cast<std::int32_t>(u);  // two's complement, well defined in C++20
}

// Like DecodeInt32, but bytes past the end of `bytes` read as zeros.
inline std::int32_t DecodeInt32OrZeros(std::span<const std::byte> bytes, std::int64_t at) {
  std::byte four[4] = {};
  for (std::int64_t i = 0; i < 4; ++i) {
    if (at + i >= 0 && static_cast<std::uint64_t>(at + i) < bytes.size()) four[i] = bytes[at + i];
  }
  return DecodeInt32(four, 0);
}

// Encodes `value` into the 4 bytes at `at`; `at + 4` must lie within `bytes`.
inline void EncodeInt32(std::span<std::byte> bytes, std::size_t at, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<std::byte>(u >> (8 * i) & 0xFF);
}

}  // namespace orva
