#include "support/loopback_server.h"

#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using SocketLength = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
using SocketLength = socklen_t;
#endif

namespace qm::test {
namespace {

#ifdef _WIN32
using Native = SOCKET;
constexpr int kSendFlags = 0;
void CloseSocket(Native s) {
  closesocket(s);
}
struct WinsockStart {
  WinsockStart() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
};
void StartSockets() {
  static WinsockStart start;
}
#else
using Native = int;
// A client that hung up must not end the test process with SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
void CloseSocket(Native s) {
  close(s);
}
void StartSockets() {}
#endif

Native AsNative(std::intptr_t s) {
  return static_cast<Native>(s);
}

// Waits until the socket is readable or `ms` pass.
bool Readable(Native s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{ms / 1000, (ms % 1000) * 1000};
  return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &wait) > 0;
}

Native Listen(int& port) {
  StartSockets();
  Native s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  SocketLength length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    CloseSocket(s);
    return static_cast<Native>(-1);
  }
  port = ntohs(address.sin_port);
  return s;
}

}  // namespace

bool LoopbackServer::Connection::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    int n = send(AsNative(socket_), bytes.data(), static_cast<int>(bytes.size()), kSendFlags);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

void LoopbackServer::Connection::Stall(int ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!server_.stopping_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

LoopbackServer::LoopbackServer(Handler handler) : handler_(std::move(handler)) {
  Native s = Listen(port_);
  if (s == static_cast<Native>(-1)) return;
  listener_ = static_cast<std::intptr_t>(s);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& worker : workers_) worker.join();
  if (ok()) CloseSocket(AsNative(listener_));
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackServer::Requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

int LoopbackServer::ClosedPort() {
  int port = 0;
  Native s = Listen(port);
  if (s != static_cast<Native>(-1)) CloseSocket(s);
  return port;
}

void LoopbackServer::AcceptLoop() {
  while (!stopping_) {
    if (!Readable(AsNative(listener_), 50)) continue;
    Native client = accept(AsNative(listener_), nullptr, nullptr);
    if (client == static_cast<Native>(-1)) continue;
    workers_.emplace_back([this, client] { Serve(static_cast<std::intptr_t>(client)); });
  }
}

void LoopbackServer::Serve(std::intptr_t socket) {
  Native s = AsNative(socket);
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && Readable(s, 5000)) {
    int n = recv(s, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<std::size_t>(n));
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(head);
  }
  Connection connection(*this, socket);
  handler_(head, connection);
#ifdef _WIN32
  shutdown(s, SD_SEND);
#else
  shutdown(s, SHUT_WR);
#endif
  CloseSocket(s);
}

}  // namespace qm::test
