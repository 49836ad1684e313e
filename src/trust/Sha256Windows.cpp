// TSha256 over CNG (BCryptCreateHash / BCryptHashData / BCryptFinishHash), or
// over the processor's SHA extensions where it has them: Wine's CNG hashes a
// few times slower than the download arrives.
#include <algorithm>
#include <optional>

#include "trust/CngHandles.h"
#include "trust/Sha256.h"
#include "trust/Sha256Extensions.h"

struct TSha256::TState {
  std::optional<TSha256Extensions> Extensions;
  TCngAlgorithm Algorithm;
  TCngHash Hash;
};

TSha256::TSha256(TSha256Engine engine) : FState(std::make_unique<TState>()) {
  if (engine == TSha256Engine::Fastest && TSha256Extensions::Available()) {
    FState->Extensions.emplace();
    return;
  }
  FState->Algorithm = OpenCngAlgorithm(BCRYPT_SHA256_ALGORITHM);
  // Since Windows 7 CNG keeps the hash object itself when given none.
  CheckCng(Cng().BCryptCreateHash(FState->Algorithm.Get(), FState->Hash.Receive(), nullptr, 0,
                                  nullptr, 0, 0),
           "BCryptCreateHash");
}

TSha256::~TSha256() = default;
TSha256::TSha256(TSha256&&) noexcept = default;
TSha256& TSha256::operator=(TSha256&&) noexcept = default;

void TSha256::Update(std::span<const std::uint8_t> bytes) {
  if (!FState) throw ECryptoError("SHA-256: Update after Final");
  if (FState->Extensions) {
    FState->Extensions->Update(bytes);
    return;
  }
  // BCryptHashData takes a ULONG count; larger spans go in pieces.
  constexpr std::size_t kMaxPiece = 1u << 30;
  while (!bytes.empty()) {
    const std::size_t piece = std::min(bytes.size(), kMaxPiece);
    CheckCng(Cng().BCryptHashData(FState->Hash.Get(), const_cast<PUCHAR>(bytes.data()),
                                  static_cast<ULONG>(piece), 0),
             "BCryptHashData");
    bytes = bytes.subspan(piece);
  }
}

TSha256Digest TSha256::Final() {
  if (!FState) throw ECryptoError("SHA-256: Final called twice");
  const std::unique_ptr<TState> state = std::move(FState);
  if (state->Extensions) return state->Extensions->Final();
  TSha256Digest digest{};
  CheckCng(Cng().BCryptFinishHash(state->Hash.Get(), digest.data(),
                                  static_cast<ULONG>(digest.size()), 0),
           "BCryptFinishHash");
  return digest;
}
