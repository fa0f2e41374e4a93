// Sha256 on Windows: Cryptography API: Next Generation (bcrypt.dll).
#include <windows.h>
// windows.h first: bcrypt.h uses its types.
#include <bcrypt.h>

#include <algorithm>
#include <new>

#include "database/sha256.h"

namespace orva {
namespace {

void Require(NTSTATUS status) {
  if (!BCRYPT_SUCCESS(status)) throw std::bad_alloc();
}

// The algorithm's provider, opened once and kept for the program's life.
BCRYPT_ALG_HANDLE Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE opened = nullptr;
    Require(BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    return opened;
  }();
  return provider;
}

}  // namespace

struct Sha256::Context {
  Context() { Start(); }
  ~Context() { BCryptDestroyHash(hash); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // CNG keeps the hash object itself when given no buffer for it.
  void Start() { Require(BCryptCreateHash(Provider(), &hash, nullptr, 0, nullptr, 0, 0)); }

  BCRYPT_HASH_HANDLE hash = nullptr;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::byte> bytes) {
  // BCryptHashData takes a 32-bit length.
  constexpr std::size_t kMost = std::size_t{1} << 30;
  while (!bytes.empty()) {
    const std::size_t take = std::min(bytes.size(), kMost);
    // CNG does not write to the input; its parameter is merely not const.
    Require(BCryptHashData(context_->hash,
                           reinterpret_cast<PUCHAR>(const_cast<std::byte*>(bytes.data())),
                           static_cast<ULONG>(take), 0));
    bytes = bytes.subspan(take);
  }
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest;
  Require(BCryptFinishHash(context_->hash, reinterpret_cast<PUCHAR>(digest.data()),
                           static_cast<ULONG>(digest.size()), 0));
  BCryptDestroyHash(context_->hash);
  context_->hash = nullptr;
  context_->Start();
  return digest;
}

}  // namespace orva
