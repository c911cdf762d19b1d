// Text and SVG output need the application object; the offscreen platform
// keeps the tests headless.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdlib>

#include "CADImage.h"
#include "Readers.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication App(argc, argv);
  RegisterReaders();
  RegisterCADImages();
  return RUN_ALL_TESTS();
}
