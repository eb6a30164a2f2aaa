// The platform image library decodes; the pixels are read back as 32-bit
// non-premultiplied ARGB, a band of rows at a time, and handed on row by
// row as RGBA.
#include <algorithm>
#include <optional>
#include <vector>

#include "image/decoder_detail.h"
#include "image/decoder_memory.h"
#include "image/gdiplus_support.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {
namespace {

using namespace Gdiplus::DllExports;

// Rows converted at once: the library copies only a locked band into the
// format asked for, never a second whole picture.
constexpr int kBandRows = 64;

class LockedBits {
 public:
  LockedBits(Gdiplus::GpBitmap* bitmap, int top, int width, int height) : bitmap_(bitmap) {
    Gdiplus::GpRect rect(0, top, width, height);
    status_ =
        GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data_);
  }
  ~LockedBits() {
    if (status_ == Gdiplus::Ok) GdipBitmapUnlockBits(bitmap_, &data_);
  }
  LockedBits(const LockedBits&) = delete;
  LockedBits& operator=(const LockedBits&) = delete;

  Gdiplus::GpStatus Status() const { return status_; }
  const std::uint8_t* Row(int y) const {
    return static_cast<const std::uint8_t*>(data_.Scan0) +
           static_cast<std::ptrdiff_t>(y) * data_.Stride;
  }

 private:
  Gdiplus::GpBitmap* bitmap_;
  Gdiplus::BitmapData data_{};
  Gdiplus::GpStatus status_;
};

// What the library holds of the decoded picture, `bits` a pixel, and one
// band in the format asked for.
std::size_t DecodedBytes(std::int64_t width, std::int64_t height, std::int64_t bits) {
  return static_cast<std::size_t>((width * height * bits + width * kBandRows * 32) / 8);
}

// The library may widen fewer bits on decoding, but keeps 16-bit PNG
// samples.
std::int64_t DeclaredBits(const Bytes& bytes) {
  constexpr std::size_t kPngDepthOffset = 24;
  const bool deep = SniffImageFormat(bytes) == SniffedFormat::kPng &&
                    bytes.size() > kPngDepthOffset && bytes[kPngDepthOffset] == 16;
  return deep ? 64 : 32;
}

std::int64_t HeldBits(Gdiplus::GpImage* image) {
  Gdiplus::PixelFormat format = PixelFormat32bppARGB;
  GdipGetImagePixelFormat(image, &format);
  return std::max<std::int64_t>(Gdiplus::GetPixelFormatSize(format), 32);
}

int SendPixels(Gdiplus::GpImage* image, int width, int height, PixelRowSink& sink) {
  auto* bitmap = static_cast<Gdiplus::GpBitmap*>(image);
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * 4);
  for (int top = 0; top < height; top += kBandRows) {
    const int rows = std::min(kBandRows, height - top);
    // The first lock decodes the picture; a failure there refuses it whole.
    LockedBits bits(bitmap, top, width, rows);
    if (bits.Status() != Gdiplus::Ok) return bits.Status();
    if (top == 0 && !sink.BeginImage(width, height, PixelLayout::kRgba)) return kImageOutOfMemory;
    for (int y = 0; y < rows; ++y) {
      const std::uint8_t* row = bits.Row(y);
      for (std::size_t i = 0; i < rgba.size(); i += 4) {
        rgba[i] = row[i + 2];
        rgba[i + 1] = row[i + 1];
        rgba[i + 2] = row[i];
        rgba[i + 3] = row[i + 3];
      }
      sink.TakePixels(top + y, 0, 1, width, rgba.data());
    }
  }
  return kImageOk;
}

}  // namespace

int DecodeOnPlatform(const Bytes& bytes, PixelRowSink& sink) {
  if (!EnsureGdiplusStarted()) return kImageGenericError;
  // Reserved before the library decodes anything where the header says the
  // size: it may decode the whole picture as it loads it.
  std::optional<DecoderMemory> memory;
  if (const std::optional<ImageSize> size = DeclaredImageSize(bytes)) {
    memory.emplace(DecodedBytes(size->width, size->height, DeclaredBits(bytes)));
    if (!memory->Held()) return kImageOutOfMemory;
  }
  ImageStream stream;
  if (!stream.Fill(bytes, GMEM_FIXED)) return kImageOutOfMemory;
  GpImageHandle image;
  Gdiplus::GpStatus status = GdipLoadImageFromStream(stream.Get(), image.Put());
  if (status != Gdiplus::Ok) return status;

  // The library may defer decoding the pixels; the size is known already.
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  UINT width = 0, height = 0;
  if (GdipGetImageType(image.Get(), &type) != Gdiplus::Ok || type != Gdiplus::ImageTypeBitmap) {
    return kImageUnknownFormat;
  }
  GdipGetImageWidth(image.Get(), &width);
  GdipGetImageHeight(image.Get(), &height);
  if (width == 0 || height == 0) return kImageUnknownFormat;
  if (!IsAcceptableImageSize(width, height)) return kImageOutOfMemory;
  if (!memory) {  // a format only the library reads
    memory.emplace(DecodedBytes(width, height, HeldBits(image.Get())));
    if (!memory->Held()) return kImageOutOfMemory;
  }
  return SendPixels(image.Get(), static_cast<int>(width), static_cast<int>(height), sink);
}

}  // namespace qm::image_detail
