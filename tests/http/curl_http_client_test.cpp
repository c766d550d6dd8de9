// What the libcurl client refuses, against the simulated cloud on loopback: an
// answer beyond its cap, which no answer in the end-to-end cases comes near,
// and a token that a token file may hold but a header cannot carry. What goes
// over the wire, TLS trust, time-outs and how a redirect ends, the end-to-end
// cases check with the program itself.

#include "http/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "cloud/request_bodies.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

using ::testing::ThrowsMessage;

std::string PostStatus(const sim::SimCloud& cloud, const std::string& token) {
  return http::PlatformPost(cloud.Root() + std::string(cloud::kStatusPath), {{"Authorization", "Bearer " + token}},
                            cloud::StatusBody("1000c8441f"));
}

TEST(CurlHttpClientTest, AnswerOf64MiBIsTakenAndOneByteMoreRefusedNamingTheHost) {
  sim::SimCloud cloud;
  const std::uint16_t port = cloud.Start();
  constexpr std::size_t kLargest = std::size_t{64} * 1024 * 1024;
  cloud.SetBehaviour({.statusPaddedTo = kLargest});
  EXPECT_EQ(PostStatus(cloud, "at-1").size(), kLargest);
  cloud.SetBehaviour({.statusPaddedTo = kLargest + 1});
  EXPECT_THAT([&cloud] { return PostStatus(cloud, "at-1"); },
              ThrowsMessage<std::runtime_error>("request to 127.0.0.1:" + std::to_string(port) +
                                                " failed: response larger than 64 MiB"));
}

// A token file's lines end only at line breaks, so a token may hold a NUL,
// where libcurl would cut the header short.
TEST(CurlHttpClientTest, TokenHoldingANulIsRefusedBeforeAnythingIsSent) {
  sim::SimCloud cloud;
  static_cast<void>(cloud.Start());
  EXPECT_THAT([&cloud] { return PostStatus(cloud, std::string("at\0-1", 5)); },
              ThrowsMessage<std::runtime_error>(::testing::HasSubstr("invalid HTTP header Authorization")));
  EXPECT_TRUE(cloud.Requests().empty());
}

}  // namespace
}  // namespace tavorin
