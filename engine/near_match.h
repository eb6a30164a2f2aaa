// Which upload is which slice, decided by the pictures. Equal keys are not
// enough: slices that share a layout (title bars of one design, icons of
// one style, one product with another price) share their 64 grey bits, and
// a host that re-encodes, converts, marks or scales an upload moves some
// of them. What decides is the distance between the pictures' cells
// (image_key.h), and only where it is unambiguous: a pair needs the upload
// to be clearly the nearest of all slices of its size or in proportion
// with it, and the slice clearly the nearest of all uploads, paired ones
// included, so that a second copy of a paired slice, or the upload of a
// look-alike whose own slice is missing, never takes another slice's
// place. Pictures closer than that margin are one picture: identical
// slices form one group, whose uploads go to its members in order.
#pragma once

#include <vector>

#include "image/image_key.h"

namespace qm {

// Distances are the mean over a picture's cells of how many levels its
// luminance and both colour differences lie apart (each colour cell
// counting as the four luminance cells it covers), added up; the smaller
// of the two flattenings of a transparent picture. The slice's colour
// differences are first scaled by the one factor (0.8 to 1.25) that fits
// the upload's best: a host that saturates an upload moves every colour
// alike, which on strips cut from one blue glow is a neighbour's colour.
// 0 for the same picture.
double PictureDistance(const ImageMeasures& upload, const ImageMeasures& slice);

// The limits come from bench/engine/smart_pairing_bench.cpp (its header
// holds the table): 624 look-alike slices under six host treatments and 375
// photograph-page slices under 22 re-encodings, scalings and conversions,
// in this process and through both command-line tools, the Windows one
// decoding with its own library; every outcome was the same on both.
//
// The farthest a pair's pictures may lie apart, in levels a cell. Uploads
// lay at most 7.9 from their own slice on the look-alike pages (a watermark
// across a white separator 30 pixels high; 3.0 sharpened and saturated,
// 3.0 flattened on white), 12.0 on photograph pages served at half width
// (14.6 scaled by nearest neighbour, where 13 of 355 stay unpaired). Links
// of other designs came as near as 6.9 to a slice: the distance alone does
// not tell them from a marked upload, the margins below do.
inline constexpr double kMaxPictureDistance = 12.0;
// How much nearer a pair's pictures must be than the next nearest picture
// on either side. Own uploads won by 0.04 and more (under a watermark; 0.06
// and more under the other treatments, where product shots that differ by
// one digit of their price come nearest), the pairs the tools named by the
// same to the hundredth on both targets. Pictures nearer each other than
// this are one picture.
inline constexpr double kMinPictureMargin = 0.02;
// ... and at least this share of how far apart the nearest and the next
// nearest picture of that side lie. Own uploads won by 0.31 of it and more
// (a watermark; 0.40 and more under the other treatments): a picture its
// host changed stays nearly that much nearer its own slice. A link of a
// page of the same designs, whose own slice is not there, lies between two
// slices, at a small share unless it differs from the nearest only where
// the next nearest does not (the largest measured was 0.52, which mutual
// nearness kept out).
inline constexpr double kMarginShare = 0.25;

struct NearPair {
  int link = 0;   // the link's position among the links of the list
  int slice = 0;  // the slice's number in document order
  double distance = 0;
  // How much nearer the two are than the next nearest picture on either
  // side, at most kMarginShown (nothing else within reach).
  double margin = 0;
};
inline constexpr double kMarginShown = 2 * kMaxPictureDistance;

struct PairingRules {
  bool near_match = true;    // pictures of the same size whose fingerprints differ
  bool scaled_match = true;  // uploads of another size in proportion with the slice
};

// Whether one factor f gives the sides of `to` from those of `from`, each
// rounded to the nearest pixel, halves either way. Sides count by their
// length, so a BMP stored top-down stands as it is shown.
bool InProportion(int from_width, int from_height, int to_width, int to_height);

// How much larger `upload` is than `slice`, measured along the slice's
// longer side, where rounding weighs least.
double ScaleFactor(const ImageMeasures& slice, const ImageMeasures& upload);

// Every pair the pictures decide, by link position. A group of identical
// pictures on either side takes the open members of the other's group in
// order: slices in document order, links in list order. Images that did
// not decode never pair. Without `rules.near_match` only pictures of equal size
// and fingerprint pair. With `rules.scaled_match`, once pairs show at which
// width a host serves the slices of one width, uploads of another width
// are no longer those slices' (a host scales every slice of one width
// alike), which tells apart pictures alike but for their size.
std::vector<NearPair> PairPictures(const std::vector<const ImageMeasures*>& links,
                                   const std::vector<const ImageMeasures*>& slices,
                                   const PairingRules& rules = {});

}  // namespace qm
