#include "image/area_average.h"

#include <algorithm>

namespace qm {
namespace {

// A colour channel drawn over black.
inline std::int64_t OverBlack(std::uint8_t channel, std::uint8_t alpha) {
  return (channel * alpha + 127) / 255;
}

struct Colour {
  std::int64_t r, g, b, a;
};

template <PixelLayout kLayout>
inline Colour Read(const std::uint8_t* p) {
  if constexpr (kLayout == PixelLayout::kGrey) {
    return {p[0], p[0], p[0], 255};
  } else if constexpr (kLayout == PixelLayout::kRgb) {
    return {p[0], p[1], p[2], 255};
  } else {
    if (p[3] == 255) return {p[0], p[1], p[2], 255};
    return {OverBlack(p[0], p[3]), OverBlack(p[1], p[3]), OverBlack(p[2], p[3]), p[3]};
  }
}

Colour ReadAny(PixelLayout layout, const std::uint8_t* p) {
  switch (layout) {
    case PixelLayout::kGrey:
      return Read<PixelLayout::kGrey>(p);
    case PixelLayout::kRgb:
      return Read<PixelLayout::kRgb>(p);
    case PixelLayout::kRgba:
      break;
  }
  return Read<PixelLayout::kRgba>(p);
}

}  // namespace

// Source line s of S lines covers [s*C, (s+1)*C) on the common scale and
// cell line c of C lines covers [c*S, (c+1)*S).
void AreaAverage::Axis::Build(int source_size, int cells, int first_cell, int last_cell) {
  const std::int64_t size = source_size, count = cells;
  std::vector<std::pair<int, Tap>> by_source;
  for (int c = first_cell; c < last_cell; ++c) {
    const std::int64_t lo = c * size, hi = lo + size;
    for (std::int64_t s = lo / count; s * count < hi; ++s) {
      std::int64_t overlap = std::min((s + 1) * count, hi) - std::max(s * count, lo);
      by_source.push_back({static_cast<int>(s), Tap{c - first_cell, overlap}});
    }
  }
  std::stable_sort(by_source.begin(), by_source.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  taps.clear();
  start.assign(static_cast<std::size_t>(source_size) + 1, 0);
  for (const auto& [source, tap] : by_source) {
    taps.push_back(tap);
    ++start[static_cast<std::size_t>(source) + 1];
  }
  for (std::size_t s = 1; s < start.size(); ++s) start[s] += start[s - 1];
}

// Whole pixels weigh as much as a source pixel is wide on the common scale,
// the number of cell columns; the rest are edges.
void AreaAverage::BuildSpans() {
  spans_.assign(line_.size(), CellSpan{});
  for (auto& span : spans_) span.first_whole = span.end_whole = -1;
  for (int x = 0; x < source_width_; ++x) {
    for (int t = across_.start[x]; t < across_.start[x + 1]; ++t) {
      const Tap& tap = across_.taps[t];
      CellSpan& span = spans_[static_cast<std::size_t>(tap.cell)];
      if (tap.weight == columns_) {
        if (span.first_whole < 0) span.first_whole = x;
        span.end_whole = x + 1;
      } else if (span.edges < 2) {
        span.edge[span.edges] = x;
        span.edge_weight[span.edges++] = tap.weight;
      }
    }
  }
  for (auto& span : spans_) {
    if (span.first_whole < 0) span.first_whole = span.end_whole = 0;
    span.weight = (span.end_whole - span.first_whole) * std::int64_t{columns_};
    for (int e = 0; e < span.edges; ++e) span.weight += span.edge_weight[e];
  }
}

AreaAverage::AreaAverage(int columns, int rows, CellWindow window)
    : columns_(columns), rows_(rows), window_(window) {}

bool AreaAverage::BeginImage(int width, int height, PixelLayout layout) {
  if (width <= 0 || height <= 0) return false;
  source_width_ = width;
  source_height_ = height;
  layout_ = layout;
  across_.Build(width, columns_, window_.first_column, window_.last_column);
  down_.Build(height, rows_, window_.first_row, window_.last_row);
  const auto window_columns = static_cast<std::size_t>(window_.last_column - window_.first_column);
  const auto window_rows = static_cast<std::size_t>(window_.last_row - window_.first_row);
  line_.assign(window_columns, Sums{});
  cells_.assign(window_columns * window_rows, Sums{});
  BuildSpans();
  return true;
}

// A whole row, cell column by cell column: the pixels inside a cell are
// summed plainly, which the compiler can vectorise, and weighed once.
template <PixelLayout kLayout>
void AreaAverage::SumWholeRow(const std::uint8_t* pixels) {
  constexpr int kBytes = BytesPerPixel(kLayout);
  const std::int64_t whole_weight = columns_;
  for (std::size_t c = 0; c < spans_.size(); ++c) {
    const CellSpan& span = spans_[c];
    std::uint32_t r = 0, g = 0, b = 0, a = 0;
    const std::uint8_t* p = pixels + static_cast<std::ptrdiff_t>(span.first_whole) * kBytes;
    for (int x = span.first_whole; x < span.end_whole; ++x, p += kBytes) {
      if constexpr (kLayout == PixelLayout::kRgba) {
        const Colour colour = Read<kLayout>(p);
        r += static_cast<std::uint32_t>(colour.r);
        g += static_cast<std::uint32_t>(colour.g);
        b += static_cast<std::uint32_t>(colour.b);
        a += p[3];
      } else if constexpr (kLayout == PixelLayout::kRgb) {
        r += p[0];
        g += p[1];
        b += p[2];
      } else {
        r += p[0];
      }
    }
    if constexpr (kLayout == PixelLayout::kGrey) g = b = r;
    Sums sums{whole_weight * r, whole_weight * g, whole_weight * b, whole_weight * a};
    // Opaque layouts: every pixel of the span counts fully.
    if constexpr (kLayout != PixelLayout::kRgba) sums.a = 255 * span.weight;
    for (int e = 0; e < span.edges; ++e) {
      const Colour colour =
          Read<kLayout>(pixels + static_cast<std::ptrdiff_t>(span.edge[e]) * kBytes);
      sums.r += span.edge_weight[e] * colour.r;
      sums.g += span.edge_weight[e] * colour.g;
      sums.b += span.edge_weight[e] * colour.b;
      if constexpr (kLayout == PixelLayout::kRgba) sums.a += span.edge_weight[e] * colour.a;
    }
    line_[c] = sums;
  }
}

void AreaAverage::TakePixels(int y, int first, int step, int count, const std::uint8_t* pixels) {
  if (down_.start[y] == down_.start[y + 1]) return;  // the row falls outside the window
  if (first == 0 && step == 1 && count == source_width_) {
    switch (layout_) {
      case PixelLayout::kGrey:
        SumWholeRow<PixelLayout::kGrey>(pixels);
        break;
      case PixelLayout::kRgb:
        SumWholeRow<PixelLayout::kRgb>(pixels);
        break;
      case PixelLayout::kRgba:
        SumWholeRow<PixelLayout::kRgba>(pixels);
        break;
    }
    AddLine(y);
    return;
  }
  std::fill(line_.begin(), line_.end(), Sums{});
  const int bytes = BytesPerPixel(layout_);
  auto add = [this](int x, Colour c) {
    for (int t = across_.start[x]; t < across_.start[x + 1]; ++t) {
      const Tap& tap = across_.taps[t];
      Sums& s = line_[tap.cell];
      s.r += tap.weight * c.r;
      s.g += tap.weight * c.g;
      s.b += tap.weight * c.b;
      s.a += tap.weight * c.a;
    }
  };
  // One loop per layout, so that no pixel pays for a switch.
  auto whole = [&](auto read) {
    for (int k = 0, x = first; k < count; ++k, x += step, pixels += bytes) add(x, read(pixels));
  };
  switch (layout_) {
    case PixelLayout::kGrey:
      whole([](const std::uint8_t* p) { return Read<PixelLayout::kGrey>(p); });
      break;
    case PixelLayout::kRgb:
      whole([](const std::uint8_t* p) { return Read<PixelLayout::kRgb>(p); });
      break;
    case PixelLayout::kRgba:
      whole([](const std::uint8_t* p) { return Read<PixelLayout::kRgba>(p); });
      break;
  }
  AddLine(y);
}

void AreaAverage::TakeRun(int y, int first, int count, const std::uint8_t* pixel) {
  if (down_.start[y] == down_.start[y + 1]) return;
  const Colour c = ReadAny(layout_, pixel);
  const std::int64_t size = source_width_, cells = columns_;
  const std::int64_t run_lo = first * cells, run_hi = (first + std::int64_t{count}) * cells;
  for (std::size_t i = 0; i < line_.size(); ++i) {
    const std::int64_t lo = (window_.first_column + static_cast<std::int64_t>(i)) * size;
    const std::int64_t weight =
        std::max<std::int64_t>(0, std::min(lo + size, run_hi) - std::max(lo, run_lo));
    line_[i] = Sums{weight * c.r, weight * c.g, weight * c.b, weight * c.a};
  }
  AddLine(y);
}

void AreaAverage::AddLine(int y) {
  const std::size_t width = line_.size();
  for (int t = down_.start[y]; t < down_.start[y + 1]; ++t) {
    const Tap& tap = down_.taps[t];
    Sums* row = &cells_[static_cast<std::size_t>(tap.cell) * width];
    for (std::size_t c = 0; c < width; ++c) {
      row[c].r += tap.weight * line_[c].r;
      row[c].g += tap.weight * line_[c].g;
      row[c].b += tap.weight * line_[c].b;
      row[c].a += tap.weight * line_[c].a;
    }
  }
}

AreaAverage::Rgb AreaAverage::MeanOf(const Sums& sums, std::int64_t area) {
  auto mean = [area](std::int64_t sum) {
    return static_cast<std::uint8_t>((sum + area / 2) / area);
  };
  return {mean(sums.r), mean(sums.g), mean(sums.b)};
}

AreaAverage::Rgb AreaAverage::Mean(int column, int row) const {
  return MeanOf(Sum(column, row), Area());
}

}  // namespace qm
