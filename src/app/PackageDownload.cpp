#include "app/PackageDownload.h"

#include <algorithm>

#include "rtl/Exceptions.h"
#include "rtl/Text.h"

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

void DownloadSignedPackage(IInstallOperations& ops, std::span<const TPackagePublicKey> keys,
                           const std::string& packageUrl, TMemoryStream& package) {
  const TPackageSignature signature = FetchSignature(ops, keys, packageUrl + ".sig");
  package.Clear();
  std::int64_t announced = -1;
  try {
    announced = ops.HttpGetSized(packageUrl, package, signature.FileSize);
  } catch (const EDownloadTooLarge& e) {
    Refuse(e, kPackageMismatch);
  }
  // The client takes a body that ends early as it comes; a package cut short
  // must not be unpacked as if it were whole.
  if (announced >= 0 && package.Size() < announced) {
    throw Exception(Format("[Napaka] Namestitveni paket ni prenesen v celoti (%d od %d bajtov)... ",
                           {package.Size(), announced}));
  }
  if (package.Size() != signature.FileSize || Sha256Of(package.Bytes()) != signature.Sha256) {
    Refuse(kPackageMismatch);
  }
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
