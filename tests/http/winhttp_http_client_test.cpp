// The WinHTTP client against a small scripted HTTP server on loopback, in the
// same process: what goes over the wire. Runs on Windows (under Wine on
// Linux). How transport faults surface (refused, stalled, dropped, redirected,
// untrusted) the end-to-end cases check with the Windows program itself.

#include "http/platform_http_client.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tavorin {
namespace {

using http::HttpHeader;
using http::PlatformHttpClient;
using ::testing::HasSubstr;

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

// One HTTP server on a free loopback port, answering every request with an
// error status and kBody, and recording what it read.
class ScriptedServer {
 public:
  ScriptedServer() : listener_(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
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
  [[nodiscard]] std::vector<std::string> Requests() const {
    const std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  void Serve() {
    while (true) {
      const Socket connection(::accept(listener_.get(), nullptr, nullptr));
      if (connection.get() == INVALID_SOCKET) {
        return;  // the listener was closed
      }
      const std::string request = ReadRequest(connection.get());
      {
        const std::lock_guard lock(mutex_);
        requests_.push_back(request);
      }
      Respond(connection.get());
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

  static void Respond(SOCKET connection) {
    const std::string response =
        "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " + std::to_string(kBody.size()) +
        "\r\nConnection: close\r\n\r\n" + std::string(kBody);
    ::send(connection, response.data(), static_cast<int>(response.size()), 0);
    ::shutdown(connection, SD_SEND);
  }

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

  static std::string Post(const std::string& url, std::string_view body) {
    PlatformHttpClient client;
    return client.Post(url, {{"Authorization", "Bearer at-1"}, {"Content-Type", "application/json"}}, body);
  }

  WSADATA winsock_{};
};

TEST_F(WinHttpTest, PostDeliversBodyAndHeadersAndReturnsTheAnswerWhateverTheStatus) {
  const ScriptedServer server;
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

TEST_F(WinHttpTest, HeaderWithLineBreakOrSeparatorIsRefusedBeforeSending) {
  const ScriptedServer server;
  const std::vector<HttpHeader> refused = {{"Authorization", "Bearer at\r\nX-Injected: 1"},
                                           {"X-Bad:Name", "v"},
                                           {"", "v"},
                                           {"X-Nul", std::string("a\0b", 3)}};
  for (const HttpHeader& header : refused) {
    PlatformHttpClient client;
    EXPECT_THROW(static_cast<void>(client.Post(server.Url("/v2/device/thing"), {header}, "{}")), std::runtime_error)
        << header.name;
  }
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace tavorin
