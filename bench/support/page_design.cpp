#include "support/page_design.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace qm::bench {
namespace {

std::uint8_t Clamp(double v) {
  return static_cast<std::uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v))));
}

// Smooth random texture: a few sine waves and some grain.
void PhotoArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  double f[6], p[6];
  for (int i = 0; i < 6; ++i) {
    f[i] = 0.004 + 0.03 * u(rng);
    p[i] = 6.28 * u(rng);
  }
  std::normal_distribution<double> grain(0, 6);
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < d.width; ++x) {
      double a =
          std::sin(x * f[0] + p[0]) + std::sin(y * f[1] + p[1]) + std::sin((x + y) * f[2] + p[2]);
      double b = std::sin(x * f[3] - y * f[4] + p[3]) + std::sin(y * f[5] + p[4]);
      d.At(x, y) = {Clamp(128 + 40 * a + grain(rng)), Clamp(110 + 35 * b + 20 * a + grain(rng)),
                    Clamp(100 + 45 * std::sin(a + b + p[5]) + grain(rng))};
    }
  }
}

// A flat colour with a gentle vertical gradient and a frame.
void BannerArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_int_distribution<int> c(40, 230);
  Rgb base{static_cast<std::uint8_t>(c(rng)), static_cast<std::uint8_t>(c(rng)),
           static_cast<std::uint8_t>(c(rng))};
  for (int y = top; y < bottom; ++y) {
    double t = 12.0 * (y - top) / std::max(1, bottom - top);
    for (int x = 0; x < d.width; ++x) {
      bool frame = x < 20 || x >= d.width - 20;
      d.At(x, y) =
          frame ? Rgb{255, 255, 255} : Rgb{Clamp(base.r + t), Clamp(base.g + t), Clamp(base.b - t)};
    }
  }
}

// Lines of small dark glyph-like marks on a light background.
void TextArea(Design& d, int top, int bottom, std::mt19937& rng) {
  std::uniform_int_distribution<int> glyph(0, 15), gap(0, 9);
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < d.width; ++x) d.At(x, y) = {246, 244, 238};
  }
  for (int line = top + 12; line + 16 < bottom; line += 28) {
    for (int x = 40; x + 14 < d.width - 40; x += 16) {
      if (gap(rng) == 0) continue;
      int shape = glyph(rng);
      for (int gy = 0; gy < 14; ++gy) {
        for (int gx = 0; gx < 12; ++gx) {
          bool ink = (shape & 1 && gy < 2) || (shape & 2 && gx < 2) || (shape & 4 && gy == 7) ||
                     (shape & 8 && gx == 6) || gy == 13;
          if (ink) d.At(x + gx, line + gy) = {40, 36, 30};
        }
      }
    }
  }
}

void StripArea(Design& d, int top, int bottom) {
  for (int y = top; y < bottom; ++y) {
    for (int x = 0; x < d.width; ++x) d.At(x, y) = {255, 255, 255};
  }
}

void Paint(Design& d, Band kind, int top, int bottom, std::mt19937& rng) {
  switch (kind) {
    case Band::kPhoto:
      return PhotoArea(d, top, bottom, rng);
    case Band::kBanner:
      return BannerArea(d, top, bottom, rng);
    case Band::kText:
      return TextArea(d, top, bottom, rng);
    case Band::kStrip:
      return StripArea(d, top, bottom);
  }
}

// Cells of one row: one, two or three, the last taking what is left.
void CutRow(const Design& d, int y, int h, int cells, std::vector<Slice>& out) {
  int x = 0;
  for (int i = 0; i < cells; ++i) {
    int w = i + 1 == cells ? d.width - x : d.width / cells + 37 * (i + 1);
    out.push_back({x, y, w, h});
    x += w;
  }
}

}  // namespace

Design MakeDesign(unsigned seed, int height, bool strips) {
  std::mt19937 rng(seed);
  Design d;
  d.height = height;
  d.pixels.assign(static_cast<std::size_t>(d.width) * d.height, Rgb{});
  int y = 0;
  int kind = static_cast<int>(seed % 3);
  std::uniform_int_distribution<int> band(250, 700), strip(20, 120);
  while (y < d.height) {
    int bottom = std::min(d.height, y + band(rng));
    const Band next = static_cast<Band>(kind++ % 3);
    Paint(d, next, y, bottom, rng);
    d.areas.push_back({next, y, bottom});
    y = bottom;
    if (!strips || y >= d.height) continue;
    bottom = std::min(d.height, y + strip(rng));
    StripArea(d, y, bottom);
    d.areas.push_back({Band::kStrip, y, bottom});
    y = bottom;
  }
  return d;
}

Design MakePhotograph(int height) {
  std::mt19937 rng(11);
  Design d;
  d.height = height;
  d.pixels.assign(static_cast<std::size_t>(d.width) * d.height, Rgb{});
  PhotoArea(d, 0, height, rng);
  d.areas.push_back({Band::kPhoto, 0, height});
  return d;
}

std::vector<Slice> UniformSlices(const Design& d) {
  std::vector<Slice> out;
  for (int y = 0; y + 250 <= d.height; y += 250) out.push_back({0, y, d.width, 250});
  return out;
}

std::vector<Slice> MixedSlices(const Design& d, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> height(90, 420), cells(1, 3);
  std::vector<Slice> out;
  for (const Design::Area& area : d.areas) {
    if (area.kind == Band::kStrip) {
      CutRow(d, area.top, area.bottom - area.top, cells(rng), out);
      continue;
    }
    for (int y = area.top; y < area.bottom;) {
      int h = std::min(height(rng), area.bottom - y);
      CutRow(d, y, h, cells(rng), out);
      y += h;
    }
  }
  return out;
}

void WritePpm(const Design& d, const std::filesystem::path& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << d.width << ' ' << d.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(d.pixels.data()),
            static_cast<std::streamsize>(d.pixels.size() * 3));
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool Convert(const std::string& args) {
  std::string command = "convert " + args + " 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

void Crop(const std::filesystem::path& design, const Slice& s, const std::string& options,
          const std::filesystem::path& out) {
  std::string crop = std::to_string(s.w) + "x" + std::to_string(s.h) + "+" + std::to_string(s.x) +
                     "+" + std::to_string(s.y);
  if (Convert(design.string() + " -crop " + crop + " +repage " + options + " " + out.string())) {
    return;
  }
  std::fprintf(stderr, "convert failed; is ImageMagick installed?\n");
  std::exit(1);
}

void CropJpeg(const std::filesystem::path& design, const Slice& s, int quality,
              const std::filesystem::path& out) {
  Crop(design, s, "-quality " + std::to_string(quality), out);
}

Band BandOf(const Design& design, const Slice& slice) {
  for (const Design::Area& area : design.areas) {
    if (slice.y >= area.top && slice.y < area.bottom) return area.kind;
  }
  return Band::kStrip;
}

}  // namespace qm::bench
