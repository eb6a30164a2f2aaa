#include "host/fetch.h"

#include <gtest/gtest.h>

#include <string>

#include "support/loopback_server.h"

namespace qm {
namespace {

using test::LoopbackServer;

constexpr std::size_t kSmallLimit = 4096;

std::string Response(const std::string& status, const std::string& headers,
                     const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "Connection: close\r\n\r\n" + body;
}

std::string WithLength(const std::string& status, const std::string& body,
                       const std::string& extra = "") {
  return Response(status, extra + "Content-Length: " + std::to_string(body.size()) + "\r\n", body);
}

std::string RequestPath(const std::string& head) {
  std::size_t start = head.find(' ') + 1;
  return head.substr(start, head.find(' ', start) - start);
}

// The Host header's value: where the request was sent.
std::string HostOf(const std::string& head) {
  const std::size_t start = head.find("Host: ") + 6;
  return head.substr(start, head.find("\r\n", start) - start);
}

std::string BigBody() {
  return std::string(kSmallLimit + 1, 'x');
}

void Answer(const std::string& head, LoopbackServer::Connection& c) {
  std::string path = RequestPath(head);
  std::string big = BigBody();
  if (path == "/plain" || path == "/a%20b/c?x=%2F&y=1" || path == "/%B5%EA%C6%CC/%CD%BC.jpg" ||
      path == "/a%20b.jpg" || path == "/%D5%5C%B0%5B.jpg" || path == "/a%B0") {
    c.Send(WithLength("200 OK", "hello"));
  } else if (path == "/nolength") {
    c.Send(Response("200 OK", "", "until the connection closes"));
  } else if (path == "/chunked") {
    c.Send(Response("200 OK", "Transfer-Encoding: chunked\r\n",
                    "5\r\nchunk\r\n6\r\ned bod\r\n1\r\ny\r\n0\r\n\r\n"));
  } else if (path == "/empty") {
    c.Send(WithLength("200 OK", ""));
  } else if (path == "/missing-empty") {
    c.Send(WithLength("404 Not Found", ""));
  } else if (path == "/missing") {
    c.Send(WithLength("404 Not Found", "<html>not here</html>", "Content-Type: text/html\r\n"));
  } else if (path == "/moved") {
    c.Send(WithLength("301 Moved Permanently", "moved", "Location: /plain\r\n"));
  } else if (path == "/found") {
    c.Send(WithLength("302 Found", "found", "Location: /chunked\r\n"));
  } else if (path == "/to-file") {
    c.Send(WithLength("302 Found", "found", "Location: file:///etc/hosts\r\n"));
  } else if (path == "/to-absolute-http") {
    c.Send(WithLength("302 Found", "found", "Location: http://" + HostOf(head) + "/plain\r\n"));
  } else if (path == "/to-ftp") {
    c.Send(WithLength("301 Moved", "moved", "Location: ftp://127.0.0.1/x\r\n"));
  } else if (path == "/stall-body") {
    c.Send(Response("200 OK", "Content-Length: 100\r\n", "part"));
    c.Stall(20'000);
  } else if (path == "/stall-head") {
    c.Stall(20'000);
  } else if (path == "/big-length") {
    c.Send(WithLength("200 OK", big));
  } else if (path == "/big-stream") {
    c.Send(Response("200 OK", "", big));
  } else if (path == "/nul") {
    c.Send(WithLength("200 OK", std::string("a\0b\0\0c", 6)));
  } else if (path == "/drip-body" || path == "/drip-head") {
    // Never quiet for as long as the stall limit and never done, until the
    // client hangs up: only the total limit ends the download. A read that
    // waits for all the bytes it asked for would wait for ever.
    c.Send(path == "/drip-body" ? Response("200 OK", "Content-Length: 1000\r\n", "")
                                : "HTTP/1.1 200 OK\r\nX-Slow: ");
    for (int i = 0; i < 2000 && c.Send("x"); ++i) c.Stall(300);
  } else if (path == "/huge-length") {
    c.Send(Response("200 OK", "Content-Length: 5000000000\r\n", "x"));
  } else if (path == "/lying-length") {
    c.Send(Response("200 OK", "Content-Length: " + std::to_string(kSmallLimit + 1) + "\r\n", "x"));
  } else if (path == "/cut") {
    c.Send(Response("200 OK", "Content-Length: 100\r\n", "only this"));
  } else {
    c.Send(WithLength("500 Unknown", "unknown path " + path));
  }
}

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server_.ok()); }

