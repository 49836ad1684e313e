// CNG for the Windows halves: its functions, move-only owners of its handles
// and the text of a failed call. Windows build only.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <utility>

#include "rtl/Exceptions.h"
#include "rtl/SystemLibrary.h"
#include "trust/Sha256.h"

// bcrypt is no KnownDLL: as a static import it would be loaded from the
// program's folder before the program's first line, so it comes from the
// system folder at run time and its functions are bound by name.
struct TCngApi {
  explicit TCngApi(const TSystemLibrary& lib)
      : BCryptOpenAlgorithmProvider(
            lib.Function<decltype(&::BCryptOpenAlgorithmProvider)>("BCryptOpenAlgorithmProvider")),
        BCryptCloseAlgorithmProvider(lib.Function<decltype(&::BCryptCloseAlgorithmProvider)>(
            "BCryptCloseAlgorithmProvider")),
        BCryptCreateHash(lib.Function<decltype(&::BCryptCreateHash)>("BCryptCreateHash")),
        BCryptHashData(lib.Function<decltype(&::BCryptHashData)>("BCryptHashData")),
        BCryptFinishHash(lib.Function<decltype(&::BCryptFinishHash)>("BCryptFinishHash")),
        BCryptDestroyHash(lib.Function<decltype(&::BCryptDestroyHash)>("BCryptDestroyHash")),
        BCryptImportKeyPair(lib.Function<decltype(&::BCryptImportKeyPair)>("BCryptImportKeyPair")),
        BCryptDestroyKey(lib.Function<decltype(&::BCryptDestroyKey)>("BCryptDestroyKey")),
        BCryptVerifySignature(
            lib.Function<decltype(&::BCryptVerifySignature)>("BCryptVerifySignature")) {}

  decltype(&::BCryptOpenAlgorithmProvider) BCryptOpenAlgorithmProvider;
  decltype(&::BCryptCloseAlgorithmProvider) BCryptCloseAlgorithmProvider;
  decltype(&::BCryptCreateHash) BCryptCreateHash;
  decltype(&::BCryptHashData) BCryptHashData;
  decltype(&::BCryptFinishHash) BCryptFinishHash;
  decltype(&::BCryptDestroyHash) BCryptDestroyHash;
  decltype(&::BCryptImportKeyPair) BCryptImportKeyPair;
  decltype(&::BCryptDestroyKey) BCryptDestroyKey;
  decltype(&::BCryptVerifySignature) BCryptVerifySignature;
};

// The functions, bound once per process. Throws ECryptoError when bcrypt or
// one of them is missing; a later call tries again.
inline const TCngApi& Cng() {
  static const TCngApi api = [] {
    try {
      static const TSystemLibrary library("bcrypt.dll");
      return TCngApi(library);
    } catch (const EOSError& e) {
      throw ECryptoError(e.Message());
    }
  }();
  return api;
}

template <typename THandle, NTSTATUS(WINAPI* Close)(THandle)>
class TCngHandle {
 public:
  TCngHandle() = default;
  ~TCngHandle() { Reset(); }
  TCngHandle(TCngHandle&& other) noexcept : FHandle(std::exchange(other.FHandle, nullptr)) {}
  TCngHandle& operator=(TCngHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      FHandle = std::exchange(other.FHandle, nullptr);
    }
    return *this;
  }
  TCngHandle(const TCngHandle&) = delete;
  TCngHandle& operator=(const TCngHandle&) = delete;

  THandle Get() const noexcept { return FHandle; }
  THandle* Receive() noexcept {
    Reset();
    return &FHandle;
  }

 private:
  void Reset() noexcept {
    if (FHandle) Close(FHandle);
    FHandle = nullptr;
  }
  THandle FHandle = nullptr;
};

// A handle exists only once Cng() has succeeded, so closing it cannot throw.
inline NTSTATUS WINAPI CloseCngAlgorithm(BCRYPT_ALG_HANDLE handle) {
  return Cng().BCryptCloseAlgorithmProvider(handle, 0);
}
inline NTSTATUS WINAPI DestroyCngHash(BCRYPT_HASH_HANDLE handle) {
  return Cng().BCryptDestroyHash(handle);
}
inline NTSTATUS WINAPI DestroyCngKey(BCRYPT_KEY_HANDLE handle) {
  return Cng().BCryptDestroyKey(handle);
}

using TCngAlgorithm = TCngHandle<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>;
using TCngHash = TCngHandle<BCRYPT_HASH_HANDLE, DestroyCngHash>;
using TCngKey = TCngHandle<BCRYPT_KEY_HANDLE, DestroyCngKey>;

// Throws ECryptoError naming the call and its NTSTATUS when status is a failure.
inline void CheckCng(NTSTATUS status, const char* call) {
  if (status >= 0) return;
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  throw ECryptoError(std::string(call) + " failed with status " + code);
}

// Opens the provider of one CNG algorithm (BCRYPT_SHA256_ALGORITHM, ...).
inline TCngAlgorithm OpenCngAlgorithm(LPCWSTR name) {
  TCngAlgorithm algorithm;
  CheckCng(Cng().BCryptOpenAlgorithmProvider(algorithm.Receive(), name, nullptr, 0),
           "BCryptOpenAlgorithmProvider");
  return algorithm;
}
