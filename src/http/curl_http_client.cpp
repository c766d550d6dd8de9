// The platform's HTTP client on Linux, built on libcurl.
#include "http/http_client.h"

#include <curl/curl.h>

#include <memory>
#include <new>
#include <stdexcept>

#include "http_client_common.h"

namespace tavorin::http {
namespace {

struct EasyCleanup {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;

struct SlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistFree>;

// curl_global_init must run before the first handle; one static instance does
// it once for the process and is never modified afterwards.
struct CurlGlobal {
  CurlGlobal() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~CurlGlobal() { curl_global_cleanup(); }
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;
};

struct ResponseBuffer {
  std::string body;
  bool tooLarge = false;
};

// Returning less than was given makes libcurl abort the transfer; no exception
// may cross its C frames.
std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* target) noexcept {
  auto* response = static_cast<ResponseBuffer*>(target);
  const std::size_t length = size * count;
  if (response->body.size() + length > kMaxResponseSize) {
    response->tooLarge = true;
    return 0;
  }
  try {
    response->body.append(data, length);
  } catch (const std::bad_alloc&) {
    response->tooLarge = true;
    return 0;
  }
  return length;
}

template <typename Value>
void SetOption(CURL* handle, CURLoption option, Value value) {
  if (const CURLcode code = curl_easy_setopt(handle, option, value); code != CURLE_OK) {
    throw std::runtime_error(std::string("cannot set up the HTTP request: ") + curl_easy_strerror(code));
  }
}

HeaderList BuildHeaders(const std::vector<HttpHeader>& headers) {
  HeaderList list;
  auto append = [&list](const std::string& line) {
    curl_slist* extended = curl_slist_append(list.get(), line.c_str());
    if (extended == nullptr) {
      throw std::runtime_error("cannot set up the HTTP request: out of memory");
    }
    static_cast<void>(list.release());
    list.reset(extended);
  };
  for (const HttpHeader& header : headers) {
    CheckHeader(header);
    // libcurl drops a header written as "Name:" with nothing after it; "Name;"
    // sends it with an empty value.
    append(header.value.empty() ? header.name + ";" : header.name + ": " + header.value);
  }
  // Send the body at once instead of waiting for a 100-continue answer.
  append("Expect:");
  return list;
}

}  // namespace

std::string PlatformPost(const std::string& url, const std::vector<HttpHeader>& headers, std::string_view body,
                         const PostOptions& options) {
  static const CurlGlobal global;
  const EasyHandle handle(curl_easy_init());
  if (!handle) {
    throw std::runtime_error("cannot create an HTTP client");
  }
  CURL* curl = handle.get();
  const HeaderList headerList = BuildHeaders(headers);
  ResponseBuffer response;
  char errorText[CURL_ERROR_SIZE] = {};

  SetOption(curl, CURLOPT_URL, url.c_str());
  SetOption(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  SetOption(curl, CURLOPT_POST, 1L);
  SetOption(curl, CURLOPT_POSTFIELDS, body.data());
  SetOption(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  SetOption(curl, CURLOPT_HTTPHEADER, headerList.get());
  SetOption(curl, CURLOPT_FOLLOWLOCATION, 0L);
  SetOption(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  SetOption(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  SetOption(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connectTimeout.count()));
  SetOption(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(options.totalTimeout.count()));
  SetOption(curl, CURLOPT_NOSIGNAL, 1L);
  SetOption(curl, CURLOPT_WRITEFUNCTION, &AppendBody);
  SetOption(curl, CURLOPT_WRITEDATA, &response);
  SetOption(curl, CURLOPT_ERRORBUFFER, errorText);

  if (const CURLcode code = curl_easy_perform(curl); code != CURLE_OK) {
    if (response.tooLarge) {
      throw std::runtime_error(RequestFailure(url, ResponseTooLarge()));
    }
    // One cause: libcurl's detail of this failure where it left one, which
    // says more than the text of its code.
    throw std::runtime_error(RequestFailure(url, errorText[0] != '\0' ? errorText : curl_easy_strerror(code)));
  }
  return std::move(response.body);
}

}  // namespace tavorin::http
