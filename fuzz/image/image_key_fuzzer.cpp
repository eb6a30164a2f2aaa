// Image bytes as a download could bring them, through every path that reads
// them: the decoder, the streamed fingerprint, the BMP header measure and
// the BMP re-encoder.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "image/convert_image.h"
#include "image/image_header.h"
#include "image/image_key.h"

namespace {

// Re-encoding holds the whole picture twice; beyond this it only slows the
// search down.
constexpr std::int64_t kMaxConvertedPixels = std::int64_t{1} << 22;

void Require(bool rule) {
  if (!rule) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const qm::Bytes bytes(data, data + size);
  const qm::ImageMeasures m = qm::MeasureImage(bytes);
  const qm::Text key = m.Key();
  Require(key.size() >= 2 + qm::kFingerprintLength);
  Require(key.find_first_not_of("01", key.size() - qm::kFingerprintLength) == qm::Text::npos);
  Require(m.decoded || m.fingerprint == qm::Text(qm::kFingerprintLength, '1'));
  if (qm::StartsWithBm(bytes)) return 0;
  // Data other than BMP is measured by its decoded size, which is the size
  // of the BMP it converts to.
  Require(m.decoded || (m.width == 0 && m.height == 0));
  if (!m.decoded || std::int64_t{m.width} * m.height > kMaxConvertedPixels) return 0;
  qm::Bytes bmp;
  Require(qm::ConvertImage(bytes, qm::ImageFormat::kBmp, bmp));
  Require(qm::ImageWidth(bmp) == m.width && qm::ImageHeight(bmp) == m.height);
  return 0;
}
