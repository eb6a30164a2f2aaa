// Exact integer area averaging of an image onto a grid of cells. On a
// common scale every source pixel and every cell keep their true extent,
// and a cell's colour is the overlap-weighted mean of the pixels it covers,
// composited over black; beside it the cell's weighted alpha, from which
// the same cell composited over white follows without a second decode. The
// scale is separable, so the pixels are taken as a decoder delivers them
// and only one row of sums is kept, never the picture.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "image/pixel_rows.h"

namespace qm {

// The cells of the grid that are computed: columns [first_column,
// last_column) and rows [first_row, last_row).
struct CellWindow {
  int first_column = 0;
  int last_column = 0;
  int first_row = 0;
  int last_row = 0;
};

class AreaAverage final : public PixelRowSink {
 public:
  using Rgb = std::array<std::uint8_t, 3>;
  // A cell's channels over black and its alpha, each weighed by overlap:
  // the weights of every cell add up to Area(). A pixel that never arrives
  // adds nothing, not even alpha: it is transparent.
  struct Sums {
    std::int64_t r = 0, g = 0, b = 0, a = 0;
  };

  // A grid of `columns` x `rows` cells, of which those in `window` (inside
  // the grid, possibly none) are computed.
  AreaAverage(int columns, int rows, CellWindow window);

  bool BeginImage(int width, int height, PixelLayout layout) override;
  void TakePixels(int y, int first, int step, int count, const std::uint8_t* pixels) override;
  void TakeRun(int y, int first, int count, const std::uint8_t* pixel) override;

  // The size BeginImage was given; 0 before.
  int SourceWidth() const { return source_width_; }
  int SourceHeight() const { return source_height_; }

  // The sums of cell (column, row) of the window, counted from its first
  // cell.
  const Sums& Sum(int column, int row) const {
    return cells_[static_cast<std::size_t>(row) * line_.size() + static_cast<std::size_t>(column)];
  }
  // What the weights of one cell add up to: the source's area.
  std::int64_t Area() const { return std::int64_t{source_width_} * source_height_; }
  // The mean of cell (column, row) of the window, rounded half up.
  Rgb Mean(int column, int row) const;
  // The means of `sums` over `area`, rounded half up.
  static Rgb MeanOf(const Sums& sums, std::int64_t area);

 private:
  // One source line's share of one cell line, as the length of their overlap.
  struct Tap {
    int cell;  // counted from the window's first cell
    std::int64_t weight;
  };
  // For each source line, its taps: taps[start[s]] up to taps[start[s + 1]].
  struct Axis {
    std::vector<Tap> taps;
    std::vector<int> start;
    void Build(int source_size, int cells, int first_cell, int last_cell);
  };
  // A cell column seen from the source: the pixels wholly inside it, each
  // of full weight, and at most two pixels at its edges that it shares.
  struct CellSpan {
    int first_whole = 0;
    int end_whole = 0;
    int edges = 0;
    int edge[2] = {0, 0};
    std::int64_t edge_weight[2] = {0, 0};
    std::int64_t weight = 0;  // of all its pixels together
  };

  void BuildSpans();
  template <PixelLayout kLayout>
  void SumWholeRow(const std::uint8_t* pixels);
  void AddLine(int y);

  int columns_;
  int rows_;
  CellWindow window_;
  int source_width_ = 0;
  int source_height_ = 0;
  PixelLayout layout_ = PixelLayout::kRgb;
  Axis across_;
  Axis down_;
  std::vector<CellSpan> spans_;  // one per window column
  std::vector<Sums> line_;       // the current source row's sums, one per window column
  std::vector<Sums> cells_;      // window rows x window columns
};

}  // namespace qm
