// The window with Qt: the main window's widgets, the toolkit's start, and the
// entry of the module that the program loads when started without arguments,
// so that command-line runs never load the toolkit.
#include "window/qt_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>

#include <cstdlib>
#include <iostream>
#include <utility>

#include "control/front_end.h"

namespace tavorin::window {
namespace {

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QMessageBox::Icon ToQtIcon(BoxIcon icon) {
  return icon == BoxIcon::Error ? QMessageBox::Critical : QMessageBox::NoIcon;
}

// In force only while the toolkit connects to the display. It fails there with
// a fatal message and would abort; this ends the run like any other error,
// with the program's own words alone: the toolkit's (its warnings on the way,
// and advice such as reinstalling the application) would only mislead.
void EndWhenNoDisplay(QtMsgType type, const QMessageLogContext& /*context*/, const QString& /*message*/) {
  if (type != QtFatalMsg) {
    return;
  }
  std::cerr << "Tavorin: cannot open the window: no display available\n"
            << "Give a device ID to run without the window.\n"
            << control::kShortUsageText;
  std::cerr.flush();
  // The toolkit is half set up here: end without running its clean-up.
  std::_Exit(control::kErrorStatus);
}

// Starts the toolkit and runs the main window until it is closed. Returns the
// exit status: 0 once the window is closed, the error status after a click
// ended on an error. argc and argv must outlive the call.
int RunWindow(int& argc, char** argv, const control::SwitchOperation& operation) {
  const QtMessageHandler previous = qInstallMessageHandler(EndWhenNoDisplay);
  const QApplication application(argc, argv);
  qInstallMessageHandler(previous);

  MainWindow window(operation);
  window.show();
  return QApplication::exec();
}

}  // namespace

MainWindow::MainWindow(control::SwitchOperation operation) : operation_(std::move(operation)) {
  setObjectName(ToQString(kWindowName));
  setWindowTitle(ToQString(kWindowTitle));
  setFixedSize(kClientWidth, kClientHeight);

  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    const ButtonSpec& entry = kButtons[i];
    QPushButton& button = buttons_[i];
    button.setParent(this);
    button.setObjectName(ToQString(entry.objectName));
    button.setText(ToQString(entry.caption));
    button.setGeometry(entry.geometry.left, entry.geometry.top, entry.geometry.width, entry.geometry.height);
    button.setDefault(false);
    button.setAutoDefault(false);
    connect(&button, &QPushButton::clicked, this, [this, word = entry.word] { Click(word); });
    if (i > 0) {
      setTabOrder(&buttons_[i - 1], &button);
    }
  }
  buttons_.front().setFocus();

  reason_.setParent(this);
  reason_.setObjectName(ToQString(kReasonName));
  reason_.setGeometry(kReasonGeometry.left, kReasonGeometry.top, kReasonGeometry.width, kReasonGeometry.height);
  // Reasons may quote the cloud's text: never read it as markup.
  reason_.setTextFormat(Qt::PlainText);
  reason_.setWordWrap(true);
  reason_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void MainWindow::Click(std::string_view word) {
  reason_.clear();
  control::Outcome outcome{};
  // The toolkit's event loop must not see an exception: the click is where an
  // operation's error ends up, as it does in main on the command line.
  try {
    outcome = operation_(word);
  } catch (...) {
    EndOnError(control::ReportError());
    return;
  }
  // Set first, so that the line shows behind the box.
  reason_.setText(ToQString(ReasonLine(outcome)));
  ShowMessageBox(ResultBox(outcome.result));
}

void MainWindow::EndOnError(std::string_view message) {
  setEnabled(false);
  ShowMessageBox(ErrorBox(message));
  QApplication::exit(control::kErrorStatus);
}

void MainWindow::ShowMessageBox(const MessageBoxContent& content) {
  QMessageBox box(ToQtIcon(content.icon), ToQString(content.title), ToQString(content.text), QMessageBox::Ok, this);
  // Error messages may hold file names or server text: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace tavorin::window

extern "C" int tavorin_run_window(const tavorin::control::WindowRequest& request) {
  return tavorin::window::RunWindow(*request.argc, request.argv, request.operation);
}
