// window-shot: saves a picture of one X window, given its id, as a PNG file.
// Used to take the main window's picture for the documentation.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>

#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: window-shot WINDOW_ID FILE.png\n";
    return 2;
  }
  const QGuiApplication application(argc, argv);
  bool isNumber = false;
  const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&isNumber, 0);
  if (!isNumber) {
    std::cerr << "window-shot: not a window id: " << argv[1] << '\n';
    return 2;
  }
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::cerr << "window-shot: cannot save the picture of window " << argv[1] << " to " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
