#include "engine/near_match.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <unordered_map>

namespace qm {
namespace {

// Distances in whole units, so that no rounding of either target decides:
// the sum over luminance cells of the levels apart, each colour cell
// weighing as the luminance cells it covers. kUnits make one level a cell.
using Units = std::int64_t;
constexpr int kColourWeight = kLumaCells / kChromaCells;
constexpr double kUnits = kLumaCells;
constexpr Units kFar = std::numeric_limits<Units>::max();

Units UnitsOf(double levels) {
  return static_cast<Units>(std::llround(levels * kUnits));
}
double LevelsOf(Units units) {
  return static_cast<double>(units) / kUnits;
}

// How two pictures are compared: as they are (two slices, two uploads), or
// an upload with a slice whose colours may have been made stronger or
// weaker. A host that sharpens an upload and saturates it moves every
// colour difference by one factor, which on a strip of a blue glow is a
// neighbouring strip's colour: the slice's colour differences are scaled
// by the factor that fits the upload's best, in integers (kGainOne is 1),
// within kGainLow and kGainHigh.
enum class Compare { kAsTheyAre, kUploadWithSlice };
constexpr std::int64_t kGainOne = 1024;
constexpr std::int64_t kGainLow = kGainOne * 4 / 5;
constexpr std::int64_t kGainHigh = kGainOne * 5 / 4;

Units CellDistance(const ColourCells& upload, const ColourCells& slice, Compare compare) {
  int luma = 0;
  for (int i = 0; i < kLumaCells; ++i) luma += std::abs(upload[i] - slice[i]);
  constexpr int kFirst = kLumaCells, kEnd = kLumaCells + 2 * kChromaCells;
  std::int64_t gain = kGainOne;
  if (compare == Compare::kUploadWithSlice) {
    std::int64_t cross = 0, square = 0;
    for (int i = kFirst; i < kEnd; ++i) {
      cross += (upload[i] - 128) * (slice[i] - 128);
      square += (slice[i] - 128) * (slice[i] - 128);
    }
    if (square > 0) {
      gain = std::clamp((cross * kGainOne + square / 2) / square, kGainLow, kGainHigh);
    }
  }
  std::int64_t colour = 0;
  for (int i = kFirst; i < kEnd; ++i) {
    colour += std::abs(kGainOne * (upload[i] - 128) - gain * (slice[i] - 128));
  }
  return luma + (kColourWeight * colour + kGainOne / 2) / kGainOne;
}

// The flattenings a picture is compared by.
std::vector<const ColourCells*> Flattenings(const ImageMeasures& measures) {
  std::vector<const ColourCells*> out{&measures.cells->on_black};
  if (measures.cells->on_white) out.push_back(&*measures.cells->on_white);
  return out;
}

// `a` is the upload when comparing an upload with a slice.
Units Distance(const ImageMeasures& a, const ImageMeasures& b, Compare compare) {
  Units best = kFar;
  for (const ColourCells* x : Flattenings(a)) {
    for (const ColourCells* y : Flattenings(b))
      best = std::min(best, CellDistance(*x, *y, compare));
  }
  return best;
}

// Coarse sums of a flattening that bound the distance from below: the
// distance between sums of cells is never more than the sum of the cells'
// distances. The luminance total sorts an index; its quarters and 8x8
// blocks of cells pass over most pictures at a fraction of the cost.
constexpr int kBlockSide = 8;
constexpr int kLumaBlocks = (kLumaSide / kBlockSide) * (kLumaSide / kBlockSide);
constexpr int kColourBlocks = (kChromaSide / kBlockSide) * (kChromaSide / kBlockSide);

struct Summary {
  int total = 0;
  int quarters[4] = {0, 0, 0, 0};
  int blocks[kLumaBlocks + 2 * kColourBlocks] = {};
};

Summary Summarise(const ColourCells& cells) {
  Summary s;
  constexpr int kLumaBlocksAcross = kLumaSide / kBlockSide;
  for (int r = 0; r < kLumaSide; ++r) {
    const std::uint8_t* row = &cells[static_cast<std::size_t>(r * kLumaSide)];
    int* blocks = &s.blocks[(r / kBlockSide) * kLumaBlocksAcross];
    for (int b = 0; b < kLumaBlocksAcross; ++b) {
      for (int c = b * kBlockSide; c < (b + 1) * kBlockSide; ++c) blocks[b] += row[c];
    }
  }
  constexpr int kColourBlocksAcross = kChromaSide / kBlockSide;
  for (int plane = 0; plane < 2; ++plane) {
    for (int r = 0; r < kChromaSide; ++r) {
      const std::uint8_t* row =
          &cells[static_cast<std::size_t>(kLumaCells + plane * kChromaCells + r * kChromaSide)];
      int* blocks =
          &s.blocks[kLumaBlocks + plane * kColourBlocks + (r / kBlockSide) * kColourBlocksAcross];
      for (int b = 0; b < kColourBlocksAcross; ++b) {
        for (int c = b * kBlockSide; c < (b + 1) * kBlockSide; ++c) blocks[b] += row[c];
      }
    }
  }
  for (int k = 0; k < kLumaBlocks; ++k) {
    const int row = k / kLumaBlocksAcross, column = k % kLumaBlocksAcross;
    s.quarters[(row * 2 / kLumaBlocksAcross) * 2 + column * 2 / kLumaBlocksAcross] += s.blocks[k];
    s.total += s.blocks[k];
  }
  return s;
}

Units QuarterBound(const Summary& a, const Summary& b) {
  Units bound = 0;
  for (int q = 0; q < 4; ++q) bound += std::abs(a.quarters[q] - b.quarters[q]);
  return bound;
}

// With the colours fitted only the luminance bounds the distance.
Units BlockBound(const Summary& a, const Summary& b, Compare compare) {
  Units luma = 0, colour = 0;
  for (int k = 0; k < kLumaBlocks; ++k) luma += std::abs(a.blocks[k] - b.blocks[k]);
  if (compare == Compare::kUploadWithSlice) return luma;
  for (int k = kLumaBlocks; k < kLumaBlocks + 2 * kColourBlocks; ++k) {
    colour += std::abs(a.blocks[k] - b.blocks[k]);
  }
  return luma + kColourWeight * colour;
}

// A flattening of a picture and its coarse sums, summed once.
struct Flattening {
  const ColourCells* cells;
  Summary summary;
};

// One picture of one side: the images that show it, ascending, of which
// those from `next` on are still to pair.
struct Picture {
  const ImageMeasures* measures = nullptr;
  std::vector<Flattening> flattenings;
  std::vector<int> members;
  std::size_t next = 0;
  bool Open() const { return next < members.size(); }
};

Picture PictureOf(const ImageMeasures* measures) {
  Picture picture{measures, {}, {}, 0};
  for (const ColourCells* cells : Flattenings(*measures)) {
    picture.flattenings.push_back({cells, Summarise(*cells)});
  }
  return picture;
}

// Which sizes may be compared: the slice's first, the upload's second.
using Comparable =
    std::function<bool(int slice_width, int slice_height, int upload_width, int upload_height)>;

// The pictures of one side by size, each size's flattenings sorted by
// their luminance total, so that a search steps outward from a query's
// total and stops where the totals alone lie beyond reach.
class PictureIndex {
 public:
  explicit PictureIndex(const std::vector<Picture>& pictures) {
    std::map<std::pair<int, int>, std::size_t> by_size;
    for (std::size_t p = 0; p < pictures.size(); ++p) {
      const ImageMeasures& m = *pictures[p].measures;
      const auto [at, added] = by_size.emplace(std::pair{m.width, m.height}, sizes_.size());
      if (added) sizes_.push_back({m.width, m.height, {}});
      for (const Flattening& flattening : pictures[p].flattenings) {
        sizes_[at->second].entries.push_back({static_cast<int>(p), &flattening});
      }
    }
    for (Size& size : sizes_) {
      std::stable_sort(size.entries.begin(), size.entries.end(),
                       [](const Entry& a, const Entry& b) {
                         return a.flattening->summary.total < b.flattening->summary.total;
                       });
    }
  }

