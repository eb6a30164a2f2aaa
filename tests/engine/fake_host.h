// Host services in memory: files and links are maps, the clipboard is a
// text, and a link can be made to block until the test releases it.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>

#include "engine/host_services.h"

namespace qm::test {

class FakeHost : public HostServices {
 public:
  Bytes FetchUrlBytes(const Text& url) override {
    std::unique_lock lock(mutex_);
    fetched.push_back(url);
    if (!blocking_url_.empty() && url == blocking_url_)
      released_.wait(lock, [&] { return released_flag_; });
    auto it = links.find(url);
    return it == links.end() ? Bytes() : it->second;
  }
  FetchResult FetchUrl(const Text& url) override {
    {
      std::lock_guard lock(mutex_);
      const auto failing = problems.find(url);
      if (failing != problems.end()) {
        fetched.push_back(url);
        return {{}, failing->second};
      }
    }
    return HostServices::FetchUrl(url);
  }
  Bytes ReadFileBytes(const Text& path) override {
    std::lock_guard lock(mutex_);
    read.push_back(path);
    auto it = files.find(path);
    return it == files.end() ? Bytes() : it->second;
  }
  int ConcurrentFetches() const override { return 6; }
  bool SetClipboardText(const Text& text) override {
    std::lock_guard lock(mutex_);
    clipboard = text;
    return true;
  }

  void BlockOn(const Text& url) { blocking_url_ = url; }
  // While a run works, the fetches so far are read through the lock.
  std::size_t FetchCount() {
    std::lock_guard lock(mutex_);
    return fetched.size();
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_flag_ = true;
    released_.notify_all();
  }

  std::map<Text, Bytes> files;
  std::map<Text, Bytes> links;
  // Links that give no body, and why.
  std::map<Text, FetchProblem> problems;
  std::vector<Text> fetched;
  std::vector<Text> read;
  Text clipboard = "(untouched)";

 private:
  std::mutex mutex_;
  std::condition_variable released_;
  Text blocking_url_;
  bool released_flag_ = false;
};

}  // namespace qm::test
