// The platform decoder: image file bytes to 8-bit RGBA pixels. The result
// is a status number of the platform image library's kind (0 = success).
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"

namespace qm {

enum ImageStatus : int {
  kImageOk = 0,
  kImageGenericError = 1,
  kImageInvalidParameter = 2,
  kImageOutOfMemory = 3,
  kImageUnknownFormat = 13,
};

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgba;  // rows top to bottom, 4 bytes a pixel, not premultiplied
};

// Refuses data whose declared size is beyond the limits of image_header.h
// before decoding its pixels.
int DecodeImage(const Bytes& bytes, DecodedImage& out);

}  // namespace qm
