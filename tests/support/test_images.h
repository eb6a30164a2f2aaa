// Lossless test images made in code, so expected keys never depend on an
// encoder.
#pragma once

#include <cstdint>
#include <functional>

#include "base/text.h"

namespace qm::test {

// 0xRRGGBB for each pixel.
using PixelFunction = std::function<std::uint32_t(int x, int y)>;

// A 24-bit bottom-up BMP.
Bytes MakeBmp(int width, int height, const PixelFunction& pixel);

// An image whose 8x8 average-hash pattern is the 64 bits of `pattern`
// (bit 8*row+column set = bright cell), so different patterns give
// different keys and equal patterns equal keys.
Bytes PatternBmp(int width, int height, std::uint64_t pattern);

}  // namespace qm::test
