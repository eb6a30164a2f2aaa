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

std::optional<ImageSize> GifSize(const Bytes& bytes) {
  if (bytes.size() < 10) return std::nullopt;
  return ImageSize{ReadLe16(bytes, 6), ReadLe16(bytes, 8)};
}

std::optional<ImageSize> BmpSize(const Bytes& bytes) {
  if (bytes.size() < 26) return std::nullopt;
  std::int64_t header_size = ReadLe32(bytes, 14);
  if (header_size == 12) return ImageSize{ReadLe16(bytes, 18), ReadLe16(bytes, 20)};
  return ImageSize{std::llabs(ReadLe32(bytes, 18)), std::llabs(ReadLe32(bytes, 22))};
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

std::int32_t ReadLe32(const Bytes& bytes, std::size_t offset) {
  std::uint32_t value = ReadLe16(bytes, offset) | ReadLe16(bytes, offset + 2) << 16;
  return static_cast<std::int32_t>(value);
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
  return !size || IsAcceptableImageSize(size->width, size->height);
}

}  // namespace qm
