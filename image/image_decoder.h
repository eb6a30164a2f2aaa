// The platform decoder: image file bytes to pixels. Results are status
// numbers of the platform image library's kind (0 = success). Safe to call
// from several threads at once on different bytes.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "image/pixel_rows.h"

namespace qm {

enum ImageStatus : int {
  kImageOk = 0,
  kImageGenericError = 1,
  kImageInvalidParameter = 2,
  kImageOutOfMemory = 3,
  kImageUnknownFormat = 13,
};

// Hands the image to `sink` as it is decoded. Data whose declared size is
// beyond the limits of image_header.h is refused before any pixel is
// decoded. On failure the sink may have taken part of the pixels.
int DecodeImageRows(const Bytes& bytes, PixelRowSink& sink);

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // rows top to bottom, 4 bytes a pixel, not premultiplied
};

// The whole picture in one buffer, for what needs every pixel at once.
int DecodeImage(const Bytes& bytes, DecodedImage& out);

}  // namespace qm
