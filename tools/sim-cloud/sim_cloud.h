#pragma once
// A stand-in for the device cloud on loopback: the three API paths the program
// uses, one switch, and a behaviour that makes the cloud misbehave in the ways
// tests need.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tavorin::sim {

// The one device the cloud knows.
inline constexpr const char* kDeviceId = "1000c8441f";

struct TlsFiles {
  std::filesystem::path certificate;
  std::filesystem::path privateKey;
};

struct TokenPair {
  std::string accessToken;
  std::string refreshToken;
};

struct RecordedRequest {
  std::string path;
  std::string authorization;
  std::string body;
};

// Transport faults, met by every path before anything else: Stall answers only
// once the cloud stops, Drop hangs up halfway through the answer and Redirect
// sends the client to the same path again.
enum class Fault { None, Stall, Drop, Redirect };

// How the cloud behaves, set whole in one call.
struct Behaviour {
  bool online = true;
  // The switch value to begin with; set requests change it.
  std::string switchValue = "off";
  // Where larger than the status answer, the size it is padded to with blanks
  // ahead of it. Its last byte then comes on its own after a pause, so that a
  // client must count across the pieces it receives.
  std::size_t statusPaddedTo = 0;
  Fault fault = Fault::None;
  // Every answer leaves this long after the cloud has acted on its request, as
  // over a slow network: a refreshed pair is already the only valid one.
  std::chrono::milliseconds answerDelay{};
  // A refresh issues the access token at/N, which its answer writes at\/N as
  // JSON may.
  bool slashInAccessToken = false;
  // Where longer, the length a refresh pads the refresh token it issues to.
  std::size_t refreshTokenLength = 0;
  // Called on a server thread for every request as it arrives.
  std::function<void(const RecordedRequest&)> observer = {};
};

class SimCloud {
 public:
  explicit SimCloud(std::optional<TlsFiles> tls = std::nullopt);
  ~SimCloud();
  SimCloud(const SimCloud&) = delete;
  SimCloud& operator=(const SimCloud&) = delete;

  // Listens on 127.0.0.1 (port 0: any free port) and returns the port, which
  // accepts connections from then on. Throws std::runtime_error if the port is
  // taken or the TLS files cannot be loaded.
  [[nodiscard]] std::uint16_t Start(std::uint16_t port = 0);
  // Stops listening, ends stalled answers and waits for the server thread.
  void Stop();
  // "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT" once started.
  [[nodiscard]] std::string Root() const;

  void SetBehaviour(Behaviour behaviour);
  // The pair the cloud accepts, at first "at-1" and "rt-1", then "at-2"...
  // Rotation is strict: the pair a refresh replaces is retired at once, so a
  // client that does not save the new pair is locked out.
  [[nodiscard]] TokenPair Tokens() const;
  // The current access token stops being accepted (Tokens() then reports one no
  // client holds); the current refresh token still works.
  void ExpireAccessToken();
  [[nodiscard]] std::vector<RecordedRequest> Requests() const;

 private:
  struct Reply {
    int status = 200;
    std::string body;
    std::size_t paddedTo = 0;
  };

  void Handle(const httplib::Request& request, httplib::Response& response);
  // Waits; false when the cloud is stopping meanwhile.
  [[nodiscard]] bool Pause(std::chrono::milliseconds duration);
  [[nodiscard]] Reply AnswerLocked(const RecordedRequest& request);
  void SendPadded(httplib::Response& response, const Reply& reply);

  const std::optional<TlsFiles> tls_;
  std::unique_ptr<httplib::Server> server_;
  std::thread listener_;

  mutable std::mutex mutex_;
  std::condition_variable stateChanged_;
  bool stopping_ = false;
  bool listenerEnded_ = false;
  std::uint16_t port_ = 0;
  TokenPair tokens_{"at-1", "rt-1"};
  int nextPairNumber_ = 2;
  Behaviour behaviour_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace tavorin::sim
