// The update tests' view of the shared loopback server: one answer, set by
// the test, for every request.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/text.h"
#include "support/loopback_server.h"

namespace qm::test {

struct Answer {
  int status = 200;
  Bytes body;
  // Announce the whole body but close after this many bytes.
  std::size_t cut_after = static_cast<std::size_t>(-1);
  // Hold the answer back this long (ends early when the server stops).
  int delay_ms = 0;
  // Sent as a Location header when not empty.
  Text location = {};
};

class AnswerServer {
 public:
  AnswerServer();

  void SetAnswer(Answer answer);
  // "http://127.0.0.1:<port>" followed by `path`.
  Text Url(const std::string& path) const { return server_.Url(path); }
  // Request lines received so far ("GET /path HTTP/1.0").
  std::vector<std::string> Requests();

 private:
  void Respond(LoopbackServer::Connection& connection);

  std::mutex lock_;
  Answer answer_;
  LoopbackServer server_;  // last: its threads use the members above
};

}  // namespace qm::test