  // Short limits: a stalled server costs a second, a dripping one two and a
  // half, an oversized body 4 KiB.
  static FetchLimits Limits(bool https_redirects_only) {
    FetchLimits limits;
    limits.https_redirects_only = https_redirects_only;
    limits.connect_timeout_ms = 5000;
    limits.stall_timeout_ms = 1000;
    limits.total_timeout_ms = 2500;
    limits.max_body_bytes = kSmallLimit;
    return limits;
  }
  Bytes Fetch(const std::string& url, bool https_redirects_only = false) {
    return FetchUrlBytesWithLimits(url, Limits(https_redirects_only));
  }
  std::string FetchText(const std::string& path) {
    Bytes bytes = Fetch(server_.Url(path));
    return std::string(bytes.begin(), bytes.end());
  }

  LoopbackServer server_{Answer};
};

TEST_F(FetchTest, BodiesArriveWithAndWithoutLength) {
  EXPECT_EQ(FetchText("/plain"), "hello");
  EXPECT_EQ(FetchText("/nolength"), "until the connection closes");
  EXPECT_EQ(FetchText("/chunked"), "chunked body");
  EXPECT_EQ(FetchText("/nul"), std::string("a\0b\0\0c", 6));
}

TEST_F(FetchTest, RequestIsAnHttp10GetWithTheFixedAgent) {
  Bytes body = FetchUrlBytes(server_.Url("/plain"));
  EXPECT_EQ(std::string(body.begin(), body.end()), "hello");
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& head = requests[0];
  EXPECT_EQ(head.rfind("GET /plain HTTP/1.0\r\n", 0), 0u) << head;
  EXPECT_NE(head.find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"),
            std::string::npos)
      << head;
  EXPECT_NE(head.find("Accept: */*\r\n"), std::string::npos) << head;
}

TEST_F(FetchTest, FragmentIsCutAndThePathIsSentAsWritten) {
  EXPECT_EQ(FetchText("/plain#section-2"), "hello");
  EXPECT_EQ(FetchText("/a%20b/c?x=%2F&y=1#frag"), "hello");
  std::vector<std::string> requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestPath(requests[0]), "/plain");
  EXPECT_EQ(RequestPath(requests[1]), "/a%20b/c?x=%2F&y=1");
}

