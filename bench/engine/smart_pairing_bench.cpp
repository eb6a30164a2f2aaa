// How many slices a whole smart run pairs with their own upload when the
// image host re-encodes every upload as JPEG: with equal keys only, and
// with the near-match pass. Pages of photographs, banners, text and white
// separator strips are cut into rows of one to three cells and saved as
// JPEG quality 90, as a slicing tool would; the uploads are those files
// re-encoded at 95, 90, 80 and 60. Links are listed in shuffled order.
// Needs ImageMagick's convert on the path.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>

#include "engine/fake_host.h"
#include "engine/memory_window.h"
#include "engine/runs.h"
#include "support/page_design.h"

namespace {

namespace fs = std::filesystem;
using qm::Bytes;
using qm::Text;

constexpr int kQualities[] = {95, 90, 80, 60};
constexpr unsigned kPages = 5;
constexpr char kStem[] = "D:\\页面\\images\\shop_";

Text Number(std::size_t k) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%03zu", k);
  return digits;
}

Text LinkOf(int quality, std::size_t k) {
  return "http://img.example/q" + std::to_string(quality) + "/u" + Number(k) + ".jpg";
}

struct Page {
  Text code;
  std::vector<Bytes> locals;
  std::map<int, std::vector<Bytes>> uploads;  // by quality
};

Page MakePage(unsigned seed, const fs::path& dir) {
  qm::bench::Design design = qm::bench::MakeDesign(seed, 3000, true);
  const fs::path ppm = dir / "design.ppm";
  qm::bench::WritePpm(design, ppm);
  Page page;
  page.code =
      "<table id=\"__01\" width=\"750\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">\r\n";
  const auto slices = qm::bench::MixedSlices(design, seed * 7);
  for (std::size_t k = 1; k <= slices.size(); ++k) {
    const qm::bench::Slice& s = slices[k - 1];
    const fs::path local = dir / "slice.jpg";
    qm::bench::CropJpeg(ppm, s, 90, local);
    page.locals.push_back(qm::bench::ReadFile(local));
    for (int quality : kQualities) {
      const fs::path upload = dir / "upload.jpg";
      qm::bench::Convert(local.string() + " -quality " + std::to_string(quality) + " " +
                         upload.string());
      page.uploads[quality].push_back(qm::bench::ReadFile(upload));
    }
    page.code += "\t<tr><td>\r\n\t\t<img src=\"images/shop_" + Number(k) + ".jpg\" width=\"" +
                 std::to_string(s.w) + "\" height=\"" + std::to_string(s.h) +
                 "\" alt=\"\"></td>\r\n";
  }
  page.code += "</table>\r\n";
  return page;
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

struct Tally {
  int slices = 0, right = 0, wrong = 0, unpaired = 0, near = 0;
};

void RunPage(const Page& page, int quality, bool near_match, Tally& tally) {
  qm::test::FakeHost host;
  std::vector<Text> links;
  for (std::size_t k = 1; k <= page.locals.size(); ++k) {
    host.files[kStem + Number(k) + ".jpg"] = page.locals[k - 1];
    host.links[LinkOf(quality, k)] = page.uploads.at(quality)[k - 1];
    links.push_back(LinkOf(quality, k));
  }
  std::shuffle(links.begin(), links.end(), std::mt19937(static_cast<unsigned>(quality)));
  Text list;
  for (const Text& link : links) list += link + "\r\n";

  qm::MemoryWindow window;
  window.SelectRadio(qm::RadioBox::kSmart);
  window.SetEditText(qm::EditBox::kSliceCode, page.code);
  window.SetEditText(qm::EditBox::kLinkList, list);
  window.SetEditText(qm::EditBox::kImagePath, kStem + Text("001.jpg"));
  qm::SmartRunOptions options;
  options.near_match = near_match;
  options.on_near_pair = [&](const qm::NearPair&) { ++tally.near; };
  qm::ReplaceCommand command(window, host, options);
  command.ReplaceAndCopy();
  command.WaitForRun();

  const std::vector<Text> sources = Sources(window.EditText(qm::EditBox::kSliceCode));
  for (std::size_t k = 1; k <= sources.size(); ++k) {
    ++tally.slices;
    if (sources[k - 1] == LinkOf(quality, k)) {
      ++tally.right;
    } else if (sources[k - 1].rfind(qm::kUnmatchedPrefix, 0) == 0) {
      ++tally.unpaired;
    } else {
      ++tally.wrong;  // another slice's link, or a link mixed with a key
    }
  }
}

}  // namespace

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("qm-pairing-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::vector<Page> pages;
  for (unsigned seed = 1; seed <= kPages; ++seed) pages.push_back(MakePage(seed, dir));
  fs::remove_all(dir);

  int slices = 0;
  for (const Page& page : pages) slices += static_cast<int>(page.locals.size());
  std::printf(
      "%u pages, %d slices (photographs, banners, text, white strips; rows of 1-3 cells),\n"
      "saved as JPEG q90; uploads re-encoded by the host:\n",
      kPages, slices);
  std::printf("%-8s %-12s %8s %8s %8s %8s\n", "upload", "pairing", "paired", "wrong", "unpaired",
              "near");
  for (int quality : kQualities) {
    for (bool near_match : {false, true}) {
      Tally tally;
      for (const Page& page : pages) RunPage(page, quality, near_match, tally);
      std::printf("q%-7d %-12s %7.1f%% %8d %8d %8d\n", quality,
                  near_match ? "near pass" : "equal keys", 100.0 * tally.right / tally.slices,
                  tally.wrong, tally.unpaired, tally.near);
    }
  }
  return 0;
}
