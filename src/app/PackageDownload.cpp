#include "app/PackageDownload.h"

#include <algorithm>
#include <utility>

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

// The verified bytes as the zip component reads them, read-only, together with
// the package file that is held until they are let go of.
class TVerifiedPackage : public TStream {
 public:
  TVerifiedPackage(std::unique_ptr<TMemoryStream> bytes, std::unique_ptr<TStream> file)
      : FBytes(std::move(bytes)), FFile(std::move(file)) {
    FBytes->SetPosition(0);
  }
  std::int64_t Read(void* buffer, std::int64_t count) override {
    return FBytes->Read(buffer, count);
  }
  std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { return 0; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    return FBytes->Seek(offset, origin);
  }
  std::int64_t Size() override { return FBytes->Size(); }

 private:
  std::unique_ptr<TMemoryStream> FBytes;
  std::unique_ptr<TStream> FFile;  // only held
};

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

std::unique_ptr<TStream> TakeVerifiedPackage(TSavedPackage& package) {
  std::unique_ptr<TMemoryStream> bytes = std::move(package.Bytes);
  std::unique_ptr<TStream> file = std::move(package.File);
  const std::int64_t size = package.Signature.FileSize;
  // The bytes extracted are the ones hashed; a file the system cut short or
  // lengthened still fails here, before any entry.
  if (!bytes || bytes->Size() != size || !file || file->Size() != size) Refuse(kPackageMismatch);
  return std::make_unique<TVerifiedPackage>(std::move(bytes), std::move(file));
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
