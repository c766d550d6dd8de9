// The main window on the offscreen platform: its layout and focus, the word
// each button passes to the switch operation, and the message box that shows
// the result code, or the error that ends the program.
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
  QString title;
  QString text;
  QMessageBox::Icon icon;
  Qt::TextFormat format;
  QMessageBox::StandardButtons buttons;
};

// Records each modal message box and closes it with its OK button (or without
// one, where it has none), from a timer that runs inside the box's event loop.
class BoxAnswerer {
 public:
  BoxAnswerer() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible() || box == current_.data()) {
        return;
      }
      current_ = box;
      seen_.push_back({box->windowTitle(), box->text(), box->icon(), box->textFormat(), box->standardButtons()});
      QAbstractButton* ok = box->button(QMessageBox::Ok);
      ok != nullptr ? QTest::mouseClick(ok, Qt::LeftButton) : box->done(0);
    });
    timer_.start(5);
  }
  [[nodiscard]] const std::vector<SeenBox>& Seen() const { return seen_; }

 private:
  QTimer timer_;
  std::vector<SeenBox> seen_;
  // A box may take the address of the one before; the guard is cleared then.
  QPointer<QMessageBox> current_;
};

class MainWindowTest : public ::testing::Test {
 protected:
  QPushButton& Button(const char* name) {
    auto* button = window.findChild<QPushButton*>(name);
    if (button == nullptr) {
      throw std::runtime_error(std::string("no button ") + name);
    }
    return *button;
  }

  std::vector<std::string> words;
  control::ResultCode result = control::ResultCode::Offline;
  MainWindow window{[this](std::string_view word) {
    words.emplace_back(word);
    if (word == "info") {
      throw std::runtime_error("cannot write <b>Tavorin.log</b>");
    }
    return result;
  }};
};

TEST_F(MainWindowTest, IsForm1OfFixedSizeWithThreePlainButtonsInTabOrderFromOn) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(window.objectName(), "Form1");
  EXPECT_EQ(window.windowTitle(), "Form1");
  EXPECT_EQ(window.minimumSize(), QSize(304, 201));
  EXPECT_EQ(window.maximumSize(), QSize(304, 201));
  EXPECT_EQ(window.findChildren<QPushButton*>().size(), 3);
  const QRect geometry[] = {{48, 56, 57, 33}, {136, 56, 57, 33}, {224, 56, 57, 33}};
  const char* captions[] = {"on", "off", "info"};
  std::vector<QString> focused;
  for (int i = 0; i < 3; ++i) {
    const QPushButton& button = Button(("Command" + std::to_string(i + 1)).c_str());
    EXPECT_EQ(button.text(), captions[i]);
    EXPECT_EQ(button.geometry(), geometry[i]);
    EXPECT_FALSE(button.isDefault() || button.autoDefault() || !button.shortcut().isEmpty()) << captions[i];
    focused.push_back(QApplication::focusWidget()->objectName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_THAT(focused, ElementsAre("Command1", "Command2", "Command3"));
}

TEST_F(MainWindowTest, ClickPassesTheButtonsWordAndShowsTheResultCodeInAPlainBox) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const BoxAnswerer answerer;
  QTest::mouseClick(&Button("Command1"), Qt::LeftButton);
  result = control::ResultCode::NotOn;
  QTest::mouseClick(&Button("Command2"), Qt::LeftButton);
  EXPECT_THAT(words, ElementsAre("on", "off"));
  ASSERT_EQ(answerer.Seen().size(), 2u);
  EXPECT_EQ(answerer.Seen()[0].text, "10");
  EXPECT_EQ(answerer.Seen()[1].text, "0");
  for (const SeenBox& box : answerer.Seen()) {
    EXPECT_EQ(box.title, "Tavorin");
    EXPECT_EQ(box.icon, QMessageBox::NoIcon);
    EXPECT_EQ(box.buttons, QMessageBox::Ok);
  }
  EXPECT_TRUE(window.isEnabled());
}

// The error road runs in the event loop, as in the program: the click's error
// must end that loop with the error status.
TEST_F(MainWindowTest, ErrorShowsItsMessageAsTextAndEndsTheLoopWithStatusTwo) {
  window.show();
  const BoxAnswerer answerer;
  QTimer::singleShot(0, &window, [this] { Button("Command3").click(); });
  // Should the loop go on after the error, this ends it with another status.
  QTimer::singleShot(std::chrono::seconds(20), &window, [] { QCoreApplication::exit(-1); });
  ::testing::internal::CaptureStderr();
  const int status = QApplication::exec();
  EXPECT_THAT(::testing::internal::GetCapturedStderr(),
              ::testing::HasSubstr("Tavorin: cannot write <b>Tavorin.log</b>\n"));

  EXPECT_EQ(status, 2);
  EXPECT_THAT(words, ElementsAre("info"));
  ASSERT_EQ(answerer.Seen().size(), 1u) << "no result box after the error box";
  const SeenBox& box = answerer.Seen()[0];
  EXPECT_EQ(box.title, "Tavorin");
  EXPECT_EQ(box.text, "cannot write <b>Tavorin.log</b>");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.format, Qt::PlainText);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_FALSE(window.isEnabled()) << "no further clicks once the program is ending";
}

}  // namespace
}  // namespace tavorin::window
