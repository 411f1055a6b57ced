// The entry of the window tests: one QApplication for the whole program, on the offscreen
// platform unless the environment names another. A window test that waits for a dialog
// which never comes ends the program within its bound instead of at CTest's limit.
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>

#include "support/test_deadline.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  tivolo::testing::InstallTestDeadline(std::chrono::seconds(60));
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
