// How decoded pixels travel from a decoder to what consumes them: the size
// first, then the pixels row by row, in whatever order the format stores
// them (bottom-up BMP, interlaced PNG and GIF). No consumer needs the whole
// picture at once, so a large image costs a row's worth of memory.
#pragma once

#include <cstdint>

namespace qm {

// Bytes a pixel and their order. RGBA is not premultiplied.
enum class PixelLayout { kGrey = 1, kRgb = 3, kRgba = 4 };

constexpr int BytesPerPixel(PixelLayout layout) {
  return static_cast<int>(layout);
}

class PixelRowSink {
 public:
  virtual ~PixelRowSink() = default;

  // Called once, before any pixel. False refuses the image: decoding stops
  // and fails.
  virtual bool BeginImage(int width, int height, PixelLayout layout) = 0;

  // `count` pixels of row y (0 = top) at x = first, first + step, ...; the
  // caller keeps them inside the image. Every pixel arrives at most once;
  // one that never arrives is transparent black.
  virtual void TakePixels(int y, int first, int step, int count, const std::uint8_t* pixels) = 0;

  // `count` pixels of row y from x = first on, all of the colour `pixel`.
  virtual void TakeRun(int y, int first, int count, const std::uint8_t* pixel) = 0;
};

}  // namespace qm
