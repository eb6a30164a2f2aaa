#include "tests/update/answer_server.h"

#include <algorithm>

namespace qm::test {

AnswerServer::AnswerServer()
    : server_([this](const std::string&, LoopbackServer::Connection& connection) {
        Respond(connection);
      }) {}

void AnswerServer::SetAnswer(Answer answer) {
  std::lock_guard guard(lock_);
  answer_ = std::move(answer);
}

std::vector<std::string> AnswerServer::Requests() {
  std::vector<std::string> lines;
  for (const std::string& head : server_.Requests())
    lines.push_back(head.substr(0, head.find("\r\n")));
  return lines;
}

void AnswerServer::Respond(LoopbackServer::Connection& connection) {
  Answer answer;
  {
    std::lock_guard guard(lock_);
    answer = answer_;
  }
  if (answer.delay_ms > 0) connection.Stall(answer.delay_ms);
  const std::string reason = answer.status == 200 ? "OK" : "Status";
  const std::string location = answer.location.empty() ? "" : "\r\nLocation: " + answer.location;
  connection.Send("HTTP/1.0 " + std::to_string(answer.status) + " " + reason + location +
                  "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                  "\r\nConnection: close\r\n\r\n");
  const std::size_t sent = std::min(answer.body.size(), answer.cut_after);
  connection.Send(std::string_view(reinterpret_cast<const char*>(answer.body.data()), sent));
}

}  // namespace qm::test
