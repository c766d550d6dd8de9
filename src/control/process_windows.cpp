// Windows side of the entry's needs: the raw command line, no error boxes, the
// caller's console, the local clock and ExitProcess.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "control/command_line.h"
#include "os/windows_text.h"
#include "process.h"

namespace tavorin::control {
namespace {

[[nodiscard]] bool HasHandle(DWORD which) {
  const HANDLE handle = ::GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

void AttachCallerConsole() {
  // A windowed program gets no console of its own. It joins the caller's
  // console, if there is one, even when both streams are redirected: only
  // then do Ctrl-C and the closing of that console reach it, as they reach a
  // console program. Handles that the caller passed (a redirect, a pipe) stay
  // the output; a stream without one goes to the console. Which streams need
  // it is decided before attaching: attaching sets the process's standard
  // handles to the console, but the C runtime took its streams from them at
  // start-up and keeps writing nowhere until they are opened on the console.
  const bool hasOutput = HasHandle(STD_OUTPUT_HANDLE);
  const bool hasError = HasHandle(STD_ERROR_HANDLE);
  // Refused as ERROR_ACCESS_DENIED when the process is already attached to a
  // console, which then takes the output just as well.
  if (::AttachConsole(ATTACH_PARENT_PROCESS) == 0 && ::GetLastError() != ERROR_ACCESS_DENIED) {
    return;
  }
  if (!hasOutput && std::freopen("CONOUT$", "w", stdout) != nullptr) {
    std::cout.clear();
  }
  if (!hasError && std::freopen("CONOUT$", "w", stderr) != nullptr) {
    std::cerr.clear();
  }
}

}  // namespace

std::string ArgumentText(int /*argc*/, char** /*argv*/) {
  // The command line as typed, not the C runtime's list: quotes and doubled
  // blanks keep their meaning for the split.
  const std::string commandLine = os::ToUtf8(::GetCommandLineW());
  return std::string(ArgumentTextOfCommandLine(commandLine));
}

void PrepareProcess() {
  // No "insert a disk" or crash boxes from the system, and the C runtime's own
  // messages (an abort, say) go to the error stream rather than into a box.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::_set_error_mode(_OUT_TO_STDERR);
  AttachCallerConsole();
}

std::string LocalTimestamp() {
  SYSTEMTIME local{};
  ::GetLocalTime(&local);
  char text[32];
  const int length = std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", local.wYear, local.wMonth,
                                   local.wDay, local.wHour, local.wMinute, local.wSecond);
  return std::string(text, static_cast<std::size_t>(length));
}

void EndProcess(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace tavorin::control
