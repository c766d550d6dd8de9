// The libcurl client against the simulated cloud on loopback: the answer's size
// limit and header injection. What goes over the wire, TLS trust, time-outs and
// how a redirect ends, the end-to-end cases check with the program itself.

#include "http/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cloud/request_bodies.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

using http::HttpHeader;
using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

class TransportTest : public ::testing::Test {
 protected:
  void StartCloud() {
    cloud_.emplace();
    port_ = cloud_->Start();
  }

  [[nodiscard]] std::string PostStatus(const std::vector<HttpHeader>& headers) const {
    return http::PlatformPost(cloud_->Root() + std::string(cloud::kStatusPath), headers,
                              cloud::StatusBody("1000c8441f"));
  }

  [[nodiscard]] std::string Failure(const std::string& cause) const {
    return "request to 127.0.0.1:" + std::to_string(port_) + " failed: " + cause;
  }

  const std::vector<HttpHeader> headers_ = {{"Authorization", "Bearer at-1"}};
  std::optional<sim::SimCloud> cloud_;
  std::uint16_t port_ = 0;
};

TEST_F(TransportTest, AnswerOf64MiBIsTakenAndOneByteMoreRefused) {
  StartCloud();
  constexpr std::size_t kLargest = std::size_t{64} * 1024 * 1024;
  cloud_->SetBehaviour({.statusPaddedTo = kLargest});
  EXPECT_EQ(PostStatus(headers_).size(), kLargest);
  cloud_->SetBehaviour({.statusPaddedTo = kLargest + 1});
  EXPECT_THAT([&] { static_cast<void>(PostStatus(headers_)); },
              ThrowsMessage<std::runtime_error>(Failure("response larger than 64 MiB")));
}

TEST_F(TransportTest, HeaderWithLineBreakOrSeparatorIsRefusedBeforeSending) {
  StartCloud();
  const std::vector<HttpHeader> refused = {{"Authorization", "Bearer at-1\r\nX-Injected: 1"},
                                           {"X-Injected: 1\r\nAuthorization", "Bearer at-1"},
                                           {"Authorization:", "Bearer at-1"},
                                           {"", "v"},
                                           {"X-Nul", std::string("a\0b", 3)}};
  for (const HttpHeader& header : refused) {
    EXPECT_THAT([&] { static_cast<void>(PostStatus({header})); },
                ThrowsMessage<std::runtime_error>(HasSubstr("invalid HTTP header")))
        << header.name;
  }
  EXPECT_TRUE(cloud_->Requests().empty());
}

}  // namespace
}  // namespace tavorin
