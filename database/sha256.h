// SHA-256 (FIPS 180-4), with which a patch names the file it applies to and
// the file it gives.
//
// It is written here rather than taken from a library: one code path of plain
// 32-bit arithmetic, the same on Linux and Windows, so that both builds give
// the same digests and read each other's patches, and orva-cli.exe still
// needs no DLL beside it. The tests check it against the FIPS 180-2 examples
// and against coreutils' sha256sum.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orva {

using Sha256Digest = std::array<std::byte, 32>;

// Takes the message in pieces of any size; Finish gives the digest of all of
// them. The message may be as long as 2^64 - 1 bits allow.
class Sha256 {
 public:
  Sha256();
  void Update(std::span<const std::byte> bytes);
  // The digest of what was given; the hasher then starts afresh.
  Sha256Digest Finish();

 private:
  void Compress(const std::byte* block);

  std::array<std::uint32_t, 8> state_;
  std::array<std::byte, 64> block_{};
  std::size_t buffered_ = 0;  // bytes of block_ in use
  std::uint64_t length_ = 0;  // bytes given so far
};

Sha256Digest Sha256Of(std::span<const std::byte> bytes);

// The digest as 64 lowercase hex digits, as sha256sum prints it, and back
// (nullopt for anything but 64 hex digits, of either case).
std::string HexDigest(const Sha256Digest& digest);
std::optional<Sha256Digest> DigestFromHex(std::string_view hex);

}  // namespace orva
