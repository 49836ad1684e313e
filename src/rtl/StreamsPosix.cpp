#include <sys/mman.h>

#include <cstdlib>

#include "rtl/Streams.h"

namespace {
constexpr std::size_t kLargePage = std::size_t{2} << 20;
}  // namespace

std::uint8_t* TMemoryBlock::AllocateMemoryBlock(std::size_t size) noexcept {
  if (size < 2 * kLargePage) return static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
  // Aligned to a large page and asked to be mapped with large ones: a 256 MiB
  // download then takes some hundred page faults instead of some ten thousand.
  const std::size_t rounded = (size + kLargePage - 1) / kLargePage * kLargePage;
  if (rounded < size) return nullptr;
  void* block = std::aligned_alloc(kLargePage, rounded);
#ifdef MADV_HUGEPAGE
  if (block != nullptr) static_cast<void>(::madvise(block, rounded, MADV_HUGEPAGE));  // only a hint
#endif
  return static_cast<std::uint8_t*>(block);
}

void TMemoryBlock::FreeMemoryBlock(std::uint8_t* block) noexcept { std::free(block); }
