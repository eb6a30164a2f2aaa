// Page-like designs for the benchmarks: bands of photograph, banner, text
// and white separator strip, cut into slices as a designer would, and
// written out and re-encoded with ImageMagick's convert (on the path).
#pragma once

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "base/text.h"

namespace qm::bench {

struct Rgb {
  std::uint8_t r, g, b;
};

enum class Band { kPhoto, kBanner, kText, kStrip };

struct Design {
  int width = 750;
  int height = 0;
  std::vector<Rgb> pixels;
  struct Area {
    Band kind;
    int top, bottom;
  };
  std::vector<Area> areas;
  Rgb& At(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct Slice {
  int x, y, w, h;
};

// 750 pixels wide, `height` high, bands of 250-700 pixels in turn; with
// `strips`, a white strip of 20-120 pixels between them.
Design MakeDesign(unsigned seed, int height = 3000, bool strips = false);

// The whole picture one photograph-like area.
Design MakePhotograph(int height);

// Rows of 250 pixels across the whole width.
std::vector<Slice> UniformSlices(const Design& design);
// Rows of varying height, some cut into two or three cells; a strip is a
// row of its own.
std::vector<Slice> MixedSlices(const Design& design, unsigned seed);

void WritePpm(const Design& design, const std::filesystem::path& path);
Bytes ReadFile(const std::filesystem::path& path);
// Runs convert with `args`; false when it failed.
bool Convert(const std::string& args);
// Crops `slice` out of the written design into `out`, whose ending names
// the format, with convert's `options` (such as "-quality 90"); exits the
// program when convert is missing.
void Crop(const std::filesystem::path& design, const Slice& slice, const std::string& options,
          const std::filesystem::path& out);
// Crop into a JPEG of `quality`.
void CropJpeg(const std::filesystem::path& design, const Slice& slice, int quality,
              const std::filesystem::path& out);

// The kind of band the slice's top row lies in.
Band BandOf(const Design& design, const Slice& slice);

}  // namespace qm::bench
