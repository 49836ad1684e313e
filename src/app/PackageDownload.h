// Step 4's trust in the package: the signature file is fetched and verified
// first, and its package-version must reach the installer's floor; then the
// package is fetched into memory, no longer than signed, hashed as it arrives,
// and accepted only when its size and SHA-256 are the signed ones. The working
// directory is made only for a package that passed. Step 5 extracts those very
// bytes from memory; the file written meanwhile stays open, shared with
// nobody, until the archive is closed.
// Failures raise Exception with the log lines of the step: the HTTP client's
// message where there is one, then the verdict, one per line.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "app/InstallOperations.h"
#include "trust/PackageSignature.h"

// The verdicts of step 4, as the log shows them.
inline constexpr const char* kSignatureUnavailable =
    "[Napaka] Podpis namestitvenega paketa ni na voljo... ";
inline constexpr const char* kSignatureInvalid =
    "[Napaka] Podpis namestitvenega paketa ni veljaven... ";
inline constexpr const char* kPackageMismatch =
    "[Napaka] Namestitveni paket se ne ujema s podpisom... ";
inline constexpr const char* kWorkingDirUnsafe =
    "[Napaka] Delovni imenik že obstaja ali ni varen... ";
inline constexpr const char* kPackageTooOld =
    "[Napaka] Namestitveni paket je starejši od najstarejše dovoljene različice... ";

// Fetches packageUrl + ".sig" and packageUrl into package (emptied first);
// returns the signature only when the package is the one a key of keys signed,
// with a package-version of at least minVersion.
TPackageSignature DownloadSignedPackage(IInstallOperations& ops,
                                        std::span<const TPackagePublicKey> keys,
                                        std::int32_t minVersion, const std::string& packageUrl,
                                        TMemoryStream& package);

// The package between steps 4 and 5: the verified bytes in memory, and the
// file they were written to, open through the handle that wrote it so that
// nobody can change or remove it meanwhile. Destroying it lets go of both.
struct TSavedPackage {
  std::unique_ptr<TMemoryStream> Bytes;
  std::unique_ptr<TStream> File;
  TPackageSignature Signature;
};

// Answers the verified bytes, at their start, for the zip component to read;
// the answer holds the file too, so that closing the archive lets go of both.
// Raises Exception (kPackageMismatch) unless the file, as its handle sees it,
// has the signed size; package is left with nothing.
std::unique_ptr<TStream> TakeVerifiedPackage(TSavedPackage& package);

// Makes the working directory afresh, closed to other users; raises when
// something is already there or it cannot be made so.
void MakeWorkingDirectory(IInstallOperations& ops, const std::string& path);
