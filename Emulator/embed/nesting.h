// The nesting of queries run from C.
#pragma once

#include <cstdint>

// Add 1 to or take 1 from the engine context's nesting counter; when it
// comes to 0 from either side the engine is asked to check for events.
// Return the new value.
int64_t lv_nest_enter();
int64_t lv_nest_leave();
