// The main window on the offscreen platform: its layout and focus, the word
// each button passes to the switch operation, and the message box that shows
// the result code, or the error that ends the program's event loop.
#include "window/main_window.h"

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

using ::testing::ElementsAre;

struct SeenBox {
  std::string text;
  QString title;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
  QMessageBox::StandardButtons buttons;
};

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
    return word == "on" ? control::ResultCode::Offline : control::ResultCode::NotOn;
  });
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(window.objectName(), "Form1");
  EXPECT_EQ(window.windowTitle(), "Form1");
  EXPECT_EQ(window.minimumSize(), QSize(304, 201));
  EXPECT_EQ(window.maximumSize(), QSize(304, 201));
  const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 3);
  const char* names[] = {"Command1", "Command2", "Command3"};
  const char* captions[] = {"on", "off", "info"};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(QApplication::focusWidget(), buttons[i]) << "focus starts on the first and moves left to right";
    EXPECT_EQ(buttons[i]->objectName(), names[i]);
    EXPECT_EQ(buttons[i]->text(), captions[i]);
    EXPECT_EQ(buttons[i]->geometry(), QRect(48 + 88 * i, 56, 57, 33));
    EXPECT_FALSE(buttons[i]->isDefault() || buttons[i]->autoDefault() || !buttons[i]->shortcut().isEmpty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }

  // Each box is recorded and closed with its OK button from a timer that runs
  // inside the box's own event loop; a box may take the address of the one
  // before, whose guard is cleared by then.
  std::vector<SeenBox> seen;
  QPointer<QMessageBox> current;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box != nullptr && box->isVisible() && box != current.data()) {
      current = box;
      seen.push_back(
          {box->text().toStdString(), box->windowTitle(), box->icon(), box->textFormat(), box->standardButtons()});
      box->button(QMessageBox::Ok) != nullptr ? box->button(QMessageBox::Ok)->click() : box->done(0);
    }
  });
  answerer.start(5);
  // The clicks run in the event loop, as in the program, whose end the error
  // brings; should it go on, the guard ends it with another status.
  QTimer::singleShot(0, &window, [&buttons] {
    for (QPushButton* button : buttons) {
      QTest::mouseClick(button, Qt::LeftButton);
    }
  });
  QTimer::singleShot(std::chrono::seconds(20), &window, [] { QCoreApplication::exit(-1); });
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(QApplication::exec(), 2);
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              ::testing::HasSubstr("Tavorin: cannot write <b>Tavorin.log</b>\n"));

  EXPECT_THAT(words, ElementsAre("on", "off", "info"));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].text, "10");
  EXPECT_EQ(seen[1].text, "0");
  EXPECT_EQ(seen[2].text, "cannot write <b>Tavorin.log</b>");
  for (const SeenBox& box : seen) {
    EXPECT_EQ(box.title, "Tavorin");
    EXPECT_EQ(box.icon, &box == &seen[2] ? QMessageBox::Critical : QMessageBox::NoIcon);
    EXPECT_EQ(box.format, Qt::PlainText);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
  }
  EXPECT_FALSE(window.isEnabled()) << "no further clicks once the program is ending";
}

}  // namespace
}  // namespace tavorin::window
