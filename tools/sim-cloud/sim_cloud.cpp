#include "tools/sim-cloud/sim_cloud.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <optional>
#include <random>
#include <stdexcept>
#include <string_view>
#include <utility>

namespace tavorin::sim {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr std::string_view kRefreshPath = "/v2/user/refresh";
constexpr std::string_view kStatusPath = "/v2/device/thing";
constexpr std::string_view kSetPath = "/v2/device/thing/status";
constexpr const char* kJson = "application/json";

std::string Envelope(int error, std::string_view message, std::string_view data = "{}") {
  return "{\"error\":" + std::to_string(error) + ",\"msg\":\"" + std::string(message) +
         "\",\"data\":" + std::string(data) + "}";
}

// The string value of "key" in a request body as the program writes it, with
// no blanks around the colon and no escapes inside the value.
std::optional<std::string_view> StringField(std::string_view body, std::string_view key) {
  const std::string start = "\"" + std::string(key) + "\":\"";
  const std::size_t at = body.find(start);
  const std::size_t end = at == std::string_view::npos ? at : body.find('"', at + start.size());
  if (end == std::string_view::npos) {
    return std::nullopt;
  }
  return body.substr(at + start.size(), end - at - start.size());
}

std::string ThingData(const Behaviour& behaviour) {
  return std::string(R"({"thingList":[{"itemType":1,"itemData":{"deviceid":")") + kDeviceId +
         R"(","name":"Switch","online":)" + (behaviour.online ? "true" : "false") + R"(,"params":{"switch":")" +
         behaviour.switchValue + R"(","fwVersion":"3.7.1","rssi":-48,"pulse":"off"}}}]})";
}

// A token nobody holds, so the one a client stored stops matching.
std::string UnguessableToken() {
  std::random_device random;
  return "expired-" + std::to_string(random()) + std::to_string(random());
}

// Announces a whole answer but sends only its first half, then hangs up.
void SendTruncated(httplib::Response& response) {
  const std::string full = Envelope(0, "", ThingData(Behaviour{}));
  response.set_content_provider(full.size(), kJson, [full](std::size_t offset, std::size_t, httplib::DataSink& sink) {
    if (offset == 0) {
      sink.write(full.data(), full.size() / 2);
    }
    return false;
  });
}

// Worker threads inherit the signal mask of the thread that starts them; with
// SIGPIPE blocked there, answering a client that already hung up fails with
// EPIPE instead of ending the whole process.
void BlockBrokenPipeSignal() {
  sigset_t brokenPipe;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);
}

}  // namespace

SimCloud::SimCloud(std::optional<TlsFiles> tls) : tls_(std::move(tls)) {}

SimCloud::~SimCloud() {
  Stop();
}

std::uint16_t SimCloud::Start(std::uint16_t port) {
  if (server_) {
    throw std::logic_error("the simulated cloud is already running");
  }
  std::unique_ptr<httplib::Server> server;
  if (tls_) {
    server = std::make_unique<httplib::SSLServer>(tls_->certificate.c_str(), tls_->privateKey.c_str());
    if (!server->is_valid()) {
      throw std::runtime_error("cannot load the TLS certificate " + tls_->certificate.string() + " or key " +
                               tls_->privateKey.string());
    }
  } else {
    server = std::make_unique<httplib::Server>();
  }
  const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
    Handle(request, response);
  };
  server->Post(".*", handle);
  // The cloud takes only POSTs, but a client that follows a redirect may come
  // back with a GET: it is recorded and answered like any other request.
  server->Get(".*", handle);
  // Idle kept-alive connections would otherwise hold Stop() for seconds.
  server->set_keep_alive_timeout(1);
  // The library's default also sets SO_REUSEPORT, which would let a second
  // server share a port that is in use instead of failing to bind it.
  server->set_socket_options([](socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
  });

  const int bound = port == 0 ? server->bind_to_any_port(kHost) : (server->bind_to_port(kHost, port) ? port : -1);
  if (bound <= 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) +
                             ": the port is taken or not available");
  }
  {
    const std::lock_guard lock(mutex_);
    stopping_ = false;
    listenerEnded_ = false;
    port_ = static_cast<std::uint16_t>(bound);
  }
  server_ = std::move(server);
  listener_ = std::thread([this, listening = server_.get()] {
    BlockBrokenPipeSignal();
    static_cast<void>(listening->listen_after_bind());
    {
      const std::lock_guard lock(mutex_);
      listenerEnded_ = true;
    }
    stateChanged_.notify_all();
  });
  // The socket already queues connections, but Server::stop() is a no-op until
  // the accept loop runs, so wait for it to keep an early Stop() from hanging.
  std::unique_lock lock(mutex_);
  while (!server_->is_running()) {
    if (stateChanged_.wait_for(lock, std::chrono::milliseconds(1), [this] { return listenerEnded_; })) {
      lock.unlock();
      Stop();
      throw std::runtime_error("the simulated cloud stopped listening right after it started");
    }
  }
  return port_;
}

