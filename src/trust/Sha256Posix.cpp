// TSha256 over OpenSSL's libcrypto (EVP digest).
#include <openssl/evp.h>

#include "trust/Sha256.h"

struct TSha256::TState {
  struct TFree {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
  };
  std::unique_ptr<EVP_MD_CTX, TFree> Context;
};

TSha256::TSha256(TSha256Engine) : FState(std::make_unique<TState>()) {
  FState->Context.reset(EVP_MD_CTX_new());
  if (!FState->Context) throw ECryptoError("SHA-256: EVP_MD_CTX_new failed");
  if (EVP_DigestInit_ex(FState->Context.get(), EVP_sha256(), nullptr) != 1)
    throw ECryptoError("SHA-256: EVP_DigestInit_ex failed");
}

TSha256::~TSha256() = default;
TSha256::TSha256(TSha256&&) noexcept = default;
TSha256& TSha256::operator=(TSha256&&) noexcept = default;

void TSha256::Update(std::span<const std::uint8_t> bytes) {
  if (!FState) throw ECryptoError("SHA-256: Update after Final");
  if (EVP_DigestUpdate(FState->Context.get(), bytes.data(), bytes.size()) != 1)
    throw ECryptoError("SHA-256: EVP_DigestUpdate failed");
}

TSha256Digest TSha256::Final() {
  if (!FState) throw ECryptoError("SHA-256: Final called twice");
  TSha256Digest digest{};
  unsigned int length = 0;
  const bool done = EVP_DigestFinal_ex(FState->Context.get(), digest.data(), &length) == 1;
  FState.reset();
  if (!done || length != digest.size()) throw ECryptoError("SHA-256: EVP_DigestFinal_ex failed");
  return digest;
}
