#pragma once
// The HTTP client on Linux, built on libcurl. One instance serves one request.

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_client.h"

namespace tavorin::http {

struct CurlOptions {
  std::chrono::milliseconds connectTimeout = std::chrono::seconds(30);
  std::chrono::milliseconds totalTimeout = std::chrono::seconds(60);
  // Certificate authorities to trust instead of the system's; empty for the
  // system's own store.
  std::filesystem::path caFile;
};

class CurlHttpClient final : public HttpClient {
 public:
  explicit CurlHttpClient(CurlOptions options = {});

  // Never follows redirects and always verifies the peer's certificate and host.
  [[nodiscard]] std::string Post(const std::string& url, const std::vector<HttpHeader>& headers,
                                 std::string_view body) override;

 private:
  CurlOptions options_;
};

// A factory that hands out a new CurlHttpClient with options for every request.
[[nodiscard]] HttpClientFactory CurlHttpClientFactory(CurlOptions options = {});

}  // namespace tavorin::http
