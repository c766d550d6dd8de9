#include "http_client_common.h"

#include <stdexcept>

namespace tavorin::http {
namespace {

// The host (and port, where one is given) of an http or https URL.
std::string_view HostOf(std::string_view url) {
  const std::size_t schemeEnd = url.find("://");
  if (schemeEnd != std::string_view::npos) {
    url.remove_prefix(schemeEnd + 3);
  }
  return url.substr(0, url.find_first_of("/?#"));
}

}  // namespace

void CheckHeader(const HttpHeader& header) {
  using namespace std::string_view_literals;
  if (header.name.empty() || header.name.find_first_of(":\r\n\0"sv) != std::string::npos ||
      header.value.find_first_of("\r\n\0"sv) != std::string::npos) {
    throw std::runtime_error("invalid HTTP header " + header.name + ": contains a line break or separator");
  }
}

std::string RequestFailure(std::string_view url, std::string_view cause) {
  return "request to " + std::string(HostOf(url)) + " failed: " + std::string(cause);
}

std::string ResponseTooLarge() {
  return "response larger than " + std::to_string(kMaxResponseSize / (std::size_t{1024} * 1024)) + " MiB";
}

}  // namespace tavorin::http
