// The main window's widgets on the offscreen platform: what the real window's
// run does not see, such as captions, places, icons and plain text.
#include "window/qt_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavorin::window {
namespace {

TEST(MainWindowTest, ThreePlainButtonsShowTheirOperationsCodeOrTheErrorThatEndsTheLoop) {
  int argc = 1;
  char name[] = "window_test";
  char* argv[] = {name, nullptr};
  const QApplication application(argc, argv);
  std::vector<std::string> words;
  MainWindow window([&words](std::string_view word) {
    words.emplace_back(word);
    if (word == "info") {
      throw std::runtime_error("cannot write <b>Tavorin.log</b>");
    }
    return control::Outcome{word == "on" ? control::ResultCode::Offline : control::ResultCode::NotOn, ""};
  });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 3);
  // The model's captions and places, each on its own button.
  for (int i = 0; i < 3; ++i) {
    const ButtonSpec& wanted = kButtons.at(i);
    EXPECT_EQ(buttons[i]->text().toStdString(), wanted.caption);
    const Rect& place = wanted.geometry;
    EXPECT_EQ(buttons[i]->geometry(), QRect(place.left, place.top, place.width, place.height));
    EXPECT_FALSE(buttons[i]->isDefault() || buttons[i]->autoDefault() || !buttons[i]->shortcut().isEmpty());
  }

  // Each box, closed from a timer that runs inside its own event loop. A box
  // may take the address of the one before, whose guard is cleared by then.
  std::vector<std::string> boxes;
  QPointer<QMessageBox> current;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box != nullptr && box->isVisible() && box != current.data() && box->button(QMessageBox::Ok) != nullptr) {
      current = box;
      boxes.push_back(box->text().toStdString() + (box->icon() == QMessageBox::Critical ? " (error)" : "") +
                      (box->textFormat() == Qt::PlainText ? "" : " (markup)"));
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start(5);
  // The clicks run in the event loop, as in the program, and the error ends
  // it; should it go on, the guard ends it with another status.
  QTimer::singleShot(0, &window, [&buttons] {
    for (QPushButton* button : buttons) {
      QTest::mouseClick(button, Qt::LeftButton);
    }
  });
  QTimer::singleShot(std::chrono::seconds(20), &window, [] { QCoreApplication::exit(-1); });
  EXPECT_EQ(QApplication::exec(), 2);
  EXPECT_THAT(words, ::testing::ElementsAre("on", "off", "info"));
  EXPECT_THAT(boxes, ::testing::ElementsAre("10", "0", "cannot write <b>Tavorin.log</b> (error)"));
  EXPECT_FALSE(window.isEnabled()) << "no further clicks once the program is ending";
}

}  // namespace
}  // namespace tavorin::window
