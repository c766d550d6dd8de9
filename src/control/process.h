#pragma once
// The process around the entry: its argument text, its preparation, the
// clock and its end, each as the operating system has them.

#include <string>

namespace tavorin::control {

// The argument text: on POSIX systems the process's arguments after the
// program's own name, joined with single blanks; on Windows the raw command
// line after the program's own name and the blanks that follow it (argc and
// argv are not used there).
[[nodiscard]] std::string ArgumentText(int argc, char** argv);

// Readies the process for a run that nobody may be watching. On Windows: the
// system and the C runtime write their errors instead of showing boxes that
// would keep a scheduled run waiting, and a windowed program, which starts
// without standard streams, connects them to the console of the program that
// started it, when there is one, so that messages reach the caller. Does
// nothing elsewhere.
void PrepareProcess();

// The current local date and time as "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string LocalTimestamp();

// Flushes the standard streams, lets pending window messages be handled, and
// ends the process with status.
[[noreturn]] void EndProcess(int status);

}  // namespace tavorin::control
