#pragma once
// The main window with the Windows API itself, linked into the program.

#include "window/window_model.h"

namespace tavorin::window {

// Shows the window and runs its message loop until it is closed; returns the
// exit status: 0 once closed, the error status after a click ended on an error
// (its message shown in a box and written to the standard error stream).
[[nodiscard]] int RunWin32Window(const SwitchOperation& operation);

}  // namespace tavorin::window
