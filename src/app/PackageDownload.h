// Step 4's trust in the package: the signature file is fetched and verified
// first, and its package-version must reach the installer's floor; then the
// package is fetched into memory, no longer than signed, and accepted only
// when its size and SHA-256 are the signed ones. The working directory is made
// only for a package that passed. The file written there stays open until
// step 5 has read it back through the same handle and found the signed bytes.
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

// The package file between steps 4 and 5: open through the handle that wrote
// it, so that nobody can change it meanwhile, with the size and digest it was
// signed with. Destroying it lets go of the file.
struct TSavedPackage {
  std::unique_ptr<TStream> File;
  TPackageSignature Signature;
};

// Reads the saved file again, whole, through its own handle: raises Exception
// (kPackageMismatch) unless its size and SHA-256 are the signed ones. Answers
// the file, at its start, for the zip component to read.
std::unique_ptr<TStream> TakeVerifiedFile(TSavedPackage& package);

// Makes the working directory afresh, closed to other users; raises when
// something is already there or it cannot be made so.
void MakeWorkingDirectory(IInstallOperations& ops, const std::string& path);
