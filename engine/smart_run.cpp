// The smart run: every slice file's paths become its image key, every
// upload whose picture is clearly that file's takes its places (near_match.h:
// equal keys, re-encoded, marked or converted, scaled), and each slice file
// still without a link becomes a numbered placeholder the user is told
// about, as is each link that gave no image.
#include <algorithm>
#include <map>
#include <set>
#include <thread>

#include "engine/near_match.h"
#include "engine/ordered_work.h"
#include "engine/run_steps.h"
#include "engine/runs.h"
#include "engine/scanning.h"
#include "engine/slice_page.h"
#include "image/image_key.h"

namespace qm {
namespace {

constexpr char kPathCaption[] = "图片路径为:";
constexpr char kPlaceholderGap[] = "  ";

// A slice file of the mark-up or an uploaded link, with what its image
// measured and, for a slice file, how it was paired.
struct KeyedImage {
  Text name;  // the source of the file's first reference, or the link
  ImageMeasures measures;
  bool paired = false;
  PairKind kind = PairKind::kNone;           // a slice's: how it was paired
  double distance = 0.0, margin = 0.0;       // a slice's pair's (near_match.h)
  double factor = 1.0;                       // a slice's scaled pair's
  LinkProblem problem = LinkProblem::kNone;  // a link's: why it gave no image
};

// An image's bytes, kept to be shown while it is applied, its measures,
// and where it was read from.
struct Measured {
  Bytes bytes;
  ImageMeasures measures;
  Text path;                                 // the slice's file that held the bytes
  FetchProblem fetch = FetchProblem::kNone;  // a download's: why no body came
};

Measured Measure(Bytes bytes, Text path = {}) {
  ImageMeasures measures = MeasureImage(bytes);
  return {std::move(bytes), std::move(measures), std::move(path)};
}

Measured Downloaded(FetchResult fetched) {
  Measured measured = Measure(std::move(fetched.body));
  measured.fetch = fetched.problem;
  return measured;
}

// Why a download gives no image: too large to download, no body at all, or
// a body that is no picture.
LinkProblem ProblemOf(const Measured& fetched) {
  if (fetched.measures.decoded) return LinkProblem::kNone;
  if (fetched.fetch == FetchProblem::kTooLarge) return LinkProblem::kTooLarge;
  return fetched.bytes.empty() ? LinkProblem::kUnreachable : LinkProblem::kNotImage;
}

// What became of the comparison page: nobody asked for one, or it was
// kept, or it could not be.
enum class PageKept { kNotAsked, kKept, kLost };

// A pair of equal size and fingerprint is the same picture, as far as the
// key can tell; the key text alone is not enough: it has no separator, so
// 75x1200 and 751x200 give the same digits.
PairKind KindOf(const ImageMeasures& slice, const ImageMeasures& upload) {
  if (slice.width != upload.width || slice.height != upload.height) return PairKind::kScaled;
  return slice.fingerprint == upload.fingerprint ? PairKind::kSame : PairKind::kNear;
}

// Starts as every status of a run in progress does.
Text DownloadedText(std::size_t done, std::size_t links) {
  return "正在处理...下载链接 " + DecimalText(static_cast<long long>(done)) + "/" +
         DecimalText(static_cast<long long>(links));
}

std::vector<const ImageMeasures*> MeasuresOf(const std::vector<KeyedImage>& images) {
  std::vector<const ImageMeasures*> measures;
  measures.reserve(images.size());
  for (const KeyedImage& image : images) measures.push_back(&image.measures);
  return measures;
}

// Results finished ahead of the one being applied, beyond one a thread.
constexpr std::size_t kSpareResults = 2;
constexpr unsigned kMaxReadThreads = 8;

std::size_t ReadThreads(const SmartRunOptions& options) {
  if (options.read_threads > 0) return static_cast<std::size_t>(options.read_threads);
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReadThreads);
}

// Where a slice file is, and where else to look when it cannot be read.
struct SliceLocation {
  Text path;
  Text fallback;
};

class SmartRun {
 public:
  SmartRun(WindowAccess& window, HostServices& host, const SmartRunOptions& options)
      : window_(window), host_(host), options_(options), display_(window) {}

