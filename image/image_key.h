// What smart replacement knows of an image: its size, a 64-cell average
// hash (the key the work list shows), and the picture itself on a finer
// grid in colour, by which uploads are told apart from look-alike slices.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/text.h"

namespace qm {

inline constexpr int kFingerprintLength = 64;

// 64 characters "0"/"1", column by column of the 8x8 grey grid (character k
// is column k / 8, row k % 8): "1" where the cell is at least the mean.
// Undecodable bytes give 64 "1" characters.
Text MakeImageFingerprint(const Bytes& bytes);
inline Text ImageFingerprint(const Bytes& bytes) {
  return MakeImageFingerprint(bytes);
}

// BMP data ("BM" first) is measured from its header as stored, so a top-down
// BMP has a negative height; other data by its decoded size; 0 when it does
// not decode.
int ImageWidth(const Bytes& bytes);
int ImageHeight(const Bytes& bytes);

// The grey level of each fingerprint cell, in the fingerprint's order.
using GreyLevels = std::array<std::uint8_t, kFingerprintLength>;

// The picture's cells, each the exact area average of what it covers: the
// luminance on a 64x64 grid, the blue and the red colour difference (the
// JPEG's YCbCr, around 128) on a 32x32 grid, as JPEG files keep colour at
// half the resolution of brightness. Row by row: luminance cell (r, c) is
// r * kLumaSide + c, colour cell (r, c) is kLumaCells + r * kChromaSide + c
// (blue) and kChromaCells more (red). The 8x8 fingerprint cells are 8x8
// blocks of luminance cells, so the grids nest.
inline constexpr int kLumaSide = 64;
inline constexpr int kLumaCells = kLumaSide * kLumaSide;
inline constexpr int kChromaSide = kLumaSide / 2;
inline constexpr int kChromaCells = kChromaSide * kChromaSide;
using ColourCells = std::array<std::uint8_t, kLumaCells + 2 * kChromaCells>;

// A picture flattened on black, and when any of it is transparent on white
// too: a host that converts a transparent upload to JPEG puts it on one or
// the other.
struct PictureCells {
  ColourCells on_black{};
  std::optional<ColourCells> on_white;
};

// What one decode of an image tells about it: the parts its key is made of,
// kept apart so that two images can be compared by size, the cells' grey
// levels the fingerprint bits are cut from, and the picture's finer cells.
struct ImageMeasures {
  int width = 0;
  int height = 0;
  Text fingerprint;      // kFingerprintLength characters "0"/"1"
  bool decoded = false;  // false for the undecodable key's bytes
  GreyLevels grey{};     // all 0 when nothing decoded
  // Shared by copies; null when nothing decoded.
  std::shared_ptr<const PictureCells> cells;

  // Width digits, height digits, fingerprint, with no separator.
  Text Key() const;
};

ImageMeasures MeasureImage(const Bytes& bytes);

// MeasureImage(bytes).Key().
Text ImageKey(const Bytes& bytes);

}  // namespace qm
