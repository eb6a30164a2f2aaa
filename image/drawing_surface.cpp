#include "image/drawing_surface.h"

#include <algorithm>

#include "image/area_average.h"

namespace qm {
namespace {

constexpr int kMinSurfaceSide = 8;

bool IsEmpty(const CellWindow& w) {
  return w.first_column >= w.last_column || w.first_row >= w.last_row;
}

}  // namespace

DrawingSurface::DrawingSurface(int width, int height)
    : width_(std::max(width, kMinSurfaceSide)),
      height_(std::max(height, kMinSurfaceSide)),
      bgrx_(static_cast<std::size_t>(width_) * height_ * 4, 0) {}

CellWindow DrawingSurface::Visible(int x, int y, int width, int height) const {
  const std::int64_t left = x, top = y;
  CellWindow w;
  w.first_column = static_cast<int>(std::clamp<std::int64_t>(-left, 0, width));
  w.last_column = static_cast<int>(std::clamp<std::int64_t>(width_ - left, 0, width));
  w.first_row = static_cast<int>(std::clamp<std::int64_t>(-top, 0, height));
  w.last_row = static_cast<int>(std::clamp<std::int64_t>(height_ - top, 0, height));
  return w;
}

void DrawingSurface::Paint(const AreaAverage& average, int x, int y, const CellWindow& window) {
  for (int r = 0; r < window.last_row - window.first_row; ++r) {
    for (int c = 0; c < window.last_column - window.first_column; ++c) {
      const AreaAverage::Rgb mean = average.Mean(c, r);
      auto px = static_cast<std::size_t>(x + window.first_column + c);
      auto py = static_cast<std::size_t>(y + window.first_row + r);
      std::uint8_t* p = &bgrx_[(py * width_ + px) * 4];
      p[0] = mean[2];
      p[1] = mean[1];
      p[2] = mean[0];
    }
  }
}

bool DrawingSurface::DrawImageScaled(const ImageObject& image, int x, int y, int width,
                                     int height) {
  if (!image.IsLoaded() || width <= 0 || height <= 0) return false;
  // Only the cells that fall on the surface are computed.
  const CellWindow window = Visible(x, y, width, height);
  if (IsEmpty(window)) return true;
  AreaAverage average(width, height, window);
  const int src_w = image.Width(), src_h = image.Height();
  if (!average.BeginImage(src_w, src_h, PixelLayout::kRgba)) return false;
  const std::size_t row_bytes = static_cast<std::size_t>(src_w) * 4;
  for (int row = 0; row < src_h; ++row) {
    average.TakePixels(row, 0, 1, src_w, image.Rgba().data() + row * row_bytes);
  }
  Paint(average, x, y, window);
  return true;
}

void DrawingSurface::ToGrey() {
  for (std::size_t i = 0; i + 3 < bgrx_.size(); i += 4) {
    auto grey = static_cast<std::uint8_t>((bgrx_[i] + bgrx_[i + 1] + bgrx_[i + 2]) / 3);
    bgrx_[i] = bgrx_[i + 1] = bgrx_[i + 2] = grey;
  }
}

std::uint32_t DrawingSurface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kInvalidColour;
  const std::uint8_t* p = &bgrx_[(static_cast<std::size_t>(y) * width_ + x) * 4];
  return p[2] | p[1] << 8 | static_cast<std::uint32_t>(p[0]) << 16;
}

}  // namespace qm
