#pragma once
// Text crosses into the Windows API as UTF-16 and comes back as UTF-8; the
// rest of the program only ever sees UTF-8.

#include <string>
#include <string_view>
#include <system_error>

namespace tavorin::os {

// Throws std::runtime_error when text is not valid UTF-8 (or UTF-16).
[[nodiscard]] std::wstring ToUtf16(std::string_view text);
[[nodiscard]] std::string ToUtf8(std::wstring_view text);

// The system's text for a Windows error code (GetLastError and the like),
// looked up in module's message table first when one is given; empty when
// there is none.
[[nodiscard]] std::string SystemErrorText(unsigned long code, const wchar_t* module = nullptr);

// Throws std::system_error with code in a category whose texts are the
// system's own: what, then the meaning of code.
[[noreturn]] void ThrowWindowsError(std::string_view what, unsigned long code);

// Frees what the system allocated for the caller with LocalAlloc, as
// std::unique_ptr's deleter.
struct LocalFreeDeleter {
  void operator()(void* memory) const;
};

}  // namespace tavorin::os
