// On Windows the window is part of the program itself: its toolkit is the
// system's, so there is no module to load.
#include <utility>

#include "control/window_loader.h"
#include "window/win32_window.h"

namespace tavorin::control {

int RunWindowModule(int& /*argc*/, char** /*argv*/, window::SwitchOperation operation) {
  return window::RunWin32Window(operation);
}

}  // namespace tavorin::control
