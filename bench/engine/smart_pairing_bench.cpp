// How many slices whole smart runs pair with their own upload when the
// image host re-encodes, converts or scales the uploads: with equal keys
// only, with the near pass (a few fingerprint cells moved), and with the
// scaled pass after it (sizes in proportion, grey levels close). Pages of
// photographs, banners, text and white separator strips are cut into rows
// of one to three cells and saved as a slicing tool would: JPEG q90, or GIF
// and PNG for the conversion rows. On every page two uploads are missing
// and three foreign links are listed (slices of another design, which the
// host treats alike); links come in shuffled order. "paired" counts the
// slices that got their own upload (or that of an identical slice) among
// those whose upload is listed; "wrong" any other link a slice got. The
// last two columns are the grey-level distances (a cell's mean) of the
// non-blank uploads: the farthest from its own slice, and the nearest to
// a different slice of proportional size. Needs ImageMagick's convert.
//
// Measured with 10 pages, 375 slices (20 uploads missing, 30 foreign links;
// "near pass" is the run before the scaled pass existed, "own" and "other"
// grey levels a cell; nearest-neighbour ("Point") scaling to half the size
// breaks up the text blocks and is the one row below 99%):
//
// upload              equal  near pass               + scaled pass                   grey a cell
//                      keys  paired wrong unpaired  paired wrong unpaired scaled    own other
// q95                 96.9%  100.0%     0        0  100.0%     0        0      0    0.1   6.9
// q90                 96.6%  100.0%     0        0  100.0%     0        0      0    0.1   6.9
// q80                 79.7%  100.0%     0        0  100.0%     0        0      0    0.5   7.0
// q60                 80.8%   98.9%     0        4  100.0%     0        0      4    1.1   6.9
// 790 Lanczos q85      0.0%    0.0%     0      355  100.0%     0        0    355    1.2   7.1
// 790 Triangle q85     0.0%    0.0%     0      355  100.0%     0        0    355    0.7   6.9
// 790 Catrom q85       0.0%    0.0%     0      355  100.0%     0        0    355    0.6   7.0
// 790 Lanczos q60      0.0%    0.0%     0      355  100.0%     0        0    355    1.4   7.1
// 640 Lanczos q85      0.0%    0.0%     0      355  100.0%     0        0    355    1.2   7.0
// 640 Triangle q85     0.0%    0.0%     0      355  100.0%     0        0    355    0.6   6.9
// 640 Catrom q85       0.0%    0.0%     0      355  100.0%     0        0    355    0.7   7.0
// 640 Lanczos q60      0.0%    0.0%     0      355  100.0%     0        0    355    1.6   7.0
// 640 Point q85        0.0%    0.0%     0      355  100.0%     0        0    355    3.9   6.8
// 375 Lanczos q85      0.0%    0.0%     0      355   99.7%     0        1    354    1.8   7.1
// 375 Triangle q85     0.0%    0.0%     0      355   99.7%     0        1    354    1.9   7.0
// 375 Catrom q85       0.0%    0.0%     0      355   99.7%     0        1    354    1.7   7.0
// 375 Lanczos q60      0.0%    0.0%     0      355   99.7%     0        1    354    2.1   7.1
// 375 Point q85        0.0%    0.0%     0      355   79.7%     0       72    283   10.2   7.8
// <=640 Lanczos q85   73.2%   81.7%     0       65  100.0%     0        0     65    1.0   6.9
// GIF to JPEG q90     85.9%   98.9%     0        4  100.0%     0        0      4    0.7   6.9
// GIF to JPEG q60     84.2%   97.5%     0        9  100.0%     0        0      9    1.0   6.9
// PNG to JPEG q80     80.3%   99.2%     0        3  100.0%     0        0      3    0.7   7.0
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <string>

#include "engine/fake_host.h"
#include "engine/memory_window.h"
#include "engine/near_match.h"
#include "engine/runs.h"
#include "image/image_key.h"
#include "support/page_design.h"