// Whatever the system's code page: the tests run under a Chinese and an
// English locale.
TEST_F(FetchTest, ChineseBlanksAndTrailingBlanksReachTheServerPercentEncoded) {
  const struct {
    const char* link;
    const char* sent;
  } cases[] = {
      {"/店铺/图.jpg", "/%B5%EA%C6%CC/%CD%BC.jpg"},
      {"/a b.jpg \t ", "/a%20b.jpg"},
      {"/店铺/图.jpg  #frag", "/%B5%EA%C6%CC/%CD%BC.jpg"},
      // Second bytes that look like ASCII: "\" in 誠 (D5 5C), "[" in 癧 (B0 5B).
      {"/誠癧.jpg", "/%D5%5C%B0%5B.jpg"},
      // A first byte whose second is missing goes alone.
      {"/a\xB0", "/a%B0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    EXPECT_EQ(FetchText(c.link), "hello");
    EXPECT_EQ(RequestPath(server_.Requests().back()), c.sent);
    EXPECT_EQ(RequestAddress(server_.Url(c.link)), server_.Url(c.sent));
  }
  EXPECT_EQ(RequestAddress("HTTPS://h/店#x"), "HTTPS://h/%B5%EA");
  EXPECT_EQ(RequestAddress("ftp://h/a"), "");
  EXPECT_EQ(RequestAddress("//h/a"), "");
}

TEST_F(FetchTest, ErrorStatusStillGivesTheBody) {
  EXPECT_EQ(FetchText("/missing"), "<html>not here</html>");
}

TEST_F(FetchTest, RedirectsAreFollowed) {
  EXPECT_EQ(FetchText("/moved"), "hello");
  EXPECT_EQ(FetchText("/found"), "chunked body");
}

TEST_F(FetchTest, HttpsOnlyDownloadsRefuseARedirectToPlainHttp) {
  // Absolute and relative: from this http address both lead to http. The
  // first address is the caller's to check, so the loopback one is asked.
  for (const char* path : {"/moved", "/to-absolute-http"}) {
    SCOPED_TRACE(path);
    const std::size_t asked = server_.Requests().size();
    EXPECT_TRUE(Fetch(server_.Url(path), true).empty());
    ASSERT_EQ(server_.Requests().size(), asked + 1) << "the redirect was followed";
    EXPECT_EQ(RequestPath(server_.Requests().back()), path);
    const Bytes followed = Fetch(server_.Url(path));
    EXPECT_EQ(std::string(followed.begin(), followed.end()), "hello");
  }
  const Bytes direct = Fetch(server_.Url("/plain"), true);
  EXPECT_EQ(std::string(direct.begin(), direct.end()), "hello")
      << "an answer without a redirect is kept";
}

// Every download that gives no body says why, the same on both targets.
TEST_F(FetchTest, WhatGivesNothingSaysWhy) {
  const std::string closed =
      "http://127.0.0.1:" + std::to_string(LoopbackServer::ClosedPort()) + "/";
  const struct {
    std::string url;
    FetchProblem problem;
  } cases[] = {
      {closed, FetchProblem::kUnreachable},
      // Only web schemes are fetched, also after a redirect.
      {server_.Url("/to-file"), FetchProblem::kUnreachable},
      {server_.Url("/to-ftp"), FetchProblem::kUnreachable},
      {"file:///etc/hosts", FetchProblem::kUnreachable},
      {"file:///C:/windows/win.ini", FetchProblem::kUnreachable},
      {"ftp://127.0.0.1:" + std::to_string(server_.port()) + "/plain", FetchProblem::kUnreachable},
      {"127.0.0.1/plain", FetchProblem::kUnreachable},
      {"", FetchProblem::kUnreachable},
      {server_.Url("/empty"), FetchProblem::kEmpty},
      {server_.Url("/missing-empty"), FetchProblem::kEmpty},
      {server_.Url("/stall-head"), FetchProblem::kTimedOut},
      {server_.Url("/stall-body"), FetchProblem::kTimedOut},
      // Never quiet for the stall limit: the total limit ends them.
      {server_.Url("/drip-body"), FetchProblem::kTimedOut},
      {server_.Url("/drip-head"), FetchProblem::kTimedOut},
      {server_.Url("/big-length"), FetchProblem::kTooLarge},
      {server_.Url("/big-stream"), FetchProblem::kTooLarge},
      // A declared length above the limit is refused before the body is
      // read, also when the body that follows is short.
      {server_.Url("/huge-length"), FetchProblem::kTooLarge},
      {server_.Url("/lying-length"), FetchProblem::kTooLarge},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const FetchResult result = FetchUrlWithLimits(c.url, Limits(false));
    EXPECT_TRUE(result.body.empty());
    EXPECT_EQ(result.problem, c.problem);
  }
  const FetchResult plain = FetchUrlWithLimits(server_.Url("/plain"), Limits(false));
  EXPECT_EQ(plain.problem, FetchProblem::kNone);
  EXPECT_EQ(std::string(plain.body.begin(), plain.body.end()), "hello");
}

TEST_F(FetchTest, ConnectionClosedEarlyKeepsWhatArrived) {
  EXPECT_EQ(FetchText("/cut"), "only this");
  EXPECT_EQ(FetchUrlWithLimits(server_.Url("/cut"), Limits(false)).problem, FetchProblem::kNone);
}

}  // namespace
}  // namespace qm
