#pragma once
// The platform's own HTTP client: WinHTTP on Windows, libcurl elsewhere. It is
// declared once, here; each client's .cpp defines it, and the build compiles
// the platform's one. One instance serves one request.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_client.h"

namespace tavorin::http {

struct PlatformHttpOptions {
  std::chrono::milliseconds connectTimeout = std::chrono::seconds(30);
  std::chrono::milliseconds totalTimeout = std::chrono::seconds(60);
  // Certificate authorities to trust instead of the system's; empty for the
  // system's own store. Only the libcurl client takes such a file: the WinHTTP
  // client trusts the system's store alone and refuses one.
  std::filesystem::path caFile;
};

class PlatformHttpClient final : public HttpClient {
 public:
  explicit PlatformHttpClient(PlatformHttpOptions options = {});

  // Never follows redirects and always verifies the peer's certificate and
  // host name.
  [[nodiscard]] std::string Post(const std::string& url, const std::vector<HttpHeader>& headers,
                                 std::string_view body) override;

 private:
  PlatformHttpOptions options_;
};

// A factory that hands out a new PlatformHttpClient with options for every
// request.
[[nodiscard]] HttpClientFactory PlatformHttpClientFactory(PlatformHttpOptions options = {});

}  // namespace tavorin::http
