#include "engine/near_match.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <limits>

namespace qm {
namespace {

constexpr int kNone = -1;

// The index of the one group of `candidates` nearest to `from`, or kNone
// when none is within reach or two are equally near. `from_is_link` says
// which side `from` stands on, as the distance takes a link first.
int UniqueNearest(const NearGroup& from, bool from_is_link,
                  const std::vector<NearGroup>& candidates, const NearDistance& distance) {
  int best = kNone;
  int best_distance = std::numeric_limits<int>::max();
  bool tied = false;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const int d = from_is_link ? distance(from, candidates[i]) : distance(candidates[i], from);
    if (d == kNotNear || d > best_distance) continue;
    tied = d == best_distance;
    best_distance = d;
    best = static_cast<int>(i);
  }
  return tied ? kNone : best;
}

int TakeFirst(NearGroup& group) {
  const int member = group.open.front();
  group.open.erase(group.open.begin());
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

int FingerprintNearDistance(const NearGroup& link, const NearGroup& slice) {
  if (link.measures.width != slice.measures.width ||
      link.measures.height != slice.measures.height) {
    return kNotNear;
  }
  const int distance = FingerprintDistance(link.fingerprint, slice.fingerprint);
  return distance > kMaxNearDistance ? kNotNear : distance;
}

// f lies within half a pixel of to/from on each side: in [(2t - 1) / 2s,
// (2t + 1) / 2s]. The two ranges meet when neither lies wholly below the
// other; compared cross-multiplied, so no rounding of ours decides.
bool InProportion(int from_width, int from_height, int to_width, int to_height) {
  const std::int64_t w = std::abs(from_width), h = std::abs(from_height);
  const std::int64_t tw = std::abs(to_width), th = std::abs(to_height);
  if (w == 0 || h == 0 || tw == 0 || th == 0) return false;
  return (2 * tw - 1) * h <= (2 * th + 1) * w && (2 * th - 1) * w <= (2 * tw + 1) * h;
}

int GreyDistance(const GreyLevels& a, const GreyLevels& b) {
  int distance = 0;
  for (std::size_t k = 0; k < a.size(); ++k) distance += std::abs(a[k] - b[k]);
  return distance;
}

int ScaledNearDistance(const NearGroup& link, const NearGroup& slice) {
  if (!InProportion(slice.measures.width, slice.measures.height, link.measures.width,
                    link.measures.height)) {
    return kNotNear;
  }
  const int distance = GreyDistance(link.measures.grey, slice.measures.grey);
  return distance > kMaxScaledDistance ? kNotNear : distance;
}

double ScaleFactor(const ImageMeasures& slice, const ImageMeasures& upload) {
  const bool wide = std::abs(slice.width) >= std::abs(slice.height);
  const int from = std::abs(wide ? slice.width : slice.height);
  const int to = std::abs(wide ? upload.width : upload.height);
  return from == 0 ? 0.0 : static_cast<double>(to) / from;
}

std::vector<NearPair> PairNearMatches(std::vector<NearGroup> links, std::vector<NearGroup> slices,
                                      const NearDistance& distance) {
  // Every group stays a candidate whether it has open members or not, so
  // the nearest of each group is found once.
  std::vector<std::pair<std::size_t, std::size_t>> mutual;
  for (std::size_t l = 0; l < links.size(); ++l) {
    if (links[l].open.empty()) continue;
    const int s = UniqueNearest(links[l], true, slices, distance);
    if (s == kNone || slices[static_cast<std::size_t>(s)].open.empty()) continue;
    const auto slice = static_cast<std::size_t>(s);
    if (UniqueNearest(slices[slice], false, links, distance) == static_cast<int>(l)) {
      mutual.emplace_back(l, slice);
    }
  }
  std::vector<NearPair> made;
  for (;;) {
    std::vector<NearPair> round;
    for (auto [l, s] : mutual) {
      if (links[l].open.empty() || slices[s].open.empty()) continue;
      const int d = distance(links[l], slices[s]);
      round.push_back({TakeFirst(links[l]), TakeFirst(slices[s]), d});
    }
    if (round.empty()) return made;
    std::sort(round.begin(), round.end(),
              [](const NearPair& a, const NearPair& b) { return a.link < b.link; });
    made.insert(made.end(), round.begin(), round.end());
  }
}

}  // namespace qm
