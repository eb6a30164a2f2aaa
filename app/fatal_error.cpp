// Linked into the executable itself, not a library: the allocation
// functions below replace the runtime's, which a library member might not.
#include "app/fatal_error.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <iterator>
#include <new>

namespace qm {
namespace {

constexpr int kNoFaultNumber = 0;
constexpr UINT kExitCode = static_cast<UINT>(-1);

}  // namespace

void FatalError(int fault_number, const wchar_t* message) {
  // A fixed buffer: this may run because the heap has nothing left.
  wchar_t text[512];
  if (fault_number == kNoFaultNumber) {
    std::swprintf(text, std::size(text), L"运行时出错!\r\n\r\n错误信息：%ls\r\n", message);
  } else {
    std::swprintf(text, std::size(text),
                  L"运行时出错!\r\n\r\n错误代码：%d\r\n\r\n错误信息：%ls\r\n", fault_number,
                  message);
  }
  MessageBoxW(nullptr, text, L"错误", MB_OK | MB_ICONERROR | MB_TASKMODAL | MB_SETFOREGROUND);
  std::exit(static_cast<int>(kExitCode));
}

void OutOfMemory(std::size_t requested_bytes) {
  // The size in full: a request beyond 32 bits is exactly the kind that fails.
  wchar_t message[64];
  std::swprintf(message, std::size(message), L"分配 %llu 字节内存失败!",
                static_cast<unsigned long long>(requested_bytes));
  FatalError(kNoFaultNumber, message);
}

}  // namespace qm

namespace {

void* Allocate(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* block = std::malloc(size)) return block;
    // A handler installed elsewhere may free memory and let us try again.
    std::new_handler handler = std::get_new_handler();
    if (!handler) qm::OutOfMemory(size);
    handler();
  }
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* block = _aligned_malloc(size, static_cast<std::size_t>(alignment))) return block;
    std::new_handler handler = std::get_new_handler();
    if (!handler) qm::OutOfMemory(size);
    handler();
  }
}

}  // namespace

// Every throwing allocation ends in the fatal-error box instead of an
// exception nothing catches. The nothrow forms keep their contract: their
// callers check for null.
void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size == 0 ? 1 : size);
}
void operator delete(void* block) noexcept {
  std::free(block);
}
void operator delete[](void* block) noexcept {
  std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
  std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return _aligned_malloc(size == 0 ? 1 : size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return _aligned_malloc(size == 0 ? 1 : size, static_cast<std::size_t>(alignment));
}
void operator delete(void* block, std::align_val_t) noexcept {
  _aligned_free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
  _aligned_free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
  _aligned_free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  _aligned_free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  _aligned_free(block);
}
