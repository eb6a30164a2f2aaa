#include "image/image_key.h"

#include "image/drawing_surface.h"
#include "image/image_header.h"

namespace qm {
namespace {

constexpr int kGridSide = 8;

// An image that did not decode leaves the surface black: every level is 0.
GreyLevels GreyLevelsOf(DrawingSurface& surface) {
  surface.ToGrey();
  GreyLevels grey;
  for (int k = 0; k < kFingerprintLength; ++k) {
    grey[static_cast<std::size_t>(k)] =
        static_cast<std::uint8_t>(surface.Pixel(k / kGridSide, k % kGridSide) & 0xFF);
  }
  return grey;
}

// Cells that are all alike, as an image that did not decode leaves them,
// all equal the mean: the text is all "1".
Text FingerprintOf(const GreyLevels& grey) {
  std::int64_t sum = 0;
  for (std::uint8_t level : grey) sum += level;
  Text text;
  text.reserve(kFingerprintLength);
  for (std::uint8_t level : grey)
    text += std::int64_t{kFingerprintLength} * level >= sum ? '1' : '0';
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
  const GreyLevels grey = GreyLevelsOf(surface);
  return ImageMeasures{width, height, FingerprintOf(grey), decoded, grey};
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
