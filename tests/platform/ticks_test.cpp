#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "qdTicks.h"

TEST(Ticks, AdvanceInMilliseconds) {
  uint64_t A = GetTickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  uint64_t B = GetTickCount();
  // A sleep lasts at least what was asked; how much longer depends on the load.
  EXPECT_GE(B - A, 19u);
}
