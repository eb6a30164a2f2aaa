// The smart run: every slice file's paths become its image key, every upload
// of the same size and fingerprint takes that file's places, near matches
// and then scaled ones pair what equal keys left over, and each slice file
// still without a link becomes a numbered placeholder the user is told
// about, as is each link that gave no image.
#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <thread>
#include <tuple>

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
// measured.
struct KeyedImage {
  Text name;  // the source of the file's first reference, or the link
  ImageMeasures measures;
  bool paired = false;
  PairKind kind = PairKind::kNone;           // a slice's: how it was paired
  LinkProblem problem = LinkProblem::kNone;  // a link's: why it gave no image
};

// An image's bytes, kept to be shown while it is applied, its measures,
// and where it was read from.
struct Measured {
  Bytes bytes;
  ImageMeasures measures;
  Text path;  // the slice's file that held the bytes
};

Measured Measure(Bytes bytes, Text path = {}) {
  ImageMeasures measures = MeasureImage(bytes);
  return {std::move(bytes), std::move(measures), std::move(path)};
}

// Why the bytes of a download give no image.
LinkProblem ProblemOf(const Measured& fetched) {
  if (fetched.measures.decoded) return LinkProblem::kNone;
  return fetched.bytes.empty() ? LinkProblem::kUnreachable : LinkProblem::kNotImage;
}

// Two images are the same picture when size and fingerprint are equal. The
// key text alone is not enough: it has no separator, so 75x1200 and 751x200
// give the same digits.
using Identity = std::tuple<int, int, Text>;
Identity IdentityOf(const ImageMeasures& measures) {
  return {measures.width, measures.height, measures.fingerprint};
}

// Results finished ahead of the one being applied, beyond one a thread.
constexpr std::size_t kSpareResults = 2;
constexpr unsigned kMaxReadThreads = 8;

std::size_t ReadThreads(const SmartRunOptions& options) {
  if (options.read_threads > 0) return static_cast<std::size_t>(options.read_threads);
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReadThreads);
}

// Slice numbers in placeholders have at least two digits, as in file names.
Text SliceNumberText(std::size_t number) {
  Text digits = DecimalText(static_cast<long long>(number));
  return digits.size() < 2 ? "0" + digits : digits;
}

// Where a slice file is, and where else to look when it cannot be read.
struct SliceLocation {
  Text path;
  Text fallback;
};

// A link written without its scheme ("//host/a.jpg") is fetched over https.
Text FetchAddress(const Text& link) {
  return link.starts_with("//") ? "https:" + link : link;
}