  // Calls take(picture, distance) for every flattening of the sizes
  // `comparable` accepts that may lie nearer to `query` than reach(),
  // which is asked again after each call. Two sides compare an upload with
  // a slice, one side pictures as they are.
  enum class Query { kUpload, kSlice, kSameSide };
  template <typename Reach, typename Take>
  void Scan(const Picture& picture, Query role, const Comparable& comparable, Reach reach,
            Take take) const {
    const ImageMeasures& query = *picture.measures;
    for (const Size& size : sizes_) {
      const bool accepted = role == Query::kSlice
                                ? comparable(query.width, query.height, size.width, size.height)
                                : comparable(size.width, size.height, query.width, query.height);
      if (!accepted) continue;
      for (const Flattening& flattening : picture.flattenings) {
        ScanSize(size, flattening, role, reach, take);
      }
    }
  }

 private:
  struct Entry {
    int picture;
    const Flattening* flattening;  // of the pictures the index was made of
  };
  struct Size {
    int width, height;
    std::vector<Entry> entries;
  };

  template <typename Reach, typename Take>
  static void ScanSize(const Size& size, const Flattening& query, Query role, Reach& reach,
                       Take& take) {
    const ColourCells& cells = *query.cells;
    const Summary& summary = query.summary;
    const Compare compare =
        role == Query::kSameSide ? Compare::kAsTheyAre : Compare::kUploadWithSlice;
    const auto& entries = size.entries;
    const auto start = std::lower_bound(
        entries.begin(), entries.end(), summary.total,
        [](const Entry& e, int total) { return e.flattening->summary.total < total; });
    std::ptrdiff_t up = start - entries.begin(), down = up - 1;
    const auto apart = [&](std::ptrdiff_t i) {
      return Units{
          std::abs(entries[static_cast<std::size_t>(i)].flattening->summary.total - summary.total)};
    };
    for (;;) {
      const Units up_apart = up < std::ssize(entries) ? apart(up) : kFar;
      const Units down_apart = down >= 0 ? apart(down) : kFar;
      const bool go_up = up_apart <= down_apart;
      const Units bound = go_up ? up_apart : down_apart;
      if (bound == kFar || bound >= reach()) return;
      const Entry& entry = entries[static_cast<std::size_t>(go_up ? up++ : down--)];
      const Flattening& other = *entry.flattening;
      if (QuarterBound(other.summary, summary) >= reach() ||
          BlockBound(other.summary, summary, compare) >= reach()) {
        continue;
      }
      const Units distance = role == Query::kSlice ? CellDistance(*other.cells, cells, compare)
                                                   : CellDistance(cells, *other.cells, compare);
      if (distance < reach()) take(entry.picture, distance);
    }
  }

