// On Windows the window is part of the program itself: its toolkit is the
// system's, so there is no module to load.
#include <utility>

#include "window_loader.h"

namespace tavorin::control {

int RunWindowModule(int& argc, char** argv, SwitchOperation operation) {
  return tavorin_run_window(WindowRequest{&argc, argv, std::move(operation)});
}

}  // namespace tavorin::control
