#include "run_window.h"

#include <QApplication>
#include <QString>

#include <cstdlib>
#include <iostream>

#include "control/front_end.h"
#include "window/main_window.h"

namespace tavorin::window {
namespace {

// In force only while the toolkit connects to the display. It fails there with
// a fatal message and would abort; this ends the run like any other error,
// passing on what the toolkit said (a missing platform plugin, say).
void EndWhenNoDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    std::cerr << qPrintable(qFormatLogMessage(type, context, message)) << '\n';
    return;
  }
  std::cerr << "Tavorin: cannot open the window: no display available\n"
            << "The windowing toolkit said: " << qPrintable(message) << "\n"
            << "Give a device ID to run without the window.\n\n"
            << control::kUsageText;
  std::cerr.flush();
  // The toolkit is half set up here: end without running its clean-up.
  std::_Exit(control::kErrorStatus);
}

}  // namespace

int RunWindow(int& argc, char** argv, const control::SwitchOperation& operation) {
  const QtMessageHandler previous = qInstallMessageHandler(EndWhenNoDisplay);
  const QApplication application(argc, argv);
  qInstallMessageHandler(previous);

  MainWindow window(operation);
  window.show();
  return QApplication::exec();
}

}  // namespace tavorin::window
