// The libcurl client's cap on the answer, against the simulated cloud on
// loopback: no answer the end-to-end cases get comes near it. What goes over
// the wire, TLS trust, time-outs and how a redirect ends, the end-to-end cases
// check with the program itself.

#include "http/http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "cloud/request_bodies.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

TEST(CurlHttpClientTest, AnswerOf64MiBIsTakenAndOneByteMoreRefusedNamingTheHost) {
  sim::SimCloud cloud;
  const std::uint16_t port = cloud.Start();
  const auto postStatus = [&cloud] {
    return http::PlatformPost(cloud.Root() + std::string(cloud::kStatusPath), {{"Authorization", "Bearer at-1"}},
                              cloud::StatusBody("1000c8441f"));
  };
  constexpr std::size_t kLargest = std::size_t{64} * 1024 * 1024;
  cloud.SetBehaviour({.statusPaddedTo = kLargest});
  EXPECT_EQ(postStatus().size(), kLargest);
  cloud.SetBehaviour({.statusPaddedTo = kLargest + 1});
  EXPECT_THAT(postStatus, ::testing::ThrowsMessage<std::runtime_error>("request to 127.0.0.1:" + std::to_string(port) +
                                                                       " failed: response larger than 64 MiB"));
}

}  // namespace
}  // namespace tavorin
