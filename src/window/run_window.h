#pragma once
// Starts the windowing toolkit and runs the main window until it is closed.

#include "control/front_end.h"

namespace tavorin::window {

// Returns the exit status: 0 once the window is closed, the error status after
// a click ended on an error. Where no display can be opened, prints why and
// the usage text on stderr and ends the process with the error status.
// argc and argv must outlive the call.
[[nodiscard]] int RunWindow(int& argc, char** argv, const control::SwitchOperation& operation);

}  // namespace tavorin::window