namespace {

namespace fs = std::filesystem;
using qm::Bytes;
using qm::Text;
using qm::bench::Band;

constexpr unsigned kPages = 10;
constexpr std::size_t kMissingPerPage = 2;
constexpr std::size_t kForeignPerPage = 3;
constexpr int kPageWidth = 750;
constexpr char kStem[] = "D:\\页面\\images\\shop_";

// How the slicing tool saved the slices.
enum class Saved { kJpeg, kGif, kPng };
constexpr Saved kSavedFormats[] = {Saved::kJpeg, Saved::kGif, Saved::kPng};

const char* Extension(Saved saved) {
  switch (saved) {
    case Saved::kGif:
      return "gif";
    case Saved::kPng:
      return "png";
    case Saved::kJpeg:
      break;
  }
  return "jpg";
}

// What the host does to every upload: scale it (or not), then save it as
// JPEG of its quality.
struct Variant {
  const char* name;
  Saved saved;
  int served_width;    // the page's width as served; kPageWidth: not scaled
  bool wider_only;     // only slices wider than served_width, scaled to it
  const char* filter;  // the resampling filter
  int quality;
};

constexpr Variant kVariants[] = {
    {"q95", Saved::kJpeg, kPageWidth, false, "", 95},
    {"q90", Saved::kJpeg, kPageWidth, false, "", 90},
    {"q80", Saved::kJpeg, kPageWidth, false, "", 80},
    {"q60", Saved::kJpeg, kPageWidth, false, "", 60},
    {"790 Lanczos q85", Saved::kJpeg, 790, false, "Lanczos", 85},
    {"790 Triangle q85", Saved::kJpeg, 790, false, "Triangle", 85},
    {"790 Catrom q85", Saved::kJpeg, 790, false, "Catrom", 85},
    {"790 Lanczos q60", Saved::kJpeg, 790, false, "Lanczos", 60},
    {"640 Lanczos q85", Saved::kJpeg, 640, false, "Lanczos", 85},
    {"640 Triangle q85", Saved::kJpeg, 640, false, "Triangle", 85},
    {"640 Catrom q85", Saved::kJpeg, 640, false, "Catrom", 85},
    {"640 Lanczos q60", Saved::kJpeg, 640, false, "Lanczos", 60},
    {"640 Point q85", Saved::kJpeg, 640, false, "Point", 85},
    {"375 Lanczos q85", Saved::kJpeg, 375, false, "Lanczos", 85},
    {"375 Triangle q85", Saved::kJpeg, 375, false, "Triangle", 85},
    {"375 Catrom q85", Saved::kJpeg, 375, false, "Catrom", 85},
    {"375 Lanczos q60", Saved::kJpeg, 375, false, "Lanczos", 60},
    {"375 Point q85", Saved::kJpeg, 375, false, "Point", 85},
    {"<=640 Lanczos q85", Saved::kJpeg, 640, true, "Lanczos", 85},
    {"GIF to JPEG q90", Saved::kGif, kPageWidth, false, "", 90},
    {"GIF to JPEG q60", Saved::kGif, kPageWidth, false, "", 60},
    {"PNG to JPEG q80", Saved::kPng, kPageWidth, false, "", 80},
};

// The convert options that give a w x h slice as the host serves it,
// rounded to whole pixels as scaling tools do.
std::string HostOptions(const Variant& v, int w, int h) {
  std::string options = "-quality " + std::to_string(v.quality);
  if (v.served_width == kPageWidth || (v.wider_only && w <= v.served_width)) return options;
  const double factor = static_cast<double>(v.served_width) / (v.wider_only ? w : kPageWidth);
  const long served_w = std::max(1L, std::lround(w * factor));
  const long served_h = std::max(1L, std::lround(h * factor));
  return "-filter " + std::string(v.filter) + " -resize " + std::to_string(served_w) + "x" +
         std::to_string(served_h) + "! " + options;
}

Text Number(std::size_t k) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03zu", k);
  return digits;
}