void SimCloud::Stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  stateChanged_.notify_all();
  if (server_) {
    server_->stop();
  }
  if (listener_.joinable()) {
    listener_.join();
  }
  server_.reset();
}

std::string SimCloud::Root() const {
  const std::lock_guard lock(mutex_);
  return std::string(tls_ ? "https" : "http") + "://" + kHost + ":" + std::to_string(port_);
}

void SimCloud::SetBehaviour(Behaviour behaviour) {
  const std::lock_guard lock(mutex_);
  behaviour_ = std::move(behaviour);
}

TokenPair SimCloud::Tokens() const {
  const std::lock_guard lock(mutex_);
  return tokens_;
}

void SimCloud::ExpireAccessToken() {
  const std::lock_guard lock(mutex_);
  tokens_.accessToken = UnguessableToken();
}

std::vector<RecordedRequest> SimCloud::Requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

void SimCloud::Handle(const httplib::Request& request, httplib::Response& response) {
  const RecordedRequest recorded{request.path, request.get_header_value("Authorization"), request.body};
  Behaviour behaviour;
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    behaviour = behaviour_;
  }
  if (behaviour.observer) {
    behaviour.observer(recorded);
  }
  switch (behaviour.fault) {
    case Fault::None:
      break;
    case Fault::Stall:
      if (!Pause(std::chrono::hours(1))) {
        return;
      }
      break;
    case Fault::Drop:
      SendTruncated(response);
      return;
    case Fault::Redirect:
      response.status = 302;
      response.set_header("Location", Root() + request.path);
      return;
  }

  Reply reply;
  {
    const std::lock_guard lock(mutex_);
    reply = AnswerLocked(recorded);
  }
  if (behaviour.answerDelay.count() > 0 && !Pause(behaviour.answerDelay)) {
    return;
  }
  response.status = reply.status;
  if (reply.paddedTo > reply.body.size()) {
    SendPadded(response, reply);
  } else {
    response.set_content(reply.body, kJson);
  }
}

// Written in pieces rather than held whole; the last byte comes after a pause,
// so that the client receives it on its own.
void SimCloud::SendPadded(httplib::Response& response, const Reply& reply) {
  response.set_content_provider(reply.paddedTo, kJson,
                                [this, reply](std::size_t, std::size_t, httplib::DataSink& sink) {
                                  const std::string piece(std::size_t{1024} * 1024, ' ');
                                  for (std::size_t left = reply.paddedTo - reply.body.size(); left > 0;) {
                                    const std::size_t size = std::min(left, piece.size());
                                    sink.write(piece.data(), size);
                                    left -= size;
                                  }
                                  sink.write(reply.body.data(), reply.body.size() - 1);
                                  if (!Pause(std::chrono::milliseconds(200))) {
                                    return false;
                                  }
                                  sink.write(&reply.body.back(), 1);
                                  return true;
                                });
}

bool SimCloud::Pause(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !stateChanged_.wait_for(lock, duration, [this] { return stopping_; });
}

SimCloud::Reply SimCloud::AnswerLocked(const RecordedRequest& request) {
  const std::string_view path = request.path;
  if (path == kRefreshPath) {
    if (StringField(request.body, "rt") != tokens_.refreshToken) {
      return {200, Envelope(401, "refresh token invalid")};
    }
    const std::string number = std::to_string(nextPairNumber_++);
    const bool slash = behaviour_.slashInAccessToken;
    std::string rt = "rt-" + number;
    rt.resize(std::max(rt.size(), behaviour_.refreshTokenLength), 'r');
    tokens_ = {(slash ? "at/" : "at-") + number, rt};
    return {200, Envelope(0, "",
                          R"({"at":")" + std::string(slash ? R"(at\/)" : "at-") + number + R"(","rt":")" + rt +
                              R"(","user":{}})")};
  }
  if (path != kStatusPath && path != kSetPath) {
    return {404, Envelope(404, "not found")};
  }
  if (request.authorization != "Bearer " + tokens_.accessToken) {
    return {200, Envelope(401, "token expired")};
  }
  if (StringField(request.body, "id") != kDeviceId) {
    return {200, Envelope(path == kStatusPath ? 405 : 400, "device does not exist")};
  }
  if (path == kSetPath) {
    const std::optional<std::string_view> value = StringField(request.body, "switch");
    if (!behaviour_.online || (value != "on" && value != "off")) {
      return {200, Envelope(400, "params incorrect")};
    }
    behaviour_.switchValue = std::string(*value);
    return {200, Envelope(0, "")};
  }
  return {200, Envelope(0, "", ThingData(behaviour_)), behaviour_.statusPaddedTo};
}

}  // namespace tavorin::sim
