// The program-wide GDI+ session, started once before any window exists.
#pragma once

#include <windows.h>

namespace qm {

class GdiplusSession {
 public:
  GdiplusSession();
  // The program leaves through exit(), which skips this: a run still
  // decoding on its worker thread must not lose the library under it.
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

 private:
  ULONG_PTR token_ = 0;
};

}  // namespace qm
