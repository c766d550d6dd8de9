// sim-cloud: serves the simulated device cloud on 127.0.0.1 until SIGINT or
// SIGTERM, for trying the program out without a real device. Every request is
// logged on stderr as it arrives.

#include <signal.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "tools/sim-cloud/sim_cloud.h"

namespace {

struct Options {
  std::uint16_t port = 0;
  bool expired = false;
  tavorin::sim::Behaviour behaviour;
};

constexpr std::string_view kUsage =
    "usage: sim-cloud [--port N] [--expired] [--offline] [--switch on|off] [--delay MS]\n";

// A whole decimal number, nothing before or after it.
template <typename Number>
bool ParseNumber(std::string_view text, Number& number) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  return error == std::errc() && end == text.data() + text.size();
}

std::optional<Options> ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    const std::string_view value = i + 1 < argc ? argv[i + 1] : "";
    std::uint32_t delayMs = 0;
    if (argument == "--expired") {
      options.expired = true;
    } else if (argument == "--offline") {
      options.behaviour.online = false;
    } else if (argument == "--port" && ParseNumber(value, options.port)) {
      ++i;
    } else if (argument == "--delay" && ParseNumber(value, delayMs)) {
      options.behaviour.answerDelay = std::chrono::milliseconds(delayMs);
      ++i;
    } else if (argument == "--switch" && (value == "on" || value == "off")) {
      options.behaviour.switchValue = value;
      ++i;
    } else {
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Options> options = ParseArguments(argc, argv);
  if (!options) {
    std::cerr << kUsage;
    return 2;
  }

  // Blocked before any thread starts, so every thread inherits the mask and
  // the signals wait for sigwait below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    tavorin::sim::SimCloud cloud;
    options->behaviour.observer = [](const tavorin::sim::RecordedRequest& request) {
      std::cerr << ("POST " + request.path + " " + request.body + "\n") << std::flush;
    };
    cloud.SetBehaviour(std::move(options->behaviour));
    if (options->expired) {
      cloud.ExpireAccessToken();
    }
    const std::uint16_t port = cloud.Start(options->port);
    std::cout << "sim-cloud listening on http://127.0.0.1:" << port << std::endl;

    int received = 0;
    sigwait(&stopSignals, &received);
    cloud.Stop();
  } catch (const std::exception& error) {
    std::cerr << "sim-cloud: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
