// How many slices whole smart runs pair with their own upload, and how many
// wrongly, when the image host re-encodes, converts, marks or scales the
// uploads. Needs ImageMagick's convert and fonts-wqy-microhei.
//
// Look-alike pages (bench/support/look_alike.h): 12 pages of 54 slices
// (section titles of one design with other words, service icons of one
// style, one product with another price or badge colour, strips cut from
// one background, transparent PNG logos and GIF icons, text blocks,
// identical white separators), saved as JPEG q90 (PNG, GIF where
// transparent). Per page 2 uploads are missing, and 6 links of other pages
// are listed: 3 of other designs, 3 of a page of the same designs (other
// words and prices), as a user pastes the links of the page's last
// version. "paired" counts the slices that got their own upload (or that
// of an identical picture) among those whose upload is listed; "wrong" any
// other link a slice got; "left" the placeholders of slices whose upload
// is listed. "margin" is the smallest margin any pair won by; "own" the
// farthest an upload lay from its own slice, "other" the nearest a slice's
// upload lay to another slice of its size or proportions, "alike" and
// "fgn" the nearest a link of the page of the same designs, and of one of
// other designs, lay to a slice it is not; all in levels a cell
// (near_match.h). "share" is the smallest share of the distance between
// an own upload's nearest slice and the next nearest that the upload lay
// nearer its own, the second "alike" the largest such share of a link of
// the same designs' page.
//
// The old pages: 10 pages of photographs, banners, text and white strips
// cut into rows of one to three cells, JPEG q90 (GIF and PNG for the
// conversion rows); per page 2 uploads missing and 3 foreign links.
//
// `--tool CMD` runs each look-alike page through a command-line tool as
// well, over the files on disk and a loopback server: natively
// build/release/cli/quillmar, and "build/windows/wine-run
// build/windows/cli/quillmar-cli.exe" for the Windows decoder; its margin
// is the smallest the tool named (it names near and scaled pairs only).
//
// Measured on 2 cores under nice, about 12 minutes with both tools (see
// near_match.h for the limits chosen from it; "exact" is --exact, paired
// and wrong):
//
// Look-alike pages: 12 pages, 624 slices; per page 2 uploads missing, 6 links of other
// pages (half of them of the same designs); margins and distances in levels a cell:
// host                 run                  paired wrong left margin    own other alike   fgn  share alike    exact
// re-encode JPEG q75   in process           100.0%     0    0   0.06   0.80  0.35  0.85  7.55   0.40  0.52   90.3%/0
//                      quillmar             100.0%     0    0   0.12
//                      quillmar-cli.exe     100.0%     0    0   0.12
// to JPEG on white     in process           100.0%     0    0   0.06   2.97  0.35  0.85  7.55   0.40  0.52   75.0%/0
//                      quillmar             100.0%     0    0   0.12
//                      quillmar-cli.exe     100.0%     0    0   0.12
// to JPEG on black     in process           100.0%     0    0   0.06   2.82  0.35  0.85  7.55   0.40  0.52   90.3%/0
//                      quillmar             100.0%     0    0   0.12
//                      quillmar-cli.exe     100.0%     0    0   0.12
// 50% watermark        in process           100.0%     0    0   0.04   7.90  0.99  3.49  8.18   0.31  0.52   25.7%/0
//                      quillmar             100.0%     0    0   0.22
//                      quillmar-cli.exe     100.0%     0    0   0.22
// sharpen, +10% sat.   in process           100.0%     0    0   0.07   3.03  1.17  1.17  8.29   0.42  0.51   78.7%/0
//                      quillmar             100.0%     0    0   0.08
//                      quillmar-cli.exe     100.0%     0    0   0.08
// served 790 wide      in process           100.0%     0    0   0.08   1.15  0.45  0.97  6.92   0.41  0.52    0.0%/0
//                      quillmar             100.0%     0    0   0.08
//                      quillmar-cli.exe     100.0%     0    0   0.08
//
// Pages: 10 pages, 375 slices (photographs, banners, text, white strips; rows of 1-3
// cells), saved as JPEG q90 (GIF, PNG where named); per page 2 uploads missing and 3
// foreign links; the host re-encodes, converts or scales (to a page width) every upload:
// upload               exact wrong   paired wrong left  near scaled  margin    own other   fgn
// q95                  96.9%     0   100.0%     0    0    11      0  23.48   0.52 24.57 31.69
// q90                  96.6%     0   100.0%     0    0    12      0  23.73   0.27 24.59 31.69
// q80                  79.7%     0   100.0%     0    0    72      0  21.10   2.90 24.66 31.94
// q60                  80.8%     0   100.0%     0    0    68      0  20.30   3.70 25.81 33.50
// 790 Lanczos q85       0.0%     0   100.0%     0    0     0    355  20.64   3.36 25.69 32.22
// 790 Triangle q85      0.0%     0   100.0%     0    0     0    355  21.08   2.92 24.25 31.71
// 790 Catrom q85        0.0%     0   100.0%     0    0     0    355  21.15   2.85 25.05 31.86
// 790 Lanczos q60       0.0%     0   100.0%     0    0     0    355  19.56   4.44 26.06 33.25
// 640 Lanczos q85       0.0%     0   100.0%     0    0     0    355  18.19   5.81 25.79 32.05
// 640 Triangle q85      0.0%     0   100.0%     0    0     0    355  18.80   5.20 24.36 31.52
// 640 Catrom q85        0.0%     0   100.0%     0    0     0    355  18.78   5.22 24.91 31.94
// 640 Lanczos q60       0.0%     0   100.0%     0    0     0    355  17.19   6.81 26.16 33.18
// 640 Point q85         0.0%     0   100.0%     0    0     0    355  15.27   8.73 24.67 33.30
// 375 Lanczos q85       0.0%     0    99.7%     0    1     0    354  13.44  10.56 20.29 32.58
// 375 Triangle q85      0.0%     0    99.7%     0    1     0    354  13.08   9.71 18.50 31.79
// 375 Catrom q85        0.0%     0    99.7%     0    1     0    354  14.20   9.80 19.22 32.02
// 375 Lanczos q60       0.0%     0    99.7%     0    1     0    354  12.04  11.96 21.80 33.65
// 375 Point q85         0.0%     0    96.3%     0   13     0    342   5.47  14.60 14.01 25.23
// <=640 Lanczos q85    73.2%     0   100.0%     0    0    30     65  20.30   3.70 24.58 31.73
// GIF to JPEG q90      85.9%     0   100.0%     0    0    50      0  21.26   2.74 25.21 31.69
// GIF to JPEG q60      84.2%     0   100.0%     0    0    56      0  19.68   4.32 24.82 33.35
// PNG to JPEG q80      80.3%     0   100.0%     0    0    70      0  20.32   3.68 25.27 31.75
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "engine/fake_host.h"
#include "engine/memory_window.h"
#include "engine/near_match.h"
#include "engine/runs.h"
#include "image/image_key.h"
#include "support/look_alike.h"
#include "support/loopback_server.h"
#include "support/page_design.h"

