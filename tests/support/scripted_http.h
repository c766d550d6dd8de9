#pragma once
// A stand-in for the platform HTTP client: answers requests from a script of
// replies, in order, and records every request it was sent.

#include <deque>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "http/http_client.h"

namespace tavorin::testing {

struct SentRequest {
  std::string url;
  std::vector<http::HttpHeader> headers;
  std::string body;

  [[nodiscard]] std::string Header(const std::string& name) const {
    for (const http::HttpHeader& header : headers) {
      if (header.name == name) {
        return header.value;
      }
    }
    return "<absent>";
  }
};

class ScriptedHttp {
 public:
  // whileSending runs as the request is answered, standing for whatever else
  // happens meanwhile, such as another run saving a token pair.
  void Reply(std::string body, std::function<void()> whileSending = {}) {
    state_->replies.push_back({std::move(body), std::move(whileSending)});
  }

  // A request with no reply left in the script fails like a transport error;
  // a client instance used for a second request fails the test.
  [[nodiscard]] http::HttpClientFactory Factory() const {
    return [state = state_]() -> std::unique_ptr<http::HttpClient> { return std::make_unique<Client>(state); };
  }

  [[nodiscard]] const std::vector<SentRequest>& Sent() const { return state_->sent; }
  [[nodiscard]] std::size_t RepliesLeft() const { return state_->replies.size(); }

 private:
  struct State {
    struct ScriptedReply {
      std::string body;
      std::function<void()> whileSending;
    };
    std::deque<ScriptedReply> replies;
    std::vector<SentRequest> sent;
  };

  class Client final : public http::HttpClient {
   public:
    explicit Client(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::string Post(const std::string& url, const std::vector<http::HttpHeader>& headers,
                     std::string_view body) override {
      if (used_) {
        throw std::logic_error("an HTTP client instance was used for a second request");
      }
      used_ = true;
      state_->sent.push_back({url, headers, std::string(body)});
      if (state_->replies.empty()) {
        throw std::runtime_error("request to scripted host failed: connection refused");
      }
      State::ScriptedReply reply = std::move(state_->replies.front());
      state_->replies.pop_front();
      if (reply.whileSending) {
        reply.whileSending();
      }
      return std::move(reply.body);
    }

   private:
    std::shared_ptr<State> state_;
    bool used_ = false;
  };

  std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace tavorin::testing
