// BMP read by hand: the formats image tools write (1, 4 and 8 bits with a
// colour table, 16 and 32 bits with or without bit fields, 24 bits), rows
// bottom-up or top-down, and 4 and 8 bits run-length encoded. The pixel
// data must be all there before anything is decoded, so a header that
// promises a large picture costs nothing when the data is missing.
#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "image/format_decoders.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {
namespace {

using Rgba = std::array<std::uint8_t, 4>;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kRgbBits = 0;    // BI_RGB
constexpr std::uint32_t kRle8 = 1;       // BI_RLE8
constexpr std::uint32_t kRle4 = 2;       // BI_RLE4
constexpr std::uint32_t kBitFields = 3;  // BI_BITFIELDS

std::uint32_t Le16(const Bytes& b, std::size_t at) {
  return at + 2 <= b.size() ? static_cast<std::uint32_t>(b[at] | b[at + 1] << 8) : 0;
}
std::uint32_t Le32(const Bytes& b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// One channel held in a bit mask, scaled to 8 bits by repeating its bits,
// as the common decoders do.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;  // right shift that puts the mask's top bit at bit 7
  int bits = 0;

  static std::optional<Channel> Of(std::uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask == 0) return c;
    c.bits = std::popcount(mask);
    if (c.bits > 8) return std::nullopt;
    c.shift = (31 - std::countl_zero(mask)) - 7;
    return c;
  }

  std::uint8_t From(std::uint32_t pixel) const {
    static constexpr std::uint32_t kMultiply[9] = {0,    0xff, 0x55, 0x49, 0x11,
                                                   0x21, 0x41, 0x81, 0x01};
    static constexpr int kShift[9] = {0, 0, 0, 1, 0, 2, 4, 6, 0};
    std::uint32_t v = pixel & mask;
    v = shift < 0 ? v << -shift : v >> shift;
    v >>= 8 - bits;
    return static_cast<std::uint8_t>((v * kMultiply[bits]) >> kShift[bits]);
  }
};

struct Layout {
  int width = 0;
  int height = 0;
  bool bottom_up = true;
  int bits = 0;
  bool run_length = false;
  std::size_t data = 0;    // offset of the first stored row
  std::size_t stride = 0;  // bytes a stored row, padded to 4
  Channel red, green, blue, alpha;
  bool use_alpha = false;
  std::vector<Rgba> palette;
};

bool ReadMasks(const Bytes& bytes, std::size_t header_size, std::uint32_t compression, Layout& l) {
  std::uint32_t r = 0, g = 0, b = 0, a = 0;
  if (compression == kBitFields) {
    // Inside a version 3 or later header, else right behind it.
    const std::size_t at = kFileHeaderSize + 40;
    r = Le32(bytes, at);
    g = Le32(bytes, at + 4);
    b = Le32(bytes, at + 8);
    if (header_size >= 56) a = Le32(bytes, at + 12);
    if (r == 0 || g == 0 || b == 0 || (r == g && g == b)) return false;
  } else if (l.bits == 16) {
    r = 31u << 10, g = 31u << 5, b = 31u;
  } else {
    // A 32-bit BI_RGB pixel's fourth byte is padding, never alpha.
    r = 0xFFu << 16, g = 0xFFu << 8, b = 0xFFu;
  }
  auto red = Channel::Of(r), green = Channel::Of(g), blue = Channel::Of(b), alpha = Channel::Of(a);
  if (!red || !green || !blue || !alpha) return false;
  l.red = *red, l.green = *green, l.blue = *blue, l.alpha = *alpha;
  return true;
}

// The colour table sits between the headers and the pixel data.
bool ReadPalette(const Bytes& bytes, std::size_t table, std::size_t entry_size, Layout& l) {
  if (l.data < table) return false;
  const std::size_t entries = std::min<std::size_t>((l.data - table) / entry_size, 256);
  if (entries == 0) return false;
  for (std::size_t i = 0; i < entries; ++i) {
    const std::size_t at = table + i * entry_size;
    l.palette.push_back({bytes[at + 2], bytes[at + 1], bytes[at], 255});
  }
  return true;
}

