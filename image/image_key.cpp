#include "image/image_key.h"

#include "image/drawing_surface.h"
#include "image/image_header.h"
#include "image/image_object.h"

namespace qm {
namespace {

constexpr int kGridSide = 8;
constexpr int kWidthOffset = 18;
constexpr int kHeightOffset = 22;

// An image that did not load leaves the surface black: every cell equals
// the mean and the text is all "1".
Text FingerprintOf(const ImageObject& image) {
  DrawingSurface surface;
  surface.DrawImageScaled(image, 0, 0, kGridSide, kGridSide);
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

// A BMP is measured as stored; anything else as the BMP it would convert
// to, which has the decoded size.
int MeasuredSide(const Bytes& bytes, const ImageObject& image, int header_offset) {
  if (StartsWithBm(bytes)) return ReadLe32(bytes, header_offset);
  if (!image.IsLoaded()) return 0;
  return header_offset == kWidthOffset ? image.Width() : image.Height();
}

int MeasureSide(const Bytes& bytes, int header_offset) {
  ImageObject image;
  if (!StartsWithBm(bytes)) image.Load(bytes);
  return MeasuredSide(bytes, image, header_offset);
}

}  // namespace

Text MakeImageFingerprint(const Bytes& bytes) {
  ImageObject image;
  image.Load(bytes);
  return FingerprintOf(image);
}

int ImageWidth(const Bytes& bytes) {
  return MeasureSide(bytes, kWidthOffset);
}
int ImageHeight(const Bytes& bytes) {
  return MeasureSide(bytes, kHeightOffset);
}

Text ImageMeasures::Key() const {
  return DecimalText(width) + DecimalText(height) + fingerprint;
}

ImageMeasures MeasureImage(const Bytes& bytes) {
  ImageObject image;
  image.Load(bytes);
  return ImageMeasures{MeasuredSide(bytes, image, kWidthOffset),
                       MeasuredSide(bytes, image, kHeightOffset), FingerprintOf(image),
                       image.IsLoaded()};
}

Text ImageKey(const Bytes& bytes) {
  return MeasureImage(bytes).Key();
}

}  // namespace qm
