// The foreign-memory call kinds (STRUCTS_GET_* and STRUCTS_PUT_*): reading
// and writing C memory at an address given by two integers.
#pragma once

#include <cstdint>

#include "core/worker.h"

struct lv_pred;

// Runs the access of call kind `kind` (22-50) for pred with its arguments in
// X0..X2. Returns 1 when the call succeeds, 0 when it fails (after raising
// the error of a bad argument).
int lv_structs_access(lv_worker* w, const lv_pred* pred, uint32_t kind);
