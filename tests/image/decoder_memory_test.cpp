#include "image/decoder_memory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace qm {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

TEST(DecoderMemoryTest, SharesAreHeldWithinTheBudgetAndGivenBack) {
  {
    DecoderMemory most(kDecoderMemoryBudget - kMiB);
    DecoderMemory beyond(kDecoderMemoryBudget + 1);
    EXPECT_TRUE(most.Held());
    EXPECT_FALSE(beyond.Held());
    EXPECT_EQ(DecoderMemoryInUse(), kDecoderMemoryBudget - kMiB);
    // This thread holds a share already: one that does not fit beside it is
    // refused rather than waited for.
    DecoderMemory more(2 * kMiB);
    EXPECT_FALSE(more.Held());
    DecoderMemory rest(kMiB);
    EXPECT_TRUE(rest.Held());
  }
  EXPECT_EQ(DecoderMemoryInUse(), 0u);
}

TEST(DecoderMemoryTest, AShareThatDoesNotFitWaitsForOthersToBeGivenBack) {
  std::atomic<bool> second_held{false};
  auto first = std::make_unique<DecoderMemory>(kDecoderMemoryBudget / 4 * 3);
  ASSERT_TRUE(first->Held());
  std::thread other([&] {
    DecoderMemory second(kDecoderMemoryBudget / 2);
    second_held = second.Held();
  });
  // However long the other thread has had, it cannot hold its share yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(second_held);
  first.reset();
  other.join();
  EXPECT_TRUE(second_held);
  EXPECT_EQ(DecoderMemoryInUse(), 0u);
}

}  // namespace
}  // namespace qm
