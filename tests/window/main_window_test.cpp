// The main window's widgets on the offscreen platform: what the real window's
// run does not see, such as captions, places, icons and plain text.
#include "window/qt_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavorin::window {
namespace {

TEST(MainWindowTest, ThreePlainButtonsShowTheirOperationsCodeAndWhyNotDoneOrTheErrorThatEndsTheLoop) {
  int argc = 1;
  char name[] = "window_test";
  char* argv[] = {name, nullptr};
  const QApplication application(argc, argv);
  // The clicks' outcomes in turn; the last click's operation fails.
  const std::vector<control::Outcome> outcomes = {{control::ResultCode::Offline, "offline: <b>gone</b>"},
                                                  {control::ResultCode::NotOn, ""},
                                                  {control::ResultCode::NotDone, "not done: no pair"}};
  std::vector<std::string> words;
  MainWindow window([&](std::string_view word) {
    words.emplace_back(word);
    if (words.size() > outcomes.size()) {
      throw std::runtime_error("cannot write <b>Tavorin.log</b>");
    }
    return outcomes[words.size() - 1];
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
  const auto* reason = window.findChild<QLabel*>(QString::fromUtf8(kReasonName.data(), kReasonName.size()));
  ASSERT_NE(reason, nullptr);
  const Rect& place = kReasonGeometry;
  EXPECT_EQ(reason->geometry(), QRect(place.left, place.top, place.width, place.height));
  EXPECT_TRUE(reason->wordWrap());

  // Each box, and the line behind it, closed from a timer in the box's loop. A
  // box may take the address of the one before, whose guard is cleared by then.
  std::vector<std::string> boxes;
  QPointer<QMessageBox> current;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box != nullptr && box->isVisible() && box != current.data() && box->button(QMessageBox::Ok) != nullptr) {
      current = box;
      boxes.push_back(box->text().toStdString() + (box->icon() == QMessageBox::Critical ? " (error)" : "") +
                      (box->textFormat() == Qt::PlainText ? "" : " (markup)") + " | " + reason->text().toStdString() +
                      (reason->textFormat() == Qt::PlainText ? "" : " (markup)"));
      box->button(QMessageBox::Ok)->click();
    }
  });
  answerer.start(5);
  // The clicks run in the event loop, as in the program, and the error ends
  // it; should it go on, the guard ends it with another status.
  QTimer::singleShot(0, &window, [&buttons] {
    for (const int i : {0, 1, 0, 2}) {
      QTest::mouseClick(buttons[i], Qt::LeftButton);
    }
  });
  QTimer::singleShot(std::chrono::seconds(20), &window, [] { QCoreApplication::exit(-1); });
  EXPECT_EQ(QApplication::exec(), 2);
  EXPECT_THAT(words, ::testing::ElementsAre("on", "off", "on", "info"));
  EXPECT_THAT(boxes, ::testing::ElementsAre("10 | offline: <b>gone</b>", "0 | ", "5 | not done: no pair",
                                            "cannot write <b>Tavorin.log</b> (error) | "));
  EXPECT_FALSE(window.isEnabled()) << "no further clicks once the program is ending";
}

// The line's text: the reason of 5 and 10 only, in valid UTF-8 for the Windows
// API's strict conversion: each stray byte (~) is one U+FFFD; bounds stay.
TEST(MainWindowTest, TheReasonLineIsTheReasonOfNotDoneAndOfflineInValidUtf8) {
  using control::ResultCode;
  const std::pair<control::Outcome, std::string> rows[] = {
      {{ResultCode::NotOn, "a reason"}, ""},
      {{ResultCode::Offline, "\xc2\x80\xdf\xbf \xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80 \xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
       "\xc2\x80\xdf\xbf \xe0\xa0\x80\xed\x9f\xbf\xee\x80\x80 \xf0\x90\x80\x80\xf4\x8f\xbf\xbf"},
      // Cut short, overlong, a surrogate, past U+10FFFF, no lead at all.
      {{ResultCode::NotDone,
        "\xe2\x82x \xc0\xaf \xe0\x9f\xbf \xed\xa0\x80 \xf0\x8f\xbf\xbf \xf4\x90\x80\x80 \xf5\x80\x80\x80 \"caf\xc3"},
       "~~x ~~ ~~~ ~~~ ~~~~ ~~~~ ~~~~ \"caf~"},
  };
  for (const auto& [outcome, line] : rows) {
    EXPECT_EQ(ReasonLine(outcome), std::regex_replace(line, std::regex("~"), "\xef\xbf\xbd")) << outcome.reason;
  }
}

}  // namespace
}  // namespace tavorin::window
