#include "database/sha256.h"

namespace orva {

Sha256Digest Sha256Of(std::span<const std::byte> bytes) {
  Sha256 hasher;
  hasher.Update(bytes);
  return hasher.Finish();
}

std::string HexDigest(const Sha256Digest& digest) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::byte b : digest) {
    hex += kDigits[std::to_integer<unsigned>(b) >> 4];
    hex += kDigits[std::to_integer<unsigned>(b) & 0xF];
  }
  return hex;
}

std::optional<Sha256Digest> DigestFromHex(std::string_view hex) {
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Sha256Digest digest;
  if (hex.size() != 2 * digest.size()) return std::nullopt;
  for (std::size_t i = 0; i < digest.size(); ++i) {
    const int high = value(hex[2 * i]);
    const int low = value(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<std::byte>(high << 4 | low);
  }
  return digest;
}

}  // namespace orva
