#include "os/windows_text.h"

#include <windows.h>

#include <climits>
#include <memory>
#include <stdexcept>

namespace tavorin::os {
namespace {

int CheckedLength(std::size_t size) {
  if (size > static_cast<std::size_t>(INT_MAX)) {
    throw std::runtime_error("text too long to convert");
  }
  return static_cast<int>(size);
}

}  // namespace

void LocalFreeDeleter::operator()(void* memory) const {
  ::LocalFree(memory);
}

std::wstring ToUtf16(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = CheckedLength(text.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) {
    throw std::runtime_error("text is not valid UTF-8");
  }
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), length);
  return wide;
}

std::string ToUtf8(std::wstring_view text) {
  if (text.empty()) {
    return {};
  }
  const int size = CheckedLength(text.size());
  const int length =
      ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) {
    throw std::runtime_error("text is not valid UTF-16");
  }
  std::string narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), size, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

std::string SystemErrorText(unsigned long code, const wchar_t* module) {
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE source = nullptr;
  if (module != nullptr) {
    source = ::GetModuleHandleW(module);
    if (source != nullptr) {
      flags |= FORMAT_MESSAGE_FROM_HMODULE;
    }
  }
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(flags, source, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalFreeDeleter> owner(buffer);
  if (length == 0 || buffer == nullptr) {
    return {};
  }
  std::wstring_view text(buffer, length);
  // The system's texts end in a line break and often a full stop.
  while (!text.empty() &&
         (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.')) {
    text.remove_suffix(1);
  }
  return ToUtf8(text);
}

namespace {

// Windows error codes, with the system's texts for them.
class WindowsErrorCategory final : public std::error_category {
 public:
  [[nodiscard]] const char* name() const noexcept override { return "windows"; }
  [[nodiscard]] std::string message(int code) const override {
    const std::string meaning = SystemErrorText(static_cast<unsigned long>(code));
    return (meaning.empty() ? "error" : meaning) + " (" + std::to_string(code) + ")";
  }
};

}  // namespace

void ThrowWindowsError(std::string_view what, unsigned long code) {
  static const WindowsErrorCategory category;
  throw std::system_error(static_cast<int>(code), category, std::string(what));
}

}  // namespace tavorin::os
