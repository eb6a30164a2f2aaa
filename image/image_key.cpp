#include "image/image_key.h"

#include <algorithm>

#include "image/area_average.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm {
namespace {

constexpr int kGridSide = 8;

// A coarser cell is the nested block of `nest` x `nest` fine cells, whose
// sums add up exactly: a fine cell's weights are `nest` times finer on each
// axis, so the block's sum is nest * nest times the coarse cell's own.
AreaAverage::Sums CoarseSums(const AreaAverage& average, int nest, int column, int row) {
  AreaAverage::Sums sums;
  for (int r = row * nest; r < (row + 1) * nest; ++r) {
    for (int c = column * nest; c < (column + 1) * nest; ++c) {
      const AreaAverage::Sums& fine = average.Sum(c, r);
      sums.r += fine.r;
      sums.g += fine.g;
      sums.b += fine.b;
      sums.a += fine.a;
    }
  }
  const int block = nest * nest;
  return {sums.r / block, sums.g / block, sums.b / block, sums.a / block};
}

// Each cell's mean grey, (R + G + B) div 3 of its rounded channel means.
GreyLevels GreyLevelsOf(const AreaAverage& average) {
  constexpr int kNest = kLumaSide / kGridSide;
  static_assert(kNest * kGridSide == kLumaSide);
  GreyLevels grey;
  for (int k = 0; k < kFingerprintLength; ++k) {
    const AreaAverage::Rgb mean = AreaAverage::MeanOf(
        CoarseSums(average, kNest, k / kGridSide, k % kGridSide), average.Area());
    grey[static_cast<std::size_t>(k)] =
        static_cast<std::uint8_t>((mean[0] + mean[1] + mean[2]) / 3);
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

constexpr std::int64_t kScale = 1000000;

// Sums over one divisor, each rounded half up to a level, exactly: a
// division of 64-bit integers for each of thousands of cells would cost a
// small image more than its decode, so the reciprocal makes an estimate,
// never more than one off, which the integers mend. Sums are positive.
class Levels {
 public:
  explicit Levels(std::int64_t area)
      : divisor_(kScale * area), inverse_(1.0 / static_cast<double>(divisor_)) {}
  std::int64_t Divisor() const { return divisor_; }
  std::uint8_t operator()(std::int64_t sum) const {
    const std::int64_t n = sum + divisor_ / 2;
    auto q = static_cast<std::int64_t>(static_cast<double>(n) * inverse_);
    if (q * divisor_ > n) {
      --q;
    } else if ((q + 1) * divisor_ <= n) {
      ++q;
    }
    return static_cast<std::uint8_t>(std::clamp<std::int64_t>(q, 0, 255));
  }

 private:
  std::int64_t divisor_;
  double inverse_;
};

// A cell's luminance, or its colour differences, from its exact sums in
// integer arithmetic, so both targets round alike; on white when
// `on_white`. The coefficients are the JPEG's in millionths; the colour
// differences are offset by 128 so that every sum stays positive.
//
// On white a pixel adds 255 - alpha to each channel over black, exactly:
// (c * a + 127) div 255 + 255 - a is c over white rounded alike. So a cell
// over white is its sums plus 255 times the area less its alpha sum.
AreaAverage::Sums Flattened(AreaAverage::Sums s, std::int64_t area, bool on_white) {
  if (!on_white) return s;
  const std::int64_t clear = 255 * area - s.a;
  return {s.r + clear, s.g + clear, s.b + clear, 255 * area};
}

std::uint8_t Luma(const AreaAverage::Sums& s, const Levels& level) {
  return level(299000 * s.r + 587000 * s.g + 114000 * s.b);
}

void PutChroma(const AreaAverage::Sums& s, const Levels& level, int cell, ColourCells& out) {
  const std::int64_t offset = 128 * level.Divisor();
  const std::int64_t cb = offset - 168736 * s.r - 331264 * s.g + 500000 * s.b;
  const std::int64_t cr = offset + 500000 * s.r - 418688 * s.g - 81312 * s.b;
  out[static_cast<std::size_t>(kLumaCells + cell)] = level(cb);
  out[static_cast<std::size_t>(kLumaCells + kChromaCells + cell)] = level(cr);
}

ColourCells ColourCellsOf(const AreaAverage& average, bool on_white) {
  ColourCells cells;
  const std::int64_t area = average.Area();
  const Levels level(area);
  for (int r = 0; r < kLumaSide; ++r) {
    for (int c = 0; c < kLumaSide; ++c) {
      cells[static_cast<std::size_t>(r * kLumaSide + c)] =
          Luma(Flattened(average.Sum(c, r), area, on_white), level);
    }
  }
  for (int r = 0; r < kChromaSide; ++r) {
    for (int c = 0; c < kChromaSide; ++c) {
      PutChroma(Flattened(CoarseSums(average, 2, c, r), area, on_white), level, r * kChromaSide + c,
                cells);
    }
  }
  return cells;
}

PictureCells CellsOf(const AreaAverage& average) {
  PictureCells cells;
  cells.on_black = ColourCellsOf(average, false);
  bool transparent = false;
  for (int r = 0; r < kLumaSide && !transparent; ++r) {
    for (int c = 0; c < kLumaSide && !transparent; ++c) {
      transparent = average.Sum(c, r).a != 255 * average.Area();
    }
  }
  if (transparent) cells.on_white = ColourCellsOf(average, true);
  return cells;
}

}  // namespace

// One decode gives the size, the fingerprint and the finer cells. The
// pixels go straight from the decoder into the cells, so no image is held.
ImageMeasures MeasureImage(const Bytes& bytes) {
  AreaAverage average(kLumaSide, kLumaSide, {0, kLumaSide, 0, kLumaSide});
  ImageMeasures measures;
  measures.decoded = DecodeImageRows(bytes, average) == kImageOk;
  if (measures.decoded) {
    measures.width = average.SourceWidth();
    measures.height = average.SourceHeight();
    measures.grey = GreyLevelsOf(average);
    measures.cells = std::make_shared<const PictureCells>(CellsOf(average));
  }
  // A BMP is measured as stored; anything else as the BMP it would convert
  // to, which has the decoded size.
  if (StartsWithBm(bytes)) {
    const ImageSize stored = StoredBmpSize(bytes);
    measures.width = static_cast<int>(stored.width);
    measures.height = static_cast<int>(stored.height);
  }
  measures.fingerprint = FingerprintOf(measures.grey);
  return measures;
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
