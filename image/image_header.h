// Reading an image's stored header fields without decoding it.
#pragma once

#include <cstdint>
#include <optional>

#include "base/text.h"

namespace qm {

// A decompression bomb is refused before any pixel is decoded.
inline constexpr std::int64_t kMaxImagePixels = 100'000'000;
inline constexpr std::int64_t kMaxImageSide = 30'000;

bool StartsWithBm(const Bytes& bytes);

// The format the data's first bytes announce.
enum class SniffedFormat { kJpeg, kPng, kGif, kBmp, kOther };
SniffedFormat SniffImageFormat(const Bytes& bytes);

// Little-endian signed 32-bit value at `offset`; bytes beyond the data count as 0.
std::int32_t ReadLe32(const Bytes& bytes, std::size_t offset);

struct ImageSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// The size a PNG, GIF, BMP or JPEG header declares (height as a magnitude);
// nothing for data of another kind or a header cut short.
std::optional<ImageSize> DeclaredImageSize(const Bytes& bytes);

bool IsAcceptableImageSize(std::int64_t width, std::int64_t height);

// False only when the data declares a size beyond the limits.
bool DeclaredSizeAcceptable(const Bytes& bytes);

}  // namespace qm
