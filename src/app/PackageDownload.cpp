#include "app/PackageDownload.h"

#include <algorithm>
#include <vector>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"
#include "trust/Sha256.h"

namespace {

// A message of the system below becomes one log line, whatever it holds.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

[[noreturn]] void Refuse(const char* verdict) { throw Exception(verdict); }
[[noreturn]] void Refuse(const Exception& cause, const char* verdict) {
  throw Exception(OneLine(cause.Message()) + "\n" + verdict);
}

// The saved file is read back in pieces of this size.
constexpr std::int64_t kHashPiece = std::int64_t{1} << 20;

TPackageSignature FetchSignature(IInstallOperations& ops, std::span<const TPackagePublicKey> keys,
                                 const std::string& url) {
  TMemoryStream file;
  try {
    (void)ops.HttpGet(url, file, static_cast<std::int64_t>(kMaxSignatureFileSize));
  } catch (const EDownloadTooLarge& e) {
    Refuse(e, kSignatureInvalid);
  } catch (const Exception& e) {
    Refuse(e, kSignatureUnavailable);
  }
  try {
    return VerifyPackageSignature(file.Bytes(), keys);
  } catch (const EPackageSignatureError&) {
    Refuse(kSignatureInvalid);
  }
}

}  // namespace

TPackageSignature DownloadSignedPackage(IInstallOperations& ops,
                                        std::span<const TPackagePublicKey> keys,
                                        std::int32_t minVersion, const std::string& packageUrl,
                                        TMemoryStream& package) {
  const TPackageSignature signature = FetchSignature(ops, keys, packageUrl + ".sig");
  // An older package, though signed, may be one whose faults a newer one mends:
  // it is not even fetched.
  if (signature.PackageVersion < minVersion) Refuse(kPackageTooOld);
  package.Clear();
  std::int64_t announced = -1;
  TSha256Digest digest{};
  try {
    announced = ops.HttpGetSized(packageUrl, package, signature.FileSize, digest);
  } catch (const EDownloadTooLarge& e) {
    Refuse(e, kPackageMismatch);
  }
  // The client takes a body that ends early as it comes; a package cut short
  // must not be unpacked as if it were whole.
  if (announced >= 0 && package.Size() < announced) {
    throw Exception(Format("[Napaka] Namestitveni paket ni prenesen v celoti (%d od %d bajtov)... ",
                           {package.Size(), announced}));
  }
  if (package.Size() != signature.FileSize || digest != signature.Sha256) {
    Refuse(kPackageMismatch);
  }
  return signature;
}

std::unique_ptr<TStream> TakeVerifiedFile(TSavedPackage& package) {
  std::unique_ptr<TStream> file = std::move(package.File);
  // What reached the disk is what gets extracted, so that is what is checked:
  // a write the system changed or cut short fails here, before any entry.
  if (!file || file->Size() != package.Signature.FileSize) Refuse(kPackageMismatch);
  file->SetPosition(0);
  TSha256 hash;
  std::vector<std::uint8_t> piece(
      static_cast<std::size_t>(std::min(kHashPiece, std::max<std::int64_t>(file->Size(), 1))));
  for (std::int64_t left = package.Signature.FileSize; left > 0;) {
    const std::int64_t want = std::min<std::int64_t>(left, static_cast<std::int64_t>(piece.size()));
    const std::int64_t got = file->Read(piece.data(), want);
    if (got <= 0) Refuse(kPackageMismatch);
    hash.Update(std::span(piece.data(), static_cast<std::size_t>(got)));
    left -= got;
  }
  if (hash.Final() != package.Signature.Sha256) Refuse(kPackageMismatch);
  file->SetPosition(0);
  return file;
}

void MakeWorkingDirectory(IInstallOperations& ops, const std::string& path) {
  bool made = false;
  try {
    made = ops.CreateWorkingDir(path);
  } catch (const Exception& e) {
    Refuse(e, kWorkingDirUnsafe);
  }
  if (!made) Refuse(kWorkingDirUnsafe);
}