  RunReport Run() {
    // Nothing found changes nothing, so the user can mend the slice code
    // and press again without choosing the image again.
    code_ = window_.EditText(EditBox::kSliceCode);
    reading_ = ReadOrSayNone(window_, code_);
    if (reading_.files.empty()) {
      report_.outcome = RunOutcome::kNothingFound;
      return report_;
    }
    list_ = window_.EditText(EditBox::kLinkList);
    window_.ClearWorkList();
    const std::vector<Text> sources = PictureSources();
    LocalPass(sources, SliceLocations(sources));
    window_.SetGroupCaption(
        GroupBox::kSliceCode,
        "切片代码(共计：" + DecimalText(window_.WorkListRowCount()) + " 第图片）");
    LinkPass();
    PairByPictures();
    Text notice = WritePlaceholders();
    const Text failed = ListFailedLinks();
    if (!notice.empty() && !failed.empty()) notice += kLineBreak;
    notice += failed;
    RecordOutcomes();
    PutResult(window_, host_, CurrentCode(), CurrentLinks(), report_);
    ShowStatus(window_, DoneText(KeepComparisonPage()));
    window_.SetEditText(EditBox::kImagePath, "");
    report_.notice = notice;
    if (!notice.empty()) window_.ShowNotice(notice);
    return report_;
  }

 private:
  // The pictures the run pairs: the slice files, then the rollover
  // pictures, which the user uploaded with them.
  std::vector<Text> PictureSources() const {
    std::vector<Text> sources;
    sources.reserve(reading_.NumberedFiles());
    for (std::size_t k = 0; k < reading_.NumberedFiles(); ++k) {
      sources.push_back(reading_.SourceOf(k));
    }
    return sources;
  }

  // Where each picture is. A dropped page's own folder names it through its
  // path. Otherwise the chosen slice's path less its sequence number and
  // extension is the stem every numbered slice file shares; when the stem
  // and the file's number name no file (a page of slices cut under two
  // names), its own file name beside the chosen image. A row and column
  // name has no number for the stem, nor has a rollover picture: each is
  // found by its own name.
  std::vector<SliceLocation> SliceLocations(const std::vector<Text>& sources) {
    std::vector<SliceLocation> locations;
    const Text page_folder = window_.SlicePageFolder();
    if (!page_folder.empty()) {
      window_.SetGroupCaption(GroupBox::kCommands, kPathCaption + page_folder);
      for (const Text& source : sources) {
        locations.push_back({ResolveSliceFile(page_folder, source), {}});
      }
      return locations;
    }
    const Text chosen = window_.EditText(EditBox::kImagePath);
    window_.SetEditText(EditBox::kImagePath, SliceStemOf(regex_, chosen));
    const Text stem = window_.EditText(EditBox::kImagePath);
    window_.SetGroupCaption(GroupBox::kCommands, kPathCaption + stem);
    const Text chosen_folder = chosen.substr(0, FileNameOffset(chosen));
    for (std::size_t k = 0; k < sources.size(); ++k) {
      const Text own_name = FileNameOf(ResolveSliceFile({}, sources[k]));
      const Text beside = own_name.empty() ? Text() : chosen_folder + own_name;
      if (k >= reading_.files.size() || IsRowColumnName(sources[k])) {
        locations.push_back({beside, {}});
        continue;
      }
      locations.push_back({stem + SliceSuffixOf(suffix_regex_, sources[k]), beside});
    }
    return locations;
  }

  Measured ReadSlice(const SliceLocation& location) {
    Bytes bytes = host_.ReadFileBytes(location.path);
    if (!bytes.empty() || location.fallback.empty() || location.fallback == location.path) {
      return Measure(std::move(bytes), bytes.empty() ? Text() : location.path);
    }
    bytes = host_.ReadFileBytes(location.fallback);
    return Measure(std::move(bytes), bytes.empty() ? Text() : location.fallback);
  }

  // Files are read and fingerprinted on several threads; their keys go
  // into the mark-up strictly in document order, as one by one.
  void LocalPass(const std::vector<Text>& sources, const std::vector<SliceLocation>& locations) {
    const std::size_t threads = ReadThreads(options_);
    OrderedWork<Measured> work(locations.size(), threads, threads + kSpareResults,
                               [&](std::size_t i) { return ReadSlice(locations[i]); });
    for (const Text& source : sources) {
      Measured read = work.TakeNext();
      window_.SetPictureBytes(read.bytes);
      KeyedImage slice{source, std::move(read.measures)};
      slice_paths_.push_back(std::move(read.path));
      contents_.push_back(slice.measures.Key());
      window_.AppendWorkListRow(contents_.back());
      slices_.push_back(std::move(slice));
      ShowProgressIfDue();
    }
    report_.slices = static_cast<int>(slices_.size());
  }

