#pragma once
// What the entry point needs from the operating system.

#include <string>

namespace tavorin::control {

// The argument text: on POSIX systems the process's arguments after the
// program's own name, joined with single blanks; on Windows the raw command
// line after the program's own name and the blanks that follow it (argc and
// argv are not used there).
[[nodiscard]] std::string ArgumentText(int argc, char** argv);

// Where the program starts without standard streams (a windowed program on
// Windows), connects them to the console of the program that started it, when
// there is one, so that messages reach the caller. Does nothing elsewhere.
void AttachCallerConsole();

// The current local date and time as "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string LocalTimestamp();

// Flushes the standard streams, lets pending window messages be handled, and
// ends the process with status.
[[noreturn]] void EndProcess(int status);

}  // namespace tavorin::control
