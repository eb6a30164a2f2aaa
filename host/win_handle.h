// Ownership of a Win32 kernel handle. Win32 says "no handle" with either
// null or INVALID_HANDLE_VALUE depending on the call; both count as empty.
#pragma once

#include <windows.h>

#include <memory>

namespace qm {

struct KernelHandleCloser {
  using pointer = HANDLE;
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};
using UniqueHandle = std::unique_ptr<void, KernelHandleCloser>;

inline bool IsOpen(const UniqueHandle& handle) {
  return handle && handle.get() != INVALID_HANDLE_VALUE;
}

}  // namespace qm
