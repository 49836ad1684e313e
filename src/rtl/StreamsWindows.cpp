#include <cstdlib>

#include "rtl/Streams.h"

// Large pages need a privilege an installer does not hold: plain heap blocks.
std::uint8_t* TMemoryBlock::AllocateMemoryBlock(std::size_t size) noexcept {
  return static_cast<std::uint8_t*>(std::malloc(size == 0 ? 1 : size));
}

void TMemoryBlock::FreeMemoryBlock(std::uint8_t* block) noexcept { std::free(block); }
