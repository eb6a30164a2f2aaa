// Re-encoding through the platform image library's encoders, with a nested
// start of the library around each call.
#include <algorithm>
#include <string>

#include "host/encoding.h"
#include "image/convert_image.h"
#include "image/gdiplus_support.h"
#include "image/image_header.h"

namespace qm {
namespace {

using namespace Gdiplus::DllExports;

const wchar_t* EncoderId(ImageFormat format) {
  switch (format) {
    case ImageFormat::kBmp:
      return L"{557CF400-1A04-11D3-9A73-0000F81EF32E}";
    case ImageFormat::kJpeg:
      return L"{557CF401-1A04-11D3-9A73-0000F81EF32E}";
    case ImageFormat::kGif:
      return L"{557CF402-1A04-11D3-9A73-0000F81EF32E}";
    case ImageFormat::kTiff:
      return L"{557CF405-1A04-11D3-9A73-0000F81EF32E}";
    case ImageFormat::kPng:
      return L"{557CF406-1A04-11D3-9A73-0000F81EF32E}";
  }
  return nullptr;
}

class NestedGdiplus {
 public:
  NestedGdiplus() {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
  }
  ~NestedGdiplus() {
    if (ok_) Gdiplus::GdiplusShutdown(token_);
  }
  NestedGdiplus(const NestedGdiplus&) = delete;
  NestedGdiplus& operator=(const NestedGdiplus&) = delete;
  bool ok() const { return ok_; }

 private:
  ULONG_PTR token_ = 0;
  bool ok_ = false;
};

class GlobalLockGuard {
 public:
  explicit GlobalLockGuard(HGLOBAL block)
      : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
  ~GlobalLockGuard() {
    if (data_) GlobalUnlock(block_);
  }
  GlobalLockGuard(const GlobalLockGuard&) = delete;
  GlobalLockGuard& operator=(const GlobalLockGuard&) = delete;
  const std::uint8_t* data() const { return static_cast<const std::uint8_t*>(data_); }

 private:
  HGLOBAL block_;
  void* data_;
};

// The stream's own size: its block may be larger than what was written.
bool CopyStream(IStream* stream, Bytes& result) {
  HGLOBAL block = nullptr;
  if (FAILED(GetHGlobalFromStream(stream, &block))) return false;
  GlobalLockGuard lock(block);
  STATSTG stat{};
  if (!lock.data() || FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return false;
  SIZE_T size = std::min<SIZE_T>(GlobalSize(block), stat.cbSize.QuadPart);
  if (size == 0) return false;
  result.assign(lock.data(), lock.data() + size);
  return true;
}

}  // namespace

bool ConvertImage(const Bytes& bytes, ImageFormat format, const Text& output_path, Bytes& result) {
  if (bytes.size() < 3) return false;
  if (!DeclaredSizeAcceptable(bytes)) return false;
  const wchar_t* id = EncoderId(format);
  if (!id) return false;
  NestedGdiplus library;
  if (!library.ok()) return false;
  CLSID encoder{};
  if (FAILED(CLSIDFromString(id, &encoder))) return false;

  ImageStream input;
  if (!input.Fill(bytes, GMEM_MOVEABLE)) return false;
  ComPtr<IStream> output;
  if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, output.Put()))) return false;
  Bytes encoded;
  {
    GpImageHandle bitmap;
    auto** put = reinterpret_cast<Gdiplus::GpBitmap**>(bitmap.Put());
    if (GdipCreateBitmapFromStream(input.Get(), put) != Gdiplus::Ok) return false;
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap.Get(), &width);
    GdipGetImageHeight(bitmap.Get(), &height);
    if (!IsAcceptableImageSize(width, height)) return false;
    if (GdipSaveImageToStream(bitmap.Get(), output.Get(), &encoder, nullptr) != Gdiplus::Ok) {
      return false;
    }
  }
  if (!CopyStream(output.Get(), encoded)) return false;
  result = std::move(encoded);
  SaveConvertedImage(output_path, result);
  return true;
}

}  // namespace qm
