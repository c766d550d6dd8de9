#pragma once
// The window as a module that the program loads only when it is started
// without arguments, so command-line runs never load the windowing toolkit.

#include "window/window_model.h"

namespace tavorin::window {

// What the program hands the window: its arguments (the toolkit may take its
// own out of them) and what a click runs.
struct WindowRequest {
  int* argc;
  char** argv;
  SwitchOperation operation;
};

// The module's one entry, looked up by this name; returns the exit status.
inline constexpr const char* kWindowEntryName = "tavorin_run_window";
using WindowEntry = int (*)(const WindowRequest& request);

}  // namespace tavorin::window

extern "C" int tavorin_run_window(const tavorin::window::WindowRequest& request);