  // Several links download at once and are measured as they arrive, in
  // list order. A link listed again is not downloaded again: it takes what
  // its first listing measured.
  void LinkPass() {
    const LinkLines lines = ReadLinkLines(list_);
    report_.not_links = lines.not_links;
    std::map<Text, std::size_t> first_listed;
    std::vector<std::size_t> first(lines.links.size());
    for (std::size_t i = 0; i < lines.links.size(); ++i) {
      first[i] = first_listed.emplace(lines.links[i].link, i).first->second;
    }
    const int asked =
        options_.download_threads > 0 ? options_.download_threads : host_.ConcurrentFetches();
    const auto threads = static_cast<std::size_t>(std::max(1, asked));
    OrderedWork<Measured> work(
        lines.links.size(), threads, threads + kSpareResults, [&](std::size_t i) {
          return first[i] == i ? Downloaded(host_.FetchUrl(LinkAddress(lines.links[i].link)))
                               : Measured{};
        });
    for (std::size_t i = 0; i < lines.links.size(); ++i) {
      Measured fetched = work.TakeNext();
      const std::size_t listed = first[i];
      if (listed == i) window_.SetPictureBytes(fetched.bytes);
      KeyedImage link{lines.links[i].link, {}};
      link.problem = listed == i ? ProblemOf(fetched) : links_[listed].problem;
      link.measures = listed == i ? std::move(fetched.measures) : links_[listed].measures;
      links_.push_back(std::move(link));
      link_lines_.push_back(lines.links[i].line);
      // Nothing is paired until the last download is in, and on a slow
      // host that is the long part of a run: the count shows it moving.
      ShowStatus(window_, DownloadedText(i + 1, lines.links.size()));
      ShowProgressIfDue();
    }
  }

  // Which upload is which slice can be told only once every picture is
  // there. The pairs are made in list order, so the boxes, the statuses and
  // the count come out as one by one.
  void PairByPictures() {
    const PairingRules rules{options_.near_match, options_.near_match && options_.scaled_match};
    for (const NearPair& pair : PairPictures(MeasuresOf(links_), MeasuresOf(slices_), rules)) {
      const auto link = static_cast<std::size_t>(pair.link) - 1;
      const auto slice = static_cast<std::size_t>(pair.slice) - 1;
      KeyedImage& local = slices_[slice];
      local.kind = KindOf(local.measures, links_[link].measures);
      local.distance = pair.distance;
      local.margin = pair.margin;
      local.factor = ScaleFactor(local.measures, links_[link].measures);
      Pair(link, slice);
      if (local.kind != PairKind::kSame) ++report_.near_pairs;
      if (local.kind == PairKind::kNear && options_.on_near_pair) options_.on_near_pair(pair);
      if (local.kind == PairKind::kScaled && options_.on_scaled_pair) {
        options_.on_scaled_pair(pair, local.factor);
      }
      ShowProgressIfDue();
    }
  }

  void Pair(std::size_t link, std::size_t slice) {
    links_[link].paired = true;
    slices_[slice].paired = true;
    pairs_.emplace_back(link, slice);
    contents_[slice] = links_[link].name;
    used_lines_.push_back(link_lines_[link]);
    ++report_.replaced;
    const Text status =
        "正在处理第：" + DecimalText(static_cast<long long>(link) + 1) + " 第图片...";
    ShowStatus(window_, status);
    if (options_.on_progress) options_.on_progress(status);
  }

  // A key left in the mark-up tells the user nothing; a numbered
  // placeholder and a list of what it stands for do. Empty when every slice
  // was paired.
  Text WritePlaceholders() {
    Text lines;
    for (std::size_t k = 0; k < slices_.size(); ++k) {
      if (slices_[k].paired) continue;
      contents_[k] = kUnmatchedPrefix + SliceNumberText(k + 1);
      lines += kLineBreak + contents_[k] + kPlaceholderGap + slices_[k].name;
      ++report_.left;
    }
    return lines.empty() ? Text() : kUnmatchedNoticeTitle + lines;
  }

