// sign-package --version N PRIVATE_KEY.pem PACKAGE: writes PACKAGE.sig, the
// signature file the installer checks before it runs the package. The file
// always names TramelaCoreServer.zip, the one name the installer fetches, and
// the package-version N, which an installer with a higher floor refuses.
// OpenSSL signs; the installer's own verifier checks the result before it is
// written.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "trust/PackageSignature.h"

namespace {

class ESignError : public Exception {
  using Exception::Exception;
};

struct TFileClose {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using TFile = std::unique_ptr<std::FILE, TFileClose>;
struct TPkeyFree {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using TPkey = std::unique_ptr<EVP_PKEY, TPkeyFree>;
struct TMdCtxFree {
  void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
struct TBnFree {
  void operator()(BIGNUM* n) const noexcept { BN_free(n); }
};
struct TSigFree {
  void operator()(ECDSA_SIG* s) const noexcept { ECDSA_SIG_free(s); }
};

// DER SubjectPublicKeyInfo of a P-256 key (named curve, uncompressed point)
// up to the point; the build hashes the same encoding for the key-id.
constexpr std::uint8_t kP256SpkiPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                            0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

std::string OpenSslError() {
  char text[256] = "unknown error";
  if (const unsigned long code = ERR_get_error()) ERR_error_string_n(code, text, sizeof text);
  return text;
}

TPkey ReadPrivateKey(const std::string& path) {
  const TFile file(std::fopen(path.c_str(), "rb"));
  if (!file) throw ESignError("cannot open the private key " + path);
  TPkey key(PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr));
  if (!key) throw ESignError(path + " is not a PEM private key: " + OpenSslError());
  char group[64] = "";
  if (!EVP_PKEY_is_a(key.get(), "EC") ||
      EVP_PKEY_get_utf8_string_param(key.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                     nullptr) != 1 ||
      std::string(group) != "prime256v1")
    throw ESignError(path + " is not a P-256 (prime256v1) EC key");
  return key;
}

std::array<std::uint8_t, 32> CoordinateBytes(const EVP_PKEY* key, const char* name) {
  BIGNUM* raw = nullptr;
  if (EVP_PKEY_get_bn_param(key, name, &raw) != 1) throw ESignError("cannot read the public point");
  const std::unique_ptr<BIGNUM, TBnFree> value(raw);
  std::array<std::uint8_t, 32> bytes{};
  if (BN_bn2binpad(value.get(), bytes.data(), 32) != 32) throw ESignError("bad public point");
  return bytes;
}

TPackagePublicKey PublicKeyOf(const EVP_PKEY* key) {
  TPackagePublicKey publicKey{};
  const auto x = CoordinateBytes(key, OSSL_PKEY_PARAM_EC_PUB_X);
  const auto y = CoordinateBytes(key, OSSL_PKEY_PARAM_EC_PUB_Y);
  std::copy(x.begin(), x.end(), publicKey.Point.begin());
  std::copy(y.begin(), y.end(), publicKey.Point.begin() + 32);
  TSha256 spki;
  spki.Update(kP256SpkiPrefix);
  spki.Update(publicKey.Point);
  const TSha256Digest digest = spki.Final();
  std::copy_n(digest.begin(), publicKey.KeyId.size(), publicKey.KeyId.begin());
  return publicKey;
}

// Size and SHA-256 of the package, read in pieces.
void HashPackage(const std::string& path, TPackageSignature& signature) {
  const TFile file(std::fopen(path.c_str(), "rb"));
  if (!file) throw ESignError("cannot open the package " + path);
  TSha256 hash;
  std::vector<std::uint8_t> buffer(1 << 16);
  std::int64_t size = 0;
  while (const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file.get())) {
    hash.Update(std::span(buffer.data(), count));
    size += static_cast<std::int64_t>(count);
  }
  if (std::ferror(file.get())) throw ESignError("cannot read the package " + path);
  signature.FileSize = size;
  signature.Sha256 = hash.Final();
}

std::array<std::uint8_t, 64> Sign(EVP_PKEY* key, const std::string& message) {
  const std::unique_ptr<EVP_MD_CTX, TMdCtxFree> context(EVP_MD_CTX_new());
  std::vector<unsigned char> der(128);
  std::size_t length = der.size();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, EVP_sha256(), nullptr, key) != 1 ||
      EVP_DigestSign(context.get(), der.data(), &length,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1)
    throw ESignError("signing failed: " + OpenSslError());
  const unsigned char* cursor = der.data();
  const std::unique_ptr<ECDSA_SIG, TSigFree> value(
      d2i_ECDSA_SIG(nullptr, &cursor, static_cast<long>(length)));
  if (!value) throw ESignError("signing gave no ECDSA value");
  std::array<std::uint8_t, 64> rs{};
  if (BN_bn2binpad(ECDSA_SIG_get0_r(value.get()), rs.data(), 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(value.get()), rs.data() + 32, 32) != 32)
    throw ESignError("signing gave an out-of-range ECDSA value");
  return rs;
}

// Written beside the package under a temporary name, then renamed, so a
// failed run never leaves half a signature behind.
void WriteFile(const std::string& path, const std::string& text) {
  const std::string temporary = path + ".tmp";
  {
    const TFile file(std::fopen(temporary.c_str(), "wb"));
    if (!file || std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() ||
        std::fflush(file.get()) != 0)
      throw ESignError("cannot write " + temporary);
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw ESignError("cannot write " + path);
  }
}

void Run(std::int32_t version, const std::string& keyPath, const std::string& packagePath) {
  const TPkey key = ReadPrivateKey(keyPath);
  const TPackagePublicKey publicKey = PublicKeyOf(key.get());
  TPackageSignature signature;
  signature.FileName = std::string(kSignedPackageName);
  signature.PackageVersion = version;
  HashPackage(packagePath, signature);
  signature.KeyId = publicKey.KeyId;
  signature.Signature = Sign(key.get(), FormatSignedLines(signature));
  const std::string text = FormatPackageSignature(signature);
  const std::span bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  VerifyPackageSignature(bytes, std::span(&publicKey, 1));
  WriteFile(packagePath + ".sig", text);
  std::printf("%s.sig: key-id %s, version %d, %lld bytes, sha256 %s\n", packagePath.c_str(),
              HexLower(signature.KeyId).c_str(), static_cast<int>(signature.PackageVersion),
              static_cast<long long>(signature.FileSize), HexLower(signature.Sha256).c_str());
}

// The version as the signature file spells it, so that what is signed is
// exactly what was asked for ("007" is refused, not signed as 7).
std::int32_t VersionArgument(const std::string& text) {
  try {
    return ParsePackageVersion(text);
  } catch (const EPackageSignatureError&) {
    throw ESignError("--version " + text + ": not a decimal number from 1 to 2147483647 " +
                     "without sign or leading zero");
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  const char* version = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--version" && i + 1 < argc && version == nullptr) {
      version = argv[++i];
    } else {
      files.emplace_back(argv[i]);
    }
  }
  if (version == nullptr || files.size() != 2) {
    std::fprintf(stderr,
                 "usage: sign-package --version N PRIVATE_KEY.pem PACKAGE  (writes PACKAGE.sig)\n"
                 "  N: the package's version, 1 to 2147483647, higher than any package before\n");
    return 1;
  }
  try {
    Run(VersionArgument(version), files[0], files[1]);
    return 0;
  } catch (const Exception& error) {
    std::fprintf(stderr, "sign-package: %s\n", error.Message().c_str());
    return 1;
  }
}
