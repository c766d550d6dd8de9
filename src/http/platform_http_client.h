#pragma once
// The platform's own HTTP client: WinHTTP on Windows, libcurl elsewhere.

#include <chrono>

#if defined(_WIN32)
#include "http/winhttp_http_client.h"
#else
#include "http/curl_http_client.h"
#endif

namespace tavorin::http {

// A factory of the platform's client, each request bounded by totalTimeout.
[[nodiscard]] inline HttpClientFactory PlatformHttpClientFactory(std::chrono::milliseconds totalTimeout) {
#if defined(_WIN32)
  WinHttpOptions options;
  options.totalTimeout = totalTimeout;
  return WinHttpClientFactory(options);
#else
  CurlOptions options;
  options.totalTimeout = totalTimeout;
  return CurlHttpClientFactory(options);
#endif
}

}  // namespace tavorin::http
