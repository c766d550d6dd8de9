// POSIX side of StopRequestHold: the stop signals are blocked, so that one
// sent meanwhile stays pending; restoring the mask delivers it, and its
// default action ends the process with the status that signal gives.
#include <signal.h>

#include <system_error>

#include "os/stop_hold.h"

namespace tavorin::os {

struct StopRequestHold::Saved {
  sigset_t mask;
};

StopRequestHold::StopRequestHold() : saved_(std::make_unique<Saved>()) {
  sigset_t stop;
  sigemptyset(&stop);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&stop, signal);
  }
  if (const int error = ::pthread_sigmask(SIG_BLOCK, &stop, &saved_->mask); error != 0) {
    throw std::system_error(error, std::generic_category(), "cannot hold stop signals");
  }
}

StopRequestHold::~StopRequestHold() {
  ::pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);
}

}  // namespace tavorin::os
