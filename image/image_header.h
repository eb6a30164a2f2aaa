// Reading an image's stored header fields without decoding it.
#pragma once

#include <cstdint>
#include <optional>

#include "base/text.h"

namespace qm {

// A decompression bomb is refused before any pixel is decoded.
inline constexpr std::int64_t kMaxImagePixels = 100'000'000;
inline constexpr std::int64_t kMaxImageSide = 30'000;
// The bytes a PNG's rows may inflate to. Deep colour at the pixel limit
// (16-bit RGBA is 8 bytes a pixel) would otherwise cost seconds of
// inflating zeros; a slice stays far below this.
inline constexpr std::int64_t kMaxPngDataBytes = std::int64_t{256} << 20;
// A JPEG read scan by scan keeps every coefficient of the picture; a
// hostile header could ask for far more than a slice ever needs.
inline constexpr std::int64_t kMaxJpegCoefficientBytes = std::int64_t{384} << 20;
// Each scan is another pass over the picture; real files have about ten.
inline constexpr std::int64_t kMaxJpegScans = 100;
// Nor may the scans together visit more coefficients than this: every
// block a scan covers times the coefficients it codes. A refinement scan of
// a few zero bytes still makes a decoder check every coefficient of every
// block, so the number of scans alone does not bound the time. A usual
// ten-scan progressive file at the pixel limit visits about 4e8, one with
// every colour channel at full resolution about 8e8.
inline constexpr std::int64_t kMaxJpegCoefficientVisits = 2'000'000'000;

bool StartsWithBm(const Bytes& bytes);

// The format the data's first bytes announce.
enum class SniffedFormat { kJpeg, kPng, kGif, kBmp, kOther };
SniffedFormat SniffImageFormat(const Bytes& bytes);

struct ImageSize {
  std::int64_t width = 0;
  std::int64_t height = 0;
};

// A BMP's width and height fields as stored: 16-bit and unsigned behind the
// 12-byte header of the oldest BMPs, 32-bit and signed behind every later
// one (a top-down BMP has a negative height). Bytes beyond the data count
// as 0.
ImageSize StoredBmpSize(const Bytes& bytes);

// The size a PNG, GIF (its first frame), BMP or JPEG header declares
// (height as a magnitude); nothing for data of another kind or a header
// cut short.
std::optional<ImageSize> DeclaredImageSize(const Bytes& bytes);

bool IsAcceptableImageSize(std::int64_t width, std::int64_t height);

// False only when the data declares a size beyond the limits, PNG rows
// that inflate beyond kMaxPngDataBytes, or JPEG scans beyond the JPEG
// limits. Both targets refuse such data before their libraries see it.
bool DeclaredSizeAcceptable(const Bytes& bytes);

}  // namespace qm
