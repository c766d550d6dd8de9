// The main window with the Windows API itself, linked into the program.
#include <windows.h>

#include <array>
#include <memory>
#include <stdexcept>
#include <string>

#include "control/front_end.h"
#include "os/windows_text.h"
#include "window/window_model.h"

namespace tavorin::window {
namespace {

using os::ToUtf16;

// Control identifiers of the buttons, in kButtons order; clear of IDOK and
// IDCANCEL, which the dialog keys send.
constexpr int kFirstButtonId = 101;
constexpr int kReasonId = 201;

// Sizes in the model are pixels at 96 dots per inch.
constexpr int kModelDpi = 96;

struct FontDeleter {
  void operator()(HFONT font) const { ::DeleteObject(font); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

// Everything the window procedure needs, owned by RunWin32Window and reached
// through the window's user data.
struct WindowState {
  const control::SwitchOperation* operation = nullptr;
  std::array<HWND, kButtons.size()> buttons{};
  HWND reason = nullptr;
  HWND focused = nullptr;
  int exitStatus = 0;
};

int Scale(int pixelsAt96, int dpi) {
  return ::MulDiv(pixelsAt96, dpi, kModelDpi);
}

void ShowBox(HWND owner, const MessageBoxContent& content) {
  const UINT icon = content.icon == BoxIcon::Error ? MB_ICONERROR : 0;
  ::MessageBoxW(owner, ToUtf16(content.text).c_str(), ToUtf16(content.title).c_str(), MB_OK | icon);
}

// After the error has been reported: shows its message and closes the window,
// which ends the message loop with the error status.
void EndOnError(HWND window, WindowState& state, std::string_view message) {
  ::EnableWindow(window, FALSE);
  ShowBox(window, ErrorBox(message));
  state.exitStatus = control::kErrorStatus;
  ::DestroyWindow(window);
}

// Runs the button's operation, shows its reason line and then its result
// code. No exception may leave: the window procedure is called from the
// system's C frames.
void Click(HWND window, WindowState& state, std::size_t index) {
  ::SetWindowTextW(state.reason, L"");
  control::Outcome outcome{};
  try {
    outcome = (*state.operation)(kButtons[index].word);
  } catch (...) {
    EndOnError(window, state, control::ReportError());
    return;
  }
  // Set first, so that the line shows behind the box.
  ::SetWindowTextW(state.reason, ToUtf16(ReasonLine(outcome)).c_str());
  ShowBox(window, ResultBox(outcome.result));
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state == nullptr) {
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) == BN_CLICKED && id >= kFirstButtonId &&
          id < kFirstButtonId + static_cast<int>(kButtons.size())) {
        Click(window, *state, static_cast<std::size_t>(id - kFirstButtonId));
      }
      return 0;
    }
    case WM_ACTIVATE:
      // Keep the focused button across switching to other windows and back.
      if (LOWORD(wParam) == WA_INACTIVE) {
        state->focused = ::GetFocus();
      } else if (state->focused != nullptr) {
        ::SetFocus(state->focused);
      }
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(state->exitStatus);
      return 0;
    default:
      return ::DefWindowProcW(window, message, wParam, lParam);
  }
}

int ScreenDpi() {
  const HDC screen = ::GetDC(nullptr);
  const int dpi = screen != nullptr ? ::GetDeviceCaps(screen, LOGPIXELSY) : kModelDpi;
  if (screen != nullptr) {
    ::ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? dpi : kModelDpi;
}

// The system's font for dialog text, at the screen's density.
FontHandle MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0) == 0) {
    return FontHandle(nullptr);
  }
  return FontHandle(::CreateFontIndirectW(&metrics.lfMessageFont));
}

[[noreturn]] void FailWindow(std::string_view what) {
  os::ThrowWindowsError("cannot open the window: " + std::string(what), ::GetLastError());
}

// Shows the window and runs its message loop until it is closed; returns the
// exit status: 0 once closed, the error status after a click ended on an error.
int RunWin32Window(const control::SwitchOperation& operation) {
  // Sizes follow the screen's density instead of being stretched by the system.
  ::SetProcessDPIAware();
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const std::wstring className = ToUtf16(kWindowName);

  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = WindowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = className.c_str();
  if (::RegisterClassExW(&windowClass) == 0) {
    FailWindow("cannot register the window class");
  }

  // A fixed frame: the buttons keep their places, so there is nothing to resize.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const int dpi = ScreenDpi();
  RECT frame{0, 0, Scale(kClientWidth, dpi), Scale(kClientHeight, dpi)};
  ::AdjustWindowRectEx(&frame, kStyle, FALSE, 0);

  WindowState state;
  state.operation = &operation;
  const HWND window =
      ::CreateWindowExW(0, className.c_str(), ToUtf16(kWindowTitle).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                        frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, instance, &state);
  if (window == nullptr) {
    FailWindow("cannot create the window");
  }

  const FontHandle font = MessageFont();
  const auto create = [&](const wchar_t* kind, std::string_view text, DWORD style, const Rect& place, int id) {
    const HWND control =
        ::CreateWindowExW(0, kind, ToUtf16(text).c_str(), WS_CHILD | WS_VISIBLE | style, Scale(place.left, dpi),
                          Scale(place.top, dpi), Scale(place.width, dpi), Scale(place.height, dpi), window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (control == nullptr) {
      FailWindow("cannot create a control");
    }
    if (font) {
      ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    return control;
  };
  // Created left to right, which is also the tab order.
  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    state.buttons[i] = create(L"BUTTON", kButtons[i].caption, WS_TABSTOP | BS_PUSHBUTTON, kButtons[i].geometry,
                              kFirstButtonId + static_cast<int>(i));
  }
  state.focused = state.buttons.front();
  // Plain text: no ampersand marks an access key; words too long for a line
  // break where they must.
  state.reason = create(L"STATIC", "", SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL, kReasonGeometry, kReasonId);

  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  ::SetFocus(state.buttons.front());

  MSG message;
  BOOL got = 0;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    // Tab, the arrow keys and the space bar move between and press the buttons.
    if (::IsWindow(window) != 0 && ::IsDialogMessageW(window, &message) != 0) {
      continue;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (got < 0) {
    FailWindow("the message loop failed");
  }
  return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace tavorin::window

extern "C" int tavorin_run_window(const tavorin::control::WindowRequest& request) {
  return tavorin::window::RunWin32Window(request.operation);
}
