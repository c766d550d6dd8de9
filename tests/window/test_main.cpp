// The widget tests need one application object for the whole run; listing the
// tests (as the build does to register them) needs none, and no display.
#include <gtest/gtest.h>

#include <QApplication>

#include <optional>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::optional<QApplication> application;
  if (!GTEST_FLAG_GET(list_tests)) {
    application.emplace(argc, argv);
  }
  return RUN_ALL_TESTS();
}