// The decoded images of one side grouped by identity, for the near pass;
// members that `open` accepts are still to pair. Positions are 1-based.
template <typename Open>
std::vector<NearGroup> NearGroups(const std::vector<KeyedImage>& images, Open open) {
  std::vector<NearGroup> groups;
  std::map<Identity, std::size_t> by_identity;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const KeyedImage& image = images[i];
    if (!image.measures.decoded) continue;
    auto [entry, added] = by_identity.emplace(IdentityOf(image.measures), groups.size());
    if (added) groups.push_back({image.measures, FingerprintBits(image.measures.fingerprint), {}});
    if (open(image)) groups[entry->second].open.push_back(static_cast<int>(i) + 1);
  }
  return groups;
}

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
    LocalPass(SliceLocations());
    window_.SetGroupCaption(
        GroupBox::kSliceCode,
        "切片代码(共计：" + DecimalText(window_.WorkListRowCount()) + " 第图片）");
    LinkPass();
    if (options_.near_match) NearPass();
    Text notice = WritePlaceholders();
    const Text failed = ListFailedLinks();
    if (!notice.empty() && !failed.empty()) notice += kLineBreak;
    notice += failed;
    FinishRun(window_, host_, CurrentCode(), CurrentLinks(), DoneText(), report_);
    window_.SetEditText(EditBox::kImagePath, "");
    report_.notice = notice;
    RecordOutcomes();
    if (!notice.empty()) window_.ShowNotice(notice);
    return report_;
  }

 private:
  // Where each slice file is. A dropped page's own folder names it through
  // its path. Otherwise the chosen slice's path less its sequence number and
  // extension is the stem every numbered slice file shares; when the stem
  // and the file's number name no file (a page of slices cut under two
  // names), its own file name beside the chosen image. A row and column
  // name has no number for the stem: it is found by its own name.
  std::vector<SliceLocation> SliceLocations() {
    std::vector<SliceLocation> locations;
    const Text page_folder = window_.SlicePageFolder();
    if (!page_folder.empty()) {
      window_.SetGroupCaption(GroupBox::kCommands, kPathCaption + page_folder);
      for (const SliceFile& file : reading_.files) {
        locations.push_back({ResolveSliceFile(page_folder, file.source), {}});
      }
      return locations;
    }
    const Text chosen = window_.EditText(EditBox::kImagePath);
    window_.SetEditText(EditBox::kImagePath, SliceStemOf(regex_, chosen));
    const Text stem = window_.EditText(EditBox::kImagePath);
    window_.SetGroupCaption(GroupBox::kCommands, kPathCaption + stem);
    const Text chosen_folder = chosen.substr(0, FileNameOffset(chosen));
    for (const SliceFile& file : reading_.files) {
      const Text own_name = FileNameOf(ResolveSliceFile({}, file.source));
      const Text beside = own_name.empty() ? Text() : chosen_folder + own_name;
      if (IsRowColumnName(file.source)) {
        locations.push_back({beside, {}});
        continue;
      }
      locations.push_back({stem + SliceSuffixOf(suffix_regex_, file.source), beside});
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
  void LocalPass(const std::vector<SliceLocation>& locations) {
    const std::size_t threads = ReadThreads(options_);
    OrderedWork<Measured> work(locations.size(), threads, threads + kSpareResults,
                               [&](std::size_t i) { return ReadSlice(locations[i]); });
    for (const SliceFile& file : reading_.files) {
      Measured read = work.TakeNext();
      window_.SetPictureBytes(read.bytes);
      KeyedImage slice{file.source, std::move(read.measures)};
      slice_paths_.push_back(std::move(read.path));
      contents_.push_back(slice.measures.Key());
      window_.AppendWorkListRow(contents_.back());
      if (slice.measures.decoded) {
        open_slices_[IdentityOf(slice.measures)].push_back(slices_.size());
      }
      slices_.push_back(std::move(slice));
      ShowProgressIfDue();
    }
    report_.slices = static_cast<int>(slices_.size());
  }

  // Several links download at once and are fingerprinted as they arrive;
  // each is paired or passed over strictly in list order, so the boxes, the
  // statuses and the count come out as one by one. A link listed again is
  // not downloaded again: it takes what its first listing measured.
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
          return first[i] == i ? Measure(host_.FetchUrlBytes(FetchAddress(lines.links[i].link)))
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
      PairExactly(i);
      ShowProgressIfDue();
    }
  }

  // The link takes the first slice in document order that is the same
  // picture and has no link yet.
  void PairExactly(std::size_t link) {
    if (!links_[link].measures.decoded) return;
    auto open = open_slices_.find(IdentityOf(links_[link].measures));
    if (open == open_slices_.end() || open->second.empty()) return;
    const std::size_t slice = open->second.front();
    open->second.pop_front();
    Pair(link, slice, PairKind::kSame);
  }

  // Uploads a host re-encoded, then uploads it scaled or converted. An
  // upload that is the same picture as a slice is a copy of that slice even
  // when the slice already has its link, so it never takes another slice's
  // place.
  void NearPass() {
    PairLeftOver(FingerprintNearDistance, PairKind::kNear, [&](const NearPair& pair) {
      if (options_.on_near_pair) options_.on_near_pair(pair);
    });
    if (!options_.scaled_match) return;
    const auto told = [&](const NearPair& pair) {
      if (!options_.on_scaled_pair) return;
      const std::size_t link = static_cast<std::size_t>(pair.link) - 1;
      const std::size_t slice = static_cast<std::size_t>(pair.slice) - 1;
      options_.on_scaled_pair(pair, ScaleFactor(slices_[slice].measures, links_[link].measures));
    };
    // First by proportion and grey levels alone, which hold for an upload
    // however the others were served. Then for pictures alike but for their
    // size, blank strips above all, when an upload is in proportion with
    // more than one: a host serves every slice of one width at one width,
    // whether it scales the whole page or only what is wider than its
    // limit, so the widths of the pairs made tell which it can be.
    PairLeftOver(ScaledNearDistance, PairKind::kScaled, told);
    for (;;) {
      const std::map<int, int> served = ServedWidths();
      const auto as_served = [&](const NearGroup& link, const NearGroup& slice) {
        const auto known = served.find(slice.measures.width);
        if (known != served.end() && known->second != link.measures.width) return kNotNear;
        return ScaledNearDistance(link, slice);
      };
      if (PairLeftOver(as_served, PairKind::kScaled, told) == 0) return;
    }
  }

  // Each slice width the pairs so far were served at, where they agree.
  std::map<int, int> ServedWidths() const {
    std::map<int, int> served;
    std::set<int> disagreeing;
    for (auto [link, slice] : pairs_) {
      const int width = slices_[slice].measures.width;
      const auto [entry, added] = served.emplace(width, links_[link].measures.width);
      if (!added && entry->second != links_[link].measures.width) disagreeing.insert(width);
    }
    for (int width : disagreeing) served.erase(width);
    return served;
  }

  // Pairs what is still open by `distance`, telling `paired` of each pair
  // as it is made; returns how many it made.
  template <typename Told>
  std::size_t PairLeftOver(const NearDistance& distance, PairKind kind, Told paired) {
    std::set<Identity> slice_pictures;
    for (const KeyedImage& slice : slices_) {
      if (slice.measures.decoded) slice_pictures.insert(IdentityOf(slice.measures));
    }
    const auto open_link = [&](const KeyedImage& link) {
      return !link.paired && !slice_pictures.contains(IdentityOf(link.measures));
    };
    const auto open_slice = [](const KeyedImage& slice) { return !slice.paired; };
    const std::vector<NearPair> pairs =
        PairNearMatches(NearGroups(links_, open_link), NearGroups(slices_, open_slice), distance);
    for (const NearPair& pair : pairs) {
      Pair(static_cast<std::size_t>(pair.link) - 1, static_cast<std::size_t>(pair.slice) - 1, kind);
      ++report_.near_pairs;
      paired(pair);
    }
    return pairs.size();
  }

  void Pair(std::size_t link, std::size_t slice, PairKind kind) {
    links_[link].paired = true;
    slices_[slice].paired = true;
    slices_[slice].kind = kind;
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
        const ImageMeasures& upload = links_[link_of[k]].measures;
        outcome.link = links_[link_of[k]].name;
        if (slice.kind == PairKind::kScaled) outcome.factor = ScaleFactor(slice.measures, upload);
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

  Text DoneText() const {
    Text done =
        "处理完成...共替换了：" + DecimalText(report_.replaced) + " 张图片....并已复制处理结果...";
    if (report_.near_pairs > 0)
      done += "（其中 " + DecimalText(report_.near_pairs) + " 张为近似匹配）";
    return done + NotLinksNote(report_.not_links);
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
  // Decoded slices without a link yet, by picture, in document order.
  std::map<Identity, std::deque<std::size_t>> open_slices_;

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
