#pragma once
// Opens the main window, the front end of a run without arguments. Part of the
// program rather than of a library: it reaches into the window module.

#include "control/front_end.h"

namespace tavorin::control {

// Runs the window until it is closed and returns the exit status. Where the
// window is a module of its own, loads it from the program's own directory or
// from the module directory of an installed program; throws std::runtime_error
// naming the module when it cannot be found or loaded.
[[nodiscard]] int RunWindowModule(int& argc, char** argv, SwitchOperation operation);

}  // namespace tavorin::control
