#include "engine/near_match.h"

#include <algorithm>
#include <bit>
#include <limits>

namespace qm {
namespace {

constexpr int kNone = -1;

// The index of the one candidate nearest to `from`, or kNone when there is
// none within reach or two are equally near.
int UniqueNearest(const NearGroup& from, const std::vector<NearGroup>& candidates) {
  int best = kNone;
  int best_distance = std::numeric_limits<int>::max();
  bool tied = false;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const NearGroup& to = candidates[i];
    if (to.members.empty() || to.width != from.width || to.height != from.height) continue;
    const int distance = FingerprintDistance(from.fingerprint, to.fingerprint);
    if (distance > kMaxNearDistance || distance > best_distance) continue;
    tied = distance == best_distance;
    best_distance = distance;
    best = static_cast<int>(i);
  }
  return tied ? kNone : best;
}

int TakeFirst(NearGroup& group) {
  const int member = group.members.front();
  group.members.erase(group.members.begin());
  return member;
}

}  // namespace

std::uint64_t FingerprintBits(const Text& fingerprint) {
  std::uint64_t bits = 0;
  const std::size_t cells = std::min<std::size_t>(fingerprint.size(), 64);
  for (std::size_t k = 0; k < cells; ++k) {
    if (fingerprint[k] == '1') bits |= std::uint64_t{1} << k;
  }
  return bits;
}

int FingerprintDistance(std::uint64_t a, std::uint64_t b) {
  return std::popcount(a ^ b);
}

std::vector<NearPair> PairNearMatches(std::vector<NearGroup> links, std::vector<NearGroup> slices) {
  std::vector<NearPair> made;
  for (;;) {
    // The mutual pairs of one round are disjoint: all of them are chosen
    // before any member is taken, then the nearest are looked at again.
    std::vector<std::pair<std::size_t, std::size_t>> chosen;
    for (std::size_t l = 0; l < links.size(); ++l) {
      if (links[l].members.empty()) continue;
      const int s = UniqueNearest(links[l], slices);
      if (s == kNone) continue;
      const auto slice = static_cast<std::size_t>(s);
      if (UniqueNearest(slices[slice], links) == static_cast<int>(l)) chosen.emplace_back(l, slice);
    }
    if (chosen.empty()) return made;
    std::vector<NearPair> round;
    for (auto [l, s] : chosen) {
      const int distance = FingerprintDistance(links[l].fingerprint, slices[s].fingerprint);
      round.push_back({TakeFirst(links[l]), TakeFirst(slices[s]), distance});
    }
    std::sort(round.begin(), round.end(),
              [](const NearPair& a, const NearPair& b) { return a.link < b.link; });
    made.insert(made.end(), round.begin(), round.end());
  }
}

}  // namespace qm
