// The widget tests, or with --screenshots=DIR the screenshot renderer.
#include <QApplication>
#include <string>

#include <gtest/gtest.h>

#include "gui_support.h"

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  tidewell::gui::testing::UseTemporaryXdgHomes();
  QApplication app(argc, argv);
  const std::string screenshots = "--screenshots=";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with(screenshots)) {
      return tidewell::gui::testing::RenderScreenshots(arg.substr(screenshots.size()));
    }
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
