#include "window/window_module.h"

#include "window/run_window.h"

extern "C" int tavorin_run_window(const tavorin::window::WindowRequest& request) {
  return tavorin::window::RunWindow(*request.argc, request.argv, request.operation);
}
