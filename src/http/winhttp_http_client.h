#pragma once
// The HTTP client on Windows, built on WinHTTP. One instance serves one request.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_client.h"

namespace tavorin::http {

struct WinHttpOptions {
  std::chrono::milliseconds connectTimeout = std::chrono::seconds(30);
  std::chrono::milliseconds totalTimeout = std::chrono::seconds(60);
};

class WinHttpClient final : public HttpClient {
 public:
  explicit WinHttpClient(WinHttpOptions options = {});

  // Never follows redirects and always verifies the peer's certificate and
  // host name against the system's trusted authorities.
  [[nodiscard]] std::string Post(const std::string& url, const std::vector<HttpHeader>& headers,
                                 std::string_view body) override;

 private:
  WinHttpOptions options_;
};

// A factory that hands out a new WinHttpClient with options for every request.
[[nodiscard]] HttpClientFactory WinHttpClientFactory(WinHttpOptions options = {});

}  // namespace tavorin::http
