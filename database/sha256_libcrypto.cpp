// Sha256 on Linux: OpenSSL's libcrypto, through its EVP interface.
#include <openssl/evp.h>

#include <new>

#include "database/sha256.h"

namespace orva {
namespace {

void Require(int ok) {
  if (ok != 1) throw std::bad_alloc();
}

}  // namespace

struct Sha256::Context {
  Context() : digest(EVP_MD_CTX_new()) {
    if (digest == nullptr) throw std::bad_alloc();
    Start();
  }
  ~Context() { EVP_MD_CTX_free(digest); }
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  void Start() { Require(EVP_DigestInit_ex(digest, EVP_sha256(), nullptr)); }

  EVP_MD_CTX* digest;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(std::span<const std::byte> bytes) {
  Require(EVP_DigestUpdate(context_->digest, bytes.data(), bytes.size()));
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest;
  unsigned int size = 0;
  Require(
      EVP_DigestFinal_ex(context_->digest, reinterpret_cast<unsigned char*>(digest.data()), &size));
  context_->Start();
  return digest;
}

}  // namespace orva
