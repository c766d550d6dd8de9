#include "window/main_window.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QString>

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
}

void MainWindow::Click(std::string_view word) {
  MessageBoxContent result;
  // The toolkit's event loop must not see an exception: the click is where an
  // operation's error ends up, as it does in main on the command line.
  try {
    result = ResultBox(operation_(word));
  } catch (...) {
    EndOnError(control::ReportError());
    return;
  }
  ShowMessageBox(result);
}

void MainWindow::EndOnError(std::string_view message) {
  setEnabled(false);
  ShowMessageBox(ErrorBox(message));
  QCoreApplication::exit(control::kErrorStatus);
}

void MainWindow::ShowMessageBox(const MessageBoxContent& content) {
  QMessageBox box(ToQtIcon(content.icon), ToQString(content.title), ToQString(content.text), QMessageBox::Ok, this);
  // Error messages may hold file names or server text: never read them as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace tavorin::window
