#include "support/test_images.h"

#include <algorithm>
#include <map>

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

Bytes BmpWithRows(const Picture& p, int bits, bool top_down,
                  const std::function<void(Bytes&, Rgba)>& put) {
  std::size_t stride = (static_cast<std::size_t>(p.width) * bits / 8 + 3) / 4 * 4;
  Bytes out{'B', 'M'};
  Le32(out, static_cast<std::uint32_t>(54 + stride * p.height));
  Le32(out, 0);
  Le32(out, 54);
  Le32(out, 40);
  Le32(out, static_cast<std::uint32_t>(p.width));
  Le32(out, static_cast<std::uint32_t>(top_down ? -p.height : p.height));
  Le16(out, 1);
  Le16(out, static_cast<std::uint32_t>(bits));
  for (int i = 0; i < 6; ++i) Le32(out, 0);
  for (int i = 0; i < p.height; ++i) {
    int y = top_down ? i : p.height - 1 - i;
    std::size_t start = out.size();
    for (int x = 0; x < p.width; ++x) put(out, p.At(x, y));
    out.resize(start + stride, 0);
  }
  return out;
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

Bytes Header(std::uint32_t width, std::uint32_t height, int depth, int colour_type) {
  Bytes ihdr;
  Be32(ihdr, width);
  Be32(ihdr, height);
  ihdr.insert(ihdr.end(),
              {static_cast<std::uint8_t>(depth), static_cast<std::uint8_t>(colour_type), 0, 0, 0});
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

std::uint32_t Key(Rgba c) {
  return c.r | c.g << 8 | c.b << 16 | static_cast<std::uint32_t>(c.a) << 24;
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

Bytes Png(const Picture& p, PngKind kind) {
  static const std::map<PngKind, std::pair<int, int>> kFormat = {{PngKind::kRgba, {8, 6}},
                                                                 {PngKind::kRgb, {8, 2}},
                                                                 {PngKind::kRgb16, {16, 2}},
                                                                 {PngKind::kGrey, {8, 0}},
                                                                 {PngKind::kPalette, {8, 3}}};
  auto [depth, colour_type] = kFormat.at(kind);
  Bytes out = Header(static_cast<std::uint32_t>(p.width), static_cast<std::uint32_t>(p.height),
                     depth, colour_type);
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
  for (int y = 0; y < p.height; ++y) {
    raw.push_back(0);
    for (int x = 0; x < p.width; ++x) {
      Rgba c = p.At(x, y);
      switch (kind) {
        case PngKind::kRgba:
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
  auto palette = Palette(p);
  int transparent = -1;
  Bytes table(256 * 3, 0);
  for (auto [key, i] : palette) {
    table[i * 3] = key & 0xFF;
    table[i * 3 + 1] = (key >> 8) & 0xFF;
    table[i * 3 + 2] = (key >> 16) & 0xFF;
    if ((key >> 24) == 0) transparent = i;
  }
  Bytes out{'G', 'I', 'F', '8', '9', 'a'};
  Le16(out, static_cast<std::uint32_t>(p.width));
  Le16(out, static_cast<std::uint32_t>(p.height));
  out.insert(out.end(), {0xF7, 0, 0});
  out.insert(out.end(), table.begin(), table.end());
  if (transparent >= 0) {
    out.insert(out.end(), {0x21, 0xF9, 4, 1, 0, 0, static_cast<std::uint8_t>(transparent), 0});
  }
  out.push_back(0x2C);
  Le32(out, 0);
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

Bytes PatternBmp(int width, int height, std::uint64_t pattern) {
  return Bmp24(MakePicture(width, height, [&](int x, int y) {
    int cell = (y * 8 / height) * 8 + (x * 8 / width);
    return (pattern >> cell) & 1 ? Rgba{240, 240, 240, 255} : Rgba{16, 16, 16, 255};
  }));
}

}  // namespace qm::test
