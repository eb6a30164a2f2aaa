// One budget for the memory that all image decodes of the process hold at
// once. Keys are made on several threads while links download, and a small
// hostile file can make a decoder ask for hundreds of megabytes: each
// within its own limit, several together past what the machine has. A
// decode reserves what it will allocate before allocating it and waits
// while the others hold too much; waiting, unlike failing, gives every
// image the same key however many decodes run beside it.
#pragma once

#include <cstddef>

namespace qm {

inline constexpr std::size_t kDecoderMemoryBudget = std::size_t{512} << 20;

// A share of the budget, given back when destroyed.
class DecoderMemory {
 public:
  // Waits until `bytes` fit beside what other decodes hold. Nothing is held
  // when `bytes` alone exceed the budget, or when this thread holds a share
  // already and the rest does not fit: a decode that waited while holding
  // could wait for ever on one that waits for it.
  explicit DecoderMemory(std::size_t bytes);
  ~DecoderMemory();
  DecoderMemory(const DecoderMemory&) = delete;
  DecoderMemory& operator=(const DecoderMemory&) = delete;

  bool Held() const { return held_; }

 private:
  std::size_t bytes_;
  bool held_ = false;
};

// What all shares together hold now.
std::size_t DecoderMemoryInUse();

}  // namespace qm
