// A stop signal sent during a hold waits for its end, then ends the process as
// that signal does.
#include "os/stop_hold.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <iostream>

namespace tavorin::os {
namespace {

TEST(StopRequestHoldTest, StopSignalWaitsForTheHoldToEndAndThenEndsTheProcess) {
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    EXPECT_EXIT(
        {
          {
            const StopRequestHold hold;
            ::raise(signal);
            std::cerr << "held" << std::flush;
          }
          std::_Exit(0);
        },
        ::testing::KilledBySignal(signal), "held");
  }
}

}  // namespace
}  // namespace tavorin::os
