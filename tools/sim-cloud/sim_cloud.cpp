#include "tools/sim-cloud/sim_cloud.h"

#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <random>
#include <stdexcept>
#include <utility>

namespace tavorin::sim {
namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr std::string_view kRefreshPath = "/v2/user/refresh";
constexpr std::string_view kStatusPath = "/v2/device/thing";
constexpr std::string_view kSetPath = "/v2/device/thing/status";
constexpr const char* kJson = "application/json";
constexpr std::size_t kLargestAnswer = std::size_t{64} * 1024 * 1024;
// Where the padding of the largest answer goes.
constexpr char kPaddingMark = '\x01';
constexpr std::size_t kGarbageSize = 4096;

std::string Envelope(int error, std::string_view message, std::string_view data = "{}") {
  return "{\"error\":" + std::to_string(error) + ",\"msg\":\"" + std::string(message) +
         "\",\"data\":" + std::string(data) + "}";
}

std::string Quote(std::string_view text) {
  static constexpr std::string_view kHex = "0123456789abcdef";
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      quoted += "\\u00";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xF];
    } else {
      quoted += c;
    }
  }
  return quoted + '"';
}

// The string value of the first "key" field in a small request body. Clients
// send plain tokens and ids, so escapes inside the value are not handled.
std::optional<std::string_view> StringField(std::string_view body, std::string_view key) {
  std::string quotedKey(1, '"');
  quotedKey.append(key).push_back('"');
  std::size_t at = body.find(quotedKey);
  if (at == std::string_view::npos) {
    return std::nullopt;
  }
  at += quotedKey.size();
  const auto skipBlanks = [&] {
    while (at < body.size() && (body[at] == ' ' || body[at] == '\t' || body[at] == '\n' || body[at] == '\r')) {
      ++at;
    }
  };
  skipBlanks();
  if (at >= body.size() || body[at] != ':') {
    return std::nullopt;
  }
  ++at;
  skipBlanks();
  if (at >= body.size() || body[at] != '"') {
    return std::nullopt;
  }
  const std::size_t end = body.find('"', at + 1);
  if (end == std::string_view::npos) {
    return std::nullopt;
  }
  return body.substr(at + 1, end - at - 1);
}

// name goes in as it is, unquoted: a careless cloud's answer. A padded item
// holds a padding field whose text is kPaddingMark, to be replaced by x's.
std::string ThingData(const Device& device, bool padded = false, std::string_view name = "Switch") {
  std::string item = "{\"deviceid\":" + Quote(device.id) + ",\"name\":\"" + std::string(name) + "\",";
  if (padded) {
    item += std::string("\"padding\":\"") + kPaddingMark + "\",";
  }
  item += std::string("\"online\":") + (device.online ? "true" : "false") +
          ",\"params\":{\"switch\":" + Quote(device.switchValue) + ",\"fwVersion\":" + Quote(device.fwVersion) +
          ",\"rssi\":" + std::to_string(device.rssi) + ",\"pulse\":" + Quote(device.pulse) + "}}";
  return "{\"thingList\":[{\"itemType\":1,\"itemData\":" + item + "}]}";
}

// A token nobody holds, so the one a client stored stops matching.
std::string UnguessableToken() {
  std::random_device random;
  return "expired-" + std::to_string(random()) + std::to_string(random());
}

// The same bytes every time, covering all 256 values, NUL included.
std::string Garbage() {
  std::string bytes(kGarbageSize, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>((i * 167 + 13) % 256);
  }
  return bytes;
}

