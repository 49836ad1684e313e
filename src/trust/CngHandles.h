// Move-only owners of the CNG handles used by the Windows halves, and the
// text of a failed call. Windows build only.
#pragma once

#include <windows.h>
#include <bcrypt.h>

#include <cstdio>
#include <string>
#include <utility>

#include "trust/Sha256.h"

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

inline NTSTATUS WINAPI CloseCngAlgorithm(BCRYPT_ALG_HANDLE handle) {
  return BCryptCloseAlgorithmProvider(handle, 0);
}

using TCngAlgorithm = TCngHandle<BCRYPT_ALG_HANDLE, CloseCngAlgorithm>;
using TCngHash = TCngHandle<BCRYPT_HASH_HANDLE, BCryptDestroyHash>;
using TCngKey = TCngHandle<BCRYPT_KEY_HANDLE, BCryptDestroyKey>;

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
  CheckCng(BCryptOpenAlgorithmProvider(algorithm.Receive(), name, nullptr, 0),
           "BCryptOpenAlgorithmProvider");
  return algorithm;
}
