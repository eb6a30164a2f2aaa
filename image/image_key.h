// What smart replacement knows of an image: its size and a 64-cell average
// hash. Two images are taken for the same picture exactly when their keys
// are equal byte for byte.
#pragma once

#include <array>
#include <cstdint>

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

// What one decode of an image tells about it: the parts its key is made of,
// kept apart so that two images can be compared by size and by how many
// fingerprint cells differ, and the cells' grey levels the fingerprint bits
// are cut from. A host that scales or converts an upload moves many cells
// across the mean by a level or two; the levels themselves stay close.
struct ImageMeasures {
  int width = 0;
  int height = 0;
  Text fingerprint;      // kFingerprintLength characters "0"/"1"
  bool decoded = false;  // false for the undecodable key's bytes
  GreyLevels grey{};     // all 0 when nothing decoded

  // Width digits, height digits, fingerprint, with no separator.
  Text Key() const;
};

ImageMeasures MeasureImage(const Bytes& bytes);

// MeasureImage(bytes).Key().
Text ImageKey(const Bytes& bytes);

}  // namespace qm
