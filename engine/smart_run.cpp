// The smart run: every slice's path becomes its image key, every upload
// whose key the mark-up holds takes that key's place, near matches pair what
// equal keys left over, and what still holds a key becomes a numbered
// placeholder the user is told about.
#include <algorithm>
#include <map>
#include <thread>

#include "engine/near_match.h"
#include "engine/ordered_work.h"
#include "engine/run_steps.h"
#include "engine/runs.h"
#include "engine/scanning.h"
#include "image/image_key.h"

namespace qm {
namespace {

constexpr char kPathCaption[] = "图片路径为:";
constexpr char kPlaceholderGap[] = "  ";

// A slice of the mark-up or an uploaded link, with what its image measured.
struct KeyedImage {
  Text name;  // the slice's source in the mark-up, or the link
  ImageMeasures measures;
  Text key;
  bool paired = false;
};

KeyedImage Keyed(Text name, ImageMeasures measures) {
  KeyedImage image{std::move(name), std::move(measures), {}};
  image.key = image.measures.Key();
  return image;
}

// An image's bytes, kept to be shown while it is applied, and its measures.
struct Measured {
  Bytes bytes;
  ImageMeasures measures;
};

Measured Measure(Bytes bytes) {
  ImageMeasures measures = MeasureImage(bytes);
  return {std::move(bytes), std::move(measures)};
}

// Results finished ahead of the one being applied, beyond one a thread.
constexpr std::size_t kSpareResults = 2;
constexpr unsigned kMaxReadThreads = 8;

std::size_t ReadThreads(const SmartRunOptions& options) {
  if (options.read_threads > 0) return static_cast<std::size_t>(options.read_threads);
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxReadThreads);
}

constexpr bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Keys have no separator between size and fingerprint, so a short key can
// stand inside a longer one: 50x100 white ends the key of 750x100 white.
// Only an occurrence with no digit or minus sign before it and no digit
// after it is a key of its own.
int FindWholeKey(const Text& text, const Text& key) {
  for (int at = Find(text, key, 1); at != kNotFound; at = Find(text, key, at + 1)) {
    const std::size_t begin = static_cast<std::size_t>(at) - 1;
    const std::size_t end = begin + key.size();
    const bool opens = begin == 0 || !(IsDigit(text[begin - 1]) || text[begin - 1] == '-');
    const bool closes = end == text.size() || !IsDigit(text[end]);
    if (opens && closes) return at;
  }
  return kNotFound;
}

Text ReplacedAt(Text text, int at, std::size_t length, const Text& replacement) {
  return text.replace(static_cast<std::size_t>(at) - 1, length, replacement);
}

// Slice numbers in placeholders have at least two digits, as in file names.
Text SliceNumberText(std::size_t number) {
  Text digits = DecimalText(static_cast<long long>(number));
  return digits.size() < 2 ? "0" + digits : digits;
}

// Images with one and the same key that are still unpaired and decoded, as
// candidates for near matching; members are 1-based positions.
std::vector<NearGroup> OpenGroups(const std::vector<KeyedImage>& images) {
  std::vector<NearGroup> groups;
  std::map<Text, std::size_t> by_key;
  for (std::size_t i = 0; i < images.size(); ++i) {
    const KeyedImage& image = images[i];
    if (image.paired || !image.measures.decoded) continue;
    auto [entry, added] = by_key.emplace(image.key, groups.size());
    if (added) {
      groups.push_back({image.measures.width,
                        image.measures.height,
                        FingerprintBits(image.measures.fingerprint),
                        {}});
    }
    groups[entry->second].members.push_back(static_cast<int>(i) + 1);
  }
  return groups;
}

class SmartRun {
 public:
  SmartRun(WindowAccess& window, HostServices& host, const SmartRunOptions& options)
      : window_(window), host_(host), options_(options) {}

  RunOutcome Run() {
    // Nothing found changes nothing, so the user can mend the slice code
    // and press again without choosing the image again.
    std::vector<Text> sources = SliceSourcesOrSayNone(window_, regex_);
    if (sources.empty()) return RunOutcome::kNothingFound;
    window_.ClearWorkList();
    CutPathToStem();
    LocalPass(std::move(sources));
    window_.SetGroupCaption(
        GroupBox::kSliceCode,
        "切片代码(共计：" + DecimalText(window_.WorkListRowCount()) + " 第图片）");
    LinkPass();
    if (options_.near_match) NearPass();
    const Text notice = WritePlaceholders();
    host_.SetClipboardText(window_.EditText(EditBox::kSliceCode));
    ShowStatus(window_, DoneText());
    window_.SetEditText(EditBox::kImagePath, "");
    if (!notice.empty()) window_.ShowNotice(notice);
    return RunOutcome::kDone;
  }

 private:
  // The chosen slice's path less its sequence number and extension is the
  // stem every slice file shares.
  void CutPathToStem() {
    const Text chosen = window_.EditText(EditBox::kImagePath);
    window_.SetEditText(EditBox::kImagePath,
                        ReplaceFirst(chosen, SliceSuffixOf(regex_, chosen), ""));
    window_.SetGroupCaption(GroupBox::kCommands,
                            kPathCaption + window_.EditText(EditBox::kImagePath));
  }

