// Pairs what equal keys left over. An image host that re-encodes an upload
// moves a few of its 64 fingerprint cells across the mean, mostly on flat
// slices whose cells all sit near it; the upload then differs from its slice
// in those cells only. A host that scales an upload, or converts a GIF or
// PNG slice to JPEG, moves many cells across the mean, but only by a level
// or two: such an upload keeps its slice's proportions and stays close to
// its grey levels. Pairing by smallest distance is safe only where it is
// unambiguous, so a pair needs a small distance and each side the other's
// one nearest among all decoded images of its side, paired ones included:
// an upload nearest to a slice that already has its link is a second copy
// of that slice, not the picture of another.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "base/text.h"
#include "image/image_key.h"

namespace qm {

// More differing cells than this is a different picture, not a re-encoding.
inline constexpr int kMaxNearDistance = 8;

// Images of one side with one and the same measures: they count as one
// candidate. `open` are those still to pair, in the order they pair.
struct NearGroup {
  ImageMeasures measures;
  std::uint64_t fingerprint = 0;  // the measures' fingerprint as bits
  std::vector<int> open;          // link positions, or slice numbers, ascending
};

struct NearPair {
  int link = 0;   // the link's position among the links of the list
  int slice = 0;  // the slice's number in document order
  int distance = 0;
};

// How far apart an upload and a slice are, or kNotNear when they cannot be
// the same picture.
inline constexpr int kNotNear = -1;
using NearDistance = std::function<int(const NearGroup& link, const NearGroup& slice)>;

// Cell k of the 64-character fingerprint text is bit k.
std::uint64_t FingerprintBits(const Text& fingerprint);
int FingerprintDistance(std::uint64_t a, std::uint64_t b);

// Equal size and at most kMaxNearDistance differing cells.
int FingerprintNearDistance(const NearGroup& link, const NearGroup& slice);

// Whether one factor f gives the sides of `to` from those of `from`, each
// rounded to the nearest pixel, halves either way. Sides count by their
// length, so a BMP stored top-down stands as it is shown.
bool InProportion(int from_width, int from_height, int to_width, int to_height);

// The grey levels of all 64 cells apart, added up.
int GreyDistance(const GreyLevels& a, const GreyLevels& b);

// Four grey levels a cell. On page-like designs served 790, 640 and 375
// wide by bilinear, bicubic and Lanczos filters at JPEG quality 60 to 90,
// or converted from GIF and PNG, an upload lies at most 2.1 levels a cell
// from its own slice; a different picture of the same proportions at 6.8
// and more (blocks of text, which are alike in texture; photographs at 12
// and more). See bench/engine/smart_pairing_bench.cpp.
inline constexpr int kMaxScaledDistance = 4 * kFingerprintLength;

// Sizes in proportion and grey levels at most kMaxScaledDistance apart.
int ScaledNearDistance(const NearGroup& link, const NearGroup& slice);

// How much larger `upload` is than `slice`, measured along the slice's
// longer side, where rounding weighs least.
double ScaleFactor(const ImageMeasures& slice, const ImageMeasures& upload);

// Mutual unique nearest neighbours by `distance`, among all groups of both
// sides; a pair takes the first open member of both groups, and is made
// again with the next ones while both groups have open members. Pairs come
// round by round, within a round by link position.
std::vector<NearPair> PairNearMatches(std::vector<NearGroup> links, std::vector<NearGroup> slices,
                                      const NearDistance& distance = FingerprintNearDistance);

}  // namespace qm
