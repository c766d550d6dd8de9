// window-shot: saves a picture of one X window, given its id, as a PNG file:
// the whole window, or the rectangle given by its left, top, width and height
// in the window. Used to take the main window's picture for the documentation,
// and by the window's end-to-end test to see what a part of it shows.

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QString>

#include <array>
#include <iostream>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 7) {
    std::cerr << "usage: window-shot WINDOW_ID FILE.png [LEFT TOP WIDTH HEIGHT]\n";
    return 2;
  }
  const QGuiApplication application(argc, argv);
  bool isNumber = false;
  const WId window = QString::fromLocal8Bit(argv[1]).toULongLong(&isNumber, 0);
  if (!isNumber) {
    std::cerr << "window-shot: not a window id: " << argv[1] << '\n';
    return 2;
  }
  // -1 for the width and height: as far as the window reaches.
  std::array<int, 4> place = {0, 0, -1, -1};
  for (int i = 3; i < argc; ++i) {
    place.at(i - 3) = QString::fromLocal8Bit(argv[i]).toInt(&isNumber);
    if (!isNumber) {
      std::cerr << "window-shot: not a number: " << argv[i] << '\n';
      return 2;
    }
  }
  const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window, place[0], place[1], place[2], place[3]);
  if (picture.isNull() || !picture.save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::cerr << "window-shot: cannot save the picture of window " << argv[1] << " to " << argv[2] << '\n';
    return 1;
  }
  return 0;
}
