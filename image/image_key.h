// What smart replacement knows of an image: its size and a 64-cell average
// hash. Two images are taken for the same picture exactly when their keys
// are equal byte for byte.
#pragma once

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

// Width digits, height digits, fingerprint, with no separator.
Text ImageKey(const Bytes& bytes);

}  // namespace qm
