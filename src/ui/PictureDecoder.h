// Decodes the pictures the windows carry (JPEG, GIF with its frames and delays,
// PNG) from bytes held in the program.
#pragma once

#include <cstdint>
#include <span>

#include "ui/Graphics.h"

// Raises Exception naming the reason when the bytes are no picture it can read.
TPicture DecodePicture(std::span<const std::uint8_t> bytes);