Text LinkOf(std::size_t k) {
  return "http://img.example/u" + Number(k) + ".jpg";
}
Text ForeignLinkOf(std::size_t k) {
  return "http://img.example/f" + Number(k) + ".jpg";
}

// A picture cut out of a design, saved in every format.
struct Cut {
  qm::bench::Slice slice;
  Band band;
  std::map<Saved, fs::path> files;
  std::map<Saved, Bytes> bytes;
};

struct Page {
  std::vector<Cut> slices;
  std::vector<Cut> foreign;        // slices of another design
  std::set<std::size_t> missing;   // slices (from 1) whose upload is not listed
  std::vector<std::size_t> alike;  // for each slice, the first identical one (from 1)
};

Cut SaveCut(const fs::path& ppm, const qm::bench::Design& design, const qm::bench::Slice& slice,
            const fs::path& stem) {
  Cut cut{slice, qm::bench::BandOf(design, slice), {}, {}};
  for (Saved saved : kSavedFormats) {
    const fs::path file = stem.string() + "." + Extension(saved);
    qm::bench::Crop(ppm, slice, saved == Saved::kJpeg ? "-quality 90" : "", file);
    cut.files[saved] = file;
    cut.bytes[saved] = qm::bench::ReadFile(file);
  }
  return cut;
}

Page MakePage(unsigned seed, const fs::path& dir) {
  Page page;
  const fs::path own = dir / ("page" + std::to_string(seed));
  const qm::bench::Design design = qm::bench::MakeDesign(seed, 3000, true);
  qm::bench::WritePpm(design, own.string() + ".ppm");
  const auto slices = qm::bench::MixedSlices(design, seed * 7);
  for (std::size_t k = 0; k < slices.size(); ++k) {
    page.slices.push_back(
        SaveCut(own.string() + ".ppm", design, slices[k], own.string() + "-" + Number(k + 1)));
  }
  // Foreign links: pictures, not blank strips, which would be this page's own.
  const fs::path other = dir / ("foreign" + std::to_string(seed));
  const qm::bench::Design foreign = qm::bench::MakeDesign(seed + 1000, 3000, true);
  qm::bench::WritePpm(foreign, other.string() + ".ppm");
  auto pictures = qm::bench::MixedSlices(foreign, seed * 13);
  std::erase_if(pictures, [&](const qm::bench::Slice& s) {
    return qm::bench::BandOf(foreign, s) == Band::kStrip;
  });
  std::mt19937 rng(seed);
  std::shuffle(pictures.begin(), pictures.end(), rng);
  for (std::size_t k = 0; k < kForeignPerPage; ++k) {
    page.foreign.push_back(
        SaveCut(other.string() + ".ppm", foreign, pictures[k], other.string() + "-" + Number(k)));
  }
  std::uniform_int_distribution<std::size_t> any(1, slices.size());
  while (page.missing.size() < kMissingPerPage) page.missing.insert(any(rng));
  for (std::size_t k = 0; k < slices.size(); ++k) {
    const Bytes& bytes = page.slices[k].bytes[Saved::kJpeg];
    std::size_t first = 0;
    while (page.slices[first].bytes[Saved::kJpeg] != bytes) ++first;
    page.alike.push_back(first + 1);
  }
  return page;
}

// The uploads of one variant: the page's own, then the foreign ones.
struct Served {
  std::vector<Bytes> own;
  std::vector<Bytes> foreign;
};

Bytes Serve(const Variant& v, const Cut& cut, const fs::path& dir) {
  const fs::path upload = dir / "upload.jpg";
  qm::bench::Convert(cut.files.at(v.saved).string() + " " +
                     HostOptions(v, cut.slice.w, cut.slice.h) + " " + upload.string());
  return qm::bench::ReadFile(upload);
}