  std::vector<Size> sizes_;
};

// The nearest picture of the other side and the next nearest, within reach.
struct Nearest {
  int first = -1;
  Units first_distance = kFar;
  int second = -1;
  Units second_distance = kFar;

  void Take(int picture, Units distance) {
    if (picture == first) {
      first_distance = std::min(first_distance, distance);
    } else if (picture == second) {
      second_distance = std::min(second_distance, distance);
      if (second_distance < first_distance) {
        std::swap(first, second);
        std::swap(first_distance, second_distance);
      }
    } else if (distance < first_distance) {
      second = first;
      second_distance = first_distance;
      first = picture;
      first_distance = distance;
    } else if (distance < second_distance) {
      second = picture;
      second_distance = distance;
    }
  }
  Units Margin(Units reach) const { return std::min(second_distance, reach) - first_distance; }
};

Nearest FindNearest(const PictureIndex& index, const Picture& query, PictureIndex::Query role,
                    const Comparable& comparable, Units reach) {
  Nearest nearest;
  index.Scan(
      query, role, comparable, [&] { return std::min(reach, nearest.second_distance); },
      [&](int picture, Units distance) { nearest.Take(picture, distance); });
  return nearest;
}

// Images with the same size and cells are one picture.
struct SameCells {
  std::size_t operator()(const ImageMeasures* m) const {
    std::size_t hash = std::hash<int>{}(m->width) ^ (std::hash<int>{}(m->height) << 1);
    const ColourCells& cells = m->cells->on_black;
    // Enough of the cells to spread pictures; equality compares them all.
    for (std::size_t i = 0; i < cells.size(); i += 61) hash = hash * 131 + cells[i];
    return hash;
  }
  bool operator()(const ImageMeasures* a, const ImageMeasures* b) const {
    return a->width == b->width && a->height == b->height &&
           a->cells->on_black == b->cells->on_black && a->cells->on_white == b->cells->on_white;
  }
};

bool SameSize(int slice_width, int slice_height, int upload_width, int upload_height) {
  return slice_width == upload_width && slice_height == upload_height;
}

// The decoded images of one side as pictures: first those with equal
// cells, then, in the order of their first members, every picture within
// the margin of an earlier one joins it, as the same picture re-encoded.
std::vector<Picture> GroupPictures(const std::vector<const ImageMeasures*>& images) {
  std::vector<Picture> same;
  std::unordered_map<const ImageMeasures*, std::size_t, SameCells, SameCells> by_cells;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const ImageMeasures* m = images[i];
    if (m == nullptr || !m->decoded || !m->cells) continue;
    const auto [at, added] = by_cells.emplace(m, same.size());
    if (added) same.push_back(PictureOf(m));
    same[at->second].members.push_back(static_cast<int>(i));
  }
  const PictureIndex index(same);
  const Units reach = UnitsOf(kMinPictureMargin);
  std::vector<int> joined(same.size(), -1);
  std::vector<Picture> pictures;
  for (std::size_t p = 0; p < same.size(); ++p) {
    if (joined[p] >= 0) continue;
    joined[p] = static_cast<int>(pictures.size());
    Picture picture = same[p];
    index.Scan(
        same[p], PictureIndex::Query::kSameSide, SameSize, [&] { return reach; },
        [&](int other, Units) {
          if (joined[static_cast<std::size_t>(other)] >= 0) return;
          joined[static_cast<std::size_t>(other)] = joined[p];
          const std::vector<int>& members = same[static_cast<std::size_t>(other)].members;
          picture.members.insert(picture.members.end(), members.begin(), members.end());
        });
    std::sort(picture.members.begin(), picture.members.end());
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

// Each slice width the pairs so far were served at, where they agree.
std::map<int, int> ServedWidths(const std::vector<NearPair>& pairs,
                                const std::vector<const ImageMeasures*>& links,
                                const std::vector<const ImageMeasures*>& slices) {
  std::map<int, int> served;
  std::map<int, bool> disagreeing;
  for (const NearPair& pair : pairs) {
    const int width = slices[static_cast<std::size_t>(pair.slice - 1)]->width;
    const int upload = links[static_cast<std::size_t>(pair.link - 1)]->width;
    const auto [entry, added] = served.emplace(width, upload);
    if (!added && entry->second != upload) disagreeing[width] = true;
  }
  for (const auto& [width, _] : disagreeing) served.erase(width);
  return served;
}

}  // namespace

double PictureDistance(const ImageMeasures& upload, const ImageMeasures& slice) {
  if (!upload.cells || !slice.cells) return LevelsOf(kFar);
  return LevelsOf(Distance(upload, slice, Compare::kUploadWithSlice));
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

double ScaleFactor(const ImageMeasures& slice, const ImageMeasures& upload) {
  const bool wide = std::abs(slice.width) >= std::abs(slice.height);
  const int from = std::abs(wide ? slice.width : slice.height);
  const int to = std::abs(wide ? upload.width : upload.height);
  return from == 0 ? 0.0 : static_cast<double>(to) / from;
}

std::vector<NearPair> PairPictures(const std::vector<const ImageMeasures*>& links,
                                   const std::vector<const ImageMeasures*>& slices,
                                   const PairingRules& rules) {
  std::vector<Picture> uploads = GroupPictures(links);
  std::vector<Picture> locals = GroupPictures(slices);
  const PictureIndex upload_index(uploads), local_index(locals);
  const Units max_distance = UnitsOf(kMaxPictureDistance);
  const Units min_margin = UnitsOf(kMinPictureMargin);
  const Units reach = UnitsOf(kMarginShown);
  const bool scaled = rules.near_match && rules.scaled_match;

  std::vector<NearPair> made;
  for (bool as_served = false;; as_served = true) {
    const std::map<int, int> served =
        as_served ? ServedWidths(made, links, slices) : std::map<int, int>{};
    const Comparable comparable = [&](int sw, int sh, int uw, int uh) {
      if (!SameSize(sw, sh, uw, uh) && !(scaled && InProportion(sw, sh, uw, uh))) return false;
      const auto known = served.find(sw);
      return known == served.end() || known->second == uw;
    };
    // A margin is clear when it is at least kMinPictureMargin and, when a
    // second picture is within reach, a kMarginShare of what separates the
    // two: an upload of the nearest picture lies nearly that much nearer
    // to it, one of neither lies somewhere between them.
    const auto clear = [&](const Nearest& n, const std::vector<Picture>& side) {
      if (n.first < 0 || n.first_distance > max_distance) return false;
      const Units margin = n.Margin(reach);
      if (margin < min_margin) return false;
      if (n.second < 0 || n.second_distance >= reach) return true;
      const Units apart =
          Distance(*side[static_cast<std::size_t>(n.first)].measures,
                   *side[static_cast<std::size_t>(n.second)].measures, Compare::kAsTheyAre);
      return static_cast<double>(margin) >= kMarginShare * static_cast<double>(apart);
    };
    std::vector<Nearest> from_uploads(uploads.size());
    for (std::size_t u = 0; u < uploads.size(); ++u) {
      if (uploads[u].Open()) {
        from_uploads[u] =
            FindNearest(local_index, uploads[u], PictureIndex::Query::kUpload, comparable, reach);
      }
    }
    std::vector<NearPair> round;
    for (std::size_t s = 0; s < locals.size(); ++s) {
      if (!locals[s].Open()) continue;
      const Nearest from_slice =
          FindNearest(upload_index, locals[s], PictureIndex::Query::kSlice, comparable, reach);
      if (!clear(from_slice, uploads)) continue;
      const auto u = static_cast<std::size_t>(from_slice.first);
      const Nearest& from_upload = from_uploads[u];
      if (!uploads[u].Open() || from_upload.first != static_cast<int>(s) ||
          !clear(from_upload, locals)) {
        continue;
      }
      const ImageMeasures& upload = *uploads[u].measures;
      const ImageMeasures& slice = *locals[s].measures;
      const bool same = SameSize(slice.width, slice.height, upload.width, upload.height) &&
                        slice.fingerprint == upload.fingerprint;
      if (!rules.near_match && !same) continue;
      const double margin = LevelsOf(std::min(from_slice.Margin(reach), from_upload.Margin(reach)));
      while (uploads[u].Open() && locals[s].Open()) {
        round.push_back({uploads[u].members[uploads[u].next++] + 1,
                         locals[s].members[locals[s].next++] + 1,
                         LevelsOf(from_slice.first_distance), margin});
      }
    }
    made.insert(made.end(), round.begin(), round.end());
    if (!scaled || made.empty() || (round.empty() && as_served)) break;
  }
  std::sort(made.begin(), made.end(),
            [](const NearPair& a, const NearPair& b) { return a.link < b.link; });
  return made;
}

}  // namespace qm
