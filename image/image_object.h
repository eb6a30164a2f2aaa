// A decoded image held in memory for one fingerprint.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"
#include "image/image_decoder.h"

namespace qm {

class ImageObject {
 public:
  // Disposes what was loaded first; true when the bytes decoded.
  bool Load(const Bytes& bytes);
  // False when nothing was loaded.
  bool Dispose();

  bool IsLoaded() const { return loaded_; }
  int Width() const { return image_.width; }
  int Height() const { return image_.height; }
  const std::vector<std::uint8_t>& Rgba() const { return image_.rgba; }

 private:
  DecodedImage image_;
  bool loaded_ = false;
};

}  // namespace qm