Served ServePage(const Variant& v, const Page& page, const fs::path& dir) {
  Served served;
  for (const Cut& cut : page.slices) served.own.push_back(Serve(v, cut, dir));
  for (const Cut& cut : page.foreign) served.foreign.push_back(Serve(v, cut, dir));
  return served;
}

// The src values of the result, in document order.
std::vector<Text> Sources(const Text& code) {
  std::vector<Text> out;
  for (std::size_t at = code.find("src=\""); at != Text::npos; at = code.find("src=\"", at)) {
    at += 5;
    const std::size_t end = code.find('"', at);
    out.push_back(code.substr(at, end - at));
    at = end;
  }
  return out;
}

enum class Pairing { kEqualKeys, kNearPass, kScaledPass };

struct Tally {
  int listed = 0, right = 0, wrong = 0, unpaired = 0, near = 0, scaled = 0;
  double Paired() const { return 100.0 * right / std::max(1, listed); }
};

Text PageCode(const Page& page, Saved saved) {
  Text code =
      "<table id=\"__01\" width=\"750\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\r\n";
  for (std::size_t k = 1; k <= page.slices.size(); ++k) {
    const qm::bench::Slice& s = page.slices[k - 1].slice;
    code += "\t<tr><td>\r\n\t\t<img src=\"images/shop_" + Number(k) + "." + Extension(saved) +
            "\" width=\"" + std::to_string(s.w) + "\" height=\"" + std::to_string(s.h) +
            "\" alt=\"\"></td>\r\n";
  }
  return code + "</table>\r\n";
}

void RunPage(const Page& page, const Served& served, Saved saved, Pairing pairing, Tally& tally) {
  qm::test::FakeHost host;
  std::vector<Text> links;
  for (std::size_t k = 1; k <= page.slices.size(); ++k) {
    host.files[kStem + Number(k) + "." + Extension(saved)] = page.slices[k - 1].bytes.at(saved);
    if (page.missing.contains(k)) continue;
    host.links[LinkOf(k)] = served.own[k - 1];
    links.push_back(LinkOf(k));
  }
  for (std::size_t k = 0; k < page.foreign.size(); ++k) {
    host.links[ForeignLinkOf(k)] = served.foreign[k];
    links.push_back(ForeignLinkOf(k));
  }
  std::shuffle(links.begin(), links.end(), std::mt19937(static_cast<unsigned>(links.size())));
  Text list;
  for (const Text& link : links) list += link + "\r\n";

  qm::MemoryWindow window;
  window.SelectRadio(qm::RadioBox::kSmart);
  window.SetEditText(qm::EditBox::kSliceCode, PageCode(page, saved));
  window.SetEditText(qm::EditBox::kLinkList, list);
  window.SetEditText(qm::EditBox::kImagePath, kStem + Text("001.") + Extension(saved));
  qm::SmartRunOptions options;
  options.near_match = pairing != Pairing::kEqualKeys;
  options.scaled_match = pairing == Pairing::kScaledPass;
  options.on_near_pair = [&](const qm::NearPair&) { ++tally.near; };
  options.on_scaled_pair = [&](const qm::NearPair&, double) { ++tally.scaled; };
  qm::ReplaceCommand command(window, host, options);
  command.ReplaceAndCopy();
  command.WaitForRun();

  const std::vector<Text> sources = Sources(window.EditText(qm::EditBox::kSliceCode));
  for (std::size_t k = 1; k <= sources.size(); ++k) {
    const Text& source = sources[k - 1];
    const bool placeholder = source.rfind(qm::kUnmatchedPrefix, 0) == 0;
    if (page.missing.contains(k)) {
      if (!placeholder) ++tally.wrong;
      continue;
    }
    ++tally.listed;
    bool own = false;
    for (std::size_t j = 1; j <= page.slices.size(); ++j) {
      own = own || (source == LinkOf(j) && page.alike[j - 1] == page.alike[k - 1]);
    }
    if (own) {
      ++tally.right;
    } else if (placeholder) {
      ++tally.unpaired;
    } else {
      ++tally.wrong;  // another slice's link, a foreign one, or a key
    }
  }
}

