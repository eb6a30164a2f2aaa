#include "image/drawing_surface.h"

#include <algorithm>

namespace qm {
namespace {

constexpr int kMinSurfaceSide = 8;

// One source line's share of one destination line. On a common scale source
// line s of a source of S lines covers [s*D, (s+1)*D) and destination line d
// of D lines covers [d*S, (d+1)*S); the share is the length of the overlap.
struct Tap {
  int source;
  int dest;  // counted from the first destination line that is drawn
  std::int64_t weight;
};

// Taps of destination lines [first, last) of `dest_size`, ordered by source line.
std::vector<Tap> AxisTaps(int source_size, std::int64_t dest_size, int first, int last) {
  std::vector<Tap> taps;
  const std::int64_t src = source_size;
  for (int d = first; d < last; ++d) {
    std::int64_t lo = d * src;
    std::int64_t hi = lo + src;
    for (std::int64_t s = lo / dest_size; s * dest_size < hi; ++s) {
      std::int64_t overlap = std::min((s + 1) * dest_size, hi) - std::max(s * dest_size, lo);
      taps.push_back({static_cast<int>(s), d - first, overlap});
    }
  }
  std::stable_sort(taps.begin(), taps.end(),
                   [](const Tap& a, const Tap& b) { return a.source < b.source; });
  return taps;
}

struct Sums {
  std::int64_t r = 0, g = 0, b = 0;
};

// Colour drawn over the black surface.
std::int64_t OverBlack(std::uint8_t channel, std::uint8_t alpha) {
  return (channel * alpha + 127) / 255;
}

}  // namespace

DrawingSurface::DrawingSurface(int width, int height)
    : width_(std::max(width, kMinSurfaceSide)),
      height_(std::max(height, kMinSurfaceSide)),
      bgrx_(static_cast<std::size_t>(width_) * height_ * 4, 0) {}

bool DrawingSurface::DrawImageScaled(const ImageObject& image, int x, int y, int width,
                                     int height) {
  if (!image.IsLoaded() || width <= 0 || height <= 0) {
    SetLastImageStatus(kImageInvalidParameter);
    return false;
  }
  SetLastImageStatus(kImageOk);
  // Only the destination lines that fall on the surface are computed.
  const std::int64_t left = x, top = y;
  const int first_col = static_cast<int>(std::clamp<std::int64_t>(-left, 0, width));
  const int last_col = static_cast<int>(std::clamp<std::int64_t>(width_ - left, 0, width));
  const int first_row = static_cast<int>(std::clamp<std::int64_t>(-top, 0, height));
  const int last_row = static_cast<int>(std::clamp<std::int64_t>(height_ - top, 0, height));
  if (first_col >= last_col || first_row >= last_row) return true;

  const int src_w = image.Width(), src_h = image.Height();
  const auto& rgba = image.Rgba();
  const std::vector<Tap> col_taps = AxisTaps(src_w, width, first_col, last_col);
  const std::vector<Tap> row_taps = AxisTaps(src_h, height, first_row, last_row);
  const int cols = last_col - first_col, rows = last_row - first_row;

  std::vector<Sums> out(static_cast<std::size_t>(cols) * rows);
  std::vector<Sums> line(cols);
  int line_source = -1;
  for (const Tap& row : row_taps) {
    if (row.source != line_source) {
      line_source = row.source;
      std::fill(line.begin(), line.end(), Sums{});
      const std::uint8_t* src = rgba.data() + static_cast<std::size_t>(row.source) * src_w * 4;
      for (const Tap& col : col_taps) {
        const std::uint8_t* p = src + static_cast<std::size_t>(col.source) * 4;
        Sums& s = line[col.dest];
        s.r += col.weight * OverBlack(p[0], p[3]);
        s.g += col.weight * OverBlack(p[1], p[3]);
        s.b += col.weight * OverBlack(p[2], p[3]);
      }
    }
    Sums* dest = &out[static_cast<std::size_t>(row.dest) * cols];
    for (int c = 0; c < cols; ++c) {
      dest[c].r += row.weight * line[c].r;
      dest[c].g += row.weight * line[c].g;
      dest[c].b += row.weight * line[c].b;
    }
  }

  // Every destination pixel's weights add up to the source's area.
  const std::int64_t area = static_cast<std::int64_t>(src_w) * src_h;
  auto average = [area](std::int64_t sum) {
    return static_cast<std::uint8_t>((sum + area / 2) / area);
  };
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      const Sums& s = out[static_cast<std::size_t>(r) * cols + c];
      auto px = static_cast<std::size_t>(x + first_col + c);
      auto py = static_cast<std::size_t>(y + first_row + r);
      std::uint8_t* p = &bgrx_[(py * width_ + px) * 4];
      p[0] = average(s.b);
      p[1] = average(s.g);
      p[2] = average(s.r);
    }
  }
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
