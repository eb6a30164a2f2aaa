#include "support/test_images.h"

namespace qm::test {
namespace {

void PutLe(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Bytes MakeBmp(int width, int height, const PixelFunction& pixel) {
  const std::uint32_t row = static_cast<std::uint32_t>((width * 3 + 3) / 4 * 4);
  const std::uint32_t image_size = row * static_cast<std::uint32_t>(height);
  Bytes out;
  out.push_back('B');
  out.push_back('M');
  PutLe(out, 54 + image_size, 4);
  PutLe(out, 0, 4);
  PutLe(out, 54, 4);
  PutLe(out, 40, 4);
  PutLe(out, static_cast<std::uint32_t>(width), 4);
  PutLe(out, static_cast<std::uint32_t>(height), 4);
  PutLe(out, 1, 2);
  PutLe(out, 24, 2);
  PutLe(out, 0, 4);
  PutLe(out, image_size, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 2835, 4);
  PutLe(out, 0, 4);
  PutLe(out, 0, 4);
  for (int y = height - 1; y >= 0; --y) {
    std::size_t start = out.size();
    for (int x = 0; x < width; ++x) {
      std::uint32_t rgb = pixel(x, y);
      out.push_back(static_cast<std::uint8_t>(rgb));
      out.push_back(static_cast<std::uint8_t>(rgb >> 8));
      out.push_back(static_cast<std::uint8_t>(rgb >> 16));
    }
    while (out.size() - start < row) out.push_back(0);
  }
  return out;
}

Bytes PatternBmp(int width, int height, std::uint64_t pattern) {
  return MakeBmp(width, height, [&](int x, int y) -> std::uint32_t {
    int cell = (y * 8 / height) * 8 + (x * 8 / width);
    return (pattern >> cell) & 1 ? 0xF0F0F0 : 0x101010;
  });
}

}  // namespace qm::test
