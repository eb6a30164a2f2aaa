#include "image/image_header.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

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

bool IsProgressive(std::uint8_t frame_marker) {
  return frame_marker == 0xC2 || frame_marker == 0xC6 || frame_marker == 0xCA ||
         frame_marker == 0xCE;
}

bool IsRestart(std::uint8_t marker) {
  return marker >= 0xD0 && marker <= 0xD7;
}

// What a JPEG's frame and scan headers ask of a decoder.
struct JpegWork {
  std::int64_t scans = 0;
  std::int64_t coefficient_visits = 0;
  std::int64_t coefficient_bytes = 0;  // kept at once; 0 for a single scan
};

struct JpegComponent {
  std::uint8_t id = 0;
  int across = 1;  // sampling factors
  int down = 1;
};

struct JpegFrame {
  ImageSize size;
  bool progressive = false;
  std::vector<JpegComponent> components;
  int max_across = 1;
  int max_down = 1;
};

// Behind the marker, at the segment's length.
std::optional<JpegFrame> ReadFrame(const Bytes& bytes, std::size_t at, std::uint8_t marker) {
  JpegFrame frame;
  frame.size = ImageSize{ReadBe16(bytes, at + 5), ReadBe16(bytes, at + 3)};
  frame.progressive = IsProgressive(marker);
  const std::size_t count = Byte(bytes, at + 7);
  if (count == 0 || at + 8 + 3 * count > bytes.size()) return std::nullopt;
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t c = at + 8 + 3 * i;
    const int across = std::max(1u, Byte(bytes, c + 1) >> 4);
    const int down = std::max(1u, Byte(bytes, c + 1) & 15);
    frame.components.push_back({bytes[c], across, down});
    frame.max_across = std::max(frame.max_across, across);
    frame.max_down = std::max(frame.max_down, down);
  }
  return frame;
}

// The 8x8 blocks a component spans along one side of the picture.
std::int64_t Blocks(std::int64_t size, int factor, int max_factor) {
  return ((size * factor + max_factor - 1) / max_factor + 7) / 8;
}

std::int64_t RoundUp(std::int64_t n, int unit) {
  return (n + unit - 1) / unit * unit;
}

// Every coefficient of the picture, two bytes each, in whole sampling units.
std::int64_t AllCoefficientBytes(const JpegFrame& frame) {
  std::int64_t bytes = 0;
  for (const JpegComponent& c : frame.components) {
    bytes += RoundUp(Blocks(frame.size.width, c.across, frame.max_across), c.across) *
             RoundUp(Blocks(frame.size.height, c.down, frame.max_down), c.down) * 64 * 2;
  }
  return bytes;
}

// Counts the scan whose header is at `at` (behind the marker): its blocks
// times the coefficients it codes. One component is coded in its own
// blocks, several in whole units of every component's blocks.
void CountScan(const Bytes& bytes, std::size_t at, const JpegFrame& frame, JpegWork& work) {
  const std::size_t count = Byte(bytes, at + 2);
  const std::size_t spectrum = at + 3 + 2 * count;
  std::int64_t unit_blocks = 0;
  const JpegComponent* only = nullptr;
  for (std::size_t i = 0; i < count; ++i) {
    for (const JpegComponent& c : frame.components) {
      if (c.id != Byte(bytes, at + 3 + 2 * i)) continue;
      unit_blocks += c.across * c.down;
      only = &c;
    }
  }
  std::int64_t blocks = 0;
  const ImageSize& size = frame.size;
  if (count == 1 && only) {
    blocks = Blocks(size.width, only->across, frame.max_across) *
             Blocks(size.height, only->down, frame.max_down);
  } else {
    blocks = (size.width + 8 * frame.max_across - 1) / (8 * frame.max_across) *
             ((size.height + 8 * frame.max_down - 1) / (8 * frame.max_down)) * unit_blocks;
  }
  const std::int64_t first = Byte(bytes, spectrum), last = Byte(bytes, spectrum + 1);
  work.coefficient_visits += blocks * std::max<std::int64_t>(0, last - first + 1);
  // A file of several scans keeps all coefficients until the last is in.
  if (work.scans == 0 && (frame.progressive || count < frame.components.size())) {
    work.coefficient_bytes = AllCoefficientBytes(frame);
  }
  ++work.scans;
}

// Past the coded data behind a scan header, to the next marker: 0xFF
// followed by neither 0 (a coded 0xFF) nor a restart marker.
std::size_t SkipCodedData(const Bytes& bytes, std::size_t at) {
  while (at < bytes.size()) {
    const void* found = std::memchr(bytes.data() + at, 0xFF, bytes.size() - at);
    if (!found) break;
    at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - bytes.data());
    const std::uint32_t next = Byte(bytes, at + 1);
    if (next != 0 && next != 0xFF && !IsRestart(static_cast<std::uint8_t>(next))) return at;
    at += next == 0xFF ? 1 : 2;
  }
  return bytes.size();
}

struct JpegHeaders {
  std::optional<JpegFrame> frame;
  JpegWork work;
};

// Walks the marker segments to the end of the picture: the first frame
// header and every scan header behind it. Stops where the data ends or
// stops making sense; what was read so far stands.
JpegHeaders ReadJpegHeaders(const Bytes& bytes) {
  JpegHeaders headers;
  std::size_t at = 2;
  while (at < bytes.size() && bytes[at] == 0xFF) {
    while (at < bytes.size() && bytes[at] == 0xFF) ++at;
    if (at >= bytes.size()) break;
    const std::uint8_t marker = bytes[at++];
    if (marker == 0x01 || IsRestart(marker)) continue;
    const std::uint32_t length = ReadBe16(bytes, at);
    if (marker == 0xD9 || length < 2 || at + length > bytes.size()) break;
    if (IsStartOfFrame(marker) && !headers.frame) {
      headers.frame = ReadFrame(bytes, at, marker);
      if (!headers.frame) break;
    } else if (marker == 0xDA) {
      if (!headers.frame) break;
      CountScan(bytes, at, *headers.frame, headers.work);
      // One scan too many refuses the file; counting on could only overflow.
      if (headers.work.scans > kMaxJpegScans) break;
      at = SkipCodedData(bytes, at + length);
      continue;
    }
    at += length;
  }
  return headers;
}

std::optional<ImageSize> JpegSize(const Bytes& bytes) {
  const JpegHeaders headers = ReadJpegHeaders(bytes);
  if (!headers.frame) return std::nullopt;
  return headers.frame->size;
}

bool JpegAcceptable(const Bytes& bytes) {
  const JpegHeaders headers = ReadJpegHeaders(bytes);
  if (!headers.frame) return true;
  const JpegWork& work = headers.work;
  return IsAcceptableImageSize(headers.frame->size.width, headers.frame->size.height) &&
         work.scans <= kMaxJpegScans && work.coefficient_visits <= kMaxJpegCoefficientVisits &&
         work.coefficient_bytes <= kMaxJpegCoefficientBytes;
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
  const SniffedFormat format = SniffImageFormat(bytes);
  if (format == SniffedFormat::kJpeg) return JpegAcceptable(bytes);
  auto size = DeclaredImageSize(bytes);
  if (!size) return true;
  if (!IsAcceptableImageSize(size->width, size->height)) return false;
  return format != SniffedFormat::kPng || PngDataBytes(bytes, *size) <= kMaxPngDataBytes;
}

}  // namespace qm
