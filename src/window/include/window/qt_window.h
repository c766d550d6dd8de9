#pragma once
// The main window with Qt: three buttons that each run one switch operation on
// the default device and show the result code in a message box, and the line
// below them that says why an operation was not done.

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <string_view>

#include "window/window_model.h"

namespace tavorin::window {

class MainWindow final : public QWidget {
 public:
  explicit MainWindow(control::SwitchOperation operation);

 private:
  // Runs the operation, shows its reason line and then its result code. An
  // error is reported, shows its message, and ends the event loop with the
  // error status.
  void Click(std::string_view word);
  void EndOnError(std::string_view message);
  void ShowMessageBox(const MessageBoxContent& content);

  control::SwitchOperation operation_;
  std::array<QPushButton, kButtons.size()> buttons_;
  QLabel reason_;
};

}  // namespace tavorin::window
