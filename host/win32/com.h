// Owning references for COM objects and automation values, shared by every
// Windows backend that talks to COM.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <utility>

namespace qm {

template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ComPtr(ComPtr&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != &other) {
      Reset();
      ptr_ = std::exchange(other.ptr_, nullptr);
    }
    return *this;
  }

  void Reset() {
    if (ptr_) std::exchange(ptr_, nullptr)->Release();
  }
  T* Get() const { return ptr_; }
  T* operator->() const { return ptr_; }
  explicit operator bool() const { return ptr_ != nullptr; }
  // For out-parameters: releases what is held first.
  T** Put() {
    Reset();
    return &ptr_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

 private:
  T* ptr_ = nullptr;
};

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;

  VARIANT* Put() {
    VariantClear(&value_);
    return &value_;
  }
  VARIANT& Get() { return value_; }
  const VARIANT& Get() const { return value_; }

 private:
  VARIANT value_;
};

// One CoInitialize for the calling thread, undone only if it took.
class ComInit {
 public:
  ComInit() : ok_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComInit() {
    if (ok_) CoUninitialize();
  }
  ComInit(const ComInit&) = delete;
  ComInit& operator=(const ComInit&) = delete;

 private:
  bool ok_;
};

}  // namespace qm
