// The platform half of DecodeImageRows; not part of the image library's
// public face.
#pragma once

#include "base/text.h"
#include "image/pixel_rows.h"

namespace qm::image_detail {

// `bytes` is not empty and declares no size beyond the limits; `sink`
// refuses a decoded size beyond them and pixels outside the image.
int DecodeOnPlatform(const Bytes& bytes, PixelRowSink& sink);

}  // namespace qm::image_detail