  // Files are read and fingerprinted on several threads; their keys go
  // into the mark-up strictly in document order, as one by one.
  void LocalPass(std::vector<Text> sources) {
    const Text stem = window_.EditText(EditBox::kImagePath);
    std::vector<Text> files;
    for (const Text& source : sources) files.push_back(stem + SliceSuffixOf(suffix_regex_, source));
    const std::size_t threads = ReadThreads(options_);
    OrderedWork<Measured> work(files.size(), threads, threads + kSpareResults, [&](std::size_t i) {
      return Measure(host_.ReadFileBytes(files[i]));
    });
    for (Text& source : sources) {
      Measured read = work.TakeNext();
      window_.SetPictureBytes(read.bytes);
      KeyedImage slice = Keyed(std::move(source), std::move(read.measures));
      ReplaceInBox(window_, EditBox::kSliceCode, slice.name, slice.key);
      window_.AppendWorkListRow(slice.key);
      slices_.push_back(std::move(slice));
    }
  }

  // Several links download at once and are fingerprinted as they arrive;
  // each is paired or passed over strictly in list order, so the boxes, the
  // statuses and the count come out as one by one. A link listed again is
  // not downloaded again: it takes the key its first listing measured.
  void LinkPass() {
    const std::vector<Text> lines = SplitLines(window_.EditText(EditBox::kLinkList));
    std::map<Text, std::size_t> first_listed;
    std::vector<std::size_t> first(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i)
      first[i] = first_listed.emplace(lines[i], i).first->second;
    const int asked =
        options_.download_threads > 0 ? options_.download_threads : host_.ConcurrentFetches();
    const auto threads = static_cast<std::size_t>(std::max(1, asked));
    OrderedWork<Measured> work(lines.size(), threads, threads + kSpareResults, [&](std::size_t i) {
      return first[i] == i ? Measure(host_.FetchUrlBytes(lines[i])) : Measured{};
    });
    for (std::size_t i = 0; i < lines.size(); ++i) {
      Measured fetched = work.TakeNext();
      const std::size_t listed = first[i];
      if (listed == i) window_.SetPictureBytes(fetched.bytes);
      KeyedImage link = listed == i
                            ? Keyed(lines[i], std::move(fetched.measures))
                            : KeyedImage{lines[i], links_[listed].measures, links_[listed].key};
      link.paired = Pair(link.name, i + 1, link.key);
      links_.push_back(std::move(link));
    }
  }

  // Keeps every pairing of the link pass; each near pair then does what a
  // pairing there does.
  void NearPass() {
    for (const NearPair& pair : PairNearMatches(OpenGroups(links_), OpenGroups(slices_))) {
      KeyedImage& link = links_[static_cast<std::size_t>(pair.link) - 1];
      const Text& slice_key = slices_[static_cast<std::size_t>(pair.slice) - 1].key;
      if (!Pair(link.name, static_cast<std::size_t>(pair.link), slice_key)) continue;
      link.paired = true;
      ++near_pairs_;
      if (options_.on_near_pair) options_.on_near_pair(pair);
    }
  }

  // The link takes the first whole occurrence of the slice key; the first
  // slice still holding that key is then paired.
  bool Pair(const Text& link, std::size_t position, const Text& slice_key) {
    const Text code = window_.EditText(EditBox::kSliceCode);
    const int at = FindWholeKey(code, slice_key);
    if (at == kNotFound) return false;
    window_.SetEditText(EditBox::kSliceCode, ReplacedAt(code, at, slice_key.size(), link));
    RemoveUsedLink(window_, link);
    ShowStatus(window_,
               "正在处理第：" + DecimalText(static_cast<long long>(position)) + " 第图片...");
    ++replaced_;
    for (KeyedImage& slice : slices_) {
      if (slice.paired || slice.key != slice_key) continue;
      slice.paired = true;
      break;
    }
    return true;
  }

  // A key left in the mark-up tells the user nothing; a numbered
  // placeholder and a list of what it stands for do. Empty when every slice
  // was paired.
  Text WritePlaceholders() {
    Text code = window_.EditText(EditBox::kSliceCode);
    Text lines;
    for (std::size_t k = 0; k < slices_.size(); ++k) {
      const KeyedImage& slice = slices_[k];
      if (slice.paired) continue;
      const int at = FindWholeKey(code, slice.key);
      if (at == kNotFound) continue;
      const Text placeholder = kUnmatchedPrefix + SliceNumberText(k + 1);
      code = ReplacedAt(std::move(code), at, slice.key.size(), placeholder);
      lines += kLineBreak + placeholder + kPlaceholderGap + slice.name;
    }
    if (lines.empty()) return {};
    window_.SetEditText(EditBox::kSliceCode, code);
    return kUnmatchedNoticeTitle + lines;
  }

  Text DoneText() const {
    Text done = "处理完成...共替换了：" + DecimalText(replaced_) + " 张图片....并已复制处理结果...";
    if (near_pairs_ > 0) done += "（其中 " + DecimalText(near_pairs_) + " 张为近似匹配）";
    return done;
  }

  WindowAccess& window_;
  HostServices& host_;
  const SmartRunOptions& options_;
  // The first serves the path and the image references, the second each
  // reference's numbered ending.
  RegexObject regex_;
  RegexObject suffix_regex_;
  std::vector<KeyedImage> slices_;  // in document order
  std::vector<KeyedImage> links_;   // in link-list order
  int replaced_ = 0;
  int near_pairs_ = 0;
};

}  // namespace

RunOutcome RunSmart(WindowAccess& window, HostServices& host, const SmartRunOptions& options) {
  return SmartRun(window, host, options).Run();
}

}  // namespace qm
