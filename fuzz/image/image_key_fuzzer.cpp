// Image bytes as a download could bring them, through every path that reads
// them: the decoder, the BMP header measure and the BMP re-encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/convert_image.h"
#include "image/image_header.h"
#include "image/image_key.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qm::Bytes bytes(data, data + size);
  const qm::Text key = qm::ImageKey(bytes);
  if (key.size() < 2 + qm::kFingerprintLength) std::abort();
  if (key.find_first_not_of("01", key.size() - qm::kFingerprintLength) != qm::Text::npos)
    std::abort();
  // Data other than BMP is measured as the BMP it converts to.
  qm::Bytes bmp;
  if (qm::ConvertImage(bytes, qm::ImageFormat::kBmp, bmp) && !qm::StartsWithBm(bytes) &&
      (qm::ImageWidth(bmp) != qm::ImageWidth(bytes) ||
       qm::ImageHeight(bmp) != qm::ImageHeight(bytes))) {
    std::abort();
  }
  return 0;
}
