#include "image/image_key.h"

#include "image/drawing_surface.h"
#include "image/image_header.h"

namespace qm {
namespace {

constexpr int kGridSide = 8;

// An image that did not decode leaves the surface black: every cell equals
// the mean and the text is all "1".
Text FingerprintOf(DrawingSurface& surface) {
  surface.ToGrey();
  int grey[kGridSide][kGridSide];
  std::int64_t sum = 0;
  for (int c = 0; c < kGridSide; ++c) {
    for (int r = 0; r < kGridSide; ++r) {
      grey[c][r] = static_cast<int>(surface.Pixel(c, r) & 0xFF);
      sum += grey[c][r];
    }
  }
  Text text;
  text.reserve(kFingerprintLength);
  for (int c = 0; c < kGridSide; ++c) {
    for (int r = 0; r < kGridSide; ++r) {
      text += std::int64_t{kGridSide * kGridSide} * grey[c][r] >= sum ? '1' : '0';
    }
  }
  return text;
}

}  // namespace

// One decode gives both the size and the fingerprint. The pixels go
// straight from the decoder into the 8x8 cells, so no image is held.
ImageMeasures MeasureImage(const Bytes& bytes) {
  DrawingSurface surface;
  int width = 0, height = 0;
  const bool decoded =
      surface.DecodeImageScaled(bytes, 0, 0, kGridSide, kGridSide, width, height) == 0;
  // A BMP is measured as stored; anything else as the BMP it would convert
  // to, which has the decoded size.
  if (StartsWithBm(bytes)) {
    const ImageSize stored = StoredBmpSize(bytes);
    width = static_cast<int>(stored.width);
    height = static_cast<int>(stored.height);
  }
  return ImageMeasures{width, height, FingerprintOf(surface), decoded};
}

Text MakeImageFingerprint(const Bytes& bytes) {
  return MeasureImage(bytes).fingerprint;
}

int ImageWidth(const Bytes& bytes) {
  return StartsWithBm(bytes) ? static_cast<int>(StoredBmpSize(bytes).width)
                             : MeasureImage(bytes).width;
}
int ImageHeight(const Bytes& bytes) {
  return StartsWithBm(bytes) ? static_cast<int>(StoredBmpSize(bytes).height)
                             : MeasureImage(bytes).height;
}

Text ImageMeasures::Key() const {
  return DecimalText(width) + DecimalText(height) + fingerprint;
}

Text ImageKey(const Bytes& bytes) {
  return MeasureImage(bytes).Key();
}

}  // namespace qm
