// The replace-and-copy command and the two replacement runs.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

#include "engine/host_services.h"
#include "engine/window_access.h"

namespace qm {

enum class PressResult {
  kStarted,       // a run of the selected mode was started
  kNoMode,        // checks passed, line break appended, no mode selected
  kBadSliceCode,  // the slice code lacks "01."
  kBadLinks,      // the link list lacks "http:"
  kBusy,          // a run is still working; nothing changed
};

// Both runs, step by step; each reads and writes the window through `window`.
void RunByNumber(WindowAccess& window, HostServices& host);
void RunSmart(WindowAccess& window, HostServices& host);

// ReplaceAndCopy with its one-run-at-a-time rule. Press() returns at once;
// the run works on its own thread. A press during a run is refused.
class ReplaceCommand {
 public:
  ReplaceCommand(WindowAccess& window, HostServices& host);
  ~ReplaceCommand();  // waits for a run still working
  ReplaceCommand(const ReplaceCommand&) = delete;
  ReplaceCommand& operator=(const ReplaceCommand&) = delete;

  PressResult ReplaceAndCopy();
  bool RunInProgress() const { return running_.load(); }
  void WaitForRun();

  // Called on the run's thread when a run has finished.
  std::function<void()> onRunFinished;

 private:
  WindowAccess& window_;
  HostServices& host_;
  std::atomic<bool> running_{false};
  std::thread worker_;
};

}  // namespace qm
