// The stop handlers on POSIX systems: one handler for SIGTERM, SIGINT, SIGHUP
// and SIGQUIT, which outside a hold restores the default action and raises the
// signal again.
#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "os/stop_hold.h"
#include "stop_hold_platform.h"

namespace tavorin::os {

namespace {

void OnStopSignal(int signal) {
  if (!DeferStopRequest(signal)) {
    // Raised within the handler, the signal waits until the handler returns.
    ::signal(signal, SIG_DFL);
    ::raise(signal);
  }
}

}  // namespace

void EndByStopRequest(int request) {
  ::signal(request, SIG_DFL);
  ::raise(request);
  std::_Exit(128 + request);  // only where this thread blocks the signal
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
    struct sigaction previous {};
    if (::sigaction(signal, nullptr, &previous) != 0 ||
        (previous.sa_handler != SIG_IGN && ::sigaction(signal, &action, nullptr) != 0)) {
      throw std::system_error(errno, std::generic_category(), "cannot handle stop signals");
    }
  }
  // A connection that breaks must not end a run, least of all during a hold:
  // writes to it fail instead.
  if (::signal(SIGPIPE, SIG_IGN) == SIG_ERR) {
    throw std::system_error(errno, std::generic_category(), "cannot handle stop signals");
  }
}

}  // namespace tavorin::os
