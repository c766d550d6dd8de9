#pragma once
// A stand-in for the device cloud on loopback: the three API paths the program
// uses, one switch, and knobs to make the cloud misbehave in the ways tests need.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace tavorin::sim {

struct TlsFiles {
  std::filesystem::path certificate;
  std::filesystem::path privateKey;
};

struct TokenPair {
  std::string accessToken;
  std::string refreshToken;
};

struct Device {
  std::string id = "1000c8441f";
  bool online = true;
  std::string switchValue = "off";
  std::string fwVersion = "3.7.1";
  int rssi = -48;
  std::string pulse = "off";
};

struct RecordedRequest {
  std::string path;
  std::string authorization;
  std::string contentType;
  std::string body;
};

// How the refresh path answers a valid refresh token. Only NewPair and NoRt
// change the tokens the cloud accepts; the others leave the current pair alone.
// Rotation is strict: the pair a refresh replaces is retired at once, so a
// client that does not save the new pair is locked out.
enum class RefreshReply { NewPair, NoAt, NoRt, EmptyAt, UnterminatedAt };

// How the set path answers an authenticated request.
enum class SetReply { Apply, Refuse, AckWithoutChange };

// How the status path answers an authenticated request:
// - Largest: a normal answer padded ahead of the fields that matter to exactly
//   64 MiB, the most a client takes;
// - TooLarge: the same and one byte more, sent after a pause so that it
//   arrives on its own;
// - Garbage: 4 KiB of binary bytes, NULs included;
// - Truncated: a normal answer cut off inside the switch value, sent whole;
// - MarkerInValue: a normal answer whose device name holds "error":401 raw.
enum class StatusReply { Normal, ErrorReply, Empty, Largest, TooLarge, Garbage, Truncated, MarkerInValue };

// Transport faults, applied to every path before anything else.
enum class Fault { None, Stall, Drop, Redirect };

class SimCloud {
 public:
  using RequestObserver = std::function<void(const RecordedRequest&)>;

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

  void SetTokens(TokenPair tokens);
  [[nodiscard]] TokenPair Tokens() const;
  // The current access token stops being accepted (Tokens() then reports one no
  // client holds); the current refresh token still works.
  void ExpireAccessToken();
  // Answers every status and set request with 401, however fresh the token.
  void RejectEveryToken(bool reject);

  void SetDevice(Device device);
  [[nodiscard]] Device GetDevice() const;

  void SetRefreshReply(RefreshReply reply);
  void SetSetReply(SetReply reply);
  void SetStatusReply(StatusReply reply);
  void SetFault(Fault fault, std::chrono::milliseconds stallFor = {});
  // Every answer leaves this long after the cloud has acted on its request, as
  // over a slow network: a refreshed pair is already the only valid one.
  void SetAnswerDelay(std::chrono::milliseconds delay);

  // Called on a server thread for every request as it arrives.
  void SetRequestObserver(RequestObserver observer);
  [[nodiscard]] std::vector<RecordedRequest> Requests() const;

 private:
  struct Reply {
    int status = 200;
    std::string body;
  };

  void Handle(const httplib::Request& request, httplib::Response& response);
  // Waits out a stall; false when the server is stopping meanwhile.
  [[nodiscard]] bool StallFor(std::chrono::milliseconds duration);
  [[nodiscard]] Reply AnswerLocked(std::string_view path, std::string_view authorization, std::string_view body);
  [[nodiscard]] Reply RefreshLocked(std::string_view body);
  [[nodiscard]] Reply StatusLocked(std::string_view body) const;
  [[nodiscard]] Reply SetLocked(std::string_view body);

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
  bool rejectEveryToken_ = false;
  Device device_;
  RefreshReply refreshReply_ = RefreshReply::NewPair;
  SetReply setReply_ = SetReply::Apply;
  StatusReply statusReply_ = StatusReply::Normal;
  Fault fault_ = Fault::None;
  std::chrono::milliseconds stallFor_{};
  std::chrono::milliseconds answerDelay_{};
  RequestObserver observer_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace tavorin::sim
