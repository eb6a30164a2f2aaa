// The four formats slices are saved in, each by a decoder made for it; any
// other data is not an image here.
#include "image/decoder_detail.h"
#include "image/format_decoders.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {

int DecodeOnPlatform(const Bytes& bytes, PixelRowSink& sink) {
  switch (SniffImageFormat(bytes)) {
    case SniffedFormat::kJpeg:
      return DecodeJpeg(bytes, sink);
    case SniffedFormat::kPng:
      return DecodePng(bytes, sink);
    case SniffedFormat::kGif:
      return DecodeGif(bytes, sink);
    case SniffedFormat::kBmp:
      return DecodeBmp(bytes, sink);
    case SniffedFormat::kOther:
      break;
  }
  return kImageUnknownFormat;
}

}  // namespace qm::image_detail
