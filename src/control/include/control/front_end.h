#pragma once
// What the program's front ends share, the command line and the windows: the
// operation a click runs, the entry through which the program opens a window,
// how an error ends a run, and the usage text. This header and result_code.h
// are all that the windows see of this module.

#include <exception>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>

#include "control/result_code.h"

namespace tavorin::control {

// Exit status of a run that ended on an error rather than a result code.
inline constexpr int kErrorStatus = 2;

// What --help prints.
inline constexpr std::string_view kUsageText =
    "Usage: tavorin <deviceId>                 report whether the switch is on\n"
    "       tavorin <deviceId> on|off|<value>  set the switch and confirm it\n"
    "       tavorin <deviceId> info            write the device's report to Tavorin.log\n"
    "       tavorin                            open the window (the default device)\n"
    "\n"
    "Options: -h, --help  this text\n"
    "         --version   the version, the cloud's API root and the request time-out\n"
    "\n"
    "Exit status: 0 switch not on, 1 switch on, 5 not done, 10 device offline\n"
    "(error replies included), 2 error. 5 and 10 say why, and errors what\n"
    "went wrong, in one line on stderr.\n"
    "Files in the working directory: tokens.txt (access and refresh token),\n"
    "Tavorin.log (activity log), and their locks tokens.txt.lock and\n"
    "Tavorin.log.lock. More in \"man tavorin\".\n";

// What a run without a device ID, or with an unknown option, prints on stderr
// after its message.
inline constexpr std::string_view kShortUsageText =
    "Usage: tavorin <deviceId> [on|off|info|<switch value>]\n"
    "Try \"tavorin --help\" for more.\n";

// Reports the error being handled, inside a catch block: writes
// "Tavorin: <message>" on the standard error stream and returns the message,
// which is what the error says, or "unexpected error" for one that is no
// std::exception. main and the windows' click handlers, where every error that
// ends a run arrives, report it with this.
inline std::string ReportError() {
  std::string message;
  try {
    throw;
  } catch (const std::exception& error) {
    message = error.what();
  } catch (...) {
    message = "unexpected error";
  }
  std::cerr << "Tavorin: " << message << std::endl;
  return message;
}

// What a click runs: the switch operation on the default device with the
// button's request word.
using SwitchOperation = std::function<Outcome(std::string_view word)>;

// What the program hands the window: its arguments (the toolkit may take its
// own out of them) and what a click runs.
struct WindowRequest {
  int* argc;
  char** argv;
  SwitchOperation operation;
};

// The window's one entry, defined by the window module and returning the exit
// status. Where the window is a module of its own, the program looks it up by
// this name; where it is linked into the program, it calls it directly.
inline constexpr const char* kWindowEntryName = "tavorin_run_window";
using WindowEntry = int (*)(const WindowRequest& request);

}  // namespace tavorin::control

extern "C" int tavorin_run_window(const tavorin::control::WindowRequest& request);
