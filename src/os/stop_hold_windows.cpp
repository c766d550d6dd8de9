// Windows side of StopRequestHold: a console control handler.
//
// What it holds: Ctrl-C and Ctrl-Break, for as long as the hold lasts; the
// process then ends as the default handler would have ended it. Closing the
// console (and logging off or shutting down) only for a while: the system ends
// the process as soon as the handler returns, and after a grace period of a few
// seconds (about five for a closed console) even when it has not, so the
// handler waits for the hold within that time. Nothing holds TerminateProcess,
// which is how the Task Manager and the Task Scheduler end a task: like SIGKILL
// it cannot be caught.
#include <windows.h>

#include <atomic>

#include "os/stop_hold.h"
#include "os/windows_text.h"

namespace tavorin::os {
namespace {

enum HoldState : int { kFree, kHeld, kStopRequested };

// Process-wide, as the one exception to the rule: the system runs the handler
// on a thread of its own, which can reach nothing else. Only the hold and the
// handler touch it.
std::atomic<int> holdState{kFree};

BOOL WINAPI OnConsoleControl(DWORD event) {
  int expected = kHeld;
  if (!holdState.compare_exchange_strong(expected, kStopRequested) && expected == kFree) {
    return FALSE;  // the hold has gone: the default handler ends the process
  }
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
    return TRUE;  // the hold ends the process when it goes
  }
  // The system ends the process as soon as this returns.
  while (holdState.load() != kFree) {
    ::Sleep(10);
  }
  return FALSE;
}

}  // namespace

struct StopRequestHold::Saved {};

StopRequestHold::StopRequestHold() {
  holdState.store(kHeld);
  if (::SetConsoleCtrlHandler(OnConsoleControl, TRUE) == 0) {
    holdState.store(kFree);
    ThrowWindowsError("cannot hold stop requests", ::GetLastError());
  }
}

StopRequestHold::~StopRequestHold() {
  ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  if (holdState.exchange(kFree) == kStopRequested) {
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
  }
}

}  // namespace tavorin::os
