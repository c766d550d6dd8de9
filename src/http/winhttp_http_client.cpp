// The platform's HTTP client on Windows, built on WinHTTP.
#include "http/http_client.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <stdexcept>

#include "http_client_common.h"
#include "os/windows_text.h"

namespace tavorin::http {
namespace {

struct InternetHandleClose {
  void operator()(void* handle) const { ::WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleClose>;

// The meaning of the WinHTTP errors a request most often ends with, for
// systems whose message tables lack them.
std::string_view KnownMeaning(DWORD code) {
  switch (code) {
    case ERROR_WINHTTP_TIMEOUT:
      return "the operation timed out";
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return "the server name could not be resolved";
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return "cannot connect to the server";
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return "the connection was reset or ended";
    case ERROR_WINHTTP_INVALID_SERVER_RESPONSE:
      return "the server's response is not valid HTTP";
    case ERROR_WINHTTP_SECURE_FAILURE:
      return "secure connection failed: the server's certificate is not trusted";
    case ERROR_WINHTTP_SECURE_CHANNEL_ERROR:
      return "the secure connection could not be set up (TLS handshake failed)";
    case ERROR_WINHTTP_SECURE_INVALID_CA:
      return "the server's certificate is issued by an untrusted authority";
    case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
      return "the server's certificate is for another host";
    case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
      return "the server's certificate has expired or is not yet valid";
    case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
      return "the URL's scheme is neither http nor https";
    case ERROR_WINHTTP_INVALID_URL:
      return "the URL is not valid";
    default:
      return {};
  }
}

// The request's failure as the error to raise: the meaning of the WinHTTP
// error code, then the code itself.
[[noreturn]] void Fail(const std::string& url, DWORD code) {
  std::string meaning(KnownMeaning(code));
  if (meaning.empty()) {
    meaning = os::SystemErrorText(code, L"winhttp.dll");
  }
  if (meaning.empty()) {
    meaning = "unknown error";
  }
  throw std::runtime_error(RequestFailure(url, meaning + " (WinHTTP error " + std::to_string(code) + ")"));
}

struct UrlParts {
  bool secure = false;
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring pathAndQuery;
};

UrlParts SplitUrl(const std::string& url) {
  const std::wstring wideUrl = os::ToUtf16(url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  if (::WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts) == 0) {
    Fail(url, ::GetLastError());
  }
  UrlParts split;
  split.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  split.host.assign(parts.lpszHostName, parts.dwHostNameLength);
  split.port = parts.nPort;
  split.pathAndQuery.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
  split.pathAndQuery.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (split.pathAndQuery.empty()) {
    split.pathAndQuery = L"/";
  }
  return split;
}

std::wstring HeaderBlock(const std::vector<HttpHeader>& headers) {
  std::string block;
  for (const HttpHeader& header : headers) {
    CheckHeader(header);
    block += header.name + ": " + header.value + "\r\n";
  }
  return os::ToUtf16(block);
}

int TimeoutMs(std::chrono::milliseconds timeout) {
  return static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 1, INT_MAX));
}

// What is left of the whole request's time; WinHTTP only bounds each step.
class Deadline {
 public:
  explicit Deadline(const PostOptions& options)
      : end_(std::chrono::steady_clock::now() + options.totalTimeout), connect_(options.connectTimeout) {}

  // Bounds the next step by the time that is left (name look-up and connection
  // by the connect time-out too), or fails as a time-out when none is left.
  void Apply(HINTERNET request, const std::string& url) const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      Fail(url, ERROR_WINHTTP_TIMEOUT);
    }
    const int connectMs = TimeoutMs(std::min(left, connect_));
    const int ms = TimeoutMs(left);
    // The wait for the response headers has a time-out of its own.
    DWORD headersMs = static_cast<DWORD>(ms);
    if (::WinHttpSetTimeouts(request, connectMs, connectMs, ms, ms) == 0 ||
        ::WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersMs, sizeof headersMs) == 0) {
      Fail(url, ::GetLastError());
    }
  }

 private:
  std::chrono::steady_clock::time_point end_;
  std::chrono::milliseconds connect_;
};

// WinHTTP reports a connection that ends early as the end of the answer: an
// answer shorter than its announced length is a transport failure, as it is
// everywhere else, not a shorter answer.
void CheckComplete(HINTERNET request, const std::string& url, std::size_t received) {
  wchar_t length[32] = {};
  DWORD size = sizeof length;
  if (::WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX, length, &size,
                            WINHTTP_NO_HEADER_INDEX) == 0) {
    return;  // no length announced: the end of the connection ends the answer
  }
  const std::string announced = os::ToUtf8(length);
  if (announced != std::to_string(received)) {
    throw std::runtime_error(RequestFailure(
        url, "the connection ended after " + std::to_string(received) + " of " + announced + " bytes of the answer"));
  }
}

}  // namespace

std::string PlatformPost(const std::string& url, const std::vector<HttpHeader>& headers, std::string_view body,
                         const PostOptions& options) {
  const std::wstring headerBlock = HeaderBlock(headers);
  if (body.size() > MAXDWORD) {
    throw std::runtime_error(RequestFailure(url, "request body too large"));
  }
  const UrlParts parts = SplitUrl(url);
  const Deadline deadline(options);

  const InternetHandle session(
      ::WinHttpOpen(L"Tavorin", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) {
    Fail(url, ::GetLastError());
  }
  const InternetHandle connection(::WinHttpConnect(session.get(), parts.host.c_str(), parts.port, 0));
  if (!connection) {
    Fail(url, ::GetLastError());
  }
  const InternetHandle request(::WinHttpOpenRequest(connection.get(), L"POST", parts.pathAndQuery.c_str(), nullptr,
                                                    WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                                    parts.secure ? WINHTTP_FLAG_SECURE : 0));
  if (!request) {
    Fail(url, ::GetLastError());
  }
  // A redirect's answer is returned as it is, like any other status.
  DWORD disable = WINHTTP_DISABLE_REDIRECTS;
  if (::WinHttpSetOption(request.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disable, sizeof disable) == 0) {
    Fail(url, ::GetLastError());
  }

  const auto bodyLength = static_cast<DWORD>(body.size());
  deadline.Apply(request.get(), url);
  if (::WinHttpSendRequest(request.get(), headerBlock.empty() ? WINHTTP_NO_ADDITIONAL_HEADERS : headerBlock.c_str(),
                           static_cast<DWORD>(headerBlock.size()), const_cast<char*>(body.data()), bodyLength,
                           bodyLength, 0) == 0) {
    Fail(url, ::GetLastError());
  }
  deadline.Apply(request.get(), url);
  if (::WinHttpReceiveResponse(request.get(), nullptr) == 0) {
    Fail(url, ::GetLastError());
  }

  std::string response;
  while (true) {
    deadline.Apply(request.get(), url);
    DWORD available = 0;
    if (::WinHttpQueryDataAvailable(request.get(), &available) == 0) {
      Fail(url, ::GetLastError());
    }
    if (available == 0) {
      CheckComplete(request.get(), url, response.size());
      return response;
    }
    if (response.size() + available > kMaxResponseSize) {
      throw std::runtime_error(RequestFailure(url, ResponseTooLarge()));
    }
    const std::size_t start = response.size();
    response.resize(start + available);
    DWORD read = 0;
    if (::WinHttpReadData(request.get(), response.data() + start, available, &read) == 0) {
      Fail(url, ::GetLastError());
    }
    response.resize(start + read);
  }
}

}  // namespace tavorin::http
