// The platform image library decodes; the pixels are read back as 32-bit
// non-premultiplied ARGB and handed on as RGBA.
#include "image/gdiplus_support.h"
#include "image/image_decoder.h"
#include "image/image_header.h"

namespace qm {
namespace {

using namespace Gdiplus::DllExports;

int CopyPixels(Gdiplus::GpImage* image, int width, int height, DecodedImage& out) {
  auto* bitmap = static_cast<Gdiplus::GpBitmap*>(image);
  Gdiplus::GpRect rect(0, 0, width, height);
  Gdiplus::BitmapData data{};
  Gdiplus::GpStatus status =
      GdipBitmapLockBits(bitmap, &rect, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data);
  if (status != Gdiplus::Ok) return status;
  out.width = width;
  out.height = height;
  out.rgba.resize(static_cast<std::size_t>(width) * height * 4);
  std::uint8_t* dest = out.rgba.data();
  for (int y = 0; y < height; ++y) {
    const auto* row =
        static_cast<const std::uint8_t*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride;
    for (int x = 0; x < width; ++x, row += 4, dest += 4) {
      dest[0] = row[2];
      dest[1] = row[1];
      dest[2] = row[0];
      dest[3] = row[3];
    }
  }
  GdipBitmapUnlockBits(bitmap, &data);
  return kImageOk;
}

}  // namespace

int DecodeImage(const Bytes& bytes, DecodedImage& out) {
  if (bytes.empty()) return kImageInvalidParameter;
  if (!DeclaredSizeAcceptable(bytes)) return kImageOutOfMemory;
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
  return CopyPixels(image.Get(), static_cast<int>(width), static_cast<int>(height), out);
}

}  // namespace qm
