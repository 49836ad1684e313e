// ECDSA P-256 verification over CNG: the raw point goes in as a
// BCRYPT_ECCPUBLIC_BLOB, r || s to BCryptVerifySignature as they arrived.
#include <algorithm>
#include <array>

#include "trust/CngHandles.h"
#include "trust/EcdsaP256.h"
#include "trust/Sha256.h"

namespace {

TCngKey ImportPoint(const TCngAlgorithm& algorithm, std::span<const std::uint8_t, 64> point) {
  std::array<UCHAR, sizeof(BCRYPT_ECCKEY_BLOB) + 64> blob{};
  const BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::copy_n(reinterpret_cast<const UCHAR*>(&header), sizeof header, blob.begin());
  std::copy(point.begin(), point.end(), blob.begin() + sizeof header);
  TCngKey key;
  CheckCng(Cng().BCryptImportKeyPair(algorithm.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, key.Receive(),
                                     blob.data(), static_cast<ULONG>(blob.size()), 0),
           "BCryptImportKeyPair");
  return key;
}

}  // namespace

bool VerifyEcdsaP256Sha256(std::span<const std::uint8_t, 64> point,
                           std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t, 64> rs) {
  const TCngAlgorithm algorithm = OpenCngAlgorithm(BCRYPT_ECDSA_P256_ALGORITHM);
  const TCngKey key = ImportPoint(algorithm, point);
  TSha256Digest digest = Sha256Of(message);
  std::array<UCHAR, 64> signature{};
  std::copy(rs.begin(), rs.end(), signature.begin());
  const NTSTATUS status = Cng().BCryptVerifySignature(
      key.Get(), nullptr, digest.data(), static_cast<ULONG>(digest.size()), signature.data(),
      static_cast<ULONG>(signature.size()), 0);
  // Only success accepts; STATUS_INVALID_SIGNATURE and every other status refuse.
  return status == 0;
}
