// The window's entry in the module that the program loads when started
// without arguments, so that command-line runs never load the toolkit.
#include "control/front_end.h"
#include "run_window.h"

extern "C" int tavorin_run_window(const tavorin::control::WindowRequest& request) {
  return tavorin::window::RunWindow(*request.argc, request.argv, request.operation);
}
