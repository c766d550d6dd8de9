// The libcurl client against the simulated cloud on loopback: an error status's
// answer, TLS trust and header injection. What goes over the wire and how a
// redirect ends, the end-to-end cases check with the program itself. A few
// cases pin down the simulated cloud's own behaviour that those cases build on.

#include "http/platform_http_client.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cloud/request_bodies.h"
#include "tests/support/temp_dir.h"
#include "tools/sim-cloud/self_signed_certificate.h"
#include "tools/sim-cloud/sim_cloud.h"

namespace tavorin {
namespace {

using http::HttpHeader;
using http::PlatformHttpClient;
using http::PlatformHttpOptions;
using ::testing::AllOf;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using ::testing::ThrowsMessage;

constexpr std::string_view kDeviceId = "1000c8441f";
constexpr std::string_view kTokenExpired = R"({"error":401,"msg":"token expired","data":{}})";

class TransportTest : public ::testing::Test {
 protected:
  // Starts the cloud, over HTTPS with a fresh self-signed certificate if asked.
  void StartCloud(bool tls = false) {
    std::optional<sim::TlsFiles> files;
    if (tls) {
      files = sim::GenerateSelfSignedCertificate(dir_.path());
      caFile_ = files->certificate;
    }
    cloud_.emplace(files);
    port_ = cloud_->Start();
  }

  [[nodiscard]] std::string Url(std::string_view path) const { return cloud_->Root() + std::string(path); }
  [[nodiscard]] std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }

  [[nodiscard]] std::string Post(std::string_view path, std::string_view body, const std::string& token = "at-1",
                                 PlatformHttpOptions options = {}) const {
    PlatformHttpClient client(std::move(options));
    return client.Post(Url(path), {{"Authorization", "Bearer " + token}, {"Content-Type", "application/json"}}, body);
  }

  testing::TempDir dir_;
  std::filesystem::path caFile_;
  std::optional<sim::SimCloud> cloud_;
  std::uint16_t port_ = 0;
};

TEST_F(TransportTest, AnswerBodyIsReturnedWhateverTheStatus) {
  StartCloud();
  EXPECT_EQ(Post("/v2/no/such/path", "{}"), R"({"error":404,"msg":"not found","data":{}})");
}

TEST_F(TransportTest, HttpsTrustsOnlyTheGivenCertificate) {
  StartCloud(/*tls=*/true);
  const std::string body = cloud::StatusBody(kDeviceId);

  EXPECT_THAT(Post(cloud::kStatusPath, body, "at-1", {.caFile = caFile_}), StartsWith(R"({"error":0,)"));
  EXPECT_THAT([&] { static_cast<void>(Post(cloud::kStatusPath, body)); },
              ThrowsMessage<std::runtime_error>(AllOf(HasSubstr(Host()), ContainsRegex("certificate|SSL"))));
  EXPECT_EQ(cloud_->Requests().size(), 1U);
}

TEST_F(TransportTest, HeaderWithLineBreakOrSeparatorIsRefusedBeforeSending) {
  StartCloud();
  const std::vector<std::vector<HttpHeader>> injections = {
      {{"Authorization", "Bearer at-1\r\nX-Injected: 1"}},
      {{"X-Injected: 1\r\nAuthorization", "Bearer at-1"}},
      {{"Authorization:", "Bearer at-1"}},
  };
  for (const std::vector<HttpHeader>& headers : injections) {
    PlatformHttpClient client;
    EXPECT_THROW(static_cast<void>(client.Post(Url(cloud::kStatusPath), headers, "{}")), std::runtime_error)
        << headers[0].name;
  }
  EXPECT_TRUE(cloud_->Requests().empty());
}

TEST_F(TransportTest, SimulatedCloudRefreshIssuesNewPairAndRetiresTheOldOne) {
  StartCloud();
  EXPECT_EQ(Post(cloud::kRefreshPath, cloud::RefreshBody("rt-1"), ""),
            R"({"error":0,"msg":"","data":{"at":"at-2","rt":"rt-2","user":{}}})");
  EXPECT_EQ(cloud_->Tokens().accessToken, "at-2");
  EXPECT_EQ(cloud_->Tokens().refreshToken, "rt-2");
  EXPECT_EQ(Post(cloud::kStatusPath, cloud::StatusBody(kDeviceId), "at-1"), kTokenExpired);
  EXPECT_THAT(Post(cloud::kStatusPath, cloud::StatusBody(kDeviceId), "at-2"), StartsWith(R"({"error":0,)"));
  EXPECT_EQ(Post(cloud::kRefreshPath, cloud::RefreshBody("rt-1"), ""),
            R"({"error":401,"msg":"refresh token invalid","data":{}})");
}

TEST_F(TransportTest, SimulatedCloudRefusesATakenPort) {
  StartCloud();
  sim::SimCloud second;
  EXPECT_THAT([&] { static_cast<void>(second.Start(port_)); },
              ThrowsMessage<std::runtime_error>(HasSubstr(std::to_string(port_))));
}

}  // namespace
}  // namespace tavorin
