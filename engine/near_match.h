// Pairs what equal keys left over. An image host that re-encodes an upload
// moves a few of its 64 fingerprint cells across the mean, mostly on flat
// slices whose cells all sit near it; the upload then differs from its slice
// in those cells only. Pairing by smallest distance is safe only where it is
// unambiguous, so a pair needs equal size, a small distance, and each side
// the other's one nearest candidate.
#pragma once

#include <cstdint>
#include <vector>

#include "base/text.h"

namespace qm {

// More differing cells than this is a different picture, not a re-encoding.
inline constexpr int kMaxNearDistance = 8;

// Images with one and the same key: they count as one candidate and pair in
// the order of their members.
struct NearGroup {
  int width = 0;
  int height = 0;
  std::uint64_t fingerprint = 0;
  std::vector<int> members;  // link positions, or slice numbers, ascending
};

struct NearPair {
  int link = 0;   // the link's position in the link list
  int slice = 0;  // the slice's number in document order
  int distance = 0;
};

// Cell k of the 64-character fingerprint text is bit k.
std::uint64_t FingerprintBits(const Text& fingerprint);
int FingerprintDistance(std::uint64_t a, std::uint64_t b);

// Mutual unique nearest neighbours among groups of equal size within
// kMaxNearDistance, repeated until no pair is added. Each pair takes the
// first remaining member of both groups. Pairs come in the order they are
// made: round by round, within a round by link position.
std::vector<NearPair> PairNearMatches(std::vector<NearGroup> links, std::vector<NearGroup> slices);

}  // namespace qm
