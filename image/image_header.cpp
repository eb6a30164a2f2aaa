#include "image/image_header.h"

#include <cstdlib>

namespace qm {
namespace {

std::uint32_t Byte(const Bytes& bytes, std::size_t offset) {
  return offset < bytes.size() ? bytes[offset] : 0;
}

std::uint32_t ReadBe16(const Bytes& bytes, std::size_t offset) {
  return Byte(bytes, offset) << 8 | Byte(bytes, offset + 1);
}

std::uint32_t ReadLe16(const Bytes& bytes, std::size_t offset) {
  return Byte(bytes, offset) | Byte(bytes, offset + 1) << 8;
}

std::uint32_t ReadBe32(const Bytes& bytes, std::size_t offset) {
  return ReadBe16(bytes, offset) << 16 | ReadBe16(bytes, offset + 2);
}

std::int32_t ReadLe32(const Bytes& bytes, std::size_t offset) {
  return static_cast<std::int32_t>(ReadLe16(bytes, offset) | ReadLe16(bytes, offset + 2) << 16);
}

bool StartsWith(const Bytes& bytes, std::initializer_list<std::uint8_t> prefix) {
  if (bytes.size() < prefix.size()) return false;
  std::size_t i = 0;
  for (std::uint8_t b : prefix) {
    if (bytes[i++] != b) return false;
  }
  return true;
}

std::optional<ImageSize> PngSize(const Bytes& bytes) {
  if (bytes.size() < 24) return std::nullopt;
  return ImageSize{ReadBe32(bytes, 16), ReadBe32(bytes, 20)};
}

// What the header's rows inflate to: a filter byte and the packed samples
// each. The interlaced passes' own filter bytes are left out.
std::int64_t PngDataBytes(const Bytes& bytes, const ImageSize& size) {
  constexpr int kDepthOffset = 24, kColourTypeOffset = 25;
  static constexpr int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const std::uint32_t colour_type = Byte(bytes, kColourTypeOffset);
  const std::int64_t channels = colour_type < 7 ? kChannels[colour_type] : 4;
  const std::int64_t bits = size.width * channels * Byte(bytes, kDepthOffset);
  return size.height * (1 + (bits + 7) / 8);
}

// The first frame's size, which is the picture's: where the frame stands
// on the logical screen does not count. Extensions before it are stepped
// over; nothing when the data ends first.
std::optional<ImageSize> GifSize(const Bytes& bytes) {
  constexpr std::size_t kFlagsOffset = 10, kScreenEnd = 13, kFrameHeaderSize = 10;
  constexpr std::uint8_t kFrame = 0x2C, kExtension = 0x21;
  const std::uint32_t flags = Byte(bytes, kFlagsOffset);
  std::size_t at = kScreenEnd;
  if (flags & 0x80) at += std::size_t{3} << ((flags & 7) + 1);  // the colour table
  while (at < bytes.size() && bytes[at] == kExtension) {
    at += 2;  // the introducer and the label, then blocks up to an empty one
    while (at < bytes.size() && bytes[at] != 0) at += 1 + std::size_t{bytes[at]};
    ++at;
  }
  if (at >= bytes.size() || bytes[at] != kFrame || bytes.size() - at < kFrameHeaderSize) {
    return std::nullopt;
  }
  return ImageSize{ReadLe16(bytes, at + 5), ReadLe16(bytes, at + 7)};
}

std::optional<ImageSize> BmpSize(const Bytes& bytes) {
  if (bytes.size() < 26) return std::nullopt;
  const ImageSize stored = StoredBmpSize(bytes);
  return ImageSize{std::llabs(stored.width), std::llabs(stored.height)};
}

bool IsStartOfFrame(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Walks the marker segments up to the first frame header.
std::optional<ImageSize> JpegSize(const Bytes& bytes) {
  std::size_t at = 2;
  while (at < bytes.size()) {
    if (bytes[at] != 0xFF) return std::nullopt;
    while (at < bytes.size() && bytes[at] == 0xFF) ++at;
    if (at >= bytes.size()) return std::nullopt;
    std::uint8_t marker = bytes[at++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
    if (marker == 0xD9 || marker == 0xDA) return std::nullopt;
    if (IsStartOfFrame(marker)) {
      if (at + 7 > bytes.size()) return std::nullopt;
      return ImageSize{ReadBe16(bytes, at + 5), ReadBe16(bytes, at + 3)};
    }
    std::uint32_t length = ReadBe16(bytes, at);
    if (length < 2) return std::nullopt;
    at += length;
  }
  return std::nullopt;
}

}  // namespace

bool StartsWithBm(const Bytes& bytes) {
  return StartsWith(bytes, {'B', 'M'});
}

ImageSize StoredBmpSize(const Bytes& bytes) {
  constexpr std::size_t kHeaderSizeOffset = 14, kWidthOffset = 18;
  constexpr std::uint32_t kCoreHeaderSize = 12;
  if (ReadLe32(bytes, kHeaderSizeOffset) == kCoreHeaderSize) {
    return ImageSize{ReadLe16(bytes, kWidthOffset), ReadLe16(bytes, kWidthOffset + 2)};
  }
  return ImageSize{ReadLe32(bytes, kWidthOffset), ReadLe32(bytes, kWidthOffset + 4)};
}

SniffedFormat SniffImageFormat(const Bytes& bytes) {
  if (StartsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return SniffedFormat::kPng;
  if (StartsWith(bytes, {'G', 'I', 'F', '8'})) return SniffedFormat::kGif;
  if (StartsWithBm(bytes)) return SniffedFormat::kBmp;
  if (StartsWith(bytes, {0xFF, 0xD8})) return SniffedFormat::kJpeg;
  return SniffedFormat::kOther;
}

std::optional<ImageSize> DeclaredImageSize(const Bytes& bytes) {
  switch (SniffImageFormat(bytes)) {
    case SniffedFormat::kPng:
      return PngSize(bytes);
    case SniffedFormat::kGif:
      return GifSize(bytes);
    case SniffedFormat::kBmp:
      return BmpSize(bytes);
    case SniffedFormat::kJpeg:
      return JpegSize(bytes);
    case SniffedFormat::kOther:
      break;
  }
  return std::nullopt;
}

bool IsAcceptableImageSize(std::int64_t width, std::int64_t height) {
  return width >= 0 && height >= 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

bool DeclaredSizeAcceptable(const Bytes& bytes) {
  auto size = DeclaredImageSize(bytes);
  if (!size) return true;
  if (!IsAcceptableImageSize(size->width, size->height)) return false;
  return SniffImageFormat(bytes) != SniffedFormat::kPng ||
         PngDataBytes(bytes, *size) <= kMaxPngDataBytes;
}

}  // namespace qm
