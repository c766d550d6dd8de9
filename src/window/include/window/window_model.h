#pragma once
// What the main window is and does, apart from any windowing toolkit: the
// window's size and title, which button sends which request word, what the
// message boxes say, and the line that says why a click was not done.

#include <array>
#include <string>
#include <string_view>

#include "control/front_end.h"
#include "control/result_code.h"

namespace tavorin::window {

// Sizes are logical pixels at 96 dots per inch (15 twips each); the toolkit
// scales them to the screen's density.
struct Rect {
  int left;
  int top;
  int width;
  int height;
};

inline constexpr std::string_view kWindowName = "Form1";
inline constexpr std::string_view kWindowTitle = "Form1";
inline constexpr int kClientWidth = 304;   // 4560 twips
inline constexpr int kClientHeight = 201;  // 3015 twips

// The message-box title.
inline constexpr std::string_view kApplicationTitle = "Tavorin";

struct ButtonSpec {
  std::string_view objectName;
  std::string_view caption;  // no access keys
  std::string_view word;     // the request word a click passes to the switch operation
  Rect geometry;
};

// In tab order, left to right; the first one has the focus when the window opens.
inline constexpr std::array<ButtonSpec, 3> kButtons = {{
    {"Command1", "on", "on", {48, 56, 57, 33}},
    {"Command2", "off", "off", {136, 56, 57, 33}},
    {"Command3", "info", "info", {224, 56, 57, 33}},
}};

// Below the buttons: why the last click ended with 5 or 10, until the next
// click; plain text, word-wrapped, from the top left.
inline constexpr std::string_view kReasonName = "Label1";
inline constexpr Rect kReasonGeometry = {8, 97, 288, 96};

// The line's text after a click: the outcome's reason for NotDone and Offline,
// empty for NotOn and On.
[[nodiscard]] std::string ReasonLine(const control::Outcome& outcome);

// The text as every toolkit takes it: each byte that is no part of well-formed
// UTF-8 (a sequence cut short, say, or a surrogate) becomes U+FFFD.
[[nodiscard]] std::string ValidUtf8(std::string_view text);

enum class BoxIcon { None, Error };

struct MessageBoxContent {
  std::string title;
  std::string text;
  BoxIcon icon;
};

// The box after a click: the result code in decimal, whatever the code.
[[nodiscard]] MessageBoxContent ResultBox(control::ResultCode result);

// The box for an error that ends the program, its message as ValidUtf8 gives it.
[[nodiscard]] MessageBoxContent ErrorBox(std::string_view message);

}  // namespace tavorin::window
