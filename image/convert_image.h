// Re-encoding image bytes in another format.
#pragma once

#include "base/text.h"

namespace qm {

enum class ImageFormat { kBmp = 1, kJpeg = 2, kGif = 3, kTiff = 4, kPng = 5 };

// On success `result` holds the re-encoded image and, when `output_path` is
// not blank, the same bytes are written to that file. Fails, leaving
// `result` unchanged, for fewer than 3 bytes, bytes that do not decode and
// a format this platform cannot write.
bool ConvertImage(const Bytes& bytes, ImageFormat format, const Text& output_path, Bytes& result);
inline bool ConvertImage(const Bytes& bytes, ImageFormat format, Bytes& result) {
  return ConvertImage(bytes, format, Text(), result);
}

// Both platforms' last step: writes `result` to `output_path` unless the
// path is blank.
void SaveConvertedImage(const Text& output_path, const Bytes& result);

}  // namespace qm