// Announces a whole answer but sends only its first half, then hangs up.
void SendTruncated(httplib::Response& response) {
  const std::string full = Envelope(0, "", ThingData(Device{}));
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

void SimCloud::SetTokens(TokenPair tokens) {
  const std::lock_guard lock(mutex_);
  tokens_ = std::move(tokens);
}

TokenPair SimCloud::Tokens() const {
  const std::lock_guard lock(mutex_);
  return tokens_;
}

void SimCloud::ExpireAccessToken() {
  const std::lock_guard lock(mutex_);
  tokens_.accessToken = UnguessableToken();
}

void SimCloud::RejectEveryToken(bool reject) {
  const std::lock_guard lock(mutex_);
  rejectEveryToken_ = reject;
}

void SimCloud::SetDevice(Device device) {
  const std::lock_guard lock(mutex_);
  device_ = std::move(device);
}

Device SimCloud::GetDevice() const {
  const std::lock_guard lock(mutex_);
  return device_;
}

void SimCloud::SetRefreshReply(RefreshReply reply) {
  const std::lock_guard lock(mutex_);
  refreshReply_ = reply;
}

void SimCloud::SetSetReply(SetReply reply) {
  const std::lock_guard lock(mutex_);
  setReply_ = reply;
}

void SimCloud::SetStatusReply(StatusReply reply) {
  const std::lock_guard lock(mutex_);
  statusReply_ = reply;
}

void SimCloud::SetFault(Fault fault, std::chrono::milliseconds stallFor) {
  const std::lock_guard lock(mutex_);
  fault_ = fault;
  stallFor_ = stallFor;
}

void SimCloud::SetAnswerDelay(std::chrono::milliseconds delay) {
  const std::lock_guard lock(mutex_);
  answerDelay_ = delay;
}

void SimCloud::SetRequestObserver(RequestObserver observer) {
  const std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

std::vector<RecordedRequest> SimCloud::Requests() const {
  const std::lock_guard lock(mutex_);
  return requests_;
}

void SimCloud::Handle(const httplib::Request& request, httplib::Response& response) {
  const RecordedRequest recorded{request.path, request.get_header_value("Authorization"),
                                 request.get_header_value("Content-Type"), request.body};
  RequestObserver observer;
  Fault fault = Fault::None;
  std::chrono::milliseconds stallFor{};
  {
    const std::lock_guard lock(mutex_);
    requests_.push_back(recorded);
    observer = observer_;
    fault = fault_;
    stallFor = stallFor_;
  }
  if (observer) {
    observer(recorded);
  }

  switch (fault) {
    case Fault::None:
      break;
    case Fault::Stall:
      if (!StallFor(stallFor)) {
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
  std::chrono::milliseconds answerDelay{};
  bool oneMore = false;
  bool padded = false;
  {
    const std::lock_guard lock(mutex_);
    reply = AnswerLocked(recorded.path, recorded.authorization, recorded.body);
    answerDelay = answerDelay_;
    oneMore = statusReply_ == StatusReply::TooLarge;
    padded = oneMore || statusReply_ == StatusReply::Largest;
  }
  if (answerDelay.count() > 0 && !StallFor(answerDelay)) {
    return;
  }
  response.status = reply.status;
  // Only the large answers are padded: other bodies, binary garbage above all,
  // may hold the mark's byte as it stands.
  const std::size_t mark = padded ? reply.body.find(kPaddingMark) : std::string::npos;
  if (mark == std::string::npos) {
    response.set_content(reply.body, kJson);
    return;
  }
  // Written in pieces rather than held whole; one byte too many comes last,
  // after a pause, so that the client receives it on its own.
  response.set_content_provider(kLargestAnswer + (oneMore ? 1 : 0), kJson,
                                [this, oneMore, head = reply.body.substr(0, mark), tail = reply.body.substr(mark + 1)](
                                    std::size_t, std::size_t, httplib::DataSink& sink) {
                                  const std::string piece(std::size_t{1024} * 1024, 'x');
                                  sink.write(head.data(), head.size());
                                  for (std::size_t left = kLargestAnswer - head.size() - tail.size(); left > 0;) {
                                    const std::size_t size = std::min(left, piece.size());
                                    sink.write(piece.data(), size);
                                    left -= size;
                                  }
                                  sink.write(tail.data(), tail.size());
                                  if (oneMore && StallFor(std::chrono::milliseconds(500))) {
                                    sink.write("\n", 1);
                                  }
                                  return true;
                                });
}

bool SimCloud::StallFor(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  return !stateChanged_.wait_for(lock, duration, [this] { return stopping_; });
}

SimCloud::Reply SimCloud::AnswerLocked(std::string_view path, std::string_view authorization, std::string_view body) {
  if (path == kRefreshPath) {
    return RefreshLocked(body);
  }
  if (path != kStatusPath && path != kSetPath) {
    return {404, Envelope(404, "not found")};
  }
  if (rejectEveryToken_ || authorization != "Bearer " + tokens_.accessToken) {
    return {200, Envelope(401, "token expired")};
  }
  return path == kStatusPath ? StatusLocked(body) : SetLocked(body);
}

SimCloud::Reply SimCloud::RefreshLocked(std::string_view body) {
  const std::optional<std::string_view> refreshToken = StringField(body, "rt");
  if (!refreshToken || refreshToken->empty() || *refreshToken != tokens_.refreshToken) {
    return {200, Envelope(401, "refresh token invalid")};
  }
  const std::string number = std::to_string(nextPairNumber_);
  const TokenPair issued{"at-" + number, "rt-" + number};
  switch (refreshReply_) {
    case RefreshReply::NewPair:
      tokens_ = issued;
      ++nextPairNumber_;
      return {200, Envelope(0, "",
                            "{\"at\":" + Quote(issued.accessToken) + ",\"rt\":" + Quote(issued.refreshToken) +
                                ",\"user\":{}}")};
    case RefreshReply::NoAt:
      return {200, Envelope(0, "", "{\"rt\":" + Quote(issued.refreshToken) + ",\"user\":{}}")};
    case RefreshReply::NoRt:
      tokens_.accessToken = issued.accessToken;
      ++nextPairNumber_;
      return {200, Envelope(0, "", "{\"at\":" + Quote(issued.accessToken) + ",\"user\":{}}")};
    case RefreshReply::EmptyAt:
      return {200, Envelope(0, "", "{\"at\":\"\",\"rt\":" + Quote(issued.refreshToken) + ",\"user\":{}}")};
    case RefreshReply::UnterminatedAt:
      return {200, "{\"error\":0,\"msg\":\"\",\"data\":{\"at\":\"" + issued.accessToken};
  }
  return {500, Envelope(500, "unknown refresh reply")};
}

SimCloud::Reply SimCloud::StatusLocked(std::string_view body) const {
  switch (statusReply_) {
    case StatusReply::ErrorReply:
      return {200, Envelope(406, "internal error")};
    case StatusReply::Empty:
      return {200, ""};
    case StatusReply::Garbage:
      return {200, Garbage()};
    case StatusReply::Normal:
    case StatusReply::Largest:
    case StatusReply::TooLarge:
    case StatusReply::Truncated:
    case StatusReply::MarkerInValue:
      break;
  }
  if (StringField(body, "id") != device_.id) {
    return {200, Envelope(405, "device does not exist")};
  }
  const bool padded = statusReply_ == StatusReply::Largest || statusReply_ == StatusReply::TooLarge;
  const std::string_view name = statusReply_ == StatusReply::MarkerInValue ? "Switch \"error\":401 hall" : "Switch";
  std::string answer = Envelope(0, "", ThingData(device_, padded, name));
  if (statusReply_ == StatusReply::Truncated) {
    constexpr std::string_view kSwitchValue = "\"switch\":\"";
    answer.resize(answer.find(kSwitchValue) + kSwitchValue.size() + 1);
  }
  return {200, answer};
}

SimCloud::Reply SimCloud::SetLocked(std::string_view body) {
  const std::optional<std::string_view> value = StringField(body, "switch");
  const bool accepted = setReply_ != SetReply::Refuse && device_.online && StringField(body, "id") == device_.id &&
                        (value == "on" || value == "off");
  if (!accepted) {
    return {200, Envelope(400, "params incorrect")};
  }
  if (setReply_ == SetReply::Apply) {
    device_.switchValue = std::string(*value);
  }
  return {200, Envelope(0, "")};
}

}  // namespace tavorin::sim