std::optional<Layout> ReadLayout(const Bytes& bytes) {
  const std::size_t header_size = Le32(bytes, kFileHeaderSize);
  if (header_size != 12 && header_size != 40 && header_size != 56 && header_size != 108 &&
      header_size != 124) {
    return std::nullopt;
  }
  if (bytes.size() < kFileHeaderSize + header_size) return std::nullopt;
  Layout l;
  std::int64_t height = 0;
  std::uint32_t compression = kRgbBits;
  if (header_size == 12) {
    l.width = static_cast<int>(Le16(bytes, 18));
    height = Le16(bytes, 20);
    if (Le16(bytes, 22) != 1) return std::nullopt;
    l.bits = static_cast<int>(Le16(bytes, 24));
  } else {
    l.width = static_cast<std::int32_t>(Le32(bytes, 18));
    height = static_cast<std::int32_t>(Le32(bytes, 22));
    if (Le16(bytes, 26) != 1) return std::nullopt;
    l.bits = static_cast<int>(Le16(bytes, 28));
    compression = Le32(bytes, 30);
  }
  // Run-length data is always read from the bottom row up, as the Windows
  // build's library reads it, whatever the sign of the height.
  l.run_length = compression == kRle8 || compression == kRle4;
  l.bottom_up = height > 0 || l.run_length;
  height = std::llabs(height);
  if (l.width <= 0 || height <= 0 || !IsAcceptableImageSize(l.width, height)) return std::nullopt;
  l.height = static_cast<int>(height);

  if ((compression == kRle8 && l.bits != 8) || (compression == kRle4 && l.bits != 4)) {
    return std::nullopt;
  }
  if (compression != kRgbBits && compression != kBitFields && !l.run_length) return std::nullopt;
  if (compression == kBitFields && l.bits != 16 && l.bits != 32) return std::nullopt;
  if (header_size == 12 && l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 24) {
    return std::nullopt;
  }
  l.data = Le32(bytes, 10);
  if (l.data > bytes.size()) return std::nullopt;
  std::size_t headers_end = kFileHeaderSize + header_size;
  if (header_size == 40 && compression == kBitFields) headers_end += 12;
  switch (l.bits) {
    case 1:
    case 4:
    case 8:
      if (!ReadPalette(bytes, headers_end, header_size == 12 ? 3 : 4, l)) return std::nullopt;
      break;
    case 16:
    case 32:
      if (!ReadMasks(bytes, header_size, compression, l)) return std::nullopt;
      break;
    case 24:
      break;
    default:
      return std::nullopt;
  }
  if (l.data < headers_end) return std::nullopt;
  if (l.run_length) return l;
  l.stride = (static_cast<std::size_t>(l.width) * static_cast<std::size_t>(l.bits) + 31) / 32 * 4;
  if ((bytes.size() - l.data) / l.stride < static_cast<std::size_t>(l.height)) return std::nullopt;
  return l;
}

std::uint32_t PixelBits(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
      return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    case 8:
      return row[x];
    case 16:
      return static_cast<std::uint32_t>(row[2 * x] | row[2 * x + 1] << 8);
    default: {
      const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
      return static_cast<std::uint32_t>(p[0] | p[1] << 8 | p[2] << 16) |
             static_cast<std::uint32_t>(p[3]) << 24;
    }
  }
}

// An index beyond the colour table is black.
Rgba PaletteColour(const Layout& l, std::uint8_t index) {
  return index < l.palette.size() ? l.palette[index] : Rgba{0, 0, 0, 255};
}

Rgba PixelAt(const Layout& l, const std::uint8_t* row, int x) {
  if (l.bits == 24) {
    const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
    return {p[2], p[1], p[0], 255};
  }
  const std::uint32_t v = PixelBits(row, x, l.bits);
  if (l.bits <= 8) return PaletteColour(l, static_cast<std::uint8_t>(v));
  return {l.red.From(v), l.green.From(v), l.blue.From(v),
          l.use_alpha ? l.alpha.From(v) : std::uint8_t{255}};
}

const std::uint8_t* StoredRow(const Bytes& bytes, const Layout& l, int index) {
  return bytes.data() + l.data + static_cast<std::size_t>(index) * l.stride;
}

// Files whose alpha channel is 0 throughout mean it as unused: they are read
// as opaque.
bool AnyAlpha(const Bytes& bytes, const Layout& l) {
  if (l.alpha.mask == 0) return false;
  for (int i = 0; i < l.height; ++i) {
    const std::uint8_t* row = StoredRow(bytes, l, i);
    for (int x = 0; x < l.width; ++x) {
      if (l.alpha.From(PixelBits(row, x, l.bits)) != 0) return true;
    }
  }
  return false;
}

// A stretch of a row as run-length data stores it: one value repeated, or
// literal bytes; with 4 bits a pixel each byte holds two indexes, the high
// nibble first.
struct Piece {
  bool nibbles = false;
  std::uint8_t value = 0;  // repeated when `literal` is null
  const std::uint8_t* literal = nullptr;

  std::uint8_t Index(int i) const {
    const std::uint8_t byte = literal ? literal[nibbles ? i / 2 : i] : value;
    return nibbles ? (i % 2 ? byte & 15 : byte >> 4) : byte;
  }
  bool OneIndex() const { return !literal && (!nibbles || value >> 4 == (value & 15)); }
};

