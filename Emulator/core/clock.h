// Wall-clock milliseconds for the engine's statistics.
#pragma once

#include <cstdint>

// Milliseconds of the current wall-clock time since 1601-01-01, or 0 when
// the clock cannot be read.
uint64_t lv_clock_ms();
