// ECDSA P-256 verification over OpenSSL 3's libcrypto: the key is built from
// the raw point with EVP_PKEY_fromdata, r and s are DER-encoded via ECDSA_SIG.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <array>
#include <memory>

#include "trust/EcdsaP256.h"
#include "trust/Sha256.h"

namespace {

template <typename T, void (*Free)(T*)>
struct TOsslFree {
  void operator()(T* p) const noexcept { Free(p); }
};
template <typename T, void (*Free)(T*)>
using TOsslPtr = std::unique_ptr<T, TOsslFree<T, Free>>;

void FreeBytes(unsigned char* p) { OPENSSL_free(p); }

using TPkeyCtx = TOsslPtr<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using TPkey = TOsslPtr<EVP_PKEY, EVP_PKEY_free>;
using TMdCtx = TOsslPtr<EVP_MD_CTX, EVP_MD_CTX_free>;
using TEcdsaSig = TOsslPtr<ECDSA_SIG, ECDSA_SIG_free>;
using TBignum = TOsslPtr<BIGNUM, BN_free>;
using TBytes = TOsslPtr<unsigned char, FreeBytes>;

TPkey ImportPoint(std::span<const std::uint8_t, 64> point) {
  std::array<unsigned char, 65> encoded{};
  encoded[0] = 0x04;  // uncompressed point
  std::copy(point.begin(), point.end(), encoded.begin() + 1);
  char group[] = "prime256v1";
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, encoded.data(), encoded.size()),
      OSSL_PARAM_construct_end()};
  const TPkeyCtx context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* raw = nullptr;
  // fromdata decodes the point and refuses one that is not on the curve.
  if (!context || EVP_PKEY_fromdata_init(context.get()) != 1 ||
      EVP_PKEY_fromdata(context.get(), &raw, EVP_PKEY_PUBLIC_KEY,
                        const_cast<OSSL_PARAM*>(params)) != 1)
    throw ECryptoError("ECDSA P-256: the public key is not a point of the curve");
  return TPkey(raw);
}

// r and s as the DER sequence libcrypto verifies; zero and out-of-range values
// are encoded as they are and refused by the verification itself.
std::basic_string<unsigned char> EncodeSignature(std::span<const std::uint8_t, 64> rs) {
  TBignum r(BN_bin2bn(rs.data(), 32, nullptr));
  TBignum s(BN_bin2bn(rs.data() + 32, 32, nullptr));
  TEcdsaSig signature(ECDSA_SIG_new());
  if (!r || !s || !signature || ECDSA_SIG_set0(signature.get(), r.get(), s.get()) != 1)
    throw ECryptoError("ECDSA P-256: cannot build the signature value");
  r.release();  // owned by signature now
  s.release();
  unsigned char* raw = nullptr;
  const int length = i2d_ECDSA_SIG(signature.get(), &raw);
  const TBytes der(raw);
  if (length <= 0) throw ECryptoError("ECDSA P-256: cannot encode the signature value");
  return std::basic_string<unsigned char>(der.get(), static_cast<std::size_t>(length));
}

}  // namespace

bool VerifyEcdsaP256Sha256(std::span<const std::uint8_t, 64> point,
                           std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t, 64> rs) {
  const TPkey key = ImportPoint(point);
  const auto der = EncodeSignature(rs);
  const TMdCtx context(EVP_MD_CTX_new());
  if (!context ||
      EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
    throw ECryptoError("ECDSA P-256: EVP_DigestVerifyInit failed");
  // 1 is a good signature; 0 a bad one, below 0 a malformed one: both refuse.
  return EVP_DigestVerify(context.get(), der.data(), der.size(), message.data(), message.size()) ==
         1;
}
