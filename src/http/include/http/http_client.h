#pragma once
// The one thing the cloud client needs from the platform: send a POST and hand
// back the response body. The program sends through the platform's own client,
// WinHTTP on Windows and libcurl elsewhere; tests substitute a function.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::http {

struct HttpHeader {
  std::string name;
  std::string value;
};

// Sends body to url and returns the response body, whatever the HTTP status.
// Throws std::runtime_error naming the cause and host on transport failure.
using Post =
    std::function<std::string(const std::string& url, const std::vector<HttpHeader>& headers, std::string_view body)>;

struct PostOptions {
  std::chrono::milliseconds connectTimeout = std::chrono::seconds(30);
  std::chrono::milliseconds totalTimeout = std::chrono::seconds(60);
};

// A Post through the platform's own client, which is created for the one
// request and dropped after it. Never follows redirects and always verifies the
// peer's certificate, against the system's authorities, and host name.
[[nodiscard]] std::string PlatformPost(const std::string& url, const std::vector<HttpHeader>& headers,
                                       std::string_view body, const PostOptions& options = {});

}  // namespace tavorin::http
