// The WinHTTP client against a small scripted HTTP server on loopback, in the
// same process: what goes over the wire and how transport faults surface. Runs
// on Windows (under Wine on Linux).

#include "cloud/winhttp_http_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tavorin {
namespace {

using cloud::HttpHeader;
using cloud::WinHttpClient;
using cloud::WinHttpOptions;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

// What the server does with each request it reads.
enum class Answer {
  Status500,     // a complete answer with an error status and a body
  Redirect,      // 302 to the same server
  Stall,         // never answers while the test runs
  CutShort,      // announces 100 bytes, sends 10 and closes
};

constexpr std::string_view kBody = R"({"error":500,"msg":"server error"})";

class Socket {
 public:
  explicit Socket(SOCKET socket) : socket_(socket) {}
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  ~Socket() { Close(); }
  [[nodiscard]] SOCKET get() const { return socket_; }
  void Close() {
    if (socket_ != INVALID_SOCKET) {
      ::closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }

 private:
  SOCKET socket_;
};

// One HTTP server on a free loopback port, answering every request the same
// way and recording what it read.
class ScriptedServer {
 public:
  explicit ScriptedServer(Answer answer) : answer_(answer), listener_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (listener_.get() == INVALID_SOCKET ||
        ::bind(listener_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_.get(), 8) != 0 ||
        ::getsockname(listener_.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot start the scripted server");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;
  ~ScriptedServer() {
    listener_.Close();
    thread_.join();
  }

  [[nodiscard]] std::string Url(std::string_view path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  [[nodiscard]] std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  [[nodiscard]] std::vector<std::string> Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    std::vector<std::unique_ptr<Socket>> held;
    while (true) {
      auto connection = std::make_unique<Socket>(::accept(listener_.get(), nullptr, nullptr));
      if (connection->get() == INVALID_SOCKET) {
        return;  // the listener was closed
      }
      const std::string request = ReadRequest(connection->get());
      {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      Respond(connection->get());
      if (answer_ == Answer::Stall) {
        held.push_back(std::move(connection));
      }
    }
  }

  // Headers, then as many body bytes as Content-Length says.
  static std::string ReadRequest(SOCKET connection) {
    std::string request;
    char buffer[4096];
    while (true) {
      const std::size_t headersEnd = request.find("\r\n\r\n");
      if (headersEnd != std::string::npos) {
        const std::size_t field = request.find("Content-Length: ");
        const std::size_t length = field < headersEnd ? std::stoul(request.substr(field + 16)) : 0;
        if (request.size() >= headersEnd + 4 + length) {
          return request;
        }
      }
      const int received = ::recv(connection, buffer, sizeof buffer, 0);
      if (received <= 0) {
        return request;
      }
      request.append(buffer, static_cast<std::size_t>(received));
    }
  }

  void Respond(SOCKET connection) const {
    std::string response;
    switch (answer_) {
      case Answer::Status500:
        response = "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " + std::to_string(kBody.size()) +
                   "\r\nConnection: close\r\n\r\n" + std::string(kBody);
        break;
      case Answer::Redirect:
        response = "HTTP/1.1 302 Found\r\nLocation: " + Url("/elsewhere") +
                   "\r\nContent-Length: 5\r\nConnection: close\r\n\r\nmoved";
        break;
      case Answer::Stall:
        return;
      case Answer::CutShort:
        response = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nConnection: close\r\n\r\n0123456789";
        break;
    }
    ::send(connection, response.data(), static_cast<int>(response.size()), 0);
    ::shutdown(connection, SD_SEND);
  }

  Answer answer_;
  Socket listener_;
  std::uint16_t port_ = 0;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

class WinHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(::WSAStartup(MAKEWORD(2, 2), &winsock_), 0); }
  void TearDown() override { ::WSACleanup(); }

  static std::string Post(const std::string& url, std::string_view body, WinHttpOptions options = {}) {
    WinHttpClient client(options);
    return client.Post(url, {{"Authorization", "Bearer at-1"}, {"Content-Type", "application/json"}}, body);
  }

  WSADATA winsock_{};
};

TEST_F(WinHttpTest, PostDeliversBodyAndHeadersAndReturnsTheAnswerWhateverTheStatus) {
  const ScriptedServer server(Answer::Status500);
  const std::string body = R"({"thingList":[{"itemType":1,"id":"1000c8441f"}]})";
  EXPECT_EQ(Post(server.Url("/v2/device/thing"), body), kBody);
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1U);
  const std::string& request = requests.front();
  EXPECT_THAT(request, ::testing::StartsWith("POST /v2/device/thing HTTP/1.1\r\n"));
  EXPECT_THAT(request, HasSubstr("\r\nAuthorization: Bearer at-1\r\n"));
  EXPECT_THAT(request, HasSubstr("\r\nContent-Type: application/json\r\n"));
  EXPECT_THAT(request, ::testing::EndsWith("\r\n\r\n" + body));
}

TEST_F(WinHttpTest, RedirectIsNotFollowed) {
  const ScriptedServer server(Answer::Redirect);
  EXPECT_EQ(Post(server.Url("/v2/device/thing"), "{}"), "moved");
  EXPECT_EQ(server.Requests().size(), 1U);
}

TEST_F(WinHttpTest, StallBeyondTotalTimeoutRaisesATimeOutNamingTheHost) {
  const ScriptedServer server(Answer::Stall);
  WinHttpOptions options;
  options.totalTimeout = std::chrono::milliseconds(300);
  EXPECT_THAT([&] { static_cast<void>(Post(server.Url("/v2/device/thing"), "{}", options)); },
              ThrowsMessage<std::runtime_error>(
                  AllOf(HasSubstr("request to " + server.Host() + " failed: "), HasSubstr("timed out"),
                        HasSubstr("(WinHTTP error 12002)"))));
}

TEST_F(WinHttpTest, AnswerCutShortOfItsLengthIsATransportError) {
  const ScriptedServer server(Answer::CutShort);
  EXPECT_THAT([&] { static_cast<void>(Post(server.Url("/v2/device/thing"), "{}")); },
              ThrowsMessage<std::runtime_error>(AllOf(HasSubstr("request to " + server.Host() + " failed: "),
                                                      HasSubstr("after 10 of 100 bytes"))));
}

TEST_F(WinHttpTest, ClosedPortRaisesAnErrorNamingTheHostAndTheCause) {
  std::string url;
  std::string host;
  {
    const ScriptedServer server(Answer::Status500);
    url = server.Url("/v2/device/thing");
    host = server.Host();
  }
  EXPECT_THAT([&] { static_cast<void>(Post(url, "{}")); },
              ThrowsMessage<std::runtime_error>(AllOf(HasSubstr("request to " + host + " failed: "),
                                                      HasSubstr("cannot connect"))));
}

TEST_F(WinHttpTest, HeaderWithLineBreakOrSeparatorIsRefusedBeforeSending) {
  const ScriptedServer server(Answer::Status500);
  const std::vector<HttpHeader> refused = {{"Authorization", "Bearer at\r\nX-Injected: 1"},
                                           {"X-Bad:Name", "v"},
                                           {"", "v"},
                                           {"X-Nul", std::string("a\0b", 3)}};
  for (const HttpHeader& header : refused) {
    WinHttpClient client;
    EXPECT_THROW(static_cast<void>(client.Post(server.Url("/v2/device/thing"), {header}, "{}")), std::runtime_error)
        << header.name;
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace tavorin
