// The stop handlers on Windows: a console control handler.
#include <windows.h>

#include "os/stop_hold.h"
#include "os/windows_text.h"
#include "stop_hold_platform.h"

namespace tavorin::os {

// It holds Ctrl-C and Ctrl-Break
// for as long as the hold lasts; closing the console only for a grace period
// of a few seconds, after which the system ends the process anyway. Logging off
// and shutting down reach a program that uses the window system as window
// messages, not here. Nothing holds TerminateProcess (the Task Manager's and
// the Task Scheduler's end of a task). The events reach only a process on a
// console: the windowed program joins its caller's at start-up.
namespace {

// Requests are the control events shifted by one, so that none is zero.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (!DeferStopRequest(static_cast<int>(event) + 1)) {
    EndByStopRequest(0);  // as the system's own handler does, and with its status under Wine too
  }
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    return TRUE;  // the hold ends the process when it goes
  }
  // The system ends the process as soon as this returns: wait for the hold,
  // whose end ends the process first.
  while (true) {
    ::Sleep(10);
  }
}

}  // namespace

void EndByStopRequest(int /*request*/) {
  ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

void InstallStopHandlers() {
  if (::SetConsoleCtrlHandler(OnConsoleControl, TRUE) == 0) {
    ThrowWindowsError("cannot handle stop requests", ::GetLastError());
  }
}

}  // namespace tavorin::os
