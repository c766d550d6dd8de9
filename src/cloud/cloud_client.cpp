#include "cloud/cloud_client.h"

#include <stdexcept>
#include <utility>

#include "cloud/request_bodies.h"
#include "scan/json_scan.h"

namespace tavorin::cloud {

CloudClient::CloudClient(HttpClientFactory newHttpClient, std::string apiRoot,
                         std::filesystem::path tokenFile)
    : newHttpClient_(std::move(newHttpClient)),
      apiRoot_(std::move(apiRoot)),
      tokenFile_(std::move(tokenFile)) {}

std::string CloudClient::CloudRequest(std::string_view path, std::string_view token,
                                      std::string_view body) const {
  const std::unique_ptr<HttpClient> client = newHttpClient_();
  if (!client) {
    throw std::runtime_error("cannot create an HTTP client");
  }
  const std::vector<HttpHeader> headers = {
      {"Authorization", "Bearer " + std::string(token)},
      {"Content-Type", "application/json"},
  };
  return client->Post(apiRoot_ + std::string(path), headers, body);
}

std::string CloudClient::ReadToken(std::string_view tokenType) const {
  return cloud::ReadToken(tokenFile_, tokenType);
}

void CloudClient::SaveTokens(std::string_view at, std::string_view rt) const {
  cloud::SaveTokens(tokenFile_, at, rt);
}

std::string CloudClient::RefreshToken() const {
  const std::string rt = ReadToken("rt");
  const std::string at = ReadToken("at");
  const std::string text = CloudRequest(kRefreshPath, at, RefreshBody(rt));
  std::string newAt = scan::ExtractJSON(text, "at");
  if (newAt.empty()) {
    return {};
  }
  const std::string newRt = scan::ExtractJSON(text, "rt");
  SaveTokens(newAt, newRt.empty() ? rt : newRt);
  return newAt;
}

std::string CloudClient::GetDeviceStatus(std::string_view deviceId) const {
  const std::string body = StatusBody(deviceId);
  std::string text = CloudRequest(kStatusPath, ReadToken("at"), body);
  if (!scan::Contains(text, kTokenRejected)) {
    return text;
  }
  const std::string newAt = RefreshToken();
  if (newAt.empty()) {
    return {};
  }
  return CloudRequest(kStatusPath, newAt, body);
}

}  // namespace tavorin::cloud
