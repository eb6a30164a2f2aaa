#include "support/test_images.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <span>

namespace qm::test {
namespace {

void Le16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Le32(Bytes& out, std::uint32_t v) {
  Le16(out, v & 0xFFFF);
  Le16(out, v >> 16);
}
void Be32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// How a BMP stores its pixels: bits a pixel, the header's size and
// compression, a table behind the header (colours, or BI_BITFIELDS masks
// behind a 40-byte header) and the masks inside a version 5 header.
struct BmpForm {
  int bits = 24;
  std::uint32_t header_size = 40;
  std::uint32_t compression = 0;
  Bytes table;
  std::array<std::uint32_t, 4> header_masks{};
};

// The file header, the information header (the 12-byte core header of the
// oldest BMPs, or one of 40 bytes and more) and the table, for
// `pixel_bytes` of pixel data behind them. A negative height is top-down.
Bytes BmpHeaders(int width, int height, const BmpForm& form, std::size_t pixel_bytes) {
  const std::size_t data = 14 + form.header_size + form.table.size();
  Bytes out{'B', 'M'};
  Le32(out, static_cast<std::uint32_t>(data + pixel_bytes));
  Le32(out, 0);
  Le32(out, static_cast<std::uint32_t>(data));
  Le32(out, form.header_size);
  if (form.header_size == 12) {
    Le16(out, static_cast<std::uint32_t>(width));
    Le16(out, static_cast<std::uint32_t>(height));
    Le16(out, 1);
    Le16(out, static_cast<std::uint32_t>(form.bits));
  } else {
    Le32(out, static_cast<std::uint32_t>(width));
    Le32(out, static_cast<std::uint32_t>(height));
    Le16(out, 1);
    Le16(out, static_cast<std::uint32_t>(form.bits));
    Le32(out, form.compression);
    Le32(out, static_cast<std::uint32_t>(pixel_bytes));
    Le32(out, 0);  // resolution
    Le32(out, 0);
    Le32(out, form.bits <= 8 ? static_cast<std::uint32_t>(form.table.size() / 4) : 0);
    Le32(out, 0);  // colours that matter: all
  }
  if (form.header_size > 40) {
    for (std::uint32_t mask : form.header_masks) Le32(out, mask);
    out.resize(14 + form.header_size, 0);  // colour space and the rest
  }
  out.insert(out.end(), form.table.begin(), form.table.end());
  return out;
}

// `row` packs picture row y into its stored bytes.
Bytes BmpFile(const Picture& p, bool top_down, const BmpForm& form,
              const std::function<Bytes(int y)>& row) {
  const std::size_t stride = (static_cast<std::size_t>(p.width) * form.bits + 31) / 32 * 4;
  Bytes out = BmpHeaders(p.width, top_down ? -p.height : p.height, form, stride * p.height);
  for (int i = 0; i < p.height; ++i) {
    Bytes bytes = row(top_down ? i : p.height - 1 - i);
    bytes.resize(stride, 0);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

Bytes BmpWithRows(const Picture& p, int bits, bool top_down,
                  const std::function<void(Bytes&, Rgba)>& put) {
  BmpForm form;
  form.bits = bits;
  return BmpFile(p, top_down, form, [&](int y) {
    Bytes row;
    for (int x = 0; x < p.width; ++x) put(row, p.At(x, y));
    return row;
  });
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
  crc = ~crc;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

void Chunk(Bytes& out, const char* type, const Bytes& data) {
  Be32(out, static_cast<std::uint32_t>(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  Be32(out, Crc32(body.data(), body.size()));
}

// zlib data in stored (uncompressed) blocks.
Bytes Stored(const Bytes& raw) {
  Bytes out{0x78, 0x01};
  std::size_t at = 0;
  do {
    std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
    out.push_back(at + n == raw.size() ? 1 : 0);
    Le16(out, static_cast<std::uint32_t>(n));
    Le16(out, static_cast<std::uint32_t>(~n & 0xFFFF));
    out.insert(out.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
               raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  std::uint32_t a = 1, b = 0;
  for (std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  Be32(out, b << 16 | a);
  return out;
}

Bytes Header(std::uint32_t width, std::uint32_t height, int depth, int colour_type,
             bool interlaced = false) {
  Bytes ihdr;
  Be32(ihdr, width);
  Be32(ihdr, height);
  ihdr.insert(ihdr.end(), {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colour_type),
                           0, 0, static_cast<std::uint8_t>(interlaced ? 1 : 0)});
  Bytes out{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Chunk(out, "IHDR", ihdr);
  return out;
}

std::map<std::uint32_t, std::uint8_t> Palette(const Picture& p) {
  std::map<std::uint32_t, std::uint8_t> index;
  for (Rgba c : p.pixels) {
    std::uint32_t key = c.r | c.g << 8 | c.b << 16 | static_cast<std::uint32_t>(c.a) << 24;
    if (!index.count(key)) index.emplace(key, static_cast<std::uint8_t>(index.size()));
  }
  return index;
}

void Be16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

// Deflate's bit order: fields from their lowest bit, Huffman codes from
// their highest.
class BitWriter {
 public:
  void Put(std::uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) Bit((value >> i) & 1);
  }
  void PutCode(std::uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void PutZeros(std::uint64_t bits) {
    for (; bits > 0 && used_ != 0; --bits) Bit(0);
    out_.resize(out_.size() + bits / 8, 0);
    for (bits %= 8; bits > 0; --bits) Bit(0);
  }
  Bytes Take() { return std::move(out_); }

 private:
  void Bit(std::uint32_t bit) {
    if (used_ == 0) out_.push_back(0);
    out_.back() |= static_cast<std::uint8_t>(bit << used_);
    used_ = (used_ + 1) % 8;
  }
  Bytes out_;
  int used_ = 0;
};

// zlib data for `size` zero bytes at deflate's best ratio: one literal 0,
// then copies of 258 bytes at distance 1, each coded in two bits, and the
// rest as literals.
Bytes ZerosBomb(std::uint64_t size) {
  BitWriter w;
  w.Put(1, 1);   // the last block
  w.Put(2, 2);   // dynamic Huffman codes
  w.Put(29, 5);  // 286 literal/length codes
  w.Put(0, 5);   // 1 distance code
  w.Put(14, 4);  // 18 code-length codes, in the order deflate lists them
  for (int length : {0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2}) w.Put(length, 3);
  // Code-length codes: 18 (a run of zeros) is "0", 1 is "10", 2 is "11".
  w.PutCode(3, 2);  // literal 0: length 2
  w.PutCode(0, 1);
  w.Put(138 - 11, 7);  // literals 1-138: unused
  w.PutCode(0, 1);
  w.Put(117 - 11, 7);  // literals 139-255
  w.PutCode(3, 2);     // end of block: length 2
  w.PutCode(0, 1);
  w.Put(28 - 11, 7);  // lengths 257-284
  w.PutCode(2, 2);    // length 258 (285): length 1
  w.PutCode(2, 2);    // distance 1: length 1
  // Literal/length codes: 285 is "0", literal 0 "10", end of block "11";
  // distance 1 is "0".
  w.PutCode(2, 2);
  const std::uint64_t copies = (size - 1) / 258;
  w.PutZeros(2 * copies);
  for (std::uint64_t i = 1 + 258 * copies; i < size; ++i) w.PutCode(2, 2);
  w.PutCode(3, 2);
  Bytes out = w.Take();
  out.insert(out.begin(), {0x78, 0x01});
  Be32(out, static_cast<std::uint32_t>(size % 65521) << 16 | 1);  // Adler-32 of zeros
  return out;
}

// JPEG pieces: a marker segment, a quantisation table of 255s, a frame
// header, and a Huffman table whose one code, "0", means `symbol`.
void Segment(Bytes& out, std::uint8_t marker, const Bytes& body) {
  out.insert(out.end(), {0xFF, marker});
  Be16(out, static_cast<std::uint32_t>(body.size() + 2));
  out.insert(out.end(), body.begin(), body.end());
}

Bytes JpegHead(std::uint8_t frame_marker, int width, int height, int components) {
  Bytes out{0xFF, 0xD8};
  Bytes quant(65, 255);
  quant[0] = 0;
  Segment(out, 0xDB, quant);
  Bytes frame{8};
  Be16(frame, static_cast<std::uint32_t>(height));
  Be16(frame, static_cast<std::uint32_t>(width));
  frame.push_back(static_cast<std::uint8_t>(components));
  for (int c = 1; c <= components; ++c)
    frame.insert(frame.end(), {static_cast<std::uint8_t>(c), 0x11, 0});
  Segment(out, frame_marker, frame);
  return out;
}

void OneCodeTable(Bytes& out, std::uint8_t table_class, std::uint8_t symbol) {
  Bytes table{table_class, 1};
  table.resize(17, 0);
  table.push_back(symbol);
  Segment(out, 0xC4, table);
}

// A scan of components `first_component` up to `last_component` (counted
// from 1), all on Huffman tables 0.
void Scan(Bytes& out, int first_component, int last_component, std::uint8_t first,
          std::uint8_t last, std::uint8_t approximation) {
  Bytes scan{static_cast<std::uint8_t>(last_component - first_component + 1)};
  for (int c = first_component; c <= last_component; ++c) {
    scan.push_back(static_cast<std::uint8_t>(c));
    scan.push_back(0);
  }
  scan.insert(scan.end(), {first, last, approximation});
  Segment(out, 0xDA, scan);
}

// Zero bits decode as DC category 15 with value -32767, block after block.
Bytes JpegDcSteps(bool progressive, int width, int height, int components, bool end_marker) {
  Bytes out = JpegHead(progressive ? 0xC2 : 0xC0, width, height, components);
  OneCodeTable(out, 0x00, 15);
  if (!progressive) OneCodeTable(out, 0x10, 0x00);  // end of block
  Scan(out, 1, components, 0, progressive ? 0 : 63, progressive ? 13 : 0);
  out.resize(out.size() + 6, 0);
  if (end_marker) out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

// A frame and tables but no scan at all.
Bytes JpegWithoutScan(std::uint8_t frame_marker, int width, int height, int components) {
  Bytes out = JpegHead(frame_marker, width, height, components);
  OneCodeTable(out, 0x00, 0);
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

Bytes BmpHeaderOnly(int width, int height) {
  return BmpHeaders(width, height, BmpForm{}, 0);
}

// RLE8 rows of runs of 255 alternating black and white; `rows` of them
// (the rest skipped by the end of the picture), or the data cut after
// `rows` rows without an end.
Bytes BmpRunLengthRows(int width, int height, int rows, bool end) {
  Bytes data;
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < width; x += 255) {
      data.insert(data.end(), {static_cast<std::uint8_t>(std::min(255, width - x)),
                               static_cast<std::uint8_t>(x / 255 % 2)});
    }
    data.insert(data.end(), {0, 0});
  }
  if (end) data.insert(data.end(), {0, 1});
  return BmpRunLengthData(width, height, 8, {kBlack, kWhite}, data);
}

std::uint32_t Key(Rgba c) {
  return c.r | c.g << 8 | c.b << 16 | static_cast<std::uint32_t>(c.a) << 24;
}

BmpForm PaletteForm(const std::map<std::uint32_t, std::uint8_t>& palette, int bits,
                    std::uint32_t compression) {
  BmpForm form;
  form.bits = bits;
  form.compression = compression;
  form.table.resize(palette.size() * 4, 0);
  for (auto [key, i] : palette) {
    form.table[i * 4] = static_cast<std::uint8_t>(key >> 16);
    form.table[i * 4 + 1] = static_cast<std::uint8_t>(key >> 8);
    form.table[i * 4 + 2] = static_cast<std::uint8_t>(key);
  }
  return form;
}

// One row of colour indexes as run-length pairs: three or more indexes in
// a row that differ from their neighbours go as a literal stretch, padded
// to an even number of bytes; the rest as runs of one index.
void RunLengthRow(const std::vector<std::uint8_t>& row, int bits, Bytes& out) {
  auto run_at = [&](std::size_t i) {
    std::size_t n = 1;
    while (i + n < row.size() && n < 255 && row[i + n] == row[i]) ++n;
    return n;
  };
  const std::uint8_t both = bits == 4 ? 0x11 : 0x01;  // an index in both nibbles
  for (std::size_t i = 0; i < row.size();) {
    std::size_t literal = 0;
    while (i + literal < row.size() && literal < 254 && run_at(i + literal) == 1) ++literal;
    if (literal < 3) {
      const std::size_t n = run_at(i);
      out.insert(out.end(),
                 {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(row[i] * both)});
      i += n;
      continue;
    }
    out.insert(out.end(), {0, static_cast<std::uint8_t>(literal)});
    Bytes stored;
    for (std::size_t k = 0; k < literal; ++k) {
      if (bits == 8) {
        stored.push_back(row[i + k]);
      } else if (k % 2 == 0) {
        stored.push_back(static_cast<std::uint8_t>(row[i + k] << 4));
      } else {
        stored.back() |= row[i + k];
      }
    }
    if (stored.size() % 2) stored.push_back(0);
    out.insert(out.end(), stored.begin(), stored.end());
    i += literal;
  }
}

// Rows of zeros of any depth and colour type, at deflate's best ratio.
Bytes PngOfZeros(std::uint32_t width, std::uint32_t height, int depth, int colour_type) {
  static const std::map<int, std::uint64_t> kChannels = {{0, 1}, {2, 3}, {3, 1}, {4, 2}, {6, 4}};
  const std::uint64_t row = 1 + (width * kChannels.at(colour_type) * depth + 7) / 8;
  Bytes out = Header(width, height, depth, colour_type);
  Chunk(out, "IDAT", ZerosBomb(row * height));
  Chunk(out, "IEND", {});
  return out;
}

}  // namespace

Picture MakePicture(int width, int height, const std::function<Rgba(int, int)>& colour) {
  Picture p{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) p.pixels.push_back(colour(x, y));
  }
  return p;
}

Bytes Bmp24(const Picture& picture, bool top_down) {
  return BmpWithRows(picture, 24, top_down, [](Bytes& out, Rgba c) {
    out.insert(out.end(), {c.b, c.g, c.r});
  });
}

Bytes Bmp32(const Picture& picture, std::uint8_t padding, bool top_down) {
  return BmpWithRows(picture, 32, top_down, [padding](Bytes& out, Rgba c) {
    out.insert(out.end(), {c.b, c.g, c.r, padding});
  });
}

Bytes BmpPalette(const Picture& picture, int bits) {
  auto palette = Palette(picture);
  const BmpForm form = PaletteForm(palette, bits, 0);
  return BmpFile(picture, false, form, [&](int y) {
    Bytes row((static_cast<std::size_t>(picture.width) * bits + 7) / 8, 0);
    for (int x = 0; x < picture.width; ++x) {
      const int bit = x * bits;
      row[bit / 8] |=
          static_cast<std::uint8_t>(palette.at(Key(picture.At(x, y))) << (8 - bits - bit % 8));
    }
    return row;
  });
}

Bytes BmpRunLength(const Picture& picture, int bits) {
  auto palette = Palette(picture);
  const BmpForm form = PaletteForm(palette, bits, bits == 8 ? 1 : 2);
  Bytes data;
  for (int y = picture.height - 1; y >= 0; --y) {
    std::vector<std::uint8_t> row;
    for (int x = 0; x < picture.width; ++x) row.push_back(palette.at(Key(picture.At(x, y))));
    RunLengthRow(row, bits, data);
    data.insert(data.end(), {0, 0});  // end of the row
  }
  data.insert(data.end(), {0, 1});  // end of the picture
  Bytes out = BmpHeaders(picture.width, picture.height, form, data.size());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes BmpRunLengthData(int width, int height, int bits, const std::vector<Rgba>& colours,
                       const Bytes& data) {
  BmpForm form;
  form.bits = bits;
  form.compression = bits == 8 ? 1 : 2;
  for (Rgba c : colours) form.table.insert(form.table.end(), {c.b, c.g, c.r, 0});
  Bytes out = BmpHeaders(width, height, form, data.size());
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

Bytes BmpCoreHeader(const Picture& picture) {
  BmpForm form;
  form.header_size = 12;
  return BmpFile(picture, false, form, [&](int y) {
    Bytes row;
    for (int x = 0; x < picture.width; ++x) {
      const Rgba c = picture.At(x, y);
      row.insert(row.end(), {c.b, c.g, c.r});
    }
    return row;
  });
}

Bytes Bmp565(const Picture& picture) {
  BmpForm form;
  form.bits = 16;
  form.compression = 3;
  for (std::uint32_t mask : {0xF800u, 0x07E0u, 0x001Fu}) Le32(form.table, mask);
  return BmpFile(picture, false, form, [&](int y) {
    Bytes row;
    for (int x = 0; x < picture.width; ++x) {
      Rgba c = picture.At(x, y);
      Le16(row, static_cast<std::uint32_t>((c.r >> 3) << 11 | (c.g >> 2) << 5 | c.b >> 3));
    }
    return row;
  });
}

Bytes BmpV5Alpha(const Picture& picture) {
  BmpForm form;
  form.bits = 32;
  form.header_size = 124;
  form.compression = 3;
  form.header_masks = {0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u};
  return BmpFile(picture, true, form, [&](int y) {
    Bytes row;
    for (int x = 0; x < picture.width; ++x) {
      Rgba c = picture.At(x, y);
      row.insert(row.end(), {c.b, c.g, c.r, c.a});
    }
    return row;
  });
}

Bytes Png(const Picture& p, PngKind kind) {
  static const std::map<PngKind, std::pair<int, int>> kFormat = {
      {PngKind::kRgba, {8, 6}}, {PngKind::kRgb, {8, 2}},     {PngKind::kRgb16, {16, 2}},
      {PngKind::kGrey, {8, 0}}, {PngKind::kPalette, {8, 3}}, {PngKind::kRgbaInterlaced, {8, 6}}};
  auto [depth, colour_type] = kFormat.at(kind);
  const bool interlaced = kind == PngKind::kRgbaInterlaced;
  Bytes out = Header(static_cast<std::uint32_t>(p.width), static_cast<std::uint32_t>(p.height),
                     depth, colour_type, interlaced);
  auto palette = Palette(p);
  if (kind == PngKind::kPalette) {
    Bytes plte(palette.size() * 3), trns(palette.size());
    for (auto [key, i] : palette) {
      plte[i * 3] = key & 0xFF;
      plte[i * 3 + 1] = (key >> 8) & 0xFF;
      plte[i * 3 + 2] = (key >> 16) & 0xFF;
      trns[i] = static_cast<std::uint8_t>(key >> 24);
    }
    Chunk(out, "PLTE", plte);
    Chunk(out, "tRNS", trns);
  }
  Bytes raw;
  auto put = [&](int x, int y) {
    Rgba c = p.At(x, y);
    switch (kind) {
      case PngKind::kRgba:
      case PngKind::kRgbaInterlaced:
        raw.insert(raw.end(), {c.r, c.g, c.b, c.a});
        break;
      case PngKind::kRgb:
        raw.insert(raw.end(), {c.r, c.g, c.b});
        break;
      case PngKind::kRgb16:
        raw.insert(raw.end(), {c.r, c.r, c.g, c.g, c.b, c.b});
        break;
      case PngKind::kGrey:
        raw.push_back(c.g);
        break;
      case PngKind::kPalette:
        raw.push_back(palette.at(Key(c)));
        break;
    }
  };
  // Adam7's seven passes (first column, first row, steps); an empty pass
  // stores nothing at all.
  static constexpr int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                        {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  static constexpr int kWhole[1][4] = {{0, 0, 1, 1}};
  for (const auto& pass :
       interlaced ? std::span<const int[4]>(kPasses) : std::span<const int[4]>(kWhole)) {
    if (pass[0] >= p.width) continue;
    for (int y = pass[1]; y < p.height; y += pass[3]) {
      raw.push_back(0);
      for (int x = pass[0]; x < p.width; x += pass[2]) put(x, y);
    }
  }
  Chunk(out, "IDAT", Stored(raw));
  Chunk(out, "IEND", {});
  return out;
}

Bytes PngHeaderOnly(std::uint32_t width, std::uint32_t height) {
  Bytes out = Header(width, height, 8, 0);
  Bytes raw(1 + std::min<std::uint32_t>(width, 64), 0);
  Chunk(out, "IDAT", Stored(raw));
  Chunk(out, "IEND", {});
  return out;
}

// Literal codes only, with a clear code before the code width would grow,
// so every code is 9 bits wide.
Bytes Gif(const Picture& p) {
  return GifOnScreen(p, p.width, p.height, 0, 0, std::nullopt);
}

Bytes GifOnScreen(const Picture& p, int screen_width, int screen_height, int left, int top,
                  std::optional<Rgba> background) {
  auto palette = Palette(p);
  int transparent = -1;
  Bytes table(256 * 3, 0);
  for (auto [key, i] : palette) {
    table[i * 3] = key & 0xFF;
    table[i * 3 + 1] = (key >> 8) & 0xFF;
    table[i * 3 + 2] = (key >> 16) & 0xFF;
    if ((key >> 24) == 0) transparent = i;
  }
  // The background, when there is one, is the table's last colour.
  if (background) {
    table[255 * 3] = background->r;
    table[255 * 3 + 1] = background->g;
    table[255 * 3 + 2] = background->b;
  }
  Bytes out{'G', 'I', 'F', '8', '9', 'a'};
  Le16(out, static_cast<std::uint32_t>(screen_width));
  Le16(out, static_cast<std::uint32_t>(screen_height));
  out.insert(out.end(), {0xF7, static_cast<std::uint8_t>(background ? 255 : 0), 0});
  out.insert(out.end(), table.begin(), table.end());
  if (transparent >= 0) {
    out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparent), 0});
  }
  out.push_back(0x2C);
  Le16(out, static_cast<std::uint32_t>(left));
  Le16(out, static_cast<std::uint32_t>(top));
  Le16(out, static_cast<std::uint32_t>(p.width));
  Le16(out, static_cast<std::uint32_t>(p.height));
  out.push_back(0);
  out.push_back(8);

  Bytes data;
  std::uint32_t bits = 0;
  int count = 0;
  auto emit = [&](std::uint32_t code) {
    bits |= code << count;
    count += 9;
    while (count >= 8) {
      data.push_back(static_cast<std::uint8_t>(bits));
      bits >>= 8;
      count -= 8;
    }
  };
  int since_clear = 0;
  emit(256);
  for (Rgba c : p.pixels) {
    if (since_clear == 250) {
      emit(256);
      since_clear = 0;
    }
    emit(palette.at(Key(c)));
    ++since_clear;
  }
  emit(257);
  if (count > 0) data.push_back(static_cast<std::uint8_t>(bits));
  for (std::size_t at = 0; at < data.size(); at += 255) {
    std::size_t n = std::min<std::size_t>(255, data.size() - at);
    out.push_back(static_cast<std::uint8_t>(n));
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
               data.begin() + static_cast<std::ptrdiff_t>(at + n));
  }
  out.insert(out.end(), {0, 0x3B});
  return out;
}

Bytes JpegEndOfBandScans(int width, int height, int components, int rounds,
                         std::uint8_t approximation) {
  Bytes out = JpegHead(0xC2, width, height, components);
  OneCodeTable(out, 0x10, 0xE0);  // a run of 2^14 blocks and 14 extra bits
  const std::uint64_t blocks = std::uint64_t((width + 7) / 8) * std::uint64_t((height + 7) / 8);
  const std::uint64_t runs = (blocks + 16383) / 16384;
  for (int round = 0; round < rounds; ++round) {
    for (int c = 1; c <= components; ++c) {
      Scan(out, c, c, 1, 63, approximation);
      out.resize(out.size() + (runs * 15 + 7) / 8, 0);
    }
  }
  out.insert(out.end(), {0xFF, 0xD9});
  return out;
}

Bytes GifHeaderOnly(int screen_width, int screen_height, int frame_width, int frame_height) {
  Bytes out{'G', 'I', 'F', '8', '9', 'a'};
  Le16(out, static_cast<std::uint32_t>(screen_width));
  Le16(out, static_cast<std::uint32_t>(screen_height));
  out.insert(out.end(), {0x80, 1, 0, 0, 0, 0, 255, 255, 255});  // 2 colours, background 1
  out.push_back(0x2C);
  Le32(out, 0);
  Le16(out, static_cast<std::uint32_t>(frame_width));
  Le16(out, static_cast<std::uint32_t>(frame_height));
  // Clear, pixel 0, end (3-bit codes), then the data ends.
  out.insert(out.end(), {0, 2, 2, 0x44, 0x01, 0, 0x3B});
  return out;
}

Bytes PngInflatingTo(std::uint64_t inflated) {
  Bytes out = Header(1, 1, 8, 0);
  Chunk(out, "IDAT", ZerosBomb(inflated));
  Chunk(out, "IEND", {});
  return out;
}

std::vector<NamedImage> HostileImages() {
  return {
      {"png 1x1 inflating to 1 GiB", PngInflatingTo(std::uint64_t{1} << 30)},
      {"png header only, 10000x10000", PngHeaderOnly(10000, 10000)},
      {"bmp header only, 10000x10000", BmpHeaderOnly(10000, 10000)},
      {"bmp header only, top-down 30000x3333", BmpHeaderOnly(30000, -3333)},
      {"gif header only, screen 30000x3333", GifHeaderOnly(30000, 3333, 30000, 3333)},
      {"gif 1x1 frame, screen 30000x3333", GifHeaderOnly(30000, 3333, 1, 1)},
      {"gif header only, frame 30000x30000 on a 1x1 screen", GifHeaderOnly(1, 1, 30000, 30000)},
      {"jpeg without scan, 10000x10000", JpegWithoutScan(0xC0, 10000, 10000, 3)},
      {"jpeg dc steps, data cut, 10000x10000", JpegDcSteps(false, 10000, 10000, 1, false)},
      {"jpeg dc steps, 10000x10000", JpegDcSteps(false, 10000, 10000, 1, true)},
      {"jpeg progressive dc steps, data cut, 30000x3333", JpegDcSteps(true, 30000, 3333, 1, false)},
      {"jpeg progressive dc steps, colour 10000x10000", JpegDcSteps(true, 10000, 10000, 3, true)},
      {"jpeg progressive dc steps, 10000x10000", JpegDcSteps(true, 10000, 10000, 1, true)},
      {"jpeg progressive cmyk, ac scans, 7000x7000", JpegEndOfBandScans(7000, 7000, 4, 1, 0x00)},
      {"jpeg 100 refinement scans, 10000x10000", JpegEndOfBandScans(10000, 10000, 1, 100, 0x10)},
      {"png 16-bit rgba of zeros, 30000x3333", PngOfZeros(30000, 3333, 16, 6)},
      {"bmp rle8 runs, 10000x10000", BmpRunLengthRows(10000, 10000, 10000, true)},
      {"bmp rle8 end only, 30000x3333", BmpRunLengthRows(30000, 3333, 0, true)},
      {"bmp rle8 runs, data cut, 10000x10000", BmpRunLengthRows(10000, 10000, 9999, false)},
  };
}

Bytes GreyCellsBmp(int width, int height, const std::function<int(int column, int row)>& level) {
  return Bmp24(MakePicture(width, height, [&](int x, int y) {
    const auto grey = static_cast<std::uint8_t>(level(x * 8 / width, y * 8 / height));
    return Rgba{grey, grey, grey, 255};
  }));
}

namespace {

// A pseudo-random number of `bits` bits from the numbers given.
unsigned Mixed(std::initializer_list<unsigned> values, int bits) {
  std::uint32_t h = 2166136261u;
  for (unsigned v : values) h = (h ^ v) * 16777619u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  return h & ((1u << bits) - 1);
}

std::uint8_t Clamped(int level) {
  return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

}  // namespace

Picture WordedCells(int width, int height, const std::function<int(int, int)>& level,
                    const std::function<bool(int, int)>& worded, unsigned word, int contrast) {
  const int cell_width = width / 8, cell_height = height / 8;
  // Four marks across a cell and two down, in pairs side by side: one of
  // each pair lighter, the other darker.
  const int mark_width = cell_width / 4, mark_height = cell_height / 2;
  return MakePicture(width, height, [=](int x, int y) {
    const int column = x / cell_width, row = y / cell_height;
    const int mark_x = x % cell_width / mark_width, mark_y = y % cell_height / mark_height;
    const unsigned layout = worded(column, row) ? word + 1 : 0;
    const bool flip = Mixed({layout, static_cast<unsigned>(column), static_cast<unsigned>(row),
                             static_cast<unsigned>(mark_x / 2), static_cast<unsigned>(mark_y)},
                            1) != 0;
    const bool lighter = (mark_x % 2 == 0) != flip;
    const std::uint8_t v = Clamped(level(column, row) + (lighter ? contrast : -contrast));
    return Rgba{v, v, v, 255};
  });
}

Picture Reencoded(const Picture& picture, unsigned seed, int amplitude) {
  Picture out = picture;
  for (std::size_t i = 0; i < out.pixels.size(); ++i) {
    Rgba& p = out.pixels[i];
    const auto off = [&](std::uint8_t c, unsigned channel) {
      const int span = 2 * amplitude + 1;
      return Clamped(c +
                     static_cast<int>(Mixed({seed, static_cast<unsigned>(i), channel}, 16) %
                                      static_cast<unsigned>(span)) -
                     amplitude);
    };
    p = Rgba{off(p.r, 0), off(p.g, 1), off(p.b, 2), p.a};
  }
  return out;
}

Picture Watermarked(const Picture& picture) {
  Picture out = picture;
  for (int y = picture.height * 4 / 5; y < picture.height; ++y) {
    for (int x = picture.width * 3 / 4; x < picture.width; ++x) {
      if ((x + y) % 3 != 0) continue;
      Rgba& p = out.pixels[static_cast<std::size_t>(y) * out.width + x];
      p = Rgba{static_cast<std::uint8_t>((p.r + 255) / 2),
               static_cast<std::uint8_t>((p.g + 255) / 2),
               static_cast<std::uint8_t>((p.b + 255) / 2), p.a};
    }
  }
  return out;
}

Picture Scaled(const Picture& picture, int width, int height) {
  return MakePicture(width, height, [&](int x, int y) {
    // Source pixels [x * W / w, (x + 1) * W / w), likewise down, averaged.
    const int x0 = x * picture.width / width,
              x1 = std::max(x0 + 1, (x + 1) * picture.width / width);
    const int y0 = y * picture.height / height,
              y1 = std::max(y0 + 1, (y + 1) * picture.height / height);
    int sums[4] = {0, 0, 0, 0};
    for (int sy = y0; sy < y1; ++sy) {
      for (int sx = x0; sx < x1; ++sx) {
        const Rgba p = picture.At(sx, sy);
        sums[0] += p.r, sums[1] += p.g, sums[2] += p.b, sums[3] += p.a;
      }
    }
    const int n = (x1 - x0) * (y1 - y0);
    return Rgba{Clamped((sums[0] + n / 2) / n), Clamped((sums[1] + n / 2) / n),
                Clamped((sums[2] + n / 2) / n), Clamped((sums[3] + n / 2) / n)};
  });
}

Picture Flattened(const Picture& picture, Rgba ground) {
  Picture out = picture;
  for (Rgba& p : out.pixels) {
    const auto over = [&](std::uint8_t c, std::uint8_t g) {
      return static_cast<std::uint8_t>((c * p.a + g * (255 - p.a) + 127) / 255);
    };
    p = Rgba{over(p.r, ground.r), over(p.g, ground.g), over(p.b, ground.b), 255};
  }
  return out;
}

Bytes PatternBmp(int width, int height, std::uint64_t pattern) {
  return GreyCellsBmp(width, height, [pattern](int column, int row) {
    return (pattern >> (row * 8 + column)) & 1 ? 240 : 16;
  });
}

}  // namespace qm::test
