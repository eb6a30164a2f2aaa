#include <cstring>
#include <utility>

#include "image/gdiplus_support.h"

namespace qm {

bool EnsureGdiplusStarted() {
  static const bool started = [] {
    Gdiplus::GdiplusStartupInput input;
    input.GdiplusVersion = 1;
    input.DebugEventCallback = nullptr;
    input.SuppressBackgroundThread = FALSE;
    input.SuppressExternalCodecs = FALSE;
    ULONG_PTR token = 0;
    return Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
  }();
  return started;
}

ImageStream::~ImageStream() {
  stream_.Reset();
  if (block_) GlobalFree(block_);
}

bool ImageStream::Fill(const Bytes& bytes, UINT flags) {
  stream_.Reset();
  if (block_) GlobalFree(std::exchange(block_, nullptr));
  block_ = GlobalAlloc(flags | GMEM_ZEROINIT, bytes.size());
  if (!block_) return false;
  void* data = GlobalLock(block_);
  if (!data) return false;
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  GlobalUnlock(block_);
  return SUCCEEDED(CreateStreamOnHGlobal(block_, FALSE, stream_.Put()));
}

GpImageHandle::~GpImageHandle() {
  if (image_) Gdiplus::DllExports::GdipDisposeImage(image_);
}

}  // namespace qm
