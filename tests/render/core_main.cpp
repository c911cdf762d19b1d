// The render core's tests run without a toolkit: no application object.
#include <gtest/gtest.h>

#include "CADImage.h"
#include "Readers.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  RegisterReaders();
  RegisterCADImages();
  return RUN_ALL_TESTS();
}
