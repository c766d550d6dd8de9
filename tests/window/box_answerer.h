#pragma once
// Answers the modal message boxes a test brings up: each one is recorded and
// dismissed with a click on its OK button, from a timer that runs inside the
// box's own event loop.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QTimer>
#include <QtTest/QTest>

#include <vector>

namespace tavorin::testing {

struct SeenBox {
  QString title;
  QString text;
  Qt::TextFormat textFormat;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  qsizetype buttonCount;
  bool dismissedWithOk;
};

class BoxAnswerer {
 public:
  BoxAnswerer() {
    timer_.setInterval(kPollMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

  [[nodiscard]] const std::vector<SeenBox>& Seen() const { return seen_; }

 private:
  // A box that an OK click does not close is closed after this many polls, so
  // a fault cannot leave the test waiting inside the box's event loop.
  static constexpr int kPollMilliseconds = 5;
  static constexpr int kPollsBeforeForcing = 2000;

  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) {
      return;
    }
    // A box on the stack may reuse the address of the one before, but the
    // guarded pointer has been cleared when that one was destroyed.
    if (box != current_.data()) {
      current_ = box;
      pollsOnBox_ = 0;
      QPushButton* ok = qobject_cast<QPushButton*>(box->button(QMessageBox::Ok));
      seen_.push_back({box->windowTitle(), box->text(), box->textFormat(), box->icon(), box->standardButtons(),
                       box->buttons().size(), ok != nullptr});
      if (ok != nullptr) {
        QTest::mouseClick(ok, Qt::LeftButton);
      }
    } else if (++pollsOnBox_ > kPollsBeforeForcing) {
      seen_.back().dismissedWithOk = false;
      box->done(0);
    }
  }

  QTimer timer_;
  std::vector<SeenBox> seen_;
  QPointer<QMessageBox> current_;
  int pollsOnBox_ = 0;
};

}  // namespace tavorin::testing
