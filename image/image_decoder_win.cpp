// The platform image library decodes; the pixels are read back as 32-bit
// non-premultiplied ARGB and handed on row by row as RGBA.
#include <vector>

#include "image/decoder_detail.h"
#include "image/gdiplus_support.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm::image_detail {
namespace {

using namespace Gdiplus::DllExports;

class LockedBits {
 public:
  LockedBits(Gdiplus::GpBitmap* bitmap, int width, int height) : bitmap_(bitmap) {
    Gdiplus::GpRect rect(0, 0, width, height);
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

int SendPixels(Gdiplus::GpImage* image, int width, int height, PixelRowSink& sink) {
  LockedBits bits(static_cast<Gdiplus::GpBitmap*>(image), width, height);
  if (bits.Status() != Gdiplus::Ok) return bits.Status();
  if (!sink.BeginImage(width, height, PixelLayout::kRgba)) return kImageOutOfMemory;
  std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * 4);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = bits.Row(y);
    for (std::size_t i = 0; i < rgba.size(); i += 4) {
      rgba[i] = row[i + 2];
      rgba[i + 1] = row[i + 1];
      rgba[i + 2] = row[i];
      rgba[i + 3] = row[i + 3];
    }
    sink.TakePixels(y, 0, 1, width, rgba.data());
  }
  return kImageOk;
}

}  // namespace

int DecodeOnPlatform(const Bytes& bytes, PixelRowSink& sink) {
  if (!EnsureGdiplusStarted()) return kImageGenericError;
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
  return SendPixels(image.Get(), static_cast<int>(width), static_cast<int>(height), sink);
}

}  // namespace qm::image_detail
