#include <winsock2.h>
// After winsock2.h:
#include <windows.h>

#include <chrono>

#include "tests/update/loopback_server.h"

namespace qm::test {
namespace {

struct WinsockSession {
  WinsockSession() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};

std::string ReasonText(int status) {
  return status == 200 ? "OK" : "Status";
}

}  // namespace

LoopbackServer::LoopbackServer() {
  static WinsockSession session;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 16);
  int length = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listener_ = listener;
  thread_ = std::thread([this] { Serve(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  closesocket(static_cast<SOCKET>(listener_));
  thread_.join();
}

void LoopbackServer::SetAnswer(Answer answer) {
  std::lock_guard<std::mutex> guard(lock_);
  answer_ = std::move(answer);
}

Text LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::Requests() {
  std::lock_guard<std::mutex> guard(lock_);
  return requests_;
}

void LoopbackServer::Serve() {
  while (!stopping_) {
    SOCKET connection = accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;
    Respond(connection);
    closesocket(connection);
  }
}

void LoopbackServer::Respond(std::uintptr_t raw) {
  const SOCKET connection = static_cast<SOCKET>(raw);
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    const int got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, got);
  }
  Answer answer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    requests_.push_back(request.substr(0, request.find("\r\n")));
    answer = answer_;
  }
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(answer.delay_ms);
  while (!stopping_ && std::chrono::steady_clock::now() < until) Sleep(20);

  std::string head = "HTTP/1.0 " + std::to_string(answer.status) + " " + ReasonText(answer.status) +
                     "\r\nContent-Length: " + std::to_string(answer.body.size()) +
                     "\r\nConnection: close\r\n\r\n";
  send(connection, head.data(), static_cast<int>(head.size()), 0);
  const std::size_t sent = std::min(answer.body.size(), answer.cut_after);
  if (sent > 0)
    send(connection, reinterpret_cast<const char*>(answer.body.data()), static_cast<int>(sent), 0);
  shutdown(connection, SD_SEND);
}

}  // namespace qm::test