namespace {

namespace fs = std::filesystem;
using qm::Bytes;
using qm::Text;
using qm::bench::Band;
using qm::bench::HostTreatment;
using qm::bench::LookAlikeSlice;

constexpr char kStem[] = "D:\\页面\\images\\shop_";
constexpr double kNone = std::numeric_limits<double>::infinity();

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

Text ImgTag(const Text& source, int width, int height) {
  return "\t<tr><td>\r\n\t\t<img src=\"" + source + "\" width=\"" + std::to_string(width) +
         "\" height=\"" + std::to_string(height) + "\" alt=\"\"></td>\r\n";
}

Text Table(const Text& rows) {
  return "<table id=\"__01\" width=\"750\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\r\n" +
         rows + "</table>\r\n";
}

// A page as the runs see it: each slice's file bytes, ending and size, the
// picture it shows (equal numbers, equal pictures), its upload unless
// missing; then the links of other pages and their pictures.
struct RunPage {
  struct Slice {
    Bytes bytes;
    Text ending;
    int width, height;
    int picture;
    bool blank = false;  // a white strip: alike at any size, left out of the distances
  };
  std::vector<Slice> slices;
  std::set<std::size_t> missing;  // from 1
  std::vector<int> foreign_pictures;
  std::vector<bool> foreign_alike;  // of the same designs as the page
};

struct Uploads {
  std::vector<Bytes> own;
  std::vector<Bytes> foreign;
};

struct Tally {
  int listed = 0, right = 0, wrong = 0, left = 0, near = 0, scaled = 0;
  double margin = kNone;
  double Paired() const { return 100.0 * right / std::max(1, listed); }
  void Margin(double m) { margin = std::min(margin, m); }
};

// The links in a shuffled order: the page's own but the missing, then the
// foreign ones; `address` names each.
std::vector<std::pair<Text, const Bytes*>> ListedLinks(
    const RunPage& page, const Uploads& uploads,
    const std::function<Text(bool foreign, std::size_t k)>& address) {
  std::vector<std::pair<Text, const Bytes*>> links;
  for (std::size_t k = 1; k <= page.slices.size(); ++k) {
    if (!page.missing.contains(k)) links.push_back({address(false, k), &uploads.own[k - 1]});
  }
  for (std::size_t k = 0; k < uploads.foreign.size(); ++k) {
    links.push_back({address(true, k), &uploads.foreign[k]});
  }
  std::shuffle(links.begin(), links.end(), std::mt19937(static_cast<unsigned>(links.size())));
  return links;
}

// Counts what the result's sources are: `picture_of` tells the picture a
// link shows, or -1. Identical slices take their picture's uploads in
// document order, so they count together: as many of them are paired as
// got an upload of their picture, up to the number whose upload is listed.
void Count(const RunPage& page, const std::vector<Text>& sources,
           const std::function<int(const Text&)>& picture_of, Tally& tally) {
  struct Group {
    int listed = 0, got = 0, wrong = 0;
  };
  std::map<int, Group> groups;
  for (std::size_t k = 1; k <= sources.size() && k <= page.slices.size(); ++k) {
    const Text& source = sources[k - 1];
    const bool placeholder = source.rfind(qm::kUnmatchedPrefix, 0) == 0;
    const bool own = !placeholder && picture_of(source) == page.slices[k - 1].picture;
    const bool listed = !page.missing.contains(k);
    Group& group = groups[page.slices[k - 1].picture];
    group.listed += listed;
    group.got += own;
    if (!placeholder && !own) {
      ++tally.wrong;  // another slice's link, a foreign one, or a key
      group.wrong += listed;
    }
  }
  for (const auto& [picture, group] : groups) {
    const int right = std::min(group.got, group.listed);
    tally.listed += group.listed;
    tally.right += right;
    tally.left += std::max(0, group.listed - right - group.wrong);
  }
}

// The run in this process, on an in-memory host.
void RunInProcess(const RunPage& page, const Uploads& uploads, bool exact, Tally& tally) {
  qm::test::FakeHost host;
  std::map<Text, int> pictures;
  const auto links = ListedLinks(page, uploads, [&](bool foreign, std::size_t k) {
    const Text link = foreign ? ForeignLinkOf(k) : LinkOf(k);
    pictures[link] = foreign ? page.foreign_pictures[k] : page.slices[k - 1].picture;
    return link;
  });
  Text list, rows;
  for (const auto& [link, bytes] : links) {
    host.links[link] = *bytes;
    list += link + "\r\n";
  }
  for (std::size_t k = 1; k <= page.slices.size(); ++k) {
    const RunPage::Slice& slice = page.slices[k - 1];
    host.files[kStem + Number(k) + "." + slice.ending] = slice.bytes;
    rows += ImgTag("images/shop_" + Number(k) + "." + slice.ending, slice.width, slice.height);
  }
  qm::MemoryWindow window;
  window.SelectRadio(qm::RadioBox::kSmart);
  window.SetEditText(qm::EditBox::kSliceCode, Table(rows));
  window.SetEditText(qm::EditBox::kLinkList, list);
  window.SetEditText(qm::EditBox::kImagePath, kStem + Text("001.") + page.slices[0].ending);
  qm::SmartRunOptions options;
  options.near_match = options.scaled_match = !exact;
  options.on_near_pair = [&](const qm::NearPair& pair) {
    ++tally.near;
    tally.Margin(pair.margin);
  };
  options.on_scaled_pair = [&](const qm::NearPair& pair, double) {
    ++tally.scaled;
    tally.Margin(pair.margin);
  };
  qm::ReplaceCommand command(window, host, options);
  command.ReplaceAndCopy();
  command.WaitForRun();
  Count(
      page, Sources(window.EditText(qm::EditBox::kSliceCode)),
      [&](const Text& link) {
        const auto found = pictures.find(link);
        return found == pictures.end() ? -1 : found->second;
      },
      tally);
}

// The distances behind the limits, and every pair's margin as the run
// decides it (the run names only near and scaled pairs).
struct Distances {
  double own = 0, other = kNone, foreign = kNone, alike = kNone, margin = kNone;
  // How much nearer an upload lies to its nearest slice than to the next
  // nearest, as a share of how far apart those two slices lie: the
  // smallest of the page's own uploads, the largest of links of other
  // pages of the same designs.
  double own_share = kNone, alike_share = 0;
};

// The nearest slice of proportional size to `upload` but `except`, and the
// next nearest, by index; -1 where none.
struct TwoNearest {
  int first = -1, second = -1;
  double first_distance = kNone, second_distance = kNone;
};
TwoNearest NearestSlices(const qm::ImageMeasures& upload,
                         const std::vector<qm::ImageMeasures>& slices, const RunPage& page) {
  TwoNearest n;
  for (std::size_t j = 0; j < slices.size(); ++j) {
    if (!qm::InProportion(slices[j].width, slices[j].height, upload.width, upload.height)) continue;
    const double d = qm::PictureDistance(upload, slices[j]);
    if (n.first >= 0 &&
        page.slices[j].picture == page.slices[static_cast<std::size_t>(n.first)].picture) {
      n.first_distance = std::min(n.first_distance, d);
    } else if (d < n.first_distance) {
      n.second = n.first;
      n.second_distance = n.first_distance;
      n.first = static_cast<int>(j);
      n.first_distance = d;
    } else if (d < n.second_distance &&
               page.slices[j].picture != page.slices[static_cast<std::size_t>(n.first)].picture) {
      n.second = static_cast<int>(j);
      n.second_distance = d;
    }
  }
  return n;
}

double Share(const TwoNearest& n, const std::vector<qm::ImageMeasures>& slices) {
  if (n.second < 0) return kNone;
  const double apart = qm::PictureDistance(slices[static_cast<std::size_t>(n.second)],
                                           slices[static_cast<std::size_t>(n.first)]);
  return apart > 0 ? (n.second_distance - n.first_distance) / apart : kNone;
}

void MeasureDistances(const RunPage& page, const Uploads& uploads, Distances& out) {
  std::vector<qm::ImageMeasures> slices, links;
  std::vector<int> link_pictures;
  for (const RunPage::Slice& slice : page.slices) slices.push_back(qm::MeasureImage(slice.bytes));
  for (std::size_t k = 0; k < page.slices.size(); ++k) {
    const qm::ImageMeasures upload = qm::MeasureImage(uploads.own[k]);
    for (std::size_t j = 0; j < slices.size(); ++j) {
      if (page.slices[k].blank || page.slices[j].blank ||
          !qm::InProportion(slices[j].width, slices[j].height, upload.width, upload.height)) {
        continue;
      }
      const double d = qm::PictureDistance(upload, slices[j]);
      if (page.slices[j].picture == page.slices[k].picture) {
        out.own = std::max(out.own, d);
      } else {
        out.other = std::min(out.other, d);
      }
    }
    const TwoNearest nearest = NearestSlices(upload, slices, page);
    if (nearest.first >= 0 &&
        page.slices[static_cast<std::size_t>(nearest.first)].picture == page.slices[k].picture) {
      out.own_share = std::min(out.own_share, Share(nearest, slices));
    }
    if (!page.missing.contains(k + 1)) {
      links.push_back(upload);
      link_pictures.push_back(page.slices[k].picture);
    }
  }
  for (std::size_t f = 0; f < uploads.foreign.size(); ++f) {
    const qm::ImageMeasures upload = qm::MeasureImage(uploads.foreign[f]);
    const TwoNearest nearest = NearestSlices(upload, slices, page);
    if (page.foreign_alike[f] && nearest.first >= 0 &&
        page.slices[static_cast<std::size_t>(nearest.first)].picture != page.foreign_pictures[f]) {
      const double share = Share(nearest, slices);
      if (share != kNone) out.alike_share = std::max(out.alike_share, share);
    }
    for (std::size_t j = 0; j < slices.size(); ++j) {
      if (page.slices[j].picture == page.foreign_pictures[f] ||
          !qm::InProportion(slices[j].width, slices[j].height, upload.width, upload.height)) {
        continue;
      }
      double& nearest = page.foreign_alike[f] ? out.alike : out.foreign;
      nearest = std::min(nearest, qm::PictureDistance(upload, slices[j]));
    }
    links.push_back(upload);
  }
  std::vector<const qm::ImageMeasures*> link_measures, slice_measures;
  for (const auto& m : links) link_measures.push_back(&m);
  for (const auto& m : slices) slice_measures.push_back(&m);
  for (const qm::NearPair& pair : qm::PairPictures(link_measures, slice_measures)) {
    out.margin = std::min(out.margin, pair.margin);
  }
}

// The uploads a tool downloads, each path its bytes, from a loopback server.
class UploadServer {
 public:
  explicit UploadServer(std::map<std::string, Bytes> files)
      : files_(std::move(files)),
        server_([this](const std::string& head, qm::test::LoopbackServer::Connection& c) {
          const std::size_t start = head.find(' ') + 1;
          const auto found = files_.find(head.substr(start, head.find(' ', start) - start));
          const std::string body =
              found == files_.end() ? "" : std::string(found->second.begin(), found->second.end());
          c.Send(std::string(found == files_.end() ? "HTTP/1.0 404 Not Found" : "HTTP/1.0 200 OK") +
                 "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        }) {}
  static std::string Address(int port, const std::string& path) {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }
  int Port() const { return server_.port(); }

 private:
  const std::map<std::string, Bytes> files_;  // written before the server starts
  qm::test::LoopbackServer server_;
};

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The margin a tool named in a line "... nearer than any other by [at least ]M".
void ToolMargins(const fs::path& errors, Tally& tally) {
  std::ifstream in(errors);
  for (std::string line; std::getline(in, line);) {
    const bool near = line.rfind("near match:", 0) == 0,
               scaled = line.rfind("scaled match:", 0) == 0;
    if (!near && !scaled) continue;
    ++(near ? tally.near : tally.scaled);
    const std::size_t by = line.rfind(' ');
    tally.Margin(std::atof(line.c_str() + by + 1));
  }
}

// The run through a command-line tool, in a folder of its own: the page,
// its slice files, the links of the loopback server.
void RunTool(const std::string& tool, const RunPage& page, const Uploads& uploads,
             const fs::path& dir, Tally& tally) {
  fs::remove_all(dir);
  fs::create_directories(dir / "images");
  std::map<std::string, Bytes> served;
  std::map<Text, int> pictures;
  const auto links = ListedLinks(page, uploads, [&](bool foreign, std::size_t k) {
    const std::string path = (foreign ? "/f" : "/u") + Number(k) + ".jpg";
    pictures[path] = foreign ? page.foreign_pictures[k] : page.slices[k - 1].picture;
    return path;
  });
  for (const auto& [path, bytes] : links) served[path] = *bytes;
  UploadServer server(std::move(served));
  std::string list, rows;
  for (const auto& [path, bytes] : links)
    list += UploadServer::Address(server.Port(), path) + "\r\n";
  for (std::size_t k = 1; k <= page.slices.size(); ++k) {
    const RunPage::Slice& slice = page.slices[k - 1];
    const std::string name = "images/shop_" + Number(k) + "." + slice.ending;
    WriteFile(dir / name, std::string(slice.bytes.begin(), slice.bytes.end()));
    rows += ImgTag(name, slice.width, slice.height);
  }
  WriteFile(dir / "page.html", Table(rows));
  WriteFile(dir / "links.txt", list);
  const std::string command = "cd '" + dir.string() + "' && " + tool +
                              " replace --code page.html --links links.txt --smart --out out.html"
                              " >/dev/null 2>errors.txt";
  if (std::system(command.c_str()) == -1) std::fprintf(stderr, "cannot run %s\n", tool.c_str());
  std::ifstream in(dir / "out.html", std::ios::binary);
  const Text result((std::istreambuf_iterator<char>(in)), {});
  Count(
      page, Sources(result),
      [&](const Text& link) {
        const std::size_t path = link.find('/', 7);
        const auto found = pictures.find(path == Text::npos ? link : link.substr(path));
        return found == pictures.end() ? -1 : found->second;
      },
      tally);
  ToolMargins(dir / "errors.txt", tally);
}

// --- The look-alike pages ---------------------------------------------------

constexpr unsigned kLookAlikePages = 12;
constexpr std::size_t kMissingPerPage = 2;
constexpr std::size_t kForeignPerDesign = 3;

struct LookAlikePage {
  std::vector<LookAlikeSlice> slices;
  std::vector<LookAlikeSlice> foreign;
  RunPage run;
};

// Pictures are numbered across a page and its foreign links by their
// pixels as measured: files of equal pixels may differ in what else they
// hold (a PNG's dates).
using PictureNumbers = std::map<std::string, int>;
int PictureNumber(PictureNumbers& numbers, const Bytes& bytes) {
  const qm::ImageMeasures m = qm::MeasureImage(bytes);
  std::string identity = std::to_string(m.width) + "x" + std::to_string(m.height) + ":";
  if (m.cells) {
    identity.append(m.cells->on_black.begin(), m.cells->on_black.end());
    if (m.cells->on_white) identity.append(m.cells->on_white->begin(), m.cells->on_white->end());
  }
  return numbers.emplace(identity, static_cast<int>(numbers.size())).first->second;
}

LookAlikePage MakeLookAlike(unsigned seed, const fs::path& dir) {
  LookAlikePage page;
  page.slices = qm::bench::MakeLookAlikePage(seed, dir / ("page" + std::to_string(seed)));
  std::mt19937 rng(seed);
  // Links of a page of other designs, and of one of the same designs.
  for (const unsigned other : {seed + 1000, seed + 6}) {
    auto slices = qm::bench::MakeLookAlikePage(other, dir / ("page" + std::to_string(other)));
    std::erase_if(slices, [](const LookAlikeSlice& s) { return s.kind == "spacer"; });
    std::shuffle(slices.begin(), slices.end(), rng);
    page.foreign.insert(page.foreign.end(), slices.begin(), slices.begin() + kForeignPerDesign);
  }
  PictureNumbers numbers;
  for (const LookAlikeSlice& s : page.slices) {
    Bytes bytes = qm::bench::ReadFile(s.file);
    const int picture = PictureNumber(numbers, bytes);
    page.run.slices.push_back({std::move(bytes), s.format, s.width, s.height, picture});
  }
  for (std::size_t k = 0; k < page.foreign.size(); ++k) {
    page.run.foreign_pictures.push_back(
        PictureNumber(numbers, qm::bench::ReadFile(page.foreign[k].file)));
    page.run.foreign_alike.push_back(k >= kForeignPerDesign);
  }
  std::uniform_int_distribution<std::size_t> any(1, page.slices.size());
  while (page.run.missing.size() < kMissingPerPage) page.run.missing.insert(any(rng));
  return page;
}

Uploads TreatLookAlike(HostTreatment treatment, const LookAlikePage& page, const fs::path& dir) {
  fs::create_directories(dir);
  Uploads uploads;
  // Appended piece by piece: GCC 12 warns falsely on "literal" + text.
  const auto treat = [&](const LookAlikeSlice& slice, char kind, std::size_t k) {
    std::string name(1, kind);
    name += std::to_string(k);
    return qm::bench::ReadFile(qm::bench::TreatUpload(treatment, slice, dir / name));
  };
  for (std::size_t k = 0; k < page.slices.size(); ++k) {
    uploads.own.push_back(treat(page.slices[k], 'u', k));
  }
  for (std::size_t k = 0; k < page.foreign.size(); ++k) {
    uploads.foreign.push_back(treat(page.foreign[k], 'f', k));
  }
  return uploads;
}

std::string Margin(double margin) {
  if (margin == kNone) return "    -";
  char text[16];
  std::snprintf(text, sizeof text, "%5.2f", margin);
  return text;
}

void LookAlikeReport(const fs::path& dir, const std::vector<std::string>& tools) {
  std::vector<LookAlikePage> pages;
  std::size_t slices = 0;
  for (unsigned seed = 1; seed <= kLookAlikePages; ++seed) {
    pages.push_back(MakeLookAlike(seed, dir));
    slices += pages.back().slices.size();
  }
  std::printf(
      "Look-alike pages: %u pages, %zu slices; per page %zu uploads missing, %zu links of other\n"
      "pages (half of them of the same designs); margins and distances in levels a cell:\n",
      kLookAlikePages, slices, kMissingPerPage, 2 * kForeignPerDesign);
  std::printf("%-20s %-18s  %7s %5s %4s %6s  %5s %5s %5s %5s  %5s %5s  %7s\n", "host", "run",
              "paired", "wrong", "left", "margin", "own", "other", "alike", "fgn", "share", "alike",
              "exact");
  for (HostTreatment treatment : qm::bench::kHostTreatments) {
    std::vector<Uploads> uploads;
    for (unsigned p = 0; p < pages.size(); ++p) {
      uploads.push_back(TreatLookAlike(
          treatment, pages[p],
          dir / ("host" + std::to_string(static_cast<int>(treatment))) / std::to_string(p)));
    }
    Tally tally, exact;
    Distances distances;
    for (std::size_t p = 0; p < pages.size(); ++p) {
      RunInProcess(pages[p].run, uploads[p], false, tally);
      RunInProcess(pages[p].run, uploads[p], true, exact);
      MeasureDistances(pages[p].run, uploads[p], distances);
    }
    std::printf(
        "%-20s %-18s  %6.1f%% %5d %4d  %s  %5.2f %5.2f %5.2f %5.2f  %5.2f %5.2f  %5.1f%%/%d\n",
        qm::bench::TreatmentName(treatment), "in process", tally.Paired(), tally.wrong, tally.left,
        Margin(distances.margin).c_str(), distances.own, distances.other, distances.alike,
        distances.foreign, distances.own_share, distances.alike_share, exact.Paired(), exact.wrong);
    std::fflush(stdout);
    for (const std::string& tool : tools) {
      Tally by_tool;
      for (std::size_t p = 0; p < pages.size(); ++p) {
        RunTool(tool, pages[p].run, uploads[p], dir / "tool", by_tool);
      }
      const std::string name = tool.substr(tool.rfind('/') + 1);
      std::printf("%-20s %-18.18s  %6.1f%% %5d %4d  %s\n", "", name.c_str(), by_tool.Paired(),
                  by_tool.wrong, by_tool.left, Margin(by_tool.margin).c_str());
      std::fflush(stdout);
    }
  }
  std::printf("\n");
}

// --- The old pages ------------------------------------------------------------

constexpr unsigned kPages = 10;
constexpr std::size_t kForeignPerPage = 3;
constexpr int kPageWidth = 750;

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

// A picture cut out of a design, saved in every format.
struct Cut {
  qm::bench::Slice slice;
  Band band;
  std::map<Saved, fs::path> files;
};

struct Page {
  std::vector<Cut> slices;
  std::vector<Cut> foreign;  // slices of another design
  std::map<Saved, RunPage> runs;
};

Cut SaveCut(const fs::path& ppm, const qm::bench::Design& design, const qm::bench::Slice& slice,
            const fs::path& stem) {
  Cut cut{slice, qm::bench::BandOf(design, slice), {}};
  for (Saved saved : kSavedFormats) {
    const fs::path file = stem.string() + "." + Extension(saved);
    if (!fs::exists(file)) {
      qm::bench::Crop(ppm, slice, saved == Saved::kJpeg ? "-quality 90" : "", file);
    }
    cut.files[saved] = file;
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
  std::set<std::size_t> missing;
  while (missing.size() < kMissingPerPage) missing.insert(any(rng));
  for (Saved saved : kSavedFormats) {
    RunPage& run = page.runs[saved];
    run.missing = missing;
    PictureNumbers numbers;
    for (const Cut& cut : page.slices) {
      Bytes bytes = qm::bench::ReadFile(cut.files.at(Saved::kJpeg));
      const int picture = PictureNumber(numbers, bytes);
      run.slices.push_back({qm::bench::ReadFile(cut.files.at(saved)), Extension(saved), cut.slice.w,
                            cut.slice.h, picture, cut.band == Band::kStrip});
    }
    for (const Cut& cut : page.foreign) {
      run.foreign_pictures.push_back(
          PictureNumber(numbers, qm::bench::ReadFile(cut.files.at(Saved::kJpeg))));
      run.foreign_alike.push_back(false);
    }
  }
  return page;
}

Bytes Serve(const Variant& v, const Cut& cut, const fs::path& dir) {
  const fs::path upload = dir / "upload.jpg";
  qm::bench::Convert(cut.files.at(v.saved).string() + " " +
                     HostOptions(v, cut.slice.w, cut.slice.h) + " " + upload.string());
  return qm::bench::ReadFile(upload);
}

Uploads ServePage(const Variant& v, const Page& page, const fs::path& dir) {
  Uploads served;
  for (const Cut& cut : page.slices) served.own.push_back(Serve(v, cut, dir));
  for (const Cut& cut : page.foreign) served.foreign.push_back(Serve(v, cut, dir));
  return served;
}

void PageReport(const fs::path& dir) {
  std::vector<Page> pages;
  std::size_t slices = 0;
  for (unsigned seed = 1; seed <= kPages; ++seed) {
    pages.push_back(MakePage(seed, dir));
    slices += pages.back().slices.size();
  }
  std::printf(
      "Pages: %u pages, %zu slices (photographs, banners, text, white strips; rows of 1-3\n"
      "cells), saved as JPEG q90 (GIF, PNG where named); per page %zu uploads missing and %zu\n"
      "foreign links; the host re-encodes, converts or scales (to a page width) every upload:\n",
      kPages, slices, kMissingPerPage, kForeignPerPage);
  std::printf("%-18s %7s %5s  %7s %5s %4s %5s %6s  %6s  %5s %5s %5s\n", "upload", "exact", "wrong",
              "paired", "wrong", "left", "near", "scaled", "margin", "own", "other", "fgn");
  for (const Variant& variant : kVariants) {
    Tally exact, full;
    Distances distances;
    for (const Page& page : pages) {
      const Uploads served = ServePage(variant, page, dir);
      const RunPage& run = page.runs.at(variant.saved);
      RunInProcess(run, served, true, exact);
      RunInProcess(run, served, false, full);
      MeasureDistances(run, served, distances);
    }
    std::printf("%-18s %6.1f%% %5d  %6.1f%% %5d %4d %5d %6d  %s  %5.2f %5.2f %5.2f\n", variant.name,
                exact.Paired(), exact.wrong, full.Paired(), full.wrong, full.left, full.near,
                full.scaled, Margin(distances.margin).c_str(), distances.own, distances.other,
                distances.foreign);
    std::fflush(stdout);
  }
  std::printf("\n");
}

// Words of the tool that name a file become absolute, as the tool runs in
// the page's folder.
std::string Absolute(const std::string& tool) {
  std::string out;
  std::size_t at = 0;
  while (at < tool.size()) {
    const std::size_t end = std::min(tool.find(' ', at), tool.size());
    const std::string word = tool.substr(at, end - at);
    out += (out.empty() ? "" : " ") + (fs::exists(word) ? fs::absolute(word).string() : word);
    at = end + 1;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> tools;
  bool pages = true;
  fs::path dir = fs::temp_directory_path() / ("qm-pairing-bench-" + std::to_string(::getpid()));
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--tool" && i + 1 < argc) {
      tools.push_back(Absolute(argv[++i]));
    } else if (argument == "--look-alike-only") {
      pages = false;
    } else if (argument == "--keep" && i + 1 < argc) {
      dir = argv[++i];
      keep = true;
    } else {
      std::fprintf(stderr,
                   "usage: smart_pairing_bench [--tool COMMAND]... [--look-alike-only] "
                   "[--keep FOLDER]\n");
      return 2;
    }
  }
  fs::create_directories(dir);
  LookAlikeReport(dir, tools);
  if (pages) PageReport(dir);
  if (!keep) fs::remove_all(dir);
  return 0;
}
