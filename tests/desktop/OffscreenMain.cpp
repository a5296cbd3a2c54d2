// The entry point of the view tests: Qt on its offscreen platform, then the
// tests, so they run on machines without a display (and under ctest's test
// discovery, which sets no environment).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
