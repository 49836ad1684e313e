// Step 4's trust in the package: the signature file is fetched and verified
// first, then the package is fetched into memory, no longer than signed, and
// accepted only when its size and SHA-256 are the signed ones. Nothing here
// writes to the disk; the working directory is made only for a package that
// passed. Failures raise Exception with the log lines of the step: the HTTP
// client's message where there is one, then the verdict, one per line.
#pragma once

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

// Fetches packageUrl + ".sig" and packageUrl into package (emptied first);
// returns only when the package is the one a key of keys signed.
void DownloadSignedPackage(IInstallOperations& ops, std::span<const TPackagePublicKey> keys,
                           const std::string& packageUrl, TMemoryStream& package);

// Makes the working directory afresh, closed to other users; raises when
// something is already there or it cannot be made so.
void MakeWorkingDirectory(IInstallOperations& ops, const std::string& path);
