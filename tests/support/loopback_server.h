// A tiny HTTP server on 127.0.0.1 for the fetch tests, on raw sockets so the
// same code serves the Linux tests and the Windows tests under Wine, and so
// that a test can send exactly the bytes it wants (no length, chunked,
// stalls, redirects anywhere).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qm::test {

class LoopbackServer {
 public:
  class Connection {
   public:
    explicit Connection(LoopbackServer& server, std::intptr_t socket)
        : server_(server), socket_(socket) {}
    bool Send(std::string_view bytes);
    // Keeps the connection open and silent for `ms`, or until the server stops.
    void Stall(int ms);

   private:
    LoopbackServer& server_;
    std::intptr_t socket_;
  };

  // `handler` gets the request head (request line and headers) and answers;
  // the connection is closed when it returns.
  using Handler = std::function<void(const std::string& head, Connection& connection)>;

  explicit LoopbackServer(Handler handler);
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  bool ok() const { return listener_ != kNoSocket; }
  int port() const { return port_; }
  std::string Url(const std::string& path) const;
  // The heads of all requests so far, oldest first.
  std::vector<std::string> Requests();

  // A port on which nothing listens (was free a moment ago).
  static int ClosedPort();

 private:
  static constexpr std::intptr_t kNoSocket = -1;
  void AcceptLoop();
  void Serve(std::intptr_t socket);

  Handler handler_;
  std::intptr_t listener_ = kNoSocket;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace qm::test
