// What the Windows image files share: the image library started once per
// process, and a global-memory copy of image bytes with a stream over it.
#pragma once

#include <objidl.h>
#include <windows.h>
// The library's headers need these declared first.
#include <gdiplus.h>

#include "base/text.h"
#include "host/win32/com.h"

namespace qm {

// Starts the image library the first time it is called, from whichever
// thread, and keeps it for the life of the process; the program's own
// start-up call and this one simply share it. False when it cannot start.
bool EnsureGdiplusStarted();

// A private copy of image bytes in a global memory block and a stream over
// it that does not own the block: the stream is released first, then the
// block is freed, after whatever was decoded from it.
class ImageStream {
 public:
  ImageStream() = default;
  ~ImageStream();
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;

  // `flags` are GlobalAlloc's (fixed or movable). False when out of memory.
  bool Fill(const Bytes& bytes, UINT flags);
  IStream* Get() const { return stream_.Get(); }

 private:
  HGLOBAL block_ = nullptr;
  ComPtr<IStream> stream_;
};

// Owns a decoded image of the library.
class GpImageHandle {
 public:
  GpImageHandle() = default;
  ~GpImageHandle();
  GpImageHandle(const GpImageHandle&) = delete;
  GpImageHandle& operator=(const GpImageHandle&) = delete;

  Gdiplus::GpImage* Get() const { return image_; }
  Gdiplus::GpImage** Put() { return &image_; }

 private:
  Gdiplus::GpImage* image_ = nullptr;
};

}  // namespace qm
