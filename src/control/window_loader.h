#pragma once
// Opens the main window from its module, which holds the windowing toolkit:
// only a run without arguments loads it.

#include "window/window_model.h"

namespace tavorin::control {

// Loads the window module from the program's own directory, or from the
// module directory of an installed program, and runs the window until it is
// closed; returns the exit status. Throws std::runtime_error naming the module
// when it cannot be found or loaded.
[[nodiscard]] int RunWindowModule(int& argc, char** argv, window::SwitchOperation operation);

}  // namespace tavorin::control
