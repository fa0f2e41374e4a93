#include "database/sha256.h"

#include <algorithm>

namespace orva {
namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64
// primes (FIPS 180-4, 4.2.2).
constexpr std::array<std::uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

// The first 32 bits of the fractional parts of the square roots of the first
// 8 primes (5.3.3).
constexpr std::array<std::uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return x >> n | x << (32 - n); }

// SHA-256 reads its words most-significant byte first.
std::uint32_t LoadBigEndian(const std::byte* p) {
  return std::to_integer<std::uint32_t>(p[0]) << 24 | std::to_integer<std::uint32_t>(p[1]) << 16 |
         std::to_integer<std::uint32_t>(p[2]) << 8 | std::to_integer<std::uint32_t>(p[3]);
}

void StoreBigEndian(std::byte* p, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::byte>(x >> (24 - 8 * i) & 0xFF);
}

}  // namespace

Sha256::Sha256() : state_(kInitial) {}

// One 64-byte block (6.2.2): the message schedule kept as a ring of 16 words.
void Sha256::Compress(const std::byte* block) {
  std::uint32_t w[16];
  for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian(block + 4 * t);
  std::uint32_t v[8];
  for (int i = 0; i < 8; ++i) v[i] = state_[static_cast<std::size_t>(i)];
  // The working variables a ... h move one place along each round; rather
  // than copying all eight, round i of a pass of eight names them where they
  // stand (a is v[-i mod 8]). Ch and Maj are written in forms with fewer
  // operations: g ^ (e & (f ^ g)) and (a & b) | (c & (a | b)).
  auto round = [&](int t, int i) {
    std::uint32_t& a = v[(8 - i) & 7];
    std::uint32_t& b = v[(9 - i) & 7];
    std::uint32_t& c = v[(10 - i) & 7];
    std::uint32_t& d = v[(11 - i) & 7];
    std::uint32_t& e = v[(12 - i) & 7];
    std::uint32_t& f = v[(13 - i) & 7];
    std::uint32_t& g = v[(14 - i) & 7];
    std::uint32_t& h = v[(15 - i) & 7];
    if (t >= 16) {
      const std::uint32_t w15 = w[(t - 15) & 15];
      const std::uint32_t w2 = w[(t - 2) & 15];
      w[t & 15] += (Rotr(w15, 7) ^ Rotr(w15, 18) ^ (w15 >> 3)) + w[(t - 7) & 15] +
                   (Rotr(w2, 17) ^ Rotr(w2, 19) ^ (w2 >> 10));
    }
    const std::uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + (g ^ (e & (f ^ g))) +
                             kRound[static_cast<std::size_t>(t)] + w[t & 15];
    const std::uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) | (c & (a | b)));
    d += t1;
    h = t1 + t2;
  };
  for (int t = 0; t < 64; t += 8) {
    round(t, 0);
    round(t + 1, 1);
    round(t + 2, 2);
    round(t + 3, 3);
    round(t + 4, 4);
    round(t + 5, 5);
    round(t + 6, 6);
    round(t + 7, 7);
  }
  for (int i = 0; i < 8; ++i) state_[static_cast<std::size_t>(i)] += v[i];
}

void Sha256::Update(std::span<const std::byte> bytes) {
  length_ += bytes.size();
  if (buffered_ > 0) {
    const std::size_t take = std::min(bytes.size(), block_.size() - buffered_);
    std::copy_n(bytes.begin(), take, block_.begin() + static_cast<std::ptrdiff_t>(buffered_));
    buffered_ += take;
    bytes = bytes.subspan(take);
    if (buffered_ < block_.size()) return;
    Compress(block_.data());
    buffered_ = 0;
  }
  for (; bytes.size() >= block_.size(); bytes = bytes.subspan(block_.size())) {
    Compress(bytes.data());
  }
  std::copy(bytes.begin(), bytes.end(), block_.begin());
  buffered_ = bytes.size();
}

Sha256Digest Sha256::Finish() {
  // The padding (5.1.1): a 1 bit, zeros up to 8 bytes short of a block's
  // end, then the message's length in bits, most-significant byte first.
  const std::uint64_t bits = length_ * 8;
  std::array<std::byte, 72> padding{};
  padding[0] = std::byte{0x80};
  const std::size_t zeros = (block_.size() + 56 - (buffered_ + 1) % block_.size()) % block_.size();
  for (int i = 0; i < 8; ++i) {
    padding[1 + zeros + static_cast<std::size_t>(i)] =
        static_cast<std::byte>(bits >> (56 - 8 * i) & 0xFF);
  }
  Update(std::span(padding).first(1 + zeros + 8));
  Sha256Digest digest;
  for (std::size_t i = 0; i < state_.size(); ++i) StoreBigEndian(digest.data() + 4 * i, state_[i]);
  *this = Sha256();
  return digest;
}

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
