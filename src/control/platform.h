#pragma once
// What the entry point needs from the operating system.

#include <string>

namespace tavorin::control {

// The process's arguments after the program's own name, joined with single blanks.
[[nodiscard]] std::string ArgumentText(int argc, char** argv);

// The current local date and time as "YYYY-MM-DD HH:MM:SS".
[[nodiscard]] std::string LocalTimestamp();

// Flushes the standard streams and ends the process with status.
[[noreturn]] void EndProcess(int status);

}  // namespace tavorin::control
