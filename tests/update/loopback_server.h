// A small HTTP server on 127.0.0.1 for the update tests: one answer, set by
// the test, for every request.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/text.h"

namespace qm::test {

struct Answer {
  int status = 200;
  Bytes body;
  // Announce the whole body but close after this many bytes.
  std::size_t cut_after = static_cast<std::size_t>(-1);
  // Hold the answer back this long (ends early when the server stops).
  int delay_ms = 0;
};

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  void SetAnswer(Answer answer);
  // "http://127.0.0.1:<port>" followed by `path`.
  Text Url(const std::string& path) const;
  // Request lines received so far ("GET /path HTTP/1.0").
  std::vector<std::string> Requests();

 private:
  void Serve();
  void Respond(std::uintptr_t connection);

  std::uintptr_t listener_;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  Answer answer_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace qm::test
