// The replace-and-copy command and the two replacement runs.
#pragma once

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "engine/host_services.h"
#include "engine/near_match.h"
#include "engine/window_access.h"

namespace qm {

enum class PressResult {
  kStarted,       // a run of the selected mode was started
  kNoMode,        // checks passed, line break appended, no mode selected
  kBadSliceCode,  // the slice code lacks "01." and names no slice
  kUnheldText,    // a box holds a character GBK cannot hold; nothing changed
  kBadLinks,      // the link list holds neither "http:" nor "https:"
  kBusy,          // a run is still working; nothing changed
};

enum class RunOutcome {
  kDone,          // every slice has its link
  kLeftOver,      // done, but slices are left to replace by hand or links gave no image
  kNothingFound,  // the slice code held no slice source: nothing changed, nothing copied
};

// How a slice file of a smart run got its upload.
enum class PairKind {
  kNone,    // no upload: the slice has its placeholder
  kSame,    // an upload of the same size and fingerprint
  kNear,    // of the same size, its picture a little changed (re-encoded, marked)
  kScaled,  // of another size in proportion: the host scaled it
};

// One slice file of a smart run, in the order of its first reference.
struct SliceOutcome {
  Text source;           // the path as its first reference writes it
  Text file;             // the local file its picture was read from; empty when none
  bool decoded = false;  // the file held a picture
  int width = 0, height = 0;
  Text link;         // the upload it was paired with; empty when none
  Text placeholder;  // what stands in its place when unpaired
  PairKind kind = PairKind::kNone;
  double factor = 1.0;    // kScaled: how much larger the upload is
  double distance = 0.0;  // how far the upload's picture lies from the slice's
  double margin = 0.0;    // how much nearer it is than the next nearest
};

// Why a link gave no image.
enum class LinkProblem {
  kNone,         // it gave an image
  kUnreachable,  // no answer, or an empty one
  kNotImage,     // an answer that is no picture (an error page)
  kTooLarge,     // an answer beyond the download limit
};

// One link of the list as a smart run used it, in list order, each once.
struct LinkOutcome {
  Text link;
  bool used = false;  // it took a slice's place
  LinkProblem problem = LinkProblem::kNone;
  int width = 0, height = 0;
};

// What a run did, for whoever started it to report.
struct RunReport {
  RunOutcome outcome = RunOutcome::kDone;
  int slices = 0;           // slice files the references name, and (smart) rollover pictures
  int replaced = 0;         // of those, the ones that took a link
  int near_pairs = 0;       // of those, paired without equal keys, scaled ones too (smart)
  int left = 0;             // files left: local paths (by number), placeholders (smart)
  int failed_links = 0;     // links that gave no image (smart)
  int unused_links = 0;     // links no slice file took (by number)
  int local_rollovers = 0;  // rollover pictures left at their local paths (by number)
  int not_links = 0;        // non-blank lines of the link list that are no link
  bool copied = false;      // the result went to the clipboard
  Text notice;              // what the user was told to do by hand; empty when nothing
  // Smart runs: every slice file and every link, for the comparison page.
  std::vector<SliceOutcome> slice_outcomes;
  std::vector<LinkOutcome> link_outcomes;
};

// Which pairs a smart run may make beyond the same picture, and whom it
// tells of them.
struct SmartRunOptions {
  // Pair uploads of the same size whose fingerprint differs from the
  // slice's: re-encoded, marked or converted (near_match.h). Without it
  // only pictures of equal size and fingerprint pair.
  bool near_match = true;
  // Called on the run's thread for each near pair as it is made.
  std::function<void(const NearPair&)> on_near_pair;
  // With near_match, also pair uploads of another size in proportion with
  // the slice: uploads the host scaled (near_match.h).
  bool scaled_match = true;
  // Called on the run's thread for each such pair as it is made, with the
  // factor the upload was scaled by.
  std::function<void(const NearPair&, double factor)> on_scaled_pair;
  // Called on the run's thread with each progress status as it is shown.
  std::function<void(const Text&)> on_progress;
  // Called on the run's thread once the result is in the boxes and on the
  // clipboard, before the last status and any notice: keeps the run's
  // comparison page. False when the page could not be kept; the last status
  // then says so.
  std::function<bool(const RunReport&)> keep_comparison_page;
  // Local slices read and fingerprinted at once; 0: as many as the machine
  // has hardware threads, at most 8.
  int read_threads = 0;
  // Links downloaded and fingerprinted at once; 0: as many as the host
  // allows at once, 1: one by one.
  int download_threads = 0;
};

// The first line of the notice listing the slices left to replace by hand;
// the placeholders in the result are kUnmatchedPrefix and a slice number.
inline constexpr char kUnmatchedNoticeTitle[] =
    "以下为不能识别的图片，请手工替换以 mivron + 数字的内容";
inline constexpr char kUnmatchedPrefix[] = "mivron";
// The line above the links that gave no image, after the slices.
inline constexpr char kFailedLinksTitle[] = "以下链接无法下载或不是图片：";

// What a press, or a window command that would change what a run works on,
// answers while a run works.
inline constexpr char kRunBusyText[] = "正在处理，请稍候...";

// Both runs, step by step; each reads and writes the window through `window`.
RunReport RunByNumber(WindowAccess& window, HostServices& host);
RunReport RunSmart(WindowAccess& window, HostServices& host, const SmartRunOptions& options = {});

// ReplaceAndCopy with its one-run-at-a-time rule. Press() returns at once;
// the run works on its own thread. A press during a run is refused.
class ReplaceCommand {
 public:
  ReplaceCommand(WindowAccess& window, HostServices& host, SmartRunOptions smart_options = {});
  ~ReplaceCommand();  // waits for a run still working
  ReplaceCommand(const ReplaceCommand&) = delete;
  ReplaceCommand& operator=(const ReplaceCommand&) = delete;

  PressResult ReplaceAndCopy();
  bool RunInProgress() const { return running_.load(); }
  // How the last run went; read once the run has ended (WaitForRun).
  const RunReport& LastReport() const { return report_; }
  void WaitForRun();

 private:
  WindowAccess& window_;
  HostServices& host_;
  const SmartRunOptions smart_options_;
  std::atomic<bool> running_{false};
  RunReport report_;  // written by the run's thread only while it runs
  std::thread worker_;
};

}  // namespace qm
