#include "image/decoder_memory.h"

#include <condition_variable>
#include <memory>
#include <mutex>

namespace qm {
namespace {

struct Budget {
  std::mutex mutex;
  std::condition_variable freed;
  std::size_t in_use = 0;
};

// Never destroyed: decodes may still run on other threads while the
// process ends.
Budget& TheBudget() {
  static Budget* const budget = std::make_unique<Budget>().release();
  return *budget;
}

thread_local int shares_held = 0;

}  // namespace

DecoderMemory::DecoderMemory(std::size_t bytes) : bytes_(bytes) {
  if (bytes_ > kDecoderMemoryBudget) return;
  Budget& budget = TheBudget();
  std::unique_lock lock(budget.mutex);
  auto fits = [&] { return bytes_ <= kDecoderMemoryBudget - budget.in_use; };
  if (shares_held > 0 && !fits()) return;
  budget.freed.wait(lock, fits);
  budget.in_use += bytes_;
  held_ = true;
  ++shares_held;
}

DecoderMemory::~DecoderMemory() {
  if (!held_) return;
  Budget& budget = TheBudget();
  {
    std::lock_guard lock(budget.mutex);
    budget.in_use -= bytes_;
  }
  --shares_held;
  budget.freed.notify_all();
}

std::size_t DecoderMemoryInUse() {
  Budget& budget = TheBudget();
  std::lock_guard lock(budget.mutex);
  return budget.in_use;
}

}  // namespace qm
