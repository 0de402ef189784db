// The widget tests.
#include <QApplication>

#include <gtest/gtest.h>

#include "gui_support.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  tidewell::gui::testing::UseTemporaryXdgHomes();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