  // The links that gave no image, each once, after the slices.
  Text ListFailedLinks() {
    Text lines;
    std::set<Text> listed;
    for (const KeyedImage& link : links_) {
      if (link.measures.decoded || !listed.insert(link.name).second) continue;
      lines += kLineBreak + link.name;
      ++report_.failed_links;
    }
    return lines.empty() ? Text() : kFailedLinksTitle + lines;
  }

  // What each slice file and each link came to, for a page that shows it.
  void RecordOutcomes() {
    std::vector<std::size_t> link_of(slices_.size(), links_.size());
    for (auto [link, slice] : pairs_) link_of[slice] = link;
    for (std::size_t k = 0; k < slices_.size(); ++k) {
      const KeyedImage& slice = slices_[k];
      SliceOutcome outcome;
      outcome.source = slice.name;
      outcome.file = slice_paths_[k];
      outcome.decoded = slice.measures.decoded;
      outcome.width = slice.measures.width;
      outcome.height = slice.measures.height;
      outcome.kind = slice.kind;
      if (slice.paired) {
        outcome.link = links_[link_of[k]].name;
        outcome.distance = slice.distance;
        outcome.margin = slice.margin;
        if (slice.kind == PairKind::kScaled) outcome.factor = slice.factor;
      } else {
        outcome.placeholder = contents_[k];
      }
      report_.slice_outcomes.push_back(std::move(outcome));
    }
    std::set<Text> recorded;
    for (const KeyedImage& link : links_) {
      if (!recorded.insert(link.name).second) continue;
      report_.link_outcomes.push_back(
          {link.name, link.paired, link.problem, link.measures.width, link.measures.height});
    }
  }

  Text CurrentCode() const { return WithFileContents(code_, reading_, contents_); }

  Text CurrentLinks() const {
    std::vector<std::size_t> used = used_lines_;
    std::sort(used.begin(), used.end());
    return WithoutLines(list_, used);
  }

  void ShowProgressIfDue() {
    if (display_.Due()) display_.Show(CurrentCode(), CurrentLinks());
  }

  // Once the result is safe, and before its notice, which offers the page.
  PageKept KeepComparisonPage() {
    if (!options_.keep_comparison_page) return PageKept::kNotAsked;
    return options_.keep_comparison_page(report_) ? PageKept::kKept : PageKept::kLost;
  }

  Text DoneText(PageKept page) const {
    Text done =
        "处理完成...共替换了：" + DecimalText(report_.replaced) + " 张图片....并已复制处理结果...";
    if (report_.near_pairs > 0) {
      // With nothing left there is no notice to offer the page; the status
      // says where the near pairs can be checked.
      const bool nothing_left = report_.left == 0 && report_.failed_links == 0;
      done += "（其中 " + DecimalText(report_.near_pairs) + " 张为近似匹配" +
              (page == PageKept::kKept && nothing_left ? "，可在对照页中查看" : "") + "）";
    }
    done += NotLinksNote(report_.not_links);
    return page == PageKept::kLost ? done + "（无法保存对照页）" : done;
  }

  WindowAccess& window_;
  HostServices& host_;
  const SmartRunOptions& options_;
  ProgressDisplay display_;
  // The first serves the path and the image references, the second each
  // reference's numbered ending.
  RegexObject regex_;
  RegexObject suffix_regex_;

  Text code_;  // the slice code as the run found it
  SliceCodeReading reading_;
  std::vector<Text> contents_;      // what stands at each slice file's places now
  std::vector<KeyedImage> slices_;  // one a slice file, in document order
  std::vector<Text> slice_paths_;   // the file each slice's picture was read from

  Text list_;                                               // the link list as the run found it
  std::vector<KeyedImage> links_;                           // the links of the list, in list order
  std::vector<std::size_t> link_lines_;                     // the line each link stands on
  std::vector<std::size_t> used_lines_;                     // the lines of the links paired
  std::vector<std::pair<std::size_t, std::size_t>> pairs_;  // link and slice, as paired

  RunReport report_;
};

}  // namespace

RunReport RunSmart(WindowAccess& window, HostServices& host, const SmartRunOptions& options) {
  return SmartRun(window, host, options).Run();
}

}  // namespace qm
