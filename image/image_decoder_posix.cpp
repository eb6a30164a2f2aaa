// stb_image, limited to the four formats slices are saved in: the other
// loaders are not needed and would only widen what untrusted downloads reach.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 30000
#include <stb/stb_image.h>

#include <cstdlib>
#include <limits>
#include <memory>

#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm {
namespace {

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

// The platform decoder reads a 32-bit BMP without bit fields as opaque: its
// fourth byte is padding. stb_image would take it as alpha whenever some
// pixel's fourth byte is not 0.
bool IsPaddedBmp32(const Bytes& bytes) {
  if (!StartsWithBm(bytes) || bytes.size() < 34) return false;
  std::int32_t header_size = ReadLe32(bytes, 14);
  if (header_size < 40) return false;
  int bit_count = bytes[28] | bytes[29] << 8;
  return bit_count == 32 && ReadLe32(bytes, 30) == 0;
}

// This copy of stb_image writes past its Huffman tables when a JPEG table
// declares more than 256 codes. Every place its marker reader could take for
// a table definition (FF C4) is checked the way it reads one; a real JPEG
// has a few, so data with very many is refused rather than walked.
constexpr int kMaxTableMarkers = 1000;
constexpr int kMaxHuffmanCodes = 256;

bool JpegTablesFit(const Bytes& bytes) {
  if (bytes.empty() || bytes[0] != 0xFF) return true;  // not a JPEG to stb_image
  auto byte = [&bytes](std::size_t at) -> int { return at < bytes.size() ? bytes[at] : 0; };
  int markers = 0;
  for (std::size_t at = 0; at + 1 < bytes.size(); ++at) {
    if (bytes[at] != 0xFF || bytes[at + 1] != 0xC4) continue;
    if (++markers > kMaxTableMarkers) return false;
    std::size_t p = at + 2;
    long left = (byte(p) << 8 | byte(p + 1)) - 2;
    p += 2;
    while (left > 0 && p < bytes.size()) {
      ++p;  // table class and number
      int codes = 0;
      for (int i = 0; i < 16; ++i) codes += byte(p++);
      if (codes > kMaxHuffmanCodes) return false;
      p += static_cast<std::size_t>(codes);
      left -= 17 + codes;
    }
  }
  return true;
}

}  // namespace

int DecodeImage(const Bytes& bytes, DecodedImage& out) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return kImageInvalidParameter;
  }
  if (!DeclaredSizeAcceptable(bytes)) return kImageOutOfMemory;
  if (!JpegTablesFit(bytes)) return kImageUnknownFormat;
  int length = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
    return kImageUnknownFormat;
  }
  // The BMP reader reports a top-down image's height as stored, negative.
  if (!IsAcceptableImageSize(std::llabs(width), std::llabs(height))) return kImageOutOfMemory;

  std::unique_ptr<stbi_uc, StbFree> pixels(
      stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 4));
  if (!pixels || width <= 0 || height <= 0) return kImageUnknownFormat;
  if (!IsAcceptableImageSize(width, height)) return kImageOutOfMemory;

  std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
  out.width = width;
  out.height = height;
  out.rgba.assign(pixels.get(), pixels.get() + count);
  if (IsPaddedBmp32(bytes)) {
    for (std::size_t i = 3; i < count; i += 4) out.rgba[i] = 255;
  }
  return kImageOk;
}

}  // namespace qm