// Grey-level distances of the non-blank uploads, as a cell's mean: the
// farthest from its own slice, and the nearest to a different slice of
// proportional size.
struct Distances {
  int own_max = 0;
  int other_min = std::numeric_limits<int>::max();
};

void MeasureDistances(const Page& page, const Served& served, Saved saved, Distances& out) {
  std::vector<qm::ImageMeasures> slices;
  for (const Cut& cut : page.slices) slices.push_back(qm::MeasureImage(cut.bytes.at(saved)));
  auto compare = [&](const Bytes& upload_bytes, std::size_t own) {
    const qm::ImageMeasures upload = qm::MeasureImage(upload_bytes);
    for (std::size_t j = 0; j < slices.size(); ++j) {
      if (page.slices[j].band == Band::kStrip ||
          !qm::InProportion(slices[j].width, slices[j].height, upload.width, upload.height)) {
        continue;
      }
      const int d = static_cast<int>(qm::PictureDistance(upload, slices[j]) * qm::kFingerprintLength);
      if (j == own) {
        out.own_max = std::max(out.own_max, d);
      } else if (own == slices.size() || page.alike[j] != page.alike[own]) {
        out.other_min = std::min(out.other_min, d);
      }
    }
  };
  for (std::size_t k = 0; k < page.slices.size(); ++k) {
    if (page.slices[k].band != Band::kStrip) compare(served.own[k], k);
  }
  for (const Bytes& foreign : served.foreign) compare(foreign, slices.size());
}

double CellMean(int distance) {
  return static_cast<double>(distance) / qm::kFingerprintLength;
}

}  // namespace

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("qm-pairing-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<Page> pages;
  for (unsigned seed = 1; seed <= kPages; ++seed) pages.push_back(MakePage(seed, dir));

  std::size_t slices = 0;
  for (const Page& page : pages) slices += page.slices.size();
  std::printf(
      "%u pages, %zu slices (photographs, banners, text, white strips; rows of 1-3 cells),\n"
      "saved as JPEG q90 (GIF, PNG where named); per page %zu uploads missing and %zu\n"
      "foreign links; the host re-encodes, converts or scales (to a page width) every upload:\n",
      kPages, slices, kMissingPerPage, kForeignPerPage);
  std::printf("%-18s %6s  %-22s  %-30s  %s\n", "upload", "equal", "near pass", "+ scaled pass",
              "grey a cell");
  std::printf("%-18s %6s  %6s %5s %8s  %6s %5s %8s %6s  %5s %5s\n", "", "keys", "paired", "wrong",
              "unpaired", "paired", "wrong", "unpaired", "scaled", "own", "other");
  for (const Variant& variant : kVariants) {
    std::vector<Served> served;
    for (const Page& page : pages) served.push_back(ServePage(variant, page, dir));
    Tally tallies[3];
    Distances distances;
    for (std::size_t p = 0; p < pages.size(); ++p) {
      for (Pairing pairing : {Pairing::kEqualKeys, Pairing::kNearPass, Pairing::kScaledPass}) {
        RunPage(pages[p], served[p], variant.saved, pairing, tallies[static_cast<int>(pairing)]);
      }
      MeasureDistances(pages[p], served[p], variant.saved, distances);
    }
    const Tally& near = tallies[1];
    const Tally& scaled = tallies[2];
    std::printf("%-18s %5.1f%%  %5.1f%% %5d %8d  %5.1f%% %5d %8d %6d  %5.1f %5.1f\n", variant.name,
                tallies[0].Paired(), near.Paired(), near.wrong, near.unpaired, scaled.Paired(),
                scaled.wrong, scaled.unpaired, scaled.scaled, CellMean(distances.own_max),
                CellMean(distances.other_min));
    std::fflush(stdout);
  }
  fs::remove_all(dir);
  return 0;
}
