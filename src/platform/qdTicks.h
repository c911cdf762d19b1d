#pragma once
// A monotonic millisecond clock, for progress throttling and load timings.
#include <cstdint>

// Milliseconds since an arbitrary fixed point; never goes backwards.
uint64_t GetTickCount();
