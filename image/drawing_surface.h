// An off-screen 32-bit pixel buffer on which an image is drawn scaled down,
// turned grey and read back. It stands for the picture box's bitmap, so it
// has that box's size and starts black.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "image/image_object.h"

namespace qm {

class AreaAverage;
struct CellWindow;

inline constexpr int kPictureBoxWidth = 120;
inline constexpr int kPictureBoxHeight = 88;
inline constexpr std::uint32_t kInvalidColour = 0xFFFFFFFF;

class DrawingSurface {
 public:
  // Never smaller than 8x8, the grid the fingerprint reads.
  explicit DrawingSurface(int width = kPictureBoxWidth, int height = kPictureBoxHeight);

  int Width() const { return width_; }
  int Height() const { return height_; }

  // Composites the image over black and area-averages it into the rectangle,
  // in exact integer arithmetic. Pixels outside the rectangle or the surface
  // are untouched. False, drawing nothing, for an image not loaded or an
  // empty rectangle.
  bool DrawImageScaled(const ImageObject& image, int x, int y, int width, int height);

  // Every pixel's red, green and blue become (R + G + B) div 3.
  void ToGrey();

  // Colour number R + 256 G + 65536 B; kInvalidColour outside the surface.
  std::uint32_t Pixel(int x, int y) const;

 private:
  // The cells of a width x height rectangle at (x, y) that fall on the surface.
  CellWindow Visible(int x, int y, int width, int height) const;
  void Paint(const AreaAverage& average, int x, int y, const CellWindow& window);

  int width_;
  int height_;
  // Each pixel's bytes as a device-independent bitmap holds them: blue,
  // green, red, then a fourth byte without colour.
  std::vector<std::uint8_t> bgrx_;
};

}  // namespace qm
