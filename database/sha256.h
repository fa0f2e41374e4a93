// SHA-256 (FIPS 180-4), with which a patch names the file it applies to and
// the file it gives.
//
// The hashing is the system's own: OpenSSL's libcrypto on Linux
// (sha256_libcrypto.cpp), Windows' CNG on Windows (sha256_windows.cpp, in
// bcrypt.dll, so orva-cli.exe still needs no DLL beside it). Both use the
// processor's SHA instructions where it has them, some ten times the speed
// of portable code. The tests check each build against the FIPS 180-2
// examples, and the Linux one against coreutils' sha256sum.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orva {

using Sha256Digest = std::array<std::byte, 32>;

// Takes the message in pieces of any size; Finish gives the digest of all of
// them. The message may be as long as 2^64 - 1 bits allow.
// The library's only failure here is running out of memory, which it
// reports as std::bad_alloc, as a container would.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;

  void Update(std::span<const std::byte> bytes);
  // The digest of what was given; the hasher then starts afresh.
  Sha256Digest Finish();

 private:
  struct Context;  // the library's hashing state
  std::unique_ptr<Context> context_;
};

Sha256Digest Sha256Of(std::span<const std::byte> bytes);

// The digest as 64 lowercase hex digits, as sha256sum prints it, and back
// (nullopt for anything but 64 hex digits, of either case).
std::string HexDigest(const Sha256Digest& digest);
std::optional<Sha256Digest> DigestFromHex(std::string_view hex);

}  // namespace orva