// Run-length data: pairs of a count and a value. A count above 0 repeats
// the value's colour index (RLE8) or its two nibbles in turn (RLE4); a
// count of 0 escapes: 0 ends a row, 1 the picture, 2 skips right and up by
// the next two bytes, and 3 to 255 start as many literal indexes, padded to
// an even number of bytes. Pixels the data skips are never drawn; pixels
// past the end of a row are dropped. `draw(row, x, count, piece)` takes
// each visible stretch, rows counted from the bottom. False when the data
// ends before the picture does, the same as rows missing from uncompressed
// data.
template <typename Draw>
bool WalkRunLength(const Bytes& bytes, const Layout& l, Draw&& draw) {
  const bool nibbles = l.bits == 4;
  auto place = [&](int row, int& x, int count, const Piece& piece) {
    const int visible = std::min(count, l.width - x);
    if (visible > 0) draw(row, x, visible, piece);
    x = std::min(x + count, l.width);
  };
  std::size_t at = l.data;
  int x = 0, row = 0;
  while (row < l.height) {
    if (bytes.size() - at < 2) return false;
    const int count = bytes[at], value = bytes[at + 1];
    at += 2;
    if (count > 0) {
      place(row, x, count, Piece{nibbles, static_cast<std::uint8_t>(value), nullptr});
    } else if (value == 0) {
      x = 0;
      ++row;
    } else if (value == 1) {
      return true;
    } else if (value == 2) {
      if (bytes.size() - at < 2) return false;
      x = std::min(x + bytes[at], l.width);
      row += bytes[at + 1];
      at += 2;
    } else {
      const std::size_t stored = nibbles ? (value + 1) / 2 : value;
      if (bytes.size() - at < stored + stored % 2) return false;
      place(row, x, value, Piece{nibbles, 0, bytes.data() + at});
      at += stored + stored % 2;
    }
  }
  return true;
}

// Gathers the stretches a row is drawn in and hands each unbroken part of
// it on whole, so a row the data covers reaches the sink as one row.
class RunLengthRows {
 public:
  RunLengthRows(const Layout& l, PixelRowSink& sink) : l_(l), sink_(sink) {
    pixels_.resize(static_cast<std::size_t>(l.width) * 3);
    for (int i = 0; i < 256; ++i) {
      const Rgba c = PaletteColour(l, static_cast<std::uint8_t>(i));
      std::copy_n(c.begin(), 3, colours_[static_cast<std::size_t>(i)].begin());
    }
  }

  void Draw(int row, int x, int count, const Piece& piece) {
    if (row != row_) Flush(row);
    if (spans_.empty() || spans_.back().end != x) spans_.push_back({x, x});
    std::uint8_t* out = pixels_.data() + static_cast<std::size_t>(x) * 3;
    if (piece.OneIndex()) {
      // One colour: the first pixel, then what is filled copied onwards.
      std::memcpy(out, colours_[piece.Index(0)].data(), 3);
      for (int filled = 1; filled < count; filled *= 2) {
        std::memcpy(out + filled * 3, out,
                    static_cast<std::size_t>(std::min(filled, count - filled)) * 3);
      }
    } else {
      for (int i = 0; i < count; ++i) std::memcpy(out + i * 3, colours_[piece.Index(i)].data(), 3);
    }
    spans_.back().end = x + count;
  }

  // Hands on what the current row holds; the next row is `next`.
  void Flush(int next = -1) {
    for (const Span& span : spans_) {
      sink_.TakePixels(l_.height - 1 - row_, span.start, 1, span.end - span.start,
                       &pixels_[static_cast<std::size_t>(span.start) * 3]);
    }
    spans_.clear();
    row_ = next;
  }

 private:
  struct Span {
    int start, end;
  };
  const Layout& l_;
  PixelRowSink& sink_;
  std::array<std::array<std::uint8_t, 3>, 256> colours_;
  std::vector<std::uint8_t> pixels_;
  std::vector<Span> spans_;
  int row_ = -1;
};

int DecodeRunLength(const Bytes& bytes, const Layout& l, PixelRowSink& sink) {
  if (!WalkRunLength(bytes, l, [](int, int, int, const Piece&) {})) {
    return kImageUnknownFormat;
  }
  if (!sink.BeginImage(l.width, l.height, PixelLayout::kRgb)) return kImageOutOfMemory;
  RunLengthRows rows(l, sink);
  WalkRunLength(bytes, l, [&](int row, int x, int count, const Piece& piece) {
    rows.Draw(row, x, count, piece);
  });
  rows.Flush();
  return kImageOk;
}

}  // namespace

int DecodeBmp(const Bytes& bytes, PixelRowSink& sink) {
  std::optional<Layout> layout = ReadLayout(bytes);
  if (!layout) return kImageUnknownFormat;
  Layout& l = *layout;
  if (l.run_length) return DecodeRunLength(bytes, l, sink);
  l.use_alpha = AnyAlpha(bytes, l);
  const PixelLayout kind = l.use_alpha ? PixelLayout::kRgba : PixelLayout::kRgb;
  if (!sink.BeginImage(l.width, l.height, kind)) return kImageOutOfMemory;
  thread_local std::vector<std::uint8_t> pixels;
  const int bytes_per_pixel = BytesPerPixel(kind);
  pixels.resize(static_cast<std::size_t>(l.width) * static_cast<std::size_t>(bytes_per_pixel));
  for (int i = 0; i < l.height; ++i) {
    const std::uint8_t* row = StoredRow(bytes, l, i);
    for (int x = 0; x < l.width; ++x) {
      const Rgba c = PixelAt(l, row, x);
      std::copy_n(c.begin(), bytes_per_pixel,
                  &pixels[static_cast<std::size_t>(x) * bytes_per_pixel]);
    }
    sink.TakePixels(l.bottom_up ? l.height - 1 - i : i, 0, 1, l.width, pixels.data());
  }
  return kImageOk;
}

}  // namespace qm::image_detail
