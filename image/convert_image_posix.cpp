// Only BMP is ever asked for; this platform writes it itself, as 32-bit
// bottom-up rows with the alpha in the fourth byte.

#include "image/convert_image.h"
#include "image/image_object.h"

namespace qm {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

void PutLe16(Bytes& out, std::uint32_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void PutLe32(Bytes& out, std::uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

Bytes EncodeBmp(const ImageObject& image) {
  const auto width = static_cast<std::uint32_t>(image.Width());
  const auto height = static_cast<std::uint32_t>(image.Height());
  const std::uint32_t pixel_bytes = width * height * 4;
  Bytes out;
  out.reserve(kFileHeaderSize + kInfoHeaderSize + pixel_bytes);
  out.push_back('B');
  out.push_back('M');
  PutLe32(out, static_cast<std::uint32_t>(kFileHeaderSize + kInfoHeaderSize) + pixel_bytes);
  PutLe32(out, 0);
  PutLe32(out, kFileHeaderSize + kInfoHeaderSize);
  PutLe32(out, kInfoHeaderSize);
  PutLe32(out, width);
  PutLe32(out, height);
  PutLe16(out, 1);
  PutLe16(out, 32);
  for (int i = 0; i < 6; ++i) PutLe32(out, 0);  // BI_RGB, sizes, resolution, colours
  const auto& rgba = image.Rgba();
  for (std::uint32_t row = height; row-- > 0;) {
    const std::uint8_t* p = rgba.data() + static_cast<std::size_t>(row) * width * 4;
    for (std::uint32_t x = 0; x < width; ++x, p += 4) {
      out.insert(out.end(), {p[2], p[1], p[0], p[3]});
    }
  }
  return out;
}

}  // namespace

bool ConvertImage(const Bytes& bytes, ImageFormat format, const Text& output_path, Bytes& result) {
  if (bytes.size() < 3 || format != ImageFormat::kBmp) return false;
  ImageObject image;
  if (!image.Load(bytes)) return false;
  result = EncodeBmp(image);
  SaveConvertedImage(output_path, result);
  return true;
}

}  // namespace qm
