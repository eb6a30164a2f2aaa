#include "app/gdiplus_session.h"

#include <objidl.h>
// The library's headers need these declared first.
#include <gdiplus.h>

namespace qm {

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;  // version 1, no callback, both flags false
  // A failure shows later, when an image cannot be decoded.
  Gdiplus::GdiplusStartup(&token_, &input, nullptr);
}

GdiplusSession::~GdiplusSession() {
  if (token_) Gdiplus::GdiplusShutdown(token_);
}

}  // namespace qm
