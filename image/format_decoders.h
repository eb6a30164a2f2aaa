// One decoder per format this platform reads itself; each is called with
// the guarded sink of DecodeImageRows and keeps no state between calls.
// The JPEG, PNG and GIF libraries keep all their state in the objects a
// call creates, so several threads may decode at once; none of them is
// started or set up process-wide.
#pragma once

#include "base/text.h"
#include "image/pixel_rows.h"

namespace qm::image_detail {

int DecodeJpeg(const Bytes& bytes, PixelRowSink& sink);
int DecodePng(const Bytes& bytes, PixelRowSink& sink);
int DecodeGif(const Bytes& bytes, PixelRowSink& sink);
int DecodeBmp(const Bytes& bytes, PixelRowSink& sink);

}  // namespace qm::image_detail
