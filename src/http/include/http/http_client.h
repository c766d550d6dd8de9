#pragma once
// The one thing the cloud client needs from the platform: send a POST and hand
// back the response body. Every request gets a fresh client from the factory
// and drops it afterwards; tests substitute a fake.

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tavorin::http {

struct HttpHeader {
  std::string name;
  std::string value;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;

  // Sends body to url and returns the response body, whatever the HTTP status.
  // Throws std::runtime_error naming the cause and host on transport failure.
  [[nodiscard]] virtual std::string Post(const std::string& url, const std::vector<HttpHeader>& headers,
                                         std::string_view body) = 0;
};

using HttpClientFactory = std::function<std::unique_ptr<HttpClient>()>;

}  // namespace tavorin::http
