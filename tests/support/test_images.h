// Lossless image files built in memory, so the tests know every pixel.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "base/text.h"

namespace qm::test {

struct Rgba {
  std::uint8_t r, g, b, a;
};

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<Rgba> pixels;  // rows top to bottom

  Rgba At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

Picture MakePicture(int width, int height, const std::function<Rgba(int x, int y)>& colour);

inline constexpr Rgba kWhite{255, 255, 255, 255};
inline constexpr Rgba kBlack{0, 0, 0, 255};

// 24-bit rows, or 32-bit BI_RGB rows whose fourth byte is `padding`;
// bottom-up unless `top_down`.
Bytes Bmp24(const Picture& picture, bool top_down = false);
Bytes Bmp32(const Picture& picture, std::uint8_t padding, bool top_down = false);
// 1, 4 or 8 bits with a colour table (the picture has few enough colours).
Bytes BmpPalette(const Picture& picture, int bits);
// 4 or 8 bits with a colour table, run-length encoded (BI_RLE4, BI_RLE8)
// from the bottom row up: three or more differing indexes in a row as a
// literal stretch, the rest as runs.
Bytes BmpRunLength(const Picture& picture, int bits);
// Run-length data written by hand, behind the headers of a `bits` (4 or 8)
// BMP with these colours in its table.
Bytes BmpRunLengthData(int width, int height, int bits, const std::vector<Rgba>& colours,
                       const Bytes& data);
// 24 bits behind the 12-byte core header of the oldest BMPs.
Bytes BmpCoreHeader(const Picture& picture);
// 16 bits, BI_BITFIELDS 5-6-5 masks behind a 40-byte header.
Bytes Bmp565(const Picture& picture);
// 32 bits, BI_BITFIELDS with an alpha mask in a version 5 header.
Bytes BmpV5Alpha(const Picture& picture);

enum class PngKind { kRgba, kRgb, kRgb16, kGrey, kPalette, kRgbaInterlaced };
Bytes Png(const Picture& picture, PngKind kind = PngKind::kRgba);
// A PNG whose header declares the given size; the pixel data is one row.
Bytes PngHeaderOnly(std::uint32_t width, std::uint32_t height);

// One frame; pixels with alpha 0 become the transparent colour.
Bytes Gif(const Picture& picture);
// The picture as a frame at (left, top) of a larger logical screen, with a
// background colour or none (background index 0).
Bytes GifOnScreen(const Picture& frame, int screen_width, int screen_height, int left, int top,
                  std::optional<Rgba> background);

// A two-colour GIF with a logical screen of one size and a first frame of
// another, whose data holds one pixel only.
Bytes GifHeaderOnly(int screen_width, int screen_height, int frame_width, int frame_height);

// A 1x1 grey PNG whose image data inflates to `inflated` bytes (at least 2),
// far beyond the 2 bytes its header declares; about 1/1000 of that in size.
Bytes PngInflatingTo(std::uint64_t inflated);

// A progressive JPEG (one component grey, four CMYK without an Adobe
// marker) of `rounds` rounds of one scan a component over every AC
// coefficient, first scans (`approximation` 0) or refinements (0x10: Ah 1,
// Al 0), whose zero bits decode as end-of-band runs of 16384 blocks: each
// scan covers the picture in a few hundred bytes.
Bytes JpegEndOfBandScans(int width, int height, int components, int rounds,
                         std::uint8_t approximation);

// Small files made to cost a careless decoder much time or memory: headers
// at the pixel limit with little or no data behind them, data that
// inflates beyond its header or to far more than a slice holds, Huffman
// tables that turn missing data into the largest DC steps or a scan into a
// few hundred bytes, a progressive colour file whose coefficients fill
// hundreds of megabytes, run-length data that covers the pixel limit. Each
// is named after what it tries.
struct NamedImage {
  const char* name;
  Bytes bytes;
};
std::vector<NamedImage> HostileImages();

// A grey image whose pixels each take the level of the 8x8 cell they lie
// in (`level(column, row)`, 0-255). With sides that are multiples of 8 the
// cells' grey levels are exactly these; otherwise each cell borrows a
// fraction of a pixel from its neighbours.
Bytes GreyCellsBmp(int width, int height, const std::function<int(int column, int row)>& level);

// Pictures alike but for their detail, as slices of one design with other
// words: 8x8 cells of the grey levels `level(column, row)`, each holding
// marks half lighter and half darker by `contrast`, so that the cell's mean,
// and with it the key, stay as they are. The marks of the cells
// `worded(column, row)` names are laid out by `word`, the others alike for
// every word. Width a multiple of 32, height of 16.
Picture WordedCells(int width, int height, const std::function<int(int column, int row)>& level,
                    const std::function<bool(int column, int row)>& worded, unsigned word,
                    int contrast = 40);

// What a host's re-encoding leaves of a picture: every channel of every
// pixel up to `amplitude` levels off, by `seed`; alpha as it was.
Picture Reencoded(const Picture& picture, unsigned seed, int amplitude = 2);

// A shop's name laid over the lower right corner at half opacity: strokes
// of white over a quarter of its width and a fifth of its height.
Picture Watermarked(const Picture& picture);

// Scaled to width x height by area averaging, as a host's filter roughly.
Picture Scaled(const Picture& picture, int width, int height);

// Every pixel drawn over `ground` and made opaque, as a host converting a
// transparent upload to JPEG does.
Picture Flattened(const Picture& picture, Rgba ground);

// An image whose 8x8 average-hash pattern is the 64 bits of `pattern`
// (bit 8*row+column set = bright cell), so different patterns give
// different keys and equal patterns equal keys. Sides are multiples of 8.
Bytes PatternBmp(int width, int height, std::uint64_t pattern);

}  // namespace qm::test
