// The main window on the offscreen platform: its layout and focus, and what
// each click sends through the switch operation and shows in a message box.
#include "window/main_window.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <string>
#include <vector>

#include "control/command_line.h"
#include "tests/control/switch_control_fixture.h"
#include "tests/support/case_name.h"
#include "tests/window/box_answerer.h"

namespace tavorin::window {
namespace {

using control::kAccepted;
using control::kHistory;
using control::Status;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::SeenBox;

class MainWindowTest : public control::SwitchControlTest {
 protected:
  [[nodiscard]] QPushButton& Button(const char* objectName) {
    auto* button = window.findChild<QPushButton*>(objectName);
    if (button == nullptr) {
      throw std::runtime_error(std::string("no button ") + objectName);
    }
    return *button;
  }

  const control::SwitchControl switchControl = Control();
  MainWindow window{[this](std::string_view word) { return switchControl.ControlSwitch(word); }};
};

struct ButtonCase {
  const char* objectName;
  const char* caption;
  QRect geometry;
};

TEST_F(MainWindowTest, HasItsTitleFixedClientSizeAndThreePlainButtons) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.objectName(), "Form1");
  EXPECT_EQ(window.windowTitle(), "Form1");
  EXPECT_EQ(window.size(), QSize(304, 201));
  EXPECT_EQ(window.minimumSize(), QSize(304, 201));
  EXPECT_EQ(window.maximumSize(), QSize(304, 201));

  const std::vector<ButtonCase> expected = {{"Command1", "on", QRect(48, 56, 57, 33)},
                                            {"Command2", "off", QRect(136, 56, 57, 33)},
                                            {"Command3", "info", QRect(224, 56, 57, 33)}};
  EXPECT_EQ(window.findChildren<QPushButton*>().size(), 3);
  for (const ButtonCase& button : expected) {
    SCOPED_TRACE(button.objectName);
    const QPushButton& shown = Button(button.objectName);
    EXPECT_EQ(shown.text(), button.caption);
    EXPECT_EQ(shown.geometry(), button.geometry);
    EXPECT_TRUE(shown.isVisible());
    EXPECT_FALSE(shown.isDefault());
    EXPECT_FALSE(shown.autoDefault());
    EXPECT_TRUE(shown.shortcut().isEmpty());
  }
}

TEST_F(MainWindowTest, OnHasTheFocusAndTabMovesLeftToRight) {
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  std::vector<QString> focused;
  for (int i = 0; i < 4; ++i) {
    focused.push_back(QApplication::focusWidget() == nullptr ? "<none>" : QApplication::focusWidget()->objectName());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_THAT(focused, ElementsAre("Command1", "Command2", "Command3", "Command1"));
}

struct ClickCase {
  const char* name;
  const char* button;
  std::vector<std::string> replies;
  const char* boxText;
  const char* activity;  // the activity line after its timestamp
  std::vector<std::string> paths;
};

class ClickTest : public MainWindowTest, public ::testing::WithParamInterface<ClickCase> {};

TEST_P(ClickTest, RunsTheOperationOnTheDefaultDeviceAndShowsTheCodeInAPlainBox) {
  for (const std::string& reply : GetParam().replies) {
    http.Reply(reply);
  }
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  const testing::BoxAnswerer answerer;
  QTest::mouseClick(&Button(GetParam().button), Qt::LeftButton);

  EXPECT_EQ(http.RepliesLeft(), 0u);
  std::vector<std::string> paths;
  for (const testing::SentRequest& request : http.Sent()) {
    paths.push_back(request.url.substr(std::string("https://cloud.test").size()));
    EXPECT_THAT(request.body, HasSubstr(R"("1000c8441f")"));
  }
  EXPECT_EQ(paths, GetParam().paths);
  const std::string log = Log();
  ASSERT_TRUE(log.ends_with(std::string(GetParam().activity) + "\r\n")) << log;

  ASSERT_EQ(answerer.Seen().size(), 1u);
  const SeenBox& box = answerer.Seen()[0];
  EXPECT_EQ(box.text, GetParam().boxText);
  EXPECT_EQ(box.title, "Tavorin");
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_EQ(box.buttonCount, 1);
  EXPECT_TRUE(box.dismissedWithOk);
  EXPECT_TRUE(window.isEnabled());
}

constexpr const char* kStatusPath = "/v2/device/thing";
constexpr const char* kSetPath = "/v2/device/thing/status";

INSTANTIATE_TEST_SUITE_P(Outcomes, ClickTest,
                         ::testing::Values(ClickCase{"OnSetAndConfirmed",
                                                     "Command1",
                                                     {Status("off"), kAccepted, Status("on")},
                                                     "1",
                                                     "DeviceId=1000c8441f Request=on Result=1",
                                                     {kStatusPath, kSetPath, kStatusPath}},
                                           ClickCase{"OffSetAndConfirmed",
                                                     "Command2",
                                                     {Status("on"), kAccepted, Status("off")},
                                                     "0",
                                                     "DeviceId=1000c8441f Request=off Result=0",
                                                     {kStatusPath, kSetPath, kStatusPath}},
                                           ClickCase{"OffOnOfflineDeviceSendsNoSet",
                                                     "Command2",
                                                     {Status("on", false)},
                                                     "10",
                                                     "DeviceId=1000c8441f Request=off Result=10",
                                                     {kStatusPath}},
                                           ClickCase{"InfoWithoutStatus",
                                                     "Command3",
                                                     {""},
                                                     "5",
                                                     "DeviceId=1000c8441f Request=info Result=5",
                                                     {kStatusPath}}),
                         testing::CaseName());

// The error road runs in the event loop, as in the program: the click's error
// must end that loop with the error status.
TEST_F(MainWindowTest, ErrorShowsItsMessageAndEndsTheLoopWithStatusTwoWithoutALogLine) {
  http.Reply(control::kRejected);
  http.Reply(R"({"error":0,"data":{"at":"A2)");
  window.show();
  const testing::BoxAnswerer answerer;
  QTimer::singleShot(0, &window, [this] { Button("Command1").click(); });
  // Should the loop go on after the error, this ends it with another status.
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
  guard.start(std::chrono::seconds(20));
  ::testing::internal::CaptureStderr();
  const int status = QApplication::exec();
  const std::string err = ::testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, control::kErrorStatus);
  EXPECT_THAT(err, HasSubstr("Tavorin: malformed response: unterminated value for key at\n"));
  EXPECT_EQ(Log(), kHistory);
  ASSERT_EQ(answerer.Seen().size(), 1u) << "no result box after the error box";
  const SeenBox& box = answerer.Seen()[0];
  EXPECT_EQ(box.title, "Tavorin");
  EXPECT_EQ(box.text, "malformed response: unterminated value for key at");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_EQ(box.textFormat, Qt::PlainText);
  EXPECT_EQ(box.buttons, QMessageBox::Ok);
  EXPECT_TRUE(box.dismissedWithOk);
  EXPECT_FALSE(window.isEnabled()) << "no further clicks once the program is ending";
}

}  // namespace
}  // namespace tavorin::window
